#!/usr/bin/env python3
"""Peer benchmark of the silent install, run by hand (not in CI).

Two deterministic payloads, each inside the sample browser package:

  163: about 150 MB in about 1,300 files (Wine's own 64-bit DLLs for the
       bulk, generated small files for the rest);
  650: four times that, about 600 MB in about 5,200 files (Wine's DLLs and
       the machine's programs in /usr/bin for the bulk).

Each is packed as our full installer (tools/make_sample_package.py) in one
or both of two ways, and once as an NSIS installer (tools/bench/
peer_install.nsi: SOLID lzma, File /r, one uninstall registry value, one
shortcut):

  today:  make_sample_package.py's own 7zz options (16 MB solid blocks);
  mx9:    `7zz a -mx=9`, one solid block, as release pipelines pack (LZMA2
          with 7-Zip 26's 192 MiB dictionary, BCJ2 for programs; 7-Zip
          sets programs apart in a block of their own);
  mx9d64: the same with the 64 MiB dictionary of older 7-Zip versions,
          smaller than both payloads (not run unless asked for).

Each round installs every variant silently, each into a fresh Wine prefix
of its own (a copy of one template prefix), and measures

  - the wall time from the start of the installer to its exit;
  - the peak memory of the installer's processes: every process of that
    prefix that was not running before the install, less Wine's own
    programs (C:\\windows\\...), sampled every 25 ms: the peak of the sum of
    their RSS and of their PSS (RSS counts Wine's shared libraries once per
    process), the largest peak RSS of any one of them, and the peak RSS of
    our front end (the process without "--backend" and not the crash
    reporter);
  - the load average of the machine when the install started;
  - the share of all processors' time the hypervisor of a virtual machine
    gave to others while the install ran ("steal" in /proc/stat).

Before each install it empties the system's file caches, where it may (as
root; --keep-caches leaves them): on a virtual machine, installs slowed
round after round while the caches held what earlier rounds left, so that
a side's figure depended on what ran before it.

Wine gives every process an elevated administrator's token, so every one of
our installs takes the elevated road: the front end unpacks the package into
a protected folder of its own. Under Wine, which keeps no access list given
to a folder, that folder looks open to everyone, so the backend copies the
package into another protected folder, and the package's backend copies it
once more. On Windows the elevated road takes no copy, since the package
lies in a protected folder already; a per-user install by a standard user,
or by an administrator whose token UAC filters, takes none either.
Two benchmark builds of our installer (tools/build.sh bench-..., never to
ship) measure those roads; each option installs every variant with one of
them too:

  --standard-user:     VELNA_BENCH_STANDARD_USER answers every
                       administrator check as for a standard user;
  --kept-access-lists: VELNA_BENCH_KEPT_ACCESS_LISTS finds a protected
                       folder with the access list it was made with, as
                       Windows keeps it: the elevated road as on Windows.

With --all-users it also installs each variant for every user
(--allusers=1), as an elevated install on Windows usually is: the moved
files then take the install folder's access list one by one. It uses the
--kept-access-lists build when that road is measured too.

It also times our unpack step alone (LzmaUtil under Wine, through
lzma_unpack_benchmark.exe, its own time without Wine's start-up) and
`7zz x -mmt1` of the same archive natively, the decode ceiling; and, with
--sample, the small sample package's full installer of this build (and of
an older build given as --sample-baseline).

Targets: on the 163 MB mx9 package our install at most 1.0 x NSIS's median
wall time (0.8 x reached for); our front end's peak at most the archive's
dictionary + 40 MiB whatever the block; the tree's peak for the 650 MB
payload less than 1.10 x the 163 MB payload's at one dictionary no larger
than the smaller payload (mx9d64: the growth that comes from the block's
size; with mx9, 7-Zip 26 gives the larger payload a larger dictionary,
which any 7z decoder holds, 7zz too); the unpack step at least 0.75 x
native 7zz's speed.

Usage (after `bash tools/build.sh win`, with nsis installed):
  python3 tools/bench/peer_install_benchmark.py [--rounds 3] [--work DIR]
      [--build out/win] [--variants 163:today,163:mx9,650:mx9] [--keep]
      [--sample] [--sample-baseline OLD_FULL_INSTALLER.exe]
      [--standard-user] [--kept-access-lists] [--all-users] [--keep-caches]
      [--max-steal PERCENT] [--baseline OLD_CHECKOUT]
Everything it makes stays below --work (default out/bench), reused by later
runs while its inputs are unchanged. The machine's load shows in the
figures: run it when the machine is quiet, and read the load column. On a
virtual machine whose disk slows down under sustained writes, rounds of
both sides varied up to six times; a --work on a RAM-backed file system
(a tmpfs of about 2 GB for the 163 MB payload) keeps the disk out of it.
On a virtual machine, installs of either side also took two to five times
their usual time whenever the hypervisor gave a share of the processors to
others (10 to 20 % of all processors' time, against under 1 % otherwise):
an install with more than --max-steal percent stolen is marked "disturbed"
and left out of its side's medians, unless every round of that side was.
"""

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLE_INTERVAL = 0.025
OUR_FOLDER = "C:\\bench\\Velna"
NSIS_FOLDER = "C:\\bench\\NSIS"
MIB = 1024 * 1024

# Payload label: bytes and files of the bulk (the sample package adds about
# 13 MB and 20 files), the folders whose programs make up its bulk share,
# and the seed of its small files.
PAYLOADS = {
    "163": {"bytes": 150 * 1000 * 1000, "files": 1300,
            "bulk": ["wine"], "seed": 150},
    "650": {"bytes": 600 * 1000 * 1000, "files": 5200,
            "bulk": ["wine", "/usr/bin"], "seed": 650},
}
# The share of a payload's bytes taken by its bulk.
BULK_SHARE = 0.93
# Packing label: 7zz options, None for make_sample_package.py's own.
PACKINGS = {"today": None, "mx9": "-mx=9 -ms=on",
            "mx9d64": "-mx=9 -md=64m -ms=on"}
DEFAULT_VARIANTS = "163:today,163:mx9,650:mx9"

# Benchmark builds of our installer (see the top): the road's name in the
# report, the build's name (tools/build.sh, and its folder below out/).
ROADS = {"standard_user": ("standard user", "bench-standard-user"),
         "kept_access_lists": ("elevated as on Windows",
                               "bench-kept-access-lists")}

OUR_ARGUMENTS = ["--silent", "--installfolder=" + OUR_FOLDER, "--allusers=0",
                 "--launchbrowser=0", "--setdefaultbrowser=0",
                 "--enable-stats=0", "--desktopshortcut=1",
                 "--startmenushortcut=0", "--quicklaunchshortcut=0",
                 "--pintotaskbar=0"]
# --all-users: the install for every user, with the build of the elevated
# road as on Windows when that road is measured too.
ALL_USERS_ROAD = "all users"
# Into Program Files: a folder elsewhere that Wine shows as open to everyone
# is refused for every user.
ALL_USERS_FOLDER = "C:\\Program Files\\Velna bench"
ALL_USERS_ARGUMENTS = [
    "--allusers=1" if a == "--allusers=0" else
    "--installfolder=" + ALL_USERS_FOLDER if a.startswith("--installfolder=")
    else a for a in OUR_ARGUMENTS]


def log(text):
    print(text, flush=True)


def run(args, env=None, cwd=None):
    result = subprocess.run(args, env=env, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise SystemExit("%s failed:\n%s" % (
            " ".join(args), result.stdout.decode(errors="replace")[-3000:]))
    return result.stdout.decode(errors="replace")


# --- The payloads ---------------------------------------------------------

def wine_dll_folder():
    for base in ("/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/wine",
                 "/usr/lib64/wine"):
        folder = os.path.join(base, "x86_64-windows")
        if os.path.isdir(folder):
            return folder
    raise SystemExit("Wine's 64-bit DLL folder was not found")


def bulk_sources(names):
    """(source path, name in the payload) of the bulk's programs in name
    order, none above 4 MB."""
    for name in names:
        folder = wine_dll_folder() if name == "wine" else name
        label = os.path.basename(folder.rstrip("/"))
        for entry in sorted(os.listdir(folder)):
            path = os.path.join(folder, entry)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            if os.path.getsize(path) > 4 * 1000 * 1000:
                continue
            yield path, os.path.join("wine" if name == "wine" else label,
                                     entry)


def make_payload(folder, shape):
    """The bulk's programs up to its share of the bytes, then seeded small
    files (text-like and binary) up to the file count, 40 folders of
    them."""
    shutil.rmtree(folder, ignore_errors=True)
    total = 0
    count = 0
    for path, name in bulk_sources(shape["bulk"]):
        size = os.path.getsize(path)
        if total + size > shape["bytes"] * BULK_SHARE:
            break
        target = os.path.join(folder, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(path, target)
        total += size
        count += 1
    rng = random.Random(shape["seed"])
    # The sample package itself holds about 20 files.
    small = shape["files"] - count - 20
    words = [b"tab", b"window", b"history", b"bookmark", b"download",
             b"settings", b"search", b"private", b"reload", b"profile"]
    for index in range(small):
        budget = (shape["bytes"] - total) // max(1, small - index)
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


# --- The installers -------------------------------------------------------

def newest_mtime(paths):
    return max(os.path.getmtime(p) for p in paths)


def build_inputs(build):
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
    return inputs, branding


def build_road_installer(build_name, root=ROOT):
    """Our installer.exe of the benchmark build |build_name| (ROADS) of the
    checkout |root|."""
    log("building the %s installer of %s ..." % (build_name, root))
    run(["bash", os.path.join(root, "tools", "build.sh"), build_name])
    return os.path.join(root, "out", build_name, "desktop", "windows",
                        "installer", "installer.exe")


def build_ours(build, work, payload, packing, installer=None, suffix=""):
    """Our full installer of |payload| packed the |packing| way; with
    |installer|, that installer.exe instead of |build|'s, in a folder named
    with |suffix|."""
    inputs, branding = build_inputs(build)
    if installer:
        inputs["installer"] = installer
    script = os.path.join(ROOT, "tools", "make_sample_package.py")
    ours = os.path.join(work, "ours-%s-%s%s" % (payload["label"], packing,
                                               suffix))
    manifest = os.path.join(ours, "sample.json")
    if not os.path.exists(manifest) or os.path.getmtime(manifest) < \
            newest_mtime(list(inputs.values()) +
                         [payload["made"], script]):
        log("packing our full installer (%s MB payload, %s%s) ..." % (
            payload["label"], packing, suffix))
        shutil.rmtree(ours, ignore_errors=True)
        options = []
        if PACKINGS[packing]:
            options = ["--archive-options=" + PACKINGS[packing]]
        run([sys.executable, script, "--out", ours, "--packages", "base",
             "--bulk", payload["folder"], "--installer", inputs["installer"],
             "--launcher", inputs["launcher"], "--browser",
             inputs["browser"], "--branding", branding] + options)
    with open(manifest, encoding="utf-8") as f:
        package = json.load(f)["packages"]["base"]
    archive = os.path.join(ours, package["archive"])
    return {"installer": os.path.join(ours, package["full_installer"]),
            "tree": os.path.join(ours, package["tree"]),
            "archive": archive, "package": package,
            "dictionary": archive_dictionary(archive),
            "blocks": archive_blocks(archive)}


def archive_dictionary(archive):
    """The largest dictionary of the archive's coders, in bytes."""
    largest = 0
    for line in run(["7zz", "l", "-slt", archive]).splitlines():
        if not line.startswith("Method = "):
            continue
        for size, unit in re.findall(r"LZMA2?:(\d+)([kmg]?)", line):
            scale = {"": 1, "k": 1 << 10, "m": 1 << 20, "g": 1 << 30}[unit]
            value = int(size) * scale
            # A bare number is a power of two: "LZMA:20" is 1 MiB.
            if unit == "" and int(size) < 64:
                value = 1 << int(size)
            largest = max(largest, value)
    return largest


def archive_blocks(archive):
    for line in run(["7zz", "l", "-slt", archive]).splitlines():
        if line.startswith("Blocks = "):
            return int(line.split()[-1])
    return 0


def build_nsis(work, payload_label, tree):
    nsis_installer = os.path.join(work, "nsis-" + payload_label,
                                  "peer_installer.exe")
    nsi = os.path.join(HERE, "peer_install.nsi")
    stamp = os.path.join(tree, "..", "..", "sample.json")
    if not os.path.exists(nsis_installer) or os.path.getmtime(
            nsis_installer) < newest_mtime([stamp, nsi]):
        log("packing the NSIS installer (%s MB payload, SOLID lzma) ..." %
            payload_label)
        os.makedirs(os.path.dirname(nsis_installer), exist_ok=True)
        run(["makensis", "-V2", "-DPAYLOAD=" + tree,
             "-DOUTFILE=" + nsis_installer, nsi])
    return nsis_installer


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
        # pid: [peak RSS, command line]
        self.peaks = {}
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
                own = self.kilobytes("/proc/%d/status" % pid, "VmRSS:")
                rss += own
                pss += self.kilobytes("/proc/%d/smaps_rollup" % pid, "Pss:")
                peak = self.peaks.setdefault(pid, [0, command])
                peak[0] = max(peak[0], own)
                peak[1] = command
            self.peak_rss = max(self.peak_rss, rss)
            self.peak_pss = max(self.peak_pss, pss)
            self.stopping.wait(SAMPLE_INTERVAL)

    def largest(self):
        """(peak RSS in MiB, role) of the process with the largest peak."""
        if not self.peaks:
            return 0.0, "none"
        rss, command = max(self.peaks.values())
        return rss / 1024.0, role_of(command)

    def front_end(self):
        """Peak RSS in MiB of our front end (0 when it was not seen)."""
        return max((rss / 1024.0 for rss, command in self.peaks.values()
                    if role_of(command) == "front end"), default=0.0)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *unused):
        self.stopping.set()
        self.thread.join()


def role_of(command):
    if "--crash-reporter-parent-id" in command:
        return "crash reporter"
    if "--backend" in command:
        return "backend"
    return "front end"


def cpu_jiffies():
    """(time stolen by the hypervisor, all time) of all processors so far,
    in clock ticks; no steal is counted outside a virtual machine."""
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:9]]
    return fields[7] if len(fields) > 7 else 0, sum(fields)


def install(installer, arguments, prefix, check):
    """One silent install; a dict of its measurements."""
    with open(installer, "rb") as f:  # every side starts from a warm cache
        while f.read(1 << 24):
            pass
    env = wine_env(prefix)
    # The fresh prefix's and the last round's writes go to disk first, so
    # that no side pays for the writeback of another.
    os.sync()
    load = os.getloadavg()[0]
    with PrefixProcesses(prefix) as processes:
        stolen_before, all_before = cpu_jiffies()
        start = time.monotonic()
        process = subprocess.run(["wine", installer] + arguments, env=env,
                                 stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        wall = time.monotonic() - start
        stolen_after, all_after = cpu_jiffies()
        # Memory of processes that outlive the installer a little.
        time.sleep(2 * SAMPLE_INTERVAL)
    problem = check()
    if process.returncode != 0:
        problem = "exit code %d" % process.returncode
    largest, largest_role = processes.largest()
    return {"wall": wall, "rss": processes.peak_rss / 1024.0,
            "pss": processes.peak_pss / 1024.0, "largest": largest,
            "largest_role": largest_role, "front": processes.front_end(),
            "load": load, "problem": problem,
            "steal": 100.0 * (stolen_after - stolen_before) /
            max(1, all_after - all_before)}


def check_nsis(prefix, expected):
    def check():
        folder = unix_path(prefix, NSIS_FOLDER)
        found = count_files(folder) if os.path.isdir(folder) else 0
        if found != expected:
            return "%d of %d files installed" % (found, expected)
        return None
    return check


def check_ours(prefix, package, install_folder=OUR_FOLDER):
    def check():
        folder = unix_path(prefix, install_folder)
        if not os.path.isdir(folder):
            return "no install folder"
        versioned = [d for d in os.listdir(folder)
                     if os.path.isdir(os.path.join(folder, d)) and
                     d[:1].isdigit()]
        found = max((count_files(os.path.join(folder, d))
                     for d in versioned), default=0)
        if package and found < len(package["files"]):
            return "%d of %d versioned files installed" % (
                found, len(package["files"]))
        if not package and not found:
            return "nothing installed"
        return None
    return check


def our_unpack(tool, archive, prefix):
    """LzmaUtil's own time for the whole archive under Wine, in seconds, and
    the peak memory of its process."""
    out = "C:\\bench\\unpacked"
    # The install's writes go to disk first: their writeback would land in
    # the unpack's time.
    os.sync()
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
                    "rss": processes.peak_rss / 1024.0}
    raise SystemExit("our unpack failed: " + text[-500:])


def native_decode(archive, work):
    """Native 7zz's wall time and peak RSS (MiB) unpacking the archive."""
    out = os.path.join(work, "native_unpacked")
    shutil.rmtree(out, ignore_errors=True)
    os.sync()
    start = time.monotonic()
    child = subprocess.Popen(["7zz", "x", "-mmt1", "-bd", "-y", "-o" + out,
                              archive], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    # wait4 gives this child's own peak, not that of every child so far;
    # Popen is told the exit code so that it never waits for the child again.
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.monotonic() - start
    code = child.returncode = os.waitstatus_to_exitcode(status)
    shutil.rmtree(out, ignore_errors=True)
    if code != 0:
        raise SystemExit("7zz x %s failed: %d" % (archive, code))
    return {"wall": elapsed, "rss": usage.ru_maxrss / 1024.0}


# --- Reporting ------------------------------------------------------------

def median(values):
    return statistics.median(values) if values else float("nan")


KEYS = ("wall", "rss", "pss", "largest", "front", "load", "steal")


def summarize(rounds, max_steal):
    good = [r for r in rounds if not r["problem"]]
    if not good:
        return None
    # A side disturbed in every round keeps them all: the figure is then
    # there, and its steal column says what it is worth.
    calm = [r for r in good if r["steal"] <= max_steal] or good
    summary = {key: median([r[key] for r in calm]) for key in KEYS}
    summary["largest_role"] = max(
        set(r["largest_role"] for r in calm),
        key=[r["largest_role"] for r in calm].count)
    summary["rounds"] = "%d/%d" % (len(calm), len(rounds))
    return summary


ROAD_NAMES = [name for name, _ in ROADS.values()] + [ALL_USERS_ROAD]


def report(results, unpacks, natives, made, variants, work, max_steal):
    log("")
    log("%-30s %7s %9s %9s %14s %9s %5s %6s %6s" % (
        "(medians)", "wall s", "tree RSS", "tree PSS", "largest RSS",
        "front RSS", "load", "steal", "rounds"))
    summaries = {}
    for name in sorted(results, key=lambda n: (n.split(":")[0], n)):
        summary = summarize(results[name], max_steal)
        summaries[name] = summary
        if not summary:
            problems = sorted({r["problem"] for r in results[name]})
            log("%-30s FAILED in every round: %s" % (name,
                                                     "; ".join(problems)))
            continue
        front = "%9.1f" % summary["front"] if summary["front"] else \
            "%9s" % "-"
        log("%-30s %7.2f %9.1f %9.1f %6.1f %-7s %s %5.1f %5.1f%% %6s" % (
            name, summary["wall"], summary["rss"], summary["pss"],
            summary["largest"], summary["largest_role"][:7], front,
            summary["load"], summary["steal"], summary["rounds"]))
    log("(memory in MiB; largest RSS: the peak of the largest single "
        "process, and which; rounds: those in the medians, of all: an "
        "install with more than %.1f %% of the processors' time stolen is "
        "left out)" % max_steal)
    log("")
    for variant in variants:
        label, packing = variant
        name = "ours %s MB %s" % variant
        ours, nsis = summaries.get(name), summaries.get("NSIS %s MB" % label)
        info = made[variant]
        log("%s: %d blocks, dictionary %.0f MiB" % (
            name, info["blocks"], info["dictionary"] / MIB))
        if ours and nsis:
            target = "  target <= 1.00 (0.80)" if variant == ("163", "mx9") \
                else ""
            log("  wall / NSIS %.2f%s; tree RSS / NSIS %.2f; tree PSS / NSIS "
                "%.2f" % (ours["wall"] / nsis["wall"], target,
                          ours["rss"] / nsis["rss"],
                          ours["pss"] / nsis["pss"]))
        for road in [""] + [", " + r for r in ROAD_NAMES]:
            other = summaries.get(name + road)
            base = summaries.get(name + road + " (baseline)")
            if road and other and nsis:
                log("  road %s: wall / NSIS %.2f; tree RSS / NSIS %.2f" % (
                    road[2:], other["wall"] / nsis["wall"],
                    other["rss"] / nsis["rss"]))
            if base and other and nsis:
                log("  road %s, baseline: wall / NSIS %.2f; this build / "
                    "baseline wall %.2f" % (
                        road[2:] or "own", base["wall"] / nsis["wall"],
                        other["wall"] / base["wall"]))
        if ours:
            limit = info["dictionary"] / MIB + 40
            log("  front end peak %.1f MiB, target <= dictionary + 40 = "
                "%.1f MiB" % (ours["front"], limit))
        unpack = median([u["wall"] for u in unpacks.get(variant, [])])
        native = median([n["wall"] for n in natives.get(variant, [])])
        log("  unpack alone: ours (Wine) %.2f s, %.1f MiB; native 7zz x "
            "-mmt1 %.2f s, %.1f MiB; native / ours %.2f, target >= 0.75" % (
                unpack, median([u["rss"] for u in unpacks.get(variant, [])]),
                native, median([n["rss"] for n in natives.get(variant, [])]),
                native / unpack))
    for packing in PACKINGS:
        native_small = natives.get(("163", packing))
        native_large = natives.get(("650", packing))
        if native_small and native_large:
            log("native 7zz peak RSS 650 MB / 163 MB (%s): %.2f" % (
                packing, median([n["rss"] for n in native_large]) /
                median([n["rss"] for n in native_small])))
        for road in [""] + [", " + r for r in ROAD_NAMES]:
            small = summaries.get("ours 163 MB " + packing + road)
            large = summaries.get("ours 650 MB " + packing + road)
            if small and large:
                log("tree RSS 650 MB / 163 MB (%s%s): %.2f, target < 1.10; "
                    "tree PSS %.2f; front end %.2f; wall %.2f" % (
                        packing, road, large["rss"] / small["rss"],
                        large["pss"] / small["pss"],
                        large["front"] / small["front"],
                        large["wall"] / small["wall"]))
    now, before = summaries.get("sample (this build)"), \
        summaries.get("sample (baseline)")
    if now and before:
        log("small sample package: this build / baseline wall %.2f, target "
            "<= 1.00" % (now["wall"] / before["wall"]))
    log("made in " + work)


# --- The rounds -------------------------------------------------------------

def drop_caches():
    """Empties the system's file caches, where this process may; whether it
    did. Every install then starts from the same state (see the top)."""
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def one_install(template, work, job, round_index, keep, fresh_caches,
                max_steal):
    """Installs |job| in a fresh prefix; its result and, for our packages,
    the unpack step's alone in the same prefix."""
    name = job["name"]
    prefix = os.path.join(work, "prefixes", "%s-%d" % (
        re.sub(r"[^a-z0-9]+", "_", name.lower()), round_index))
    if fresh_caches:
        drop_caches()
    clone_prefix(template, prefix)
    start_wine(prefix)
    try:
        result = install(job["installer"], job["arguments"], prefix,
                         job["check"](prefix))
        extra = job["after"](prefix) if job.get("after") else None
    finally:
        stop_wine(prefix)
        if not keep:
            shutil.rmtree(prefix, ignore_errors=True)
    log("round %d %-24s %6.2f s  RSS %7.1f  largest %6.1f (%s)  load %4.1f"
        "  steal %4.1f%%  %s%s" % (
            round_index + 1, name, result["wall"], result["rss"],
            result["largest"], result["largest_role"], result["load"],
            result["steal"], result["problem"] or "ok",
            ", disturbed" if result["steal"] > max_steal else ""))
    return result, extra


def add_our_jobs(jobs, variant, tag, made, roads, all_users, unpack_tool):
    """The installs of |variant| by one side (this build, or the baseline
    one with |tag|): its own road, then each road of |roads|."""
    job = {"name": "ours %s MB %s%s" % (variant + (tag,)),
           "installer": made[variant]["installer"],
           "arguments": OUR_ARGUMENTS,
           "check": lambda prefix: check_ours(prefix,
                                              made[variant]["package"])}
    if not tag:
        # The unpack step alone, of this build only.
        job["variant"] = variant
        job["after"] = lambda prefix: our_unpack(
            unpack_tool, made[variant]["archive"], prefix)
    jobs.append(job)
    # (road's name, its installers, their arguments)
    other_roads = [(ROADS[option][0], road_made, OUR_ARGUMENTS, OUR_FOLDER)
                   for option, road_made in roads.items()]
    if all_users:
        # The road an elevated install takes on Windows.
        other_roads.append((ALL_USERS_ROAD, roads.get("kept_access_lists", made),
                            ALL_USERS_ARGUMENTS, ALL_USERS_FOLDER))
    for road, road_made, arguments, folder in other_roads:
        jobs.append({"name": "ours %s MB %s, %s%s" % (variant + (road, tag)),
                     "installer": road_made[variant]["installer"],
                     "arguments": arguments,
                     "check": lambda prefix, made_here=road_made[variant],
                     folder=folder:
                     check_ours(prefix, made_here["package"], folder)})


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--work", default=os.path.join(ROOT, "out", "bench"))
    parser.add_argument("--build", default=os.path.join(ROOT, "out", "win"))
    parser.add_argument("--variants", default=DEFAULT_VARIANTS,
                        help="payload:packing pairs, comma separated "
                        "(payloads 163, 650; packings today, mx9, mx9d64)")
    parser.add_argument("--sample", action="store_true",
                        help="also install the small sample package")
    parser.add_argument("--sample-baseline",
                        help="an older build's sample full installer, "
                        "installed beside this build's")
    parser.add_argument("--keep", action="store_true",
                        help="keep each round's prefix")
    parser.add_argument("--standard-user", action="store_true",
                        help="also install each variant with a build that "
                        "takes a standard user's road")
    parser.add_argument("--kept-access-lists", action="store_true",
                        help="also install each variant with a build that "
                        "takes the elevated road as on Windows")
    parser.add_argument("--all-users", action="store_true",
                        help="also install each variant for every user "
                        "(--allusers=1), with the build of "
                        "--kept-access-lists when given")
    parser.add_argument("--baseline",
                        help="the root of a second checkout (a worktree of "
                        "an older commit, its out/win built): its "
                        "installer.exe, and its builds of the roads asked "
                        "for, install every variant too, in the same rounds "
                        "(\"(baseline)\" in the names)")
    parser.add_argument("--max-steal", type=float, default=2.0,
                        help="percent of all processors' time stolen by the "
                        "hypervisor above which an install is disturbed "
                        "(default 2)")
    parser.add_argument("--keep-caches", action="store_true",
                        help="do not empty the file caches before each "
                        "install (they are emptied where this user may)")
    args = parser.parse_args()
    for tool in ("wine", "wineserver", "7zz", "makensis"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is missing: run tools/install_deps.sh")
    variants = [tuple(v.split(":")) for v in args.variants.split(",") if v]
    for label, packing in variants:
        if label not in PAYLOADS or packing not in PACKINGS:
            raise SystemExit("unknown variant %s:%s" % (label, packing))

    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    payloads = {}
    for label in sorted({v[0] for v in variants}):
        folder = os.path.join(work, "payload-" + label)
        stamp = folder + ".made"
        if not os.path.exists(stamp):
            log("making the %s MB payload ..." % label)
            make_payload(folder, PAYLOADS[label])
            with open(stamp, "w") as f:
                f.write("made")
        payloads[label] = {"label": label, "folder": folder, "made": stamp}
    made = {v: build_ours(build, work, payloads[v[0]], v[1])
            for v in variants}
    # Road option: {variant: our installer of that build}.
    roads = {}
    for option, (_, build_name) in ROADS.items():
        if getattr(args, option):
            installer = build_road_installer(build_name)
            suffix = "-" + build_name[len("bench-"):]
            roads[option] = {v: build_ours(build, work, payloads[v[0]], v[1],
                                           installer, suffix)
                             for v in variants}
    # The same of the baseline checkout: (name's tag, made, roads).
    sides = [("", made, roads)]
    if args.baseline:
        base_root = os.path.abspath(args.baseline)
        base_installer = os.path.join(base_root, "out", "win", "desktop",
                                      "windows", "installer", "installer.exe")
        if not os.path.exists(base_installer):
            raise SystemExit("%s is missing: build the baseline checkout"
                             % base_installer)
        base_made = {v: build_ours(build, work, payloads[v[0]], v[1],
                                   base_installer, "-baseline")
                     for v in variants}
        base_roads = {}
        for option in roads:
            build_name = ROADS[option][1]
            installer = build_road_installer(build_name, base_root)
            suffix = "-" + build_name[len("bench-"):] + "-baseline"
            base_roads[option] = {v: build_ours(build, work, payloads[v[0]],
                                                v[1], installer, suffix)
                                  for v in variants}
        sides.append((" (baseline)", base_made, base_roads))
    nsis = {}
    for label in payloads:
        tree = next(made[v]["tree"] for v in variants if v[0] == label)
        nsis[label] = build_nsis(work, label, tree)
        files = count_files(tree)
        log("%s MB payload: %d files, %.1f MB (file list digest %s); NSIS "
            "installer %.1f MB" % (label, files, tree_bytes(tree) / 1e6,
                                   hashlib.sha256(json.dumps(next(
                                       made[v]["package"]["files"]
                                       for v in variants if v[0] == label))
                                       .encode()).hexdigest()[:16],
                                   os.path.getsize(nsis[label]) / 1e6))
    for variant in variants:
        log("our %s MB %s installer: %.1f MB" % (
            variant[0], variant[1],
            os.path.getsize(made[variant]["installer"]) / 1e6))
    template = make_template_prefix(work)
    unpack_tool = os.path.join(build, "desktop", "windows", "installer",
                               "package_fetcher", "lzma_unpack_benchmark.exe")
    sample_installer = os.path.join(build, "sample_packages",
                                    "velna_full_installer.exe")

    results = {}
    unpacks = {}
    natives = {}
    jobs = []
    for label in payloads:
        expected = count_files(next(
            made[v]["tree"] for v in variants if v[0] == label))
        jobs.append({"name": "NSIS %s MB" % label, "installer": nsis[label],
                     "arguments": ["/S", "/D=" + NSIS_FOLDER],
                     "check": lambda prefix, expected=expected:
                     check_nsis(prefix, expected)})
    for variant in variants:
        for tag, side_made, side_roads in sides:
            add_our_jobs(jobs, variant, tag, side_made, side_roads,
                         args.all_users, unpack_tool)
    samples = []
    if args.sample:
        samples.append(("sample (this build)", sample_installer))
    if args.sample_baseline:
        samples.append(("sample (baseline)",
                        os.path.abspath(args.sample_baseline)))
    for name, installer in samples:
        jobs.append({"name": name, "installer": installer,
                     "arguments": OUR_ARGUMENTS,
                     "check": lambda prefix: check_ours(prefix, None)})

    fresh_caches = not args.keep_caches and drop_caches()
    log("file caches are %s before each install" % (
        "emptied" if fresh_caches else "kept"))
    results = {}
    unpacks = {}
    natives = {}
    for round_index in range(args.rounds):
        # Each round in another order, so that no side always comes first.
        for job in jobs if round_index % 2 == 0 else reversed(jobs):
            result, unpack = one_install(template, work, job, round_index,
                                         args.keep, fresh_caches,
                                         args.max_steal)
            results.setdefault(job["name"], []).append(result)
            if unpack:
                unpacks.setdefault(job["variant"], []).append(unpack)
        for variant in variants:
            natives.setdefault(variant, []).append(
                native_decode(made[variant]["archive"], work))
    report(results, unpacks, natives, made, variants, work, args.max_steal)
    return 0


if __name__ == "__main__":
    sys.exit(main())
