#!/usr/bin/env python3
"""Runs functions of tools/wine_env.sh with stand-ins for Wine: the making
of the test slots (copies of the tests' prefix), one of them cut part-way,
and the display each slot gets."""

import os
import shutil
import socket
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "wine_env.sh")
# Stand in for wine and wineserver: nothing to do for a prefix of files.
WINE_STAND_IN = "#!/bin/bash\nexit 0\n"
# Stands in for cp: the set-up is cut (killed) as it links system32.
CUT_STAND_IN = "#!/bin/bash\nkill -KILL $PPID\nexit 1\n"


def bash(folder, command, stand_ins):
    """Runs |command| after sourcing the script, with the build folder
    |folder|/win, two slots and |stand_ins| ahead on the path."""
    bin_folder = os.path.join(folder, "bin")
    shutil.rmtree(bin_folder, ignore_errors=True)
    os.makedirs(bin_folder)
    for name, text in stand_ins.items():
        path = os.path.join(bin_folder, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o755)
    env = dict(os.environ, WINE_BUILD_DIR=folder + "/win", VELNA_TEST_SLOTS="2",
               VELNA_DEPS_CACHE=folder + "/cache",
               PATH=bin_folder + ":" + os.environ["PATH"])
    env.pop("VELNA_WINEPREFIX", None)
    return subprocess.run(["bash", "-c", 'source "$1"; ' + command, "t",
                           SCRIPT], env=env, capture_output=True, text=True,
                          timeout=120)


def make_template(folder):
    """A made prefix of the tests: its marker, a system library, a file."""
    prefix = os.path.join(folder, "win", "wineprefix")
    os.makedirs(os.path.join(prefix, "drive_c", "windows", "system32"))
    for name in (".velna-ready", "drive_c/windows/system32/kernel32.dll",
                 "drive_c/windows/win.ini"):
        with open(os.path.join(prefix, name), "w") as f:
            f.write(name)
    return prefix


class WineEnvTest(unittest.TestCase):

    def test_a_slot_is_ready_only_once_whole(self):
        wine = {"wine": WINE_STAND_IN, "wineserver": WINE_STAND_IN}
        with tempfile.TemporaryDirectory() as folder:
            template = make_template(folder)
            slots = os.path.join(folder, "win", "wineslots")
            cut = bash(folder, "wine_slots_init", dict(wine, cp=CUT_STAND_IN))
            self.assertEqual(-9, cut.returncode, cut)
            self.assertTrue(os.path.isfile(slots + "/1/drive_c/windows/win.ini"))
            self.assertFalse(os.path.exists(slots + "/1/.velna-ready"))

            made = bash(folder, "wine_slots_init", wine)
            self.assertEqual(0, made.returncode, made)
            library = "drive_c/windows/system32/kernel32.dll"
            for slot in ("1", "2"):
                with self.subTest(slot=slot):
                    self.assertTrue(os.path.isfile(
                        os.path.join(slots, slot, ".velna-ready")))
                    # Linked, not copied.
                    self.assertTrue(os.path.samefile(
                        os.path.join(template, library),
                        os.path.join(slots, slot, library)))

    def test_each_slot_gets_a_display_of_its_own(self):
        wine = {"wine": WINE_STAND_IN, "wineserver": WINE_STAND_IN}
        with tempfile.TemporaryDirectory() as folder:
            make_template(folder)
            slots = os.path.join(folder, "win", "wineslots")
            started = bash(folder, "wine_prefix_init && wine_services_start",
                           wine)
            self.assertEqual(0, started.returncode, started)
            displays, servers = [], []
            try:
                for slot in ("1", "2"):
                    with open(os.path.join(slots, slot + ".display")) as f:
                        displays.append(f.read().strip())
                    with open(os.path.join(slots, slot + ".xvfb")) as f:
                        servers.append(int(f.read()))
                self.assertEqual(2, len(set(displays)))
                for display in displays:
                    with self.subTest(display=display):
                        self.assertRegex(display, r"^:[0-9]+$")
                        # The server listens there.
                        with socket.socket(socket.AF_UNIX) as client:
                            client.connect("/tmp/.X11-unix/X" + display[1:])
            finally:
                stopped = bash(folder, "wine_services_stop", wine)
            self.assertEqual(0, stopped.returncode, stopped)
            for server in servers:
                self.assertFalse(os.path.exists("/proc/%d" % server))
            self.assertEqual([], [name for name in os.listdir(slots)
                                  if name.endswith((".display", ".xvfb"))])


if __name__ == "__main__":
    unittest.main()
