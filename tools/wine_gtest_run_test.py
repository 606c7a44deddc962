#!/usr/bin/env python3
"""Runs tools/wine_gtest_run.sh.in, configured with a stand-in for Wine,
on programs that die before their first test, fail in it, pass, or die in
the loader's exit after any of those; and on tests that take a slot (a
prefix of their own) among slots that other tests hold or that are not
whole."""

import fcntl
import os
import signal
import stat
import subprocess
import tempfile
import unittest

TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                        "wine_gtest_run.sh.in")

# Stands in for Wine: counts its starts; the plan has a word a start (the
# last repeated): "die" (status 5) and "quiet" (0) end before any test.
STAND_IN = r"""#!/usr/bin/env bash
folder=$(dirname "$0")
loader_dies() {
  echo "Inconsistency detected by ld.so: dl-fini.c: 87: _dl_fini: Assertion" \
    "\`ns != LM_ID_BASE || i == nloaded' failed!" >&2
  exit 127
}
echo start >>"$folder/starts"
read -ra plan <"$folder/plan"
count=$(wc -l <"$folder/starts")
step=${plan[count - 1]:-${plan[-1]}}
case $step in
  die) echo "wine: could not load the program" >&2; exit 5 ;;
  quiet) exit 0 ;;
  pass) printf '[ RUN      ] Suite.Case\n[       OK ] Suite.Case\n' ;;
  fail) printf '[ RUN      ] Suite.Case\n[  FAILED  ] Suite.Case\n'; exit 1 ;;
  crash) printf '[ RUN      ] Suite.Case\n'; exit 3 ;;
  # Linux's loader failing as the Wine process exits: after a pass, after
  # a failure, inside a test.
  passed_then_loader)
    printf '[ RUN      ] Suite.Case\n[       OK ] Suite.Case (5 ms)\n'
    printf '[  PASSED  ] 1 test.\n'; loader_dies ;;
  failed_then_loader)
    printf '[ RUN      ] Suite.Case\n[  FAILED  ] Suite.Case (5 ms)\n'
    printf '[  PASSED  ] 0 tests.\n[  FAILED  ] 1 test, listed below:\n'
    loader_dies ;;
  crash_in_loader) printf '[ RUN      ] Suite.Case\n'; loader_dies ;;
  passed_then_other) printf '[ RUN      ] Suite.Case\n[       OK ] Suite.Case\n'
    printf '[  PASSED  ] 1 test.\n'; echo "Segmentation fault" >&2; exit 139 ;;
  # Notes the slot and display it was given; "leave" also leaves a process
  # running, as a test's clean-up batch file may.
  slot|leave)
    echo "${VELNA_TEST_WINEPREFIX##*/} ${DISPLAY:-}" >>"$folder/slots"
    if [[ $step == leave ]]; then
      sleep infinity &
      echo $! >"$folder/leftover"
    fi
    printf '[ RUN      ] Suite.Case\n[       OK ] Suite.Case\n' ;;
esac
"""


ARGUMENTS = ["/build/dir/thing_unittests.exe", "--gtest_filter=Suite.Case",
             "--gtest_also_run_disabled_tests"]


def make_wrapper(folder, plan):
    """The wrapper configured in |folder| (also its build folder) with the
    stand-in, which follows |plan|; its environment."""
    stand_in = os.path.join(folder, "wine")
    wrapper = os.path.join(folder, "wine_gtest_run.sh")
    with open(stand_in, "w") as f:
        f.write(STAND_IN)
    with open(TEMPLATE) as f:
        text = f.read()
    with open(wrapper, "w") as f:
        f.write(text.replace("@VELNA_EMULATOR@", stand_in)
                .replace("@VELNA_TEST_RETRY_LOG@",
                         os.path.join(folder, "retries.log"))
                .replace("@CMAKE_BINARY_DIR@", folder))
    for path in (stand_in, wrapper):
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    with open(os.path.join(folder, "plan"), "w") as f:
        f.write(" ".join(plan))
    env = dict(os.environ)
    env.pop("VELNA_TEST_RETRY_LOG", None)
    env.pop("DISPLAY", None)
    return wrapper, env


def make_slots(test, folder, slots):
    """Slot folders named by |slots|: (name, whole, display or None, whether
    the display's server runs: it holds the record of tools/wine_env.sh
    locked, as this test does until its end)."""
    for name, whole, display, runs in slots:
        slot = os.path.join(folder, "wineslots", name)
        os.makedirs(slot)
        if whole:
            open(os.path.join(slot, ".velna-ready"), "w").close()
        if display:
            with open(slot + ".display", "w") as f:
                f.write(display + "\n")
            server = open(slot + ".xvfb", "w")
            test.addCleanup(server.close)
            if runs:
                fcntl.flock(server, fcntl.LOCK_EX)


def hold(lock):
    """A process holding |lock| until its input closes."""
    holder = subprocess.Popen(
        ["flock", lock, "bash", "-c", "echo; exec cat"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    return holder


def release(holder):
    holder.stdin.close()
    holder.wait()
    holder.stdout.close()


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


class WineGtestRunTest(unittest.TestCase):

    def run_wrapper(self, plan, no_retry=False):
        """(exit status, starts, lines of the retry log, standard error)."""
        with tempfile.TemporaryDirectory() as folder:
            wrapper, env = make_wrapper(folder, plan)
            retry_log = os.path.join(folder, "retries.log")
            env["VELNA_TEST_NO_RETRY"] = "1" if no_retry else "0"
            result = subprocess.run(
                [wrapper] + ARGUMENTS, env=env, capture_output=True, text=True)
            starts = len(read_lines(os.path.join(folder, "starts")))
            return (result.returncode, starts, read_lines(retry_log),
                    result.stderr)

    def test_only_a_start_that_died_or_a_pass_the_loader_killed_is_retried(
            self):
        retried = ["thing_unittests.exe Suite.Case: status 5 before any test,"
                   " then 0"]
        cases = [
            # (plan, no retry, status, starts, retry log)
            (["die", "pass"], False, 0, 2, retried),
            (["quiet", "pass"], False, 0, 2,
             ["thing_unittests.exe Suite.Case: status 0 before any test,"
              " then 0"]),
            (["die"], False, 5, 2,
             ["thing_unittests.exe Suite.Case: status 5 before any test,"
              " then 5"]),
            (["pass"], False, 0, 1, []),
            (["fail", "pass"], False, 1, 1, []),
            (["die", "pass"], True, 5, 1, []),
            (["quiet"], True, 1, 1, []),
            (["crash", "pass"], False, 3, 1, []),
            (["passed_then_loader", "pass"], False, 0, 2,
             ["thing_unittests.exe Suite.Case: status 127 in the loader"
              " after passing, then 0"]),
            (["passed_then_loader"], False, 127, 2,
             ["thing_unittests.exe Suite.Case: status 127 in the loader"
              " after passing, then 127"]),
            (["passed_then_loader", "pass"], True, 127, 1, []),
            (["failed_then_loader", "pass"], False, 127, 1, []),
            (["crash_in_loader", "pass"], False, 127, 1, []),
            (["passed_then_other", "pass"], False, 139, 1, []),
        ]
        for plan, no_retry, status, starts, log in cases:
            with self.subTest(plan=plan, no_retry=no_retry):
                self.assertEqual((status, starts, log),
                                 self.run_wrapper(plan, no_retry)[:3])

    def test_a_death_inside_a_test_names_its_status(self):
        said = "ended (status 3) inside its test"
        self.assertIn(said, self.run_wrapper(["crash"])[3])
        for plan in (["fail"], ["pass"]):
            with self.subTest(plan=plan):
                self.assertNotIn("inside its test", self.run_wrapper(plan)[3])


    def test_takes_a_whole_slot_no_test_holds_with_its_display(self):
        with tempfile.TemporaryDirectory() as folder:
            wrapper, env = make_wrapper(folder, ["slot"])
            env["VELNA_TEST_OWN_PREFIX"] = "1"
            make_slots(self, folder, [
                ("1", True, ":11", True), ("2", False, ":12", True),
                ("3", True, ":13", True), ("4", True, None, False),
                ("5", True, ":15", False)])
            holder = hold(os.path.join(folder, "wineslots", "1.lock"))
            try:
                for _ in range(2):
                    run = subprocess.run([wrapper] + ARGUMENTS, env=env,
                                         capture_output=True, text=True,
                                         timeout=120)
                    self.assertEqual(0, run.returncode, run.stderr)
                # A slot without a display, or whose display's server has
                # ended, fails the test rather than take the one given.
                env["DISPLAY"] = ":0"
                for held in ("3", "4"):
                    lock = open(os.path.join(folder, "wineslots",
                                             held + ".lock"), "a")
                    self.addCleanup(lock.close)
                    fcntl.flock(lock, fcntl.LOCK_EX)
                    run = subprocess.run([wrapper] + ARGUMENTS, env=env,
                                         capture_output=True, text=True,
                                         timeout=120)
                    self.assertEqual(1, run.returncode, run.stderr)
                    self.assertIn("has no display of its own", run.stderr)
            finally:
                release(holder)
            self.assertEqual(["3 :13", "3 :13"],
                             read_lines(os.path.join(folder, "slots")))

    def test_a_process_the_test_leaves_running_holds_no_slot(self):
        with tempfile.TemporaryDirectory() as folder:
            wrapper, env = make_wrapper(folder, ["leave"])
            env["VELNA_TEST_OWN_PREFIX"] = "1"
            make_slots(self, folder, [("1", True, ":11", True)])
            run = subprocess.run([wrapper] + ARGUMENTS, env=env,
                                 capture_output=True, text=True, timeout=120)
            leftover = int(read_lines(os.path.join(folder, "leftover"))[0])
            try:
                self.assertEqual(0, run.returncode, run.stderr)
                os.kill(leftover, 0)  # still running
                free = subprocess.run(
                    ["flock", "-n", os.path.join(folder, "wineslots",
                                                 "1.lock"), "true"])
                self.assertEqual(0, free.returncode)
            finally:
                os.kill(leftover, signal.SIGKILL)

    def test_waits_while_every_slot_is_held(self):
        with tempfile.TemporaryDirectory() as folder:
            wrapper, env = make_wrapper(folder, ["slot"])
            env["VELNA_TEST_OWN_PREFIX"] = "1"
            make_slots(self, folder, [("1", True, ":11", True),
                                      ("2", True, ":12", True)])
            holders = [hold(os.path.join(folder, "wineslots", name + ".lock"))
                       for name in ("1", "2")]
            with subprocess.Popen([wrapper] + ARGUMENTS, env=env,
                                  stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True) as run:
                self.assertEqual("wine_gtest_run: waiting for a free slot\n",
                                 run.stderr.readline())
                self.assertEqual([], read_lines(os.path.join(folder, "starts")))
                release(holders[1])
                self.assertEqual(0, run.wait(timeout=120))
            release(holders[0])
            self.assertEqual(["2 :12"], read_lines(os.path.join(folder, "slots")))


if __name__ == "__main__":
    unittest.main()
