#!/usr/bin/env python3
"""make_sample_package.py with a package of one's own files: its lists, the
full and net installers, and the trees refused. Needs 7zz."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "make_sample_package.py")
SEVEN_ZIP_SIGNATURE = bytes.fromhex("377abcaf271c")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def payload_of(image):
    """The payload of the trailer at the end of |image|."""
    start = len(image) - 4 - struct.unpack("<I", image[-4:])[0]
    assert image[start - 3:start] == b"VLN"
    return image[start:len(image) - 4]


class OwnFilesTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="own_package_")
        self.installer = os.path.join(self.work, "installer.exe")
        write(self.installer, b"MZ" + bytes(range(256)) * 9)
        self.launcher = os.path.join(self.work, "launcher.exe")
        write(self.launcher, b"MZ launcher")
        self.branding = os.path.join(self.work, "branding.json")
        write(self.branding, b'{"file_name_base": "mybrowser"}')
        self.files = os.path.join(self.work, "files")
        write(os.path.join(self.files, "mybrowser.exe"), b"MZ browser")
        write(os.path.join(self.files, "res", "caf\u00e9.pak"), b"pak" * 999)
        write(os.path.join(self.files, "res", "empty.dat"), b"")
        self.root = os.path.join(self.work, "root")
        write(os.path.join(self.root, "Tiles", "logo.png"), b"png")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def make(self, *extra):
        out = os.path.join(self.work, "out")
        result = subprocess.run(
            [sys.executable, SCRIPT, "--out", out, "--installer",
             self.installer, "--launcher", self.launcher, "--branding",
             self.branding] + list(extra),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return out, result.returncode, result.stderr.decode()

    def test_full_and_net_installer(self):
        out, code, errors = self.make("--files", self.files, "--root-files",
                                      self.root, "--tracking-data", "t=1")
        self.assertEqual(0, code, errors)
        tree = os.path.join(out, "base", "package")
        # The installer first, every line ending with CRLF, backslashes.
        self.assertEqual(
            "installer.exe\r\nmybrowser.exe\r\nres\\caf\u00e9.pak\r\n"
            "res\\empty.dat\r\n".encode(),
            read(os.path.join(tree, "files_list")))
        self.assertEqual(b"Tiles\\logo.png\r\n",
                         read(os.path.join(tree, "root_files_list")))

        full = read(os.path.join(out, "mybrowser_full_installer.exe"))
        image = read(self.installer)
        self.assertTrue(full.startswith(image))
        payload = payload_of(full)
        self.assertTrue(payload.startswith(SEVEN_ZIP_SIGNATURE))
        # The archive in the payload is the package's (zero bytes may pad
        # the file to a multiple of 8 for the signing tool).
        self.assertEqual(0, len(full) % 8)
        archive = read(os.path.join(out, "base", "package.7z"))
        self.assertEqual(archive, payload[:len(archive)])
        self.assertEqual(bytes(len(payload) - len(archive)),
                         payload[len(archive):])

        net = read(os.path.join(out, "mybrowser_net_installer.exe"))
        self.assertEqual(image + b"VLN" + b"t=1" + struct.pack("<I", 3), net)

    def test_stand_in_backend(self):
        backend = os.path.join(self.work, "backend.exe")
        write(backend, b"MZ stand-in backend")
        browser = os.path.join(self.work, "browser.exe")
        write(browser, b"MZ browser")
        out, code, errors = self.make("--packages", "base", "--backend",
                                      backend, "--browser", browser)
        self.assertEqual(0, code, errors)
        # The package runs the stand-in; the full installer's own program
        # stays the installer, whose payload is that package.
        self.assertEqual(read(backend), read(os.path.join(
            out, "base", "package", "installer.exe")))
        full = read(os.path.join(out, "mybrowser_full_installer.exe"))
        self.assertTrue(full.startswith(read(self.installer)))
        archive = read(os.path.join(out, "base", "package.7z"))
        self.assertEqual(archive, payload_of(full)[:len(archive)])

        out, code, errors = self.make("--files", self.files, "--backend",
                                      backend)
        self.assertNotEqual(0, code)
        self.assertIn("--backend goes with", errors)

    def test_refused_trees(self):
        without_browser = os.path.join(self.work, "without_browser")
        write(os.path.join(without_browser, "other.exe"), b"MZ")
        with_launcher = os.path.join(self.work, "with_launcher")
        shutil.copytree(self.files, with_launcher)
        write(os.path.join(with_launcher, "launcher.exe"), b"MZ")
        same_name = os.path.join(self.work, "same_name")
        write(os.path.join(same_name, "res", "empty.dat"), b"")
        cases = [
            (["--files", without_browser], "holds no mybrowser.exe"),
            (["--files", with_launcher], "holds launcher.exe"),
            (["--files", self.files, "--root-files", same_name],
             "res/empty.dat"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                out, code, errors = self.make(*arguments)
                self.assertNotEqual(0, code)
                self.assertIn(message, errors)
                self.assertFalse(os.path.exists(
                    os.path.join(out, "mybrowser_full_installer.exe")))


if __name__ == "__main__":
    unittest.main()
