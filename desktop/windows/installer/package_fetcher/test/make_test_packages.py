#!/usr/bin/env python3
"""Makes the material of the package tests on the build machine, fresh on
every test run: a 300-file tree and its 7z archive, executables that carry
it (signed and unsigned), hostile and damaged archives, and signed
executables of a throwaway certificate authority for the signer checks;
with the fetcher's programs, the installer images of the package fetcher's
tests (signed by a second throwaway authority of their own).

Usage: make_test_packages.py --out DIR [--stub STUB.exe
           [--host HOST.exe --installer INSTALLER.exe --version-stub V.exe
            --test-host TEST_HOST.exe]]
Without --stub only the archives are made. The installer's test host
(--test-host) is signed by the fetcher's signer too, for the tests of an
elevated installer that checks the programs of its package.

Tools: 7zz, openssl and osslsigncode. Everything the tests need to know is
written to DIR/material.json.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

MAGIC = b"VLN"
SEVEN_ZIP_SIGNATURE = bytes.fromhex("377abcaf271c")
# 100-ns intervals between 1601-01-01 and 1970-01-01.
FILETIME_UNIX_EPOCH = 116444736000000000
BASE_TIME = 1600000000  # 2020-09-13, whole seconds


def run(args, cwd=None):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# --- The tree and its archive -------------------------------------------

def make_tree(root):
    """300 files in nested folders: random and compressible contents, three
    empty files, a folder ("paths/only") that the archive knows only from
    its files' paths, and "notime.txt", archived without a time."""
    rng = random.Random(20)
    files = []
    for i in range(297):
        folder = "d%d/s%d" % (i % 7, i % 5)
        if i % 50 == 0:
            folder = "paths/only"
        name = "%s/f%03d.%s" % (folder, i, ("bin", "txt", "dll")[i % 3])
        kind = i % 4
        if i in (5, 77, 150):
            data = b""
        elif kind == 0:
            data = rng.randbytes(rng.randrange(1, 40000))
        elif kind == 1:
            data = ("line %d of file %d\r\n" % (i, i)).encode() * rng.randrange(
                1, 3000)
        elif kind == 2:
            # Machine code-like bytes, where BCJ has something to do.
            data = b"".join(b"\xe8" + struct.pack("<i", rng.randrange(-9999, 9999))
                            + rng.randbytes(3) for _ in range(rng.randrange(1, 4000)))
        else:
            data = bytes(rng.randrange(0, 8) for _ in range(rng.randrange(1, 20000)))
        files.append((name, data))
    files.append(("notime.txt", b"this file has no time in the archive\r\n"))
    files.append(("d0/unicode \u00e9\u4e2d.txt", b"non-ASCII name\r\n"))
    files.append(("d1/last file.txt", b"x" * 70000))
    write_tree(root, files)
    return files


def write_tree(root, files):
    """Writes (name, data) pairs below |root|, the n-th file with the time
    BASE_TIME + 61 n s, as manifest() expects."""
    for index, (name, data) in enumerate(files):
        path = os.path.join(root, name)
        write(path, data)
        stamp = BASE_TIME + index * 61
        os.utime(path, (stamp, stamp))


def make_tree_archive(root, archive):
    """LZMA2 with BCJ, solid blocks of at most 150 files; the folders d0-d6
    come with their folder items, "paths/only" only through file paths;
    "notime.txt" is added afterwards without a time."""
    members = ["d%d" % i for i in range(7)]
    only = sorted(os.listdir(os.path.join(root, "paths/only")))
    members += ["paths/only/" + n for n in only]
    run(["7zz", "a", "-bd", "-t7z", "-m0=BCJ", "-m1=LZMA2:d=1m", "-ms=150f",
         "-mmt=1", archive] + members, cwd=root)
    run(["7zz", "a", "-bd", "-t7z", "-mtm=off", "-mmt=1", archive, "notime.txt"],
        cwd=root)


def manifest(root, files):
    entries = []
    for index, (name, data) in enumerate(files):
        # A string: JSON numbers lose the low bits of a FILETIME.
        stamp = ""
        if name != "notime.txt":
            stamp = str((BASE_TIME + index * 61) * 10000000 + FILETIME_UNIX_EPOCH)
        entries.append({"path": name.replace("/", "\\"), "size": len(data),
                        "sha256": hashlib.sha256(data).hexdigest(),
                        "filetime": stamp})
    folders = sorted({os.path.dirname(n).replace("/", "\\") for n, _ in files}
                     - {""})
    parents = set()
    for f in folders:
        parts = f.split("\\")
        for i in range(1, len(parts) + 1):
            parents.add("\\".join(parts[:i]))
    return {"files": entries, "folders": sorted(parents)}


# --- 7z header surgery ---------------------------------------------------

def header_span(data):
    offset, size = struct.unpack("<QQ", data[12:28])
    start = 32 + offset
    return start, start + size


def fix_crcs(data):
    data = bytearray(data)
    start, end = header_span(data)
    struct.pack_into("<I", data, 28, zlib.crc32(data[start:end]))
    struct.pack_into("<I", data, 8, zlib.crc32(data[12:32]))
    return bytes(data)


def forge_names(archive, replacements):
    """Swaps UTF-16 names in a plain (-mhc=off) header for others of the
    same length and recomputes the two header CRCs."""
    data = bytearray(read(archive))
    start, end = header_span(data)
    header = bytes(data[start:end])
    for old, new in replacements:
        old_bytes = old.encode("utf-16-le")
        new_bytes = new.encode("utf-16-le")
        assert len(old_bytes) == len(new_bytes), (old, new)
        where = header.find(old_bytes)
        assert where >= 0 and header.find(old_bytes, where + 1) < 0, old
        header = header[:where] + new_bytes + header[where + len(old_bytes):]
    data[start:end] = header
    return fix_crcs(data)


def number(value):
    """A 7z header NUMBER."""
    if value < 0x80:
        return bytes([value])
    if value < 0x4000:
        return bytes([0x80 | (value >> 8), value & 0xFF])
    return b"\xff" + struct.pack("<Q", value)


def huge_block_archive():
    """A stored ("Copy") block that claims 2^60 decoded bytes."""
    packed = b"sixteen bytes..."
    name = "big.bin\0".encode("utf-16-le")
    header = (b"\x01"                                   # header
              b"\x04"                                   # main streams
              b"\x06" + number(0) + number(1) +         # pack info
              b"\x09" + number(len(packed)) + b"\x00"
              b"\x07\x0b" + number(1) + b"\x00"         # one folder
              + number(1) + b"\x01\x00"                 # one Copy coder
              + b"\x0c" + number(1 << 60) + b"\x00"     # its size
              b"\x00"
              b"\x05" + number(1) +                     # one file
              b"\x11" + number(len(name) + 1) + b"\x00" + name +
              b"\x00"
              b"\x00")
    start = struct.pack("<QQI", len(packed), len(header), zlib.crc32(header))
    data = (SEVEN_ZIP_SIGNATURE + b"\x00\x04" + struct.pack("<I", zlib.crc32(start))
            + start + packed + header)
    return data


HOSTILE_NAMES = {
    "dotdot_backslash": "..\\x",
    "dotdot_slash": "../x",
    "drive": "C:\\x",
    "rooted": "\\x",
    "unc": "\\\\srv\\s\\x",
    "stream": "a:s",
    "device": "CON",
    "device_in_folder": "sub\\AUX.txt",
    "climb": "a\\..\\..\\x",
    "carriage_return": "a\rb",
    "nul": "a\0b",
    "trailing_dot": "x.",
}


def make_hostile(out, work):
    """One archive per hostile name: a harmless file beside it."""
    made = {}
    for key, name in HOSTILE_NAMES.items():
        folder = os.path.join(work, "hostile_" + key)
        placeholder = ("H" + "q" * 16)[:len(name)]
        write(os.path.join(folder, placeholder), b"hostile\r\n")
        write(os.path.join(folder, "harmless.txt"), b"harmless\r\n")
        archive = os.path.join(work, key + ".7z")
        run(["7zz", "a", "-bd", "-t7z", "-mhc=off", "-mmt=1", archive,
             placeholder, "harmless.txt"], cwd=folder)
        write(os.path.join(out, "hostile", key + ".7z"),
              forge_names(archive, [(placeholder, name)]))
        made[key] = "hostile\\" + key + ".7z"
    # An empty name: the NUL that ends "E" moves in front of it, so the
    # first name is empty and the next one gains the "E".
    folder = os.path.join(work, "hostile_empty")
    write(os.path.join(folder, "E"), b"e")
    write(os.path.join(folder, "F"), b"f")
    archive = os.path.join(work, "empty.7z")
    run(["7zz", "a", "-bd", "-t7z", "-mhc=off", "-mmt=1", archive, "E", "F"],
        cwd=folder)
    write(os.path.join(out, "hostile", "empty_name.7z"),
          forge_names(archive, [("E\0F", "\0EF")]))
    made["empty_name"] = "hostile\\empty_name.7z"
    return made


def make_damaged(out, work, tree_archive):
    made = {}
    data = read(tree_archive)
    for cut in (0, 1, 6, 31, 32, 33, 1000, len(data) // 2, len(data) - 1):
        name = "damaged\\truncated_%d.7z" % cut
        write(os.path.join(out, name.replace("\\", "/")), data[:cut])
        made["truncated_%d" % cut] = name
    # One solid block, so the damage shows before any item is written.
    folder = os.path.join(work, "flip")
    for i in range(5):
        write(os.path.join(folder, "file%d.txt" % i),
              ("content %d\r\n" % i).encode() * 2000)
    archive = os.path.join(work, "flip.7z")
    run(["7zz", "a", "-bd", "-t7z", "-ms=on", "-mmt=1", archive, "."],
        cwd=folder)
    flipped = bytearray(read(archive))
    flipped[32 + 40] ^= 0x55
    write(os.path.join(out, "damaged", "flipped.7z"), bytes(flipped))
    made["flipped"] = "damaged\\flipped.7z"
    write(os.path.join(out, "damaged", "huge_block.7z"), huge_block_archive())
    made["huge_block"] = "damaged\\huge_block.7z"
    return made


def make_method_archives(out, work):
    """Archives whose decoders take further buffers from the block
    allocator while the block's buffer lives (BCJ2's streams, PPMd's model),
    and one holding folders only."""
    folder = os.path.join(work, "methods")
    rng = random.Random(7)
    code = b"".join(b"\xe8" + struct.pack("<i", rng.randrange(-5000, 5000)) +
                    b"\x90\x90" for _ in range(30000))
    write(os.path.join(folder, "code.exe"), code)
    write(os.path.join(folder, "text.txt"), b"ppmd likes text\r\n" * 5000)
    made = {}
    methods = {
        "bcj2": ["-m0=BCJ2", "-m1=LZMA:d=1m", "-m2=LZMA:d=64k",
                 "-m3=LZMA:d=64k", "-mb0:1", "-mb0s1:2", "-mb0s2:3"],
        "ppmd": ["-m0=PPMd:mem=16m"],
        "copy": ["-m0=Copy"],
    }
    for key, args in methods.items():
        archive = os.path.join(out, "methods", key + ".7z")
        os.makedirs(os.path.dirname(archive), exist_ok=True)
        run(["7zz", "a", "-bd", "-t7z", "-mmt=1"] + args +
            [archive, "code.exe", "text.txt"], cwd=folder)
        made[key] = "methods\\" + key + ".7z"
    folders = os.path.join(work, "folders")
    for name in ("a", "b/c", "b/d/e"):
        os.makedirs(os.path.join(folders, name))
    archive = os.path.join(out, "methods", "folders_only.7z")
    run(["7zz", "a", "-bd", "-t7z", archive, "a", "b"], cwd=folders)
    made["folders_only"] = "methods\\folders_only.7z"
    # Keys without dots: the tests read dotted paths.
    made["method_files"] = {"code": hashlib.sha256(code).hexdigest(),
                            "text": hashlib.sha256(
                                b"ppmd likes text\r\n" * 5000).hexdigest()}
    return made


# Coder chains of the stream decoder: (key, 7zz options), one solid block
# each over the same three files.
STREAM_CHAINS = [
    ("lzma", ["-m0=LZMA:d=1m"]),
    ("lzma2", ["-m0=LZMA2:d=1m"]),
    ("x86", ["-m0=BCJ", "-m1=LZMA2:d=1m"]),
    ("arm64", ["-m0=ARM64", "-m1=LZMA2:d=1m"]),
    ("arm", ["-m0=ARM", "-m1=LZMA:d=1m"]),
    ("armt", ["-m0=ARMT", "-m1=LZMA:d=1m"]),
    ("ppc", ["-m0=PPC", "-m1=LZMA:d=1m"]),
    ("sparc", ["-m0=SPARC", "-m1=LZMA:d=1m"]),
    ("ia64", ["-m0=IA64", "-m1=LZMA:d=1m"]),
    ("riscv", ["-m0=RISCV", "-m1=LZMA:d=1m"]),
    ("delta", ["-m0=Delta:4", "-m1=LZMA2:d=1m"]),
    ("bcj2_lzma2", ["-m0=BCJ2", "-m1=LZMA2:d=1m", "-m2=LZMA:d=64k",
                    "-m3=LZMA:d=64k", "-mb0:1", "-mb0s1:2", "-mb0s2:3"]),
    # How release pipelines pack, BCJ2 with LZMA2 at the highest level.
    ("ultra", ["-mx=9", "-mf=BCJ2"]),
    # A block per file, each smaller than the dictionary the archive gives.
    ("small_blocks", ["-m0=LZMA:d=64m", "-ms=1f"]),
    ("small_blocks2", ["-m0=LZMA2:d=64m", "-ms=1f"]),
]


def make_stream_archives(out, work):
    """The same files under every chain the stream decoder knows: code-like
    bytes with many branches (BCJ2's call and jump streams outgrow their
    buffers), incompressible bytes (the packed stream outgrows its input
    buffer) and text."""
    folder = os.path.join(work, "streams")
    rng = random.Random(37)
    files = {
        "code.exe": b"".join(
            rng.choice([b"\xe8", b"\xe9", b"\x0f\x85", b"\x94", b"\xeb"])
            + rng.randbytes(7) for _ in range(60000)),
        "noise.bin": rng.randbytes(700000),
        "text.txt": b"".join(b"line %d of the stream test\r\n" % i
                             for i in range(8000)),
    }
    for name, data in files.items():
        write(os.path.join(folder, name), data)
    made = {}
    for key, options in STREAM_CHAINS:
        archive = os.path.join(out, "streams", key + ".7z")
        os.makedirs(os.path.dirname(archive), exist_ok=True)
        solid = [] if any(o.startswith("-ms=") for o in options) else ["-ms=on"]
        run(["7zz", "a", "-bd", "-t7z", "-mmt=1"] + solid + options +
            [archive] + sorted(files), cwd=folder)
        made[key] = "streams\\" + key + ".7z"
    made["stream_files"] = {name.replace(".", "_"): hashlib.sha256(data)
                            .hexdigest() for name, data in files.items()}
    return made


def make_large_stream_archives(out, work):
    """Blocks large enough that their main stream decodes on a thread of
    its own: code-like bytes, noise and text in turn, 12 MB."""
    rng = random.Random(12)
    code = b"".join(rng.choice([b"\xe8", b"\xe9", b"\x0f\x85"]) +
                    rng.randbytes(5) for _ in range(20000))
    text = b"".join(b"line %d of the large test\r\n" % i
                    for i in range(8000))
    data = b"".join(code if i % 2 else rng.randbytes(65536) + text
                    for i in range(60))
    folder = os.path.join(work, "large")
    write(os.path.join(folder, "large.exe"), data)
    made = {"sha256": hashlib.sha256(data).hexdigest()}
    for key, options in (("lzma2", ["-m0=LZMA2:d=4m"]),
                         ("bcj2", ["-m0=BCJ2", "-m1=LZMA2:d=4m",
                                   "-m2=LZMA:d=64k", "-m3=LZMA:d=64k",
                                   "-mb0:1", "-mb0s1:2", "-mb0s2:3"])):
        archive = os.path.join(out, "large_streams", key + ".7z")
        os.makedirs(os.path.dirname(archive), exist_ok=True)
        run(["7zz", "a", "-bd", "-t7z", "-mmt=1", "-mx=1"] + options +
            [archive, "large.exe"], cwd=folder)
        made[key] = "large_streams\\" + key + ".7z"
    return made


# --- Executables with payloads --------------------------------------------

def trailer(payload):
    return MAGIC + payload + struct.pack("<I", len(payload))


def padded_archive(image, archive):
    """The archive with zero bytes after it, so that image + trailer ends
    on a multiple of 8 and the signing tool adds no padding behind it."""
    total = len(image) + len(trailer(archive))
    return archive + b"\0" * (-total % 8)


# --- Certificates and signatures ------------------------------------------

def make_ca(work, name, cn):
    key = os.path.join(work, name + ".key")
    cert = os.path.join(work, name + ".crt")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
         key, "-out", cert, "-days", "30", "-subj", "/CN=" + cn,
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    return key, cert


def make_leaf(work, name, cn, ca):
    key = os.path.join(work, name + ".key")
    csr = os.path.join(work, name + ".csr")
    cert = os.path.join(work, name + ".crt")
    ext = os.path.join(work, name + ".ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
         "-out", csr, "-subj", "/CN=" + cn])
    run(["openssl", "x509", "-req", "-in", csr, "-CA", ca[1], "-CAkey", ca[0],
         "-CAcreateserial", "-out", cert, "-days", "30", "-extfile", ext])
    # The signature carries the leaf and its root.
    chain = os.path.join(work, name + ".chain.pem")
    with open(chain, "wb") as f:
        f.write(read(cert) + read(ca[1]))
    return key, chain


def sign(leaf, source, target, nest=False):
    args = ["osslsigncode", "sign"] + (["-nest"] if nest else []) + [
        "-certs", leaf[1], "-key", leaf[0], "-h", "sha256", "-n", "Velna test",
        "-in", source, "-out", target]
    run(args)


def attach_nested(signature, source, target):
    """Nests |signature| into the signed |source|. The tool verifies the
    result and reports failure when the nested signature does not match the
    file, which is the point here: it writes the file all the same."""
    subprocess.run(["osslsigncode", "attach-signature", "-nest", "-sigin",
                    signature, "-in", source, "-out", target],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert os.path.getsize(target) > os.path.getsize(source), target


def authenticode_sha256(data):
    """The digest a signature of |data| (a signed PE32+ image) covers: the
    bytes before the signature less the checksum field and the security
    directory entry."""
    nt = struct.unpack_from("<I", data, 60)[0]
    checksum = nt + 88
    entry = nt + 168
    offset, size = struct.unpack_from("<II", data, entry)
    end = offset if size else len(data)
    h = hashlib.sha256()
    h.update(data[:checksum])
    h.update(data[checksum + 4:entry])
    h.update(data[entry + 8:end])
    return h.digest()


def make_signed(out, work, stub):
    tag = "%08x" % random.SystemRandom().getrandbits(32)
    expected_cn = "Velna Test Signer " + tag
    root = make_ca(work, "root", "Velna Test Root " + tag)
    absent_root = make_ca(work, "absent_root", "Velna Absent Root " + tag)
    expected = make_leaf(work, "expected", expected_cn, root)
    other = make_leaf(work, "other", "Velna Other Signer " + tag, root)
    cased = make_leaf(work, "cased", expected_cn.lower(), root)
    untrusted = make_leaf(work, "untrusted", expected_cn, absent_root)

    signed = os.path.join(out, "signed")
    os.makedirs(signed, exist_ok=True)

    def path(name):
        return os.path.join(signed, name + ".exe")

    shutil.copy(stub, path("unsigned"))
    sign(expected, stub, path("expected"))
    sign(other, stub, path("other"))
    sign(cased, stub, path("case"))
    sign(untrusted, stub, path("root_absent"))
    data = bytearray(read(path("expected")))
    data[0x50] ^= 0x01  # inside the DOS stub's text: covered by the digest
    write(path("tampered"), bytes(data))
    sign(expected, path("other"), path("dual"), nest=True)

    # The expected signer's signature of another file, nested under a valid
    # signature by another signer.
    different = os.path.join(work, "different.exe")
    write(different, read(stub) + b"\0" * 8 + b"another file".ljust(16, b"\0"))
    different_signed = os.path.join(work, "different_signed.exe")
    sign(expected, different, different_signed)
    lifted = os.path.join(work, "lifted.der")
    run(["osslsigncode", "extract-signature", "-in", different_signed, "-out",
         lifted])
    attach_nested(lifted, path("other"), path("spoof"))

    # The same lifted signature with its signed digest rewritten to this
    # file's: the digest matches, the signature over it no longer does.
    old_digest = authenticode_sha256(read(different_signed))
    new_digest = authenticode_sha256(read(path("other")))
    signature = read(lifted)
    assert signature.count(old_digest) == 1, "indirect digest not found"
    forged = os.path.join(work, "forged.der")
    write(forged, signature.replace(old_digest, new_digest))
    attach_nested(forged, path("other"), path("forged_digest"))
    # The rewritten signature as the primary one, in place of the other
    # signer's.
    subprocess.run(["osslsigncode", "attach-signature", "-sigin", forged, "-in",
                    path("other"), "-out", path("forged_primary")],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert os.path.exists(path("forged_primary"))

    names = ["unsigned", "expected", "other", "case", "root_absent", "tampered",
             "dual", "spoof", "forged_digest", "forged_primary"]
    return {
        "expected_signer": expected_cn,
        "root": "signed\\root.der",
        "signed_exe": {n: "signed\\" + n + ".exe" for n in names},
        "other_leaf": other,
        "expected_leaf": expected,
        "root_pem": root[1],
    }, expected, root


def make_payload_executables(out, work, stub, archive_data, expected):
    image = read(stub)
    made = {}
    payloads = os.path.join(out, "payload")
    os.makedirs(payloads, exist_ok=True)

    def put(name, data):
        write(os.path.join(payloads, name + ".exe"), data)
        made[name] = "payload\\" + name + ".exe"

    archive = padded_archive(image, archive_data)
    put("full_unsigned", image + trailer(archive))
    unsigned_path = os.path.join(payloads, "full_unsigned.exe")
    signed_path = os.path.join(payloads, "full_signed.exe")
    sign(expected, unsigned_path, signed_path)
    made["full_signed"] = "payload\\full_signed.exe"
    tracking = b"tracking=velna&campaign=test"
    put("tracking_unsigned", image + trailer(tracking))
    signed_stub = os.path.join(work, "signed_stub.exe")
    sign(expected, stub, signed_stub)
    put("tracking_after_signature", read(signed_stub) + trailer(tracking))
    put("archive_after_signature", read(signed_stub) + trailer(archive_data))
    put("no_payload", image)
    made["tracking"] = tracking.decode()
    made["archive_sha256"] = hashlib.sha256(archive).hexdigest()
    made["archive_size"] = len(archive)
    return made


# --- The package fetcher's installer images ------------------------------

FETCHER_TRACKING = b"partner=velna-test&campaign=fetcher\x01\xff"


def make_fetcher_tree(root):
    """The package of the fetcher tests: 40 files in nested folders (one
    empty, one with a non-ASCII name, one of 300 KB) and "files_list" naming
    them, whose last line has no line break."""
    rng = random.Random(21)
    files = []
    for i in range(40):
        name = "f%d/g%d/file%02d.%s" % (i % 3, i % 4, i, ("dll", "pak")[i % 2])
        files.append((name, rng.randbytes(rng.randrange(1, 20000))))
    files.append(("installer.exe", b"MZ stand-in\r\n"))
    files.append(("locales/empty.pak", b""))
    files.append(("locales/\u00e5rsak \u4e2d.pak", "non-ASCII".encode()))
    files.append(("resources/big.bin", rng.randbytes(300000)))
    listed = [name.replace("/", "\\") for name, _ in files]
    files.append(("files_list", "\r\n".join(listed).encode("utf-8")))
    write_tree(root, files)
    return files


def nest_foreign_signature(leaf, work, unsigned, source, target, tag):
    """|source| (|unsigned| signed by another signer) with |leaf|'s signature
    of a different file nested inside it."""
    different = os.path.join(work, tag + "_different.exe")
    write(different, read(unsigned) + b"\0" * 8 +
          b"another file".ljust(16, b"\0"))
    different_signed = os.path.join(work, tag + "_different_signed.exe")
    sign(leaf, different, different_signed)
    lifted = os.path.join(work, tag + "_lifted.der")
    run(["osslsigncode", "extract-signature", "-in", different_signed, "-out",
         lifted])
    attach_nested(lifted, source, target)


def make_fetcher_material(out, work, host, installer, version_stub,
                          test_host, hostile_archive):
    tag = "%08x" % random.SystemRandom().getrandbits(32)
    root = make_ca(work, "fetcher_root", "Velna Fetcher Root " + tag)
    expected_cn = "Velna Fetcher Signer " + tag
    expected = make_leaf(work, "fetcher_expected", expected_cn, root)
    other = make_leaf(work, "fetcher_other", "Velna Fetcher Other " + tag, root)

    tree = os.path.join(work, "fetcher_tree")
    files = make_fetcher_tree(tree)
    archive_path = os.path.join(work, "fetcher.7z")
    run(["7zz", "a", "-bd", "-t7z", "-m0=LZMA2:d=1m", "-mmt=1", archive_path,
         "."], cwd=tree)
    archive = read(archive_path)

    folder = os.path.join(out, "fetcher")
    os.makedirs(folder, exist_ok=True)
    images = {}

    def path(name):
        return os.path.join(folder, name + ".exe")

    def put(name, data):
        write(path(name), data)
        images[name] = "fetcher\\" + name + ".exe"

    def signed(name, leaf, data):
        unsigned = os.path.join(work, "fetcher_" + name + ".exe")
        write(unsigned, data)
        sign(leaf, unsigned, path(name))
        images[name] = "fetcher\\" + name + ".exe"

    def with_archive(image, payload=archive):
        return image + trailer(padded_archive(image, payload))

    host_image = read(host)
    installer_image = read(installer)
    stub_image = read(version_stub)

    # The installers under test: full (the archive inside the signed region)
    # and net (tracking data appended after signing).
    put("full_unsigned", with_archive(host_image))
    signed("full_signed", expected, with_archive(host_image))
    put("net_unsigned", host_image + trailer(FETCHER_TRACKING))
    signed("net_signed_plain", expected, host_image)
    put("net_signed", read(path("net_signed_plain")) + trailer(FETCHER_TRACKING))
    # A signature entry that points past the end of the file.
    corrupt = bytearray(read(path("net_signed_plain")))
    nt = struct.unpack_from("<I", corrupt, 60)[0]
    struct.pack_into("<I", corrupt, nt + 172, len(corrupt) * 2)
    put("net_corrupt", bytes(corrupt))

    # What the update server hands out.
    signed("package", expected, with_archive(installer_image))
    put("package_unsigned", with_archive(installer_image))
    signed("package_other", other, with_archive(installer_image))
    nest_foreign_signature(expected, work,
                           os.path.join(work, "fetcher_package_other.exe"),
                           path("package_other"), path("package_spoof"),
                           "fetcher_spoof")
    images["package_spoof"] = "fetcher\\package_spoof.exe"
    signed("package_stub", expected, with_archive(stub_image))
    signed("package_hostile", expected,
           with_archive(installer_image, hostile_archive))
    signed("package_no_archive", expected, installer_image)
    # A package without "files_list" whose "installer_prefs_include.json" is
    # a folder: neither can take what the fetcher adds.
    bare = os.path.join(work, "fetcher_bare")
    write(os.path.join(bare, "browser.dll"), b"bare package\r\n")
    write(os.path.join(bare, "installer_prefs_include.json", "keep"), b"")
    bare_archive = os.path.join(work, "fetcher_bare.7z")
    run(["7zz", "a", "-bd", "-t7z", "-mmt=1", bare_archive, "."], cwd=bare)
    signed("package_bare", expected,
           with_archive(installer_image, read(bare_archive)))
    put("version_stub", stub_image)
    # The stub and the engine's test host as a package's programs.
    signed("version_stub_signed", expected, stub_image)
    signed("test_host_signed", expected, read(test_host))

    run(["openssl", "x509", "-in", root[1], "-outform", "DER", "-out",
         os.path.join(folder, "root.der")])
    checksums = {name: hashlib.sha256(read(os.path.join(
        out, relative.replace("\\", "/")))).hexdigest()
        for name, relative in images.items()}
    return {
        "expected_signer": expected_cn,
        "root": "fetcher\\root.der",
        "images": images,
        "sha256": checksums,
        "tracking_hex": FETCHER_TRACKING.hex(),
        "tree": manifest(tree, files),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    # Without a stub only the archives are made (the portable tests).
    parser.add_argument("--stub")
    # The fetcher's programs (with --stub): its test host, the outer
    # installer and the version-printing stub.
    parser.add_argument("--host")
    parser.add_argument("--installer")
    parser.add_argument("--version-stub")
    parser.add_argument("--test-host")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    work = out + ".work"
    for folder in (out, work):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)

    tree = os.path.join(work, "tree")
    files = make_tree(tree)
    archive = os.path.join(out, "tree.7z")
    make_tree_archive(tree, archive)
    material = {"tree_archive": "tree.7z", "tree": manifest(tree, files)}
    material["hostile"] = make_hostile(out, work)
    material["damaged"] = make_damaged(out, work, archive)
    material["methods"] = make_method_archives(out, work)
    material["streams"] = make_stream_archives(out, work)
    material["large_streams"] = make_large_stream_archives(out, work)
    if not args.stub:
        write_material(out, material)
        shutil.rmtree(work, ignore_errors=True)
        return 0
    signers, expected, root = make_signed(out, work, args.stub)
    run(["openssl", "x509", "-in", root[1], "-outform", "DER", "-out",
         os.path.join(out, "signed", "root.der")])
    material["expected_signer"] = signers["expected_signer"]
    material["root"] = signers["root"]
    material["signed_exe"] = signers["signed_exe"]
    material["payload"] = make_payload_executables(out, work, args.stub,
                                                   read(archive), expected)
    if args.host:
        material["fetcher"] = make_fetcher_material(
            out, work, args.host, args.installer, args.version_stub,
            args.test_host, read(os.path.join(out, material["hostile"]["dotdot_backslash"]
                              .replace("\\", "/"))))
    write_material(out, material)
    shutil.rmtree(work, ignore_errors=True)
    return 0


def write_material(out, material):
    with open(os.path.join(out, "material.json"), "w") as f:
        json.dump(material, f, indent=1)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except subprocess.CalledProcessError as e:
        sys.stderr.write("%s failed: %s\n" % (e.cmd, e.stderr.decode(errors="replace")))
        sys.exit(1)
