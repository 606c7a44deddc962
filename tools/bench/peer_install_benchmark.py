#!/usr/bin/env python3
"""Peer benchmark of the silent install, run by hand (not in CI).

The same deterministic payload (about 150 MB in about 1,300 files: Wine's
own 64-bit DLLs for the bulk, generated small files for the rest, inside the
sample browser package) is packed once as our full installer (7z LZMA2,
tools/make_sample_package.py) and once as an NSIS installer
(tools/bench/peer_install.nsi: SOLID lzma, File /r, one uninstall registry
value, one shortcut). Each round installs both silently, each into a fresh
Wine prefix of its own (a copy of one template prefix), and measures

  - the wall time from the start of the installer to its exit;
  - the peak memory of all the installer's processes: every process of that
    prefix that was not running before the install, less Wine's own
    programs (C:\\windows\\...), sampled every 25 ms; the sum of their RSS
    and the sum of their PSS (RSS counts Wine's shared libraries once per
    process).

It also times our unpack step alone (LzmaUtil under Wine, through
lzma_unpack_benchmark.exe, its own time without Wine's start-up) and
`7zz x -mmt1` of the same archive natively, the decode ceiling.

Targets: our install at most 0.8 x NSIS's median wall time and at most
2 x its peak memory; the unpack step at least 0.75 x native 7zz's speed.

Usage (after `bash tools/build.sh win`, with nsis installed):
  python3 tools/bench/peer_install_benchmark.py [--rounds 3] [--work DIR]
      [--build out/win] [--archive-options="-m0=LZMA2 -mx=9 ..."] [--keep]
(--archive-options replaces make_sample_package.py's 7zz options.)
Everything it makes stays below --work (default out/bench), reused by later
runs while its inputs are unchanged.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TARGET_FILES = 1300
TARGET_BYTES = 150 * 1000 * 1000
# The share of the payload's bytes taken by Wine's DLLs.
WINE_SHARE = 0.93
SAMPLE_INTERVAL = 0.025
OUR_FOLDER = "C:\\bench\\Velna"
NSIS_FOLDER = "C:\\bench\\NSIS"


def log(text):
    print(text, flush=True)


def run(args, env=None, cwd=None):
    result = subprocess.run(args, env=env, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise SystemExit("%s failed:\n%s" % (
            " ".join(args), result.stdout.decode(errors="replace")[-3000:]))
    return result.stdout.decode(errors="replace")


# --- The payload ----------------------------------------------------------

def wine_dll_folder():
    for base in ("/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/wine",
                 "/usr/lib64/wine"):
        folder = os.path.join(base, "x86_64-windows")
        if os.path.isdir(folder):
            return folder
    raise SystemExit("Wine's 64-bit DLL folder was not found")


def make_payload(folder):
    """Wine's DLLs in name order (none above 4 MB) up to the bulk's share of
    the bytes, then seeded small files (text-like and binary) up to the file
    count."""
    shutil.rmtree(folder, ignore_errors=True)
    source = wine_dll_folder()
    total = 0
    count = 0
    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        size = os.path.getsize(path)
        if not os.path.isfile(path) or size > 4 * 1000 * 1000:
            continue
        if total + size > TARGET_BYTES * WINE_SHARE:
            break
        target = os.path.join(folder, "wine", name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(path, target)
        total += size
        count += 1
    rng = random.Random(150)
    # The sample package itself holds about 20 files.
    small = TARGET_FILES - count - 20
    words = [b"tab", b"window", b"history", b"bookmark", b"download",
             b"settings", b"search", b"private", b"reload", b"profile"]
    for index in range(small):
        budget = (TARGET_BYTES - total) // max(1, small - index)
        size = rng.randrange(max(1, budget // 4), max(2, budget * 7 // 4))
        if index % 3 == 0:
            data = rng.randbytes(size)
        else:
            data = b" ".join(rng.choice(words)
                             for _ in range(size // 6 + 1))[:size]
        name = "data/d%02d/f%04d.%s" % (index % 40, index,
                                        ("bin", "txt", "json")[index % 3])
        target = os.path.join(folder, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        total += size


def count_files(folder):
    return sum(len(names) for _, _, names in os.walk(folder))


def tree_bytes(folder):
    return sum(os.path.getsize(os.path.join(d, n))
               for d, _, names in os.walk(folder) for n in names)


# --- The two installers -----------------------------------------------------

def newest_mtime(paths):
    return max(os.path.getmtime(p) for p in paths)


def build_installers(args, work, payload):
    build = os.path.abspath(args.build)
    sample = os.path.join(build, "desktop", "windows", "installer", "sample")
    inputs = {
        "installer": os.path.join(build, "desktop", "windows", "installer",
                                  "installer.exe"),
        "launcher": os.path.join(sample, "programs", "launcher.exe"),
    }
    branding = os.path.join(ROOT, "desktop", "windows", "installer",
                            "resources", "branding.json")
    with open(branding, encoding="utf-8") as f:
        base_name = json.load(f)["file_name_base"]
    inputs["browser"] = os.path.join(sample, "programs", base_name + ".exe")
    for path in inputs.values():
        if not os.path.exists(path):
            raise SystemExit("%s is missing: run `bash tools/build.sh win`"
                             % path)

    script = os.path.join(ROOT, "tools", "make_sample_package.py")
    ours = os.path.join(work, "ours")
    manifest = os.path.join(ours, "sample.json")
    options_file = os.path.join(ours, "archive_options.json")
    same_options = False
    if os.path.exists(options_file):
        with open(options_file) as f:
            same_options = json.load(f) == args.archive_options
    if not os.path.exists(manifest) or not same_options or \
            os.path.getmtime(manifest) < newest_mtime(
                list(inputs.values()) + [payload + ".made", script]):
        log("packing our full installer (7z LZMA2) ...")
        shutil.rmtree(ours, ignore_errors=True)
        options = []
        if args.archive_options:
            options = ["--archive-options=" + args.archive_options]
        run([sys.executable, script, "--out", ours, "--packages", "base", "--bulk", payload,
             "--installer", inputs["installer"],
             "--launcher", inputs["launcher"], "--browser", inputs["browser"],
             "--branding", branding] + options)
        with open(options_file, "w") as f:
            json.dump(args.archive_options, f)
    with open(manifest, encoding="utf-8") as f:
        sample_manifest = json.load(f)
    package = sample_manifest["packages"]["base"]
    our_installer = os.path.join(ours, package["full_installer"])
    tree = os.path.join(ours, package["tree"])
    archive = os.path.join(ours, package["archive"])

    nsis_installer = os.path.join(work, "nsis", "peer_installer.exe")
    nsi = os.path.join(HERE, "peer_install.nsi")
    if not os.path.exists(nsis_installer) or os.path.getmtime(
            nsis_installer) < newest_mtime([manifest, nsi]):
        log("packing the NSIS installer (SOLID lzma) ...")
        os.makedirs(os.path.dirname(nsis_installer), exist_ok=True)
        run(["makensis", "-V2", "-DPAYLOAD=" + tree,
             "-DOUTFILE=" + nsis_installer, nsi])
    return {"ours": our_installer, "nsis": nsis_installer, "tree": tree,
            "archive": archive, "package": package,
            "unpack_tool": os.path.join(
                build, "desktop", "windows", "installer", "package_fetcher",
                "lzma_unpack_benchmark.exe")}


# --- Wine prefixes ----------------------------------------------------------

def wine_env(prefix):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    # No .NET or HTML engine prompts, and no Linux menu entries or desktop
    # files for the shortcuts the installers make.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml,winemenubuilder.exe="
    return env


def make_template_prefix(work):
    """One prefix set up as the project's tests set theirs up (Windows 10,
    no debugger), made once."""
    build_dir = os.path.join(work, "template")
    prefix = os.path.join(build_dir, "wineprefix")
    if not os.path.exists(os.path.join(prefix, ".velna-ready")):
        log("making the template Wine prefix ...")
        os.makedirs(build_dir, exist_ok=True)
        subprocess.run(["bash", "-c", 'source "$1/tools/wine_env.sh" && '
                        'wine_prefix_init && wineserver -k; true', "_", ROOT],
                       env=dict(os.environ, WINE_BUILD_DIR=build_dir),
                       check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return prefix


def clone_prefix(template, target):
    """A fresh prefix: large files below drive_c\\windows (Wine's DLLs,
    which no installer writes to) are hard links, everything else a copy."""
    shutil.rmtree(target, ignore_errors=True)
    windows = os.path.join(template, "drive_c", "windows")
    for folder, dirs, names in os.walk(template):
        relative = os.path.relpath(folder, template)
        out = os.path.join(target, relative)
        os.makedirs(out, exist_ok=True)
        for name in dirs:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                os.symlink(os.readlink(path), os.path.join(out, name))
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                os.symlink(os.readlink(path), os.path.join(out, name))
            elif folder.startswith(windows) and \
                    os.path.getsize(path) >= 64 * 1024:
                os.link(path, os.path.join(out, name))
            else:
                shutil.copy2(path, os.path.join(out, name))
        dirs[:] = [d for d in dirs
                   if not os.path.islink(os.path.join(folder, d))]


def start_wine(prefix):
    env = wine_env(prefix)
    subprocess.run(["wineserver", "-p"], env=env, check=True)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def stop_wine(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Let the killed processes go before the prefix is removed.
    subprocess.run(["wineserver", "-w"], env=wine_env(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def unix_path(prefix, windows_path):
    drive, _, rest = windows_path.partition(":\\")
    assert drive.upper() == "C", windows_path
    return os.path.join(prefix, "drive_c", *rest.split("\\"))


# --- Measuring ------------------------------------------------------------

class PrefixProcesses:
    """Samples the memory of the processes of one prefix that started after
    the baseline, less Wine's own programs."""

    def __init__(self, prefix):
        self.marker = ("WINEPREFIX=" + prefix).encode()
        self.checked = {}
        self.baseline = set(self.members())
        self.peak_rss = 0
        self.peak_pss = 0
        self.seen = set()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.sample, daemon=True)

    def members(self):
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            pid = int(entry)
            # Keyed by the name too: a process forked by another shows its
            # parent's environment until it runs its own program.
            try:
                with open("/proc/%d/comm" % pid, "rb") as f:
                    key = (pid, f.read())
            except OSError:
                continue
            if key not in self.checked:
                try:
                    with open("/proc/%d/environ" % pid, "rb") as f:
                        environ = f.read().split(b"\0")
                    self.checked[key] = self.marker in environ
                except OSError:
                    continue
            if self.checked[key]:
                yield pid

    @staticmethod
    def command(pid):
        """The Windows command line, without the Wine loader that runs it
        for a moment."""
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                parts = f.read().split(b"\0")
        except OSError:
            return ""
        while parts and parts[0].startswith(b"/") and \
                os.path.basename(parts[0]).startswith(b"wine"):
            parts = parts[1:]
        return b" ".join(parts).decode(errors="replace").strip()

    @staticmethod
    def kilobytes(path, key):
        try:
            with open(path) as f:
                for line in f:
                    if line.startswith(key):
                        return int(line.split()[1])
        except (OSError, ValueError, IndexError):
            pass
        return 0

    def ours(self, pid):
        """The command line of a Windows program (run by Wine's loader) that
        started after the baseline and is none of Wine's own programs, else
        None."""
        if pid in self.baseline:
            return None
        try:
            loader = os.path.basename(os.readlink("/proc/%d/exe" % pid))
        except OSError:
            return None
        if not loader.startswith("wine") or loader.startswith("wineserver"):
            return None
        command = self.command(pid)
        if not command or command.lower().lstrip('"').startswith(
                "c:\\windows\\"):
            return None
        return command

    def sample(self):
        while not self.stopping.is_set():
            rss = pss = 0
            for pid in list(self.members()):
                command = self.ours(pid)
                if command is None:
                    continue
                self.seen.add(command[:100])
                rss += self.kilobytes("/proc/%d/status" % pid, "VmRSS:")
                pss += self.kilobytes("/proc/%d/smaps_rollup" % pid, "Pss:")
            self.peak_rss = max(self.peak_rss, rss)
            self.peak_pss = max(self.peak_pss, pss)
            self.stopping.wait(SAMPLE_INTERVAL)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *unused):
        self.stopping.set()
        self.thread.join()


def install(side, installer, arguments, prefix, check):
    """One silent install; a dict of its measurements."""
    with open(installer, "rb") as f:  # both start from a warm cache
        while f.read(1 << 24):
            pass
    env = wine_env(prefix)
    with PrefixProcesses(prefix) as processes:
        start = time.monotonic()
        process = subprocess.run(["wine", installer] + arguments, env=env,
                                 stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        wall = time.monotonic() - start
        # Memory of processes that outlive the installer a little.
        time.sleep(2 * SAMPLE_INTERVAL)
    problem = check()
    if process.returncode != 0:
        problem = "exit code %d" % process.returncode
    return {"side": side, "wall": wall, "rss": processes.peak_rss / 1024.0,
            "pss": processes.peak_pss / 1024.0, "problem": problem,
            "processes": sorted(processes.seen)}


def check_nsis(prefix, expected):
    def check():
        folder = unix_path(prefix, NSIS_FOLDER)
        found = count_files(folder) if os.path.isdir(folder) else 0
        if found != expected:
            return "%d of %d files installed" % (found, expected)
        return None
    return check


def check_ours(prefix, package):
    def check():
        folder = unix_path(prefix, OUR_FOLDER)
        if not os.path.isdir(folder):
            return "no install folder"
        versioned = [d for d in os.listdir(folder)
                     if os.path.isdir(os.path.join(folder, d)) and
                     d[:1].isdigit()]
        found = max((count_files(os.path.join(folder, d))
                     for d in versioned), default=0)
        if found < len(package["files"]):
            return "%d of %d versioned files installed" % (
                found, len(package["files"]))
        return None
    return check


def our_unpack(tool, archive, prefix):
    """LzmaUtil's own time for the whole archive under Wine, in seconds, and
    the peak memory of its process."""
    out = "C:\\bench\\unpacked"
    with PrefixProcesses(prefix) as processes:
        result = subprocess.run(
            ["wine", tool, "Z:" + archive.replace("/", "\\"), out],
            env=wine_env(prefix), stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    text = result.stdout.decode(errors="replace")
    shutil.rmtree(unix_path(prefix, out), ignore_errors=True)
    for line in text.splitlines():
        if line.startswith("UnPack result 0 in "):
            return {"wall": float(line.split()[4]),
                    "rss": processes.peak_rss / 1024.0,
                    "pss": processes.peak_pss / 1024.0}
    raise SystemExit("our unpack failed: " + text[-500:])


def native_decode(archive, work):
    out = os.path.join(work, "native_unpacked")
    shutil.rmtree(out, ignore_errors=True)
    start = time.monotonic()
    run(["7zz", "x", "-mmt1", "-bd", "-y", "-o" + out, archive])
    elapsed = time.monotonic() - start
    shutil.rmtree(out, ignore_errors=True)
    return elapsed


# --- Reporting ------------------------------------------------------------

def median(values):
    return statistics.median(values) if values else float("nan")


def report(results, unpack_times, native_times, payload_info, made):
    by_side = {}
    for result in results:
        by_side.setdefault(result["side"], []).append(result)
    summary = {}
    log("")
    log("payload: %d files, %.1f MB (Wine's DLLs and small files; file list "
        "digest %s); our full installer %.1f MB, NSIS installer %.1f MB" %
        payload_info)
    log("%-26s %9s %12s %12s %8s" % ("", "wall s", "peak RSS MB",
                                      "peak PSS MB", "rounds"))
    for side, title in (("nsis", "NSIS silent install"),
                        ("ours", "our silent install")):
        rounds = by_side.get(side, [])
        good = [r for r in rounds if not r["problem"]]
        if good:
            summary[side] = {key: median([r[key] for r in good])
                             for key in ("wall", "rss", "pss")}
            log("%-26s %9.2f %12.1f %12.1f %5d/%d" % (
                title, summary[side]["wall"], summary[side]["rss"],
                summary[side]["pss"], len(good), len(rounds)))
        else:
            problems = sorted({r["problem"] for r in rounds})
            log("%-26s FAILED in every round: %s" % (title,
                                                     "; ".join(problems)))
    if "ours" in summary and "nsis" in summary:
        ours, nsis = summary["ours"], summary["nsis"]
        log("%-26s %9.2f %12.2f %12.2f   targets: wall <= 0.80, memory "
            "<= 2.00" % ("ours / NSIS", ours["wall"] / nsis["wall"],
                         ours["rss"] / nsis["rss"],
                         ours["pss"] / nsis["pss"]))
    unpack = median([u["wall"] for u in unpack_times])
    native = median(native_times)
    log("%-26s %9.2f %12.1f %12.1f" % (
        "our unpack (LzmaUtil, Wine)", unpack,
        median([u["rss"] for u in unpack_times]),
        median([u["pss"] for u in unpack_times])))
    log("%-26s %9.2f" % ("native 7zz x -mmt1", native))
    log("%-26s %9.2f   target: >= 0.75" % ("native / our unpack time",
                                            native / unpack))
    for side in ("nsis", "ours"):
        names = sorted({n for r in by_side.get(side, [])
                        for n in r["processes"]})
        log("%s processes measured: %s" % (side, "; ".join(names) or "none"))
    log("made in " + made)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--work", default=os.path.join(ROOT, "out", "bench"))
    parser.add_argument("--build", default=os.path.join(ROOT, "out", "win"))
    parser.add_argument("--archive-options",
                        help="7zz options of our archive, in one argument "
                        "(default: those of make_sample_package.py)")
    parser.add_argument("--keep", action="store_true",
                        help="keep each round's prefix")
    args = parser.parse_args()
    for tool in ("wine", "wineserver", "7zz", "makensis"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is missing: run tools/install_deps.sh")

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    payload = os.path.join(work, "payload")
    if not os.path.exists(payload + ".made"):
        log("making the payload ...")
        make_payload(payload)
        with open(payload + ".made", "w") as f:
            f.write("made")
    made = build_installers(args, work, payload)
    tree = made["tree"]
    expected = count_files(tree)
    payload_info = (expected, tree_bytes(tree) / 1e6, hashlib.sha256(
        json.dumps(made["package"]["files"]).encode()).hexdigest()[:16],
        os.path.getsize(made["ours"]) / 1e6,
        os.path.getsize(made["nsis"]) / 1e6)
    template = make_template_prefix(work)

    results = []
    unpack_times = []
    native_times = []
    for round_index in range(args.rounds):
        sides = ["nsis", "ours"] if round_index % 2 == 0 else ["ours", "nsis"]
        for side in sides:
            prefix = os.path.join(work, "prefixes", "%s-%d" % (side,
                                                               round_index))
            clone_prefix(template, prefix)
            start_wine(prefix)
            try:
                if side == "nsis":
                    result = install(side, made["nsis"],
                                     ["/S", "/D=" + NSIS_FOLDER], prefix,
                                     check_nsis(prefix, expected))
                else:
                    result = install(
                        side, made["ours"],
                        ["--silent", "--installfolder=" + OUR_FOLDER,
                         "--allusers=0", "--launchbrowser=0",
                         "--setdefaultbrowser=0", "--enable-stats=0",
                         "--desktopshortcut=1", "--startmenushortcut=0",
                         "--quicklaunchshortcut=0", "--pintotaskbar=0"],
                        prefix, check_ours(prefix, made["package"]))
                    unpack_times.append(our_unpack(
                        made["unpack_tool"], made["archive"], prefix))
            finally:
                stop_wine(prefix)
                if not args.keep:
                    shutil.rmtree(prefix, ignore_errors=True)
            results.append(result)
            log("round %d %-5s %6.2f s  RSS %7.1f MB  PSS %7.1f MB  %s" % (
                round_index + 1, side, result["wall"], result["rss"],
                result["pss"], result["problem"] or "ok"))
        native_times.append(native_decode(made["archive"], work))
    report(results, unpack_times, native_times, payload_info, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
