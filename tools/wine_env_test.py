#!/usr/bin/env python3
"""Runs functions of tools/wine_env.sh with stand-ins for Wine: the making
of the test slots (copies of the tests' prefix), one of them cut part-way,
and the display each slot gets; and tools/run_tests.sh with stand-ins for
the builds and CTest but real Wine servers and X servers, ended by a signal
or at its end."""

import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest

TOOLS = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(TOOLS, "wine_env.sh")
# Stand in for wine and wineserver: nothing to do for a prefix of files.
WINE_STAND_IN = "#!/bin/bash\nexit 0\n"
# Stands in for cp: the set-up is cut (killed) as it links system32.
CUT_STAND_IN = "#!/bin/bash\nkill -KILL $PPID\nexit 1\n"
# Stands in for CTest: the Windows tests, with CTEST_PLAN=run, say so on the
# pipe CTEST_STARTED and run until they are ended; the rest pass.
CTEST_STAND_IN = """#!/bin/bash
[[ $CTEST_PLAN == run && $* == *out/win* ]] || exit 0
echo >"$CTEST_STARTED"
exec sleep infinity
"""


def environment(folder, stand_ins):
    """The environment with the build folder |folder|/win, two slots and
    |stand_ins| ahead on the path."""
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
    return env


def bash(folder, command, stand_ins):
    """Runs |command| after sourcing the script, in environment()."""
    return subprocess.run(["bash", "-c", 'source "$1"; ' + command, "t",
                           SCRIPT], env=environment(folder, stand_ins),
                          capture_output=True, text=True, timeout=120)


def make_template(folder):
    """A made prefix of the tests: its marker, a system library, a file."""
    prefix = os.path.join(folder, "win", "wineprefix")
    os.makedirs(os.path.join(prefix, "drive_c", "windows", "system32"))
    for name in (".velna-ready", "drive_c/windows/system32/kernel32.dll",
                 "drive_c/windows/win.ini"):
        with open(os.path.join(prefix, name), "w") as f:
            f.write(name)
    return prefix


def process_stat(pid):
    """The fields of /proc/<pid>/stat after the name, state first."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()
    except FileNotFoundError:
        return ["X"]


def processes_of(folder):
    """(id, name) of the processes with |folder| in their environment."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if folder.encode() in f.read():
                    with open("/proc/%s/comm" % pid) as name:
                        found.append((int(pid), name.read().strip()))
        except OSError:
            pass
    return found


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

    def test_each_slot_gets_a_display_that_only_its_stop_ends(self):
        wine = {"wine": WINE_STAND_IN, "wineserver": WINE_STAND_IN}
        with tempfile.TemporaryDirectory() as folder, subprocess.Popen(
                ["cat"], stdin=subprocess.PIPE) as bystander:
            make_template(folder)
            slots = os.path.join(folder, "win", "wineslots")
            # Records an earlier run left, naming another process now: with
            # its start time, and with none.
            for slot, start in (("1", process_stat(bystander.pid)[19]),
                                ("2", "")):
                os.makedirs(os.path.join(slots, slot))
                with open(os.path.join(slots, slot + ".xvfb"), "w") as f:
                    f.write("%d %s\n" % (bystander.pid, start))
            started = bash(folder, "wine_services_stop && wine_prefix_init"
                           " && wine_services_start", wine)
            self.assertEqual(0, started.returncode, started)
            displays, servers = [], []
            try:
                for slot in ("1", "2"):
                    with open(os.path.join(slots, slot + ".display")) as f:
                        displays.append(f.read().strip())
                    with open(os.path.join(slots, slot + ".xvfb")) as f:
                        servers.append(int(f.read().split()[0]))
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
                self.assertIn(process_stat(server)[0], "ZX")  # ended
            self.assertEqual([], [name for name in os.listdir(slots)
                                  if name.endswith((".display", ".xvfb"))])
            self.assertIsNone(bystander.poll())

    def test_the_test_command_leaves_no_server_however_it_ends(self):
        for sent, status in ((signal.SIGTERM, 143), (signal.SIGINT, 130),
                             (signal.SIGHUP, 129), (None, 0)):
            with self.subTest(signal=sent), \
                    tempfile.TemporaryDirectory() as folder:
                # The test command in |folder|: the other tools do nothing.
                os.makedirs(folder + "/tools")
                os.makedirs(folder + "/out/win")
                for name in os.listdir(TOOLS):
                    if name.endswith((".sh", ".py")):
                        open(os.path.join(folder, "tools", name), "w").close()
                for name in ("run_tests.sh", "wine_env.sh"):
                    shutil.copy(os.path.join(TOOLS, name), folder + "/tools")
                make_template(folder)
                started = folder + "/ctest_started"
                os.mkfifo(started)
                # Open for writing too, so that it never ends.
                ctest_started = os.open(started, os.O_RDWR)
                env = environment(folder, {
                    "wine": WINE_STAND_IN, "wineboot": WINE_STAND_IN,
                    "ctest": CTEST_STAND_IN})
                env.update(CTEST_STARTED=started,
                           CTEST_PLAN="run" if sent else "pass")
                command = subprocess.Popen(
                    ["bash", folder + "/tools/run_tests.sh"], env=env,
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
                try:
                    if sent:
                        self.assertTrue(select.select(
                            [ctest_started], [], [], 300)[0])
                        names = [name.rstrip("0123456789")
                                 for _, name in processes_of(folder)]
                        self.assertEqual(3, names.count("Xvfb"), names)
                        self.assertEqual(3, names.count("wineserver"), names)
                        command.send_signal(sent)
                    ended = command.wait(timeout=300)
                    self.assertEqual([], processes_of(folder))
                    self.assertEqual(status, ended)
                finally:
                    os.close(ctest_started)
                    for pid, _ in processes_of(folder):
                        os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    unittest.main()
