#!/usr/bin/env python3
"""Runs tools/wine_gtest_run.sh.in, configured with a stand-in for Wine,
on programs that die before their first test, fail in it, pass, or die in
the loader's exit after any of those."""

import os
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
esac
"""


class WineGtestRunTest(unittest.TestCase):

    def run_wrapper(self, plan, no_retry=False):
        """(exit status, starts, lines of the retry log, standard error)."""
        with tempfile.TemporaryDirectory() as folder:
            stand_in = os.path.join(folder, "wine")
            wrapper = os.path.join(folder, "wine_gtest_run.sh")
            retry_log = os.path.join(folder, "retries.log")
            with open(stand_in, "w") as f:
                f.write(STAND_IN)
            with open(TEMPLATE) as f:
                text = f.read()
            with open(wrapper, "w") as f:
                f.write(text.replace("@VELNA_EMULATOR@", stand_in)
                        .replace("@VELNA_TEST_RETRY_LOG@", retry_log))
            for path in (stand_in, wrapper):
                os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
            with open(os.path.join(folder, "plan"), "w") as f:
                f.write(" ".join(plan))
            env = dict(os.environ)
            env.pop("VELNA_TEST_RETRY_LOG", None)
            env["VELNA_TEST_NO_RETRY"] = "1" if no_retry else "0"
            result = subprocess.run(
                [wrapper, "/build/dir/thing_unittests.exe",
                 "--gtest_filter=Suite.Case", "--gtest_also_run_disabled_tests"],
                env=env, capture_output=True, text=True)
            with open(os.path.join(folder, "starts")) as f:
                starts = len(f.readlines())
            lines = []
            if os.path.exists(retry_log):
                with open(retry_log) as f:
                    lines = f.read().splitlines()
            return result.returncode, starts, lines, result.stderr

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


if __name__ == "__main__":
    unittest.main()
