#!/usr/bin/env python3
"""Makes the sample browser packages that the end-to-end tests and the
benchmarks install, from programs the project builds.

A package is a folder tree packed as a 7z archive (LZMA2, Debian's 7zz):

  installer.exe        the engine's installer: the package's backend
  <base>.exe           the browser executable (branding "file_name_base")
  launcher.exe         the launcher, installed into the install folder's root
  files_list           the files copied into the versioned installation
                       subfolder, one path per line relative to the package
  root_files_list      the files copied into the root of the install folder
  resources\\...        the versioned files besides the two executables
  <root files>         the Start-menu tile manifest and its pictures

Both lists are UTF-8, every line ends with CRLF (the fetcher appends further
names behind the last line) and uses backslashes. Every file but the two
lists and the launcher is named in one of them.

Two packages are made: "base" with the installer as built, and "update",
whose installer carries the branding document of the next major version
(built by the project as a second executable) and whose files differ: one
versioned file added, one dropped, one root file dropped. From them come
the full installers (installer.exe with the archive appended behind the
payload trailer) and the net installer (installer.exe with tracking data
appended). DIR/sample.json describes everything made.

Usage:
  make_sample_package.py --out DIR --installer EXE --update-installer EXE
      --launcher EXE --browser EXE --branding JSON [--images DIR]
  make_sample_package.py --out DIR --packages base --bulk TREE ...
      (the benchmark's package: TREE's files join the versioned files)
  make_sample_package.py --out DIR --installer EXE --launcher EXE
      --branding JSON --files TREE [--root-files TREE]
      [--tracking-data TEXT]
      (a package of one's own: TREE's files, <base>.exe among them, are the
      versioned files, the other tree's the root files; one full installer
      and the net installer)
  make_sample_package.py ... --packages base --backend EXE
      (the base package with EXE as its installer.exe, the package's
      backend, while the full installer's own program stays --installer:
      a test's stand-in backend behind the real window)
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# No compiled copy of the imported module in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "desktop", "windows", "installer",
                                "package_fetcher", "test"))
import make_test_packages as payload  # noqa: E402  (the trailer's writer)

TRACKING_DATA = b"campaign=sample&partner=velna-sample&source=endtoend"
# 2024-01-01 00:00:00 UTC: every file of a package has this time, so that
# the same programs give the same archive.
FIXED_TIME = 1704067200
# 16 MB solid blocks: engines before the stream decoder held a whole block
# in memory. The engine now streams blocks of any size; the sample packages
# keep this packing so that their figures compare with earlier ones (the
# benchmark packs with -mx=9 in one block as well).
DEFAULT_ARCHIVE_OPTIONS = "-m0=LZMA2 -mx=5 -mmt=2 -ms=16m"
LOCALES = ["ar", "de", "en-US", "ja", "nb", "zh-CN"]


def run(args, cwd=None):
    result = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise SystemExit("%s failed: %s" % (
            " ".join(args), result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8", errors="replace")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def locale_pack(rng, locale, label):
    lines = []
    for index in range(rng.randrange(400, 1200)):
        words = " ".join(rng.choice(("tab", "page", "window", "history",
                                     "bookmark", "download", "settings",
                                     "search", "private", "reload"))
                         for _ in range(rng.randrange(2, 9)))
        lines.append("%s.%s.%05d=%s" % (label, locale, index, words))
    return ("\r\n".join(lines) + "\r\n").encode()


def engine_pack(rng, size):
    """Half text-like records, half noise: packs like real resources."""
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += b"resource %08x size %d\r\n" % (rng.getrandbits(32),
                                                   rng.randrange(1 << 20))
        else:
            out += rng.randbytes(rng.randrange(16, 256))
    return bytes(out[:size])


def tile_manifest():
    return ("<Application xmlns:xsi="
            "\"http://www.w3.org/2001/XMLSchema-instance\">\r\n"
            "  <VisualElements ShowNameOnSquare150x150Logo=\"on\"\r\n"
            "      Square150x150Logo=\"VisualElements\\logo.png\"\r\n"
            "      Square70x70Logo=\"VisualElements\\smalllogo.png\"\r\n"
            "      ForegroundText=\"light\" BackgroundColor=\"#7a1f2b\"/>\r\n"
            "</Application>\r\n").encode()


def tree_files(tree):
    """{relative path (with "/"): source path} of the files below |tree|."""
    files = {}
    for folder, dirs, names in os.walk(tree):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            files[os.path.relpath(path, tree).replace(os.sep, "/")] = path
    return files


def own_files(args, base_name):
    """The versioned and root files of a package of one's own."""
    versioned = tree_files(args.files)
    if base_name + ".exe" not in versioned:
        raise SystemExit("%s holds no %s.exe" % (args.files, base_name))
    for reserved in ("installer.exe", "launcher.exe", "files_list",
                     "root_files_list"):
        if reserved in versioned:
            raise SystemExit("%s holds %s, which the package makes itself" %
                             (args.files, reserved))
    versioned["installer.exe"] = read(args.installer)
    root = tree_files(args.root_files) if args.root_files else {}
    # Both lists name paths inside the one package tree.
    both = sorted(set(versioned) & set(root))
    if both:
        raise SystemExit("versioned and root files of the same name: %s" %
                         ", ".join(both))
    return versioned, root


def package_files(label, args, base_name):
    """{relative path (with "/"): bytes} of the versioned and root files."""
    if args.files:
        return own_files(args, base_name)
    rng = random.Random("velna-sample-" + label)
    versioned = {
        "installer.exe": read(args.backend or (
            args.installer if label == "base" else args.update_installer)),
        base_name + ".exe": read(args.browser),
        "resources/package_label.txt": ("sample package %s\r\n" %
                                        label).encode(),
        "resources/engine.pak": engine_pack(rng, 1536 * 1024),
        "resources/empty.dat": b"",
        "resources/texts/caf\u00e9.txt": "caf\u00e9 au lait\r\n".encode(),
    }
    locales = LOCALES + (["fr"] if label == "update" else [])
    for locale in locales:
        versioned["resources/locales/%s.pak" % locale] = locale_pack(
            rng, locale, label)
    if label == "base":
        versioned["resources/about.html"] = (
            "<!doctype html><title>About</title><p>Sample package</p>\r\n"
        ).encode()
    logo = read(os.path.join(args.images, "logo.png"))
    root = {
        base_name + ".VisualElementsManifest.xml": tile_manifest(),
        "VisualElements/logo.png": logo,
    }
    if label == "base":
        root["VisualElements/smalllogo.png"] = logo
    return versioned, root


def bulk_files(tree):
    return {"bulk/" + relative: path
            for relative, path in tree_files(tree).items()}


def list_text(paths):
    return "".join(p.replace("/", "\\") + "\r\n" for p in paths).encode()


def stage(tree, versioned, root, bulk, launcher):
    """Writes the package tree; returns the lines of the two lists. A file's
    data is its bytes, or the path of a file to copy."""
    shutil.rmtree(tree, ignore_errors=True)
    files_lines = (["installer.exe"] +
                   sorted(p for p in versioned if p != "installer.exe") +
                   sorted(bulk))
    root_lines = sorted(root)
    for path, data in (list(versioned.items()) + list(root.items()) +
                       list(bulk.items())):
        if isinstance(data, bytes):
            write(os.path.join(tree, path), data)
        else:
            os.makedirs(os.path.dirname(os.path.join(tree, path)),
                        exist_ok=True)
            shutil.copyfile(data, os.path.join(tree, path))
    shutil.copyfile(launcher, os.path.join(tree, "launcher.exe"))
    write(os.path.join(tree, "files_list"), list_text(files_lines))
    write(os.path.join(tree, "root_files_list"), list_text(root_lines))
    for folder, dirs, names in os.walk(tree):
        for name in dirs + names:
            os.utime(os.path.join(folder, name), (FIXED_TIME, FIXED_TIME))
    return files_lines, root_lines


def archive_files(archive):
    """The file items (not folders) of a 7z archive, with "/" separators."""
    files = []
    entry = {}
    for line in run(["7zz", "l", "-slt", "-ba", archive]).splitlines() + [""]:
        if not line.strip():
            if "Path" in entry and "D" not in entry.get("Attributes", ""):
                files.append(entry["Path"].replace("\\", "/"))
            entry = {}
            continue
        key, _, value = line.partition(" = ")
        entry[key] = value
    return sorted(files)


def pack(tree, archive, options):
    if os.path.exists(archive):
        os.remove(archive)
    members = sorted(os.listdir(tree))
    run(["7zz", "a", "-bd", "-t7z", "-mtc=off", "-mta=off"] + options +
        [archive] + members, cwd=tree)


def make_package(label, args, base_name, out):
    versioned, root = package_files(label, args, base_name)
    bulk = bulk_files(args.bulk) if args.bulk and label == "base" else {}
    tree = os.path.join(out, label, "package")
    files_lines, root_lines = stage(tree, versioned, root, bulk, args.launcher)
    archive = os.path.join(out, label, "package.7z")
    pack(tree, archive, args.archive_options.split())
    control = ["files_list", "launcher.exe", "root_files_list"]
    expected = sorted(files_lines + root_lines + control)
    listed = archive_files(archive)
    if listed != expected:
        raise SystemExit("%s lists %s, expected %s" % (
            archive, sorted(set(listed) ^ set(expected)), "the lists' files"))

    image = (read(args.installer) if args.backend and label == "base"
             else versioned["installer.exe"])
    installer = os.path.join(out, "%s_%sfull_installer.exe" % (
        base_name, "" if label == "base" else "update_"))
    write(installer, image + payload.trailer(
        payload.padded_archive(image, read(archive))))
    return {
        "tree": os.path.relpath(tree, out),
        "archive": os.path.relpath(archive, out),
        "full_installer": os.path.basename(installer),
        "full_installer_sha256": hashlib.sha256(read(installer)).hexdigest(),
        "full_installer_size": os.path.getsize(installer),
        "files": [p.replace("/", "\\") for p in files_lines],
        "root_files": [p.replace("/", "\\") for p in root_lines],
        "control_files": control,
        "file_count": len(expected),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--update-installer")
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--backend", help="the base package's installer.exe "
                        "in place of --installer, which stays the full "
                        "installer's program")
    parser.add_argument("--browser")
    parser.add_argument("--branding", required=True)
    parser.add_argument("--images", default=os.path.join(
        ROOT, "desktop", "windows", "installer", "resources", "images"))
    parser.add_argument("--packages")
    parser.add_argument("--bulk", help="a tree added to the base package")
    parser.add_argument("--files", help="the versioned files of a package "
                        "of one's own, instead of the sample's")
    parser.add_argument("--root-files", help="with --files: the files of "
                        "the install folder's root")
    parser.add_argument("--tracking-data", default=TRACKING_DATA.decode(),
                        help="the text the net installer carries")
    parser.add_argument("--archive-options", default=DEFAULT_ARCHIVE_OPTIONS,
                        help="7zz options of the archive after -t7z, in one "
                        "argument: --archive-options=\"-m0=LZMA2 -mx=9\"")
    args = parser.parse_args()
    labels = (args.packages or ("base" if args.files else "base,update")
              ).split(",")
    if args.files and labels != ["base"]:
        parser.error("--files makes one package: --packages base")
    if args.root_files and not args.files:
        parser.error("--root-files goes with --files")
    if not args.files and not args.browser:
        parser.error("the sample packages need --browser")
    if args.backend and (args.files or labels != ["base"]):
        parser.error("--backend goes with the sample's --packages base")
    if "update" in labels and not args.update_installer:
        parser.error("the update package needs --update-installer")
    with open(args.branding, encoding="utf-8") as f:
        base_name = json.load(f)["file_name_base"]

    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    manifest = {"file_name_base": base_name,
                "browser_executable": base_name + ".exe",
                "packages": {}}
    for label in labels:
        manifest["packages"][label] = make_package(label, args, base_name, out)

    image = read(args.installer)
    net = "%s_net_installer.exe" % base_name
    tracking_data = args.tracking_data.encode()
    write(os.path.join(out, net), image + payload.trailer(tracking_data))
    manifest["net_installer"] = net
    manifest["tracking_data"] = args.tracking_data
    with open(os.path.join(out, "sample.json.tmp"), "w",
              encoding="utf-8") as f:
        json.dump(manifest, f, indent=1, ensure_ascii=False)
    # Written last and whole: the build's record that everything is there.
    os.replace(os.path.join(out, "sample.json.tmp"),
               os.path.join(out, "sample.json"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
