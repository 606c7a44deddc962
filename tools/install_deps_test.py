#!/usr/bin/env python3
"""Runs functions of tools/install_deps.sh with stand-ins: an apt-get that
refuses the lock, and a cache of library builds in a temporary folder."""

import os
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "install_deps.sh")
# Stands in for apt-get: prints the plan's refusal for its start and fails;
# after the last one, succeeds.
STAND_IN = r"""#!/bin/bash
echo >>"$0.starts"
line=$(sed -n "$(wc -l <"$0.starts")p" "$0.plan")
[[ -z $line ]] || { printf "$line\n" >&2; exit 100; }
"""


def bash(folder, command):
    env = dict(os.environ, VELNA_DEPS_CACHE=folder + "/cache",
               VELNA_APT_LOCK_PAUSE="0", PATH=folder + ":" + os.environ["PATH"])
    return subprocess.run(["bash", "-c", 'source "$1"; ' + command, "t",
                           SCRIPT], env=env, capture_output=True, text=True,
                          timeout=60)


class InstallDepsTest(unittest.TestCase):

    def test_waits_only_while_a_running_process_holds_the_lock(self):
        with subprocess.Popen(["true"]) as ended:
            pass
        held = "E: Could not get lock /l. It is held by process %d (apt-get)"
        # The holder lives until the test closes its input.
        with subprocess.Popen(["cat"], stdin=subprocess.PIPE) as holder, \
                tempfile.TemporaryDirectory() as folder:
            with open(folder + "/apt-get", "w") as f:
                f.write(STAND_IN)
            os.chmod(folder + "/apt-get", 0o755)
            for refusals, waited in [
                    ([held % holder.pid] * 2, True), ([held % ended.pid], False),
                    (["E: Could not open lock file /l - open (13: Permission "
                      "denied)\\nE: Unable to lock directory /l/"], False),
                    (["E: Unable to acquire the dpkg frontend lock (/l), are "
                      "you root?"], False)]:
                with self.subTest(refusals=refusals):
                    with open(folder + "/apt-get.plan", "w") as f:
                        f.write("\n".join(refusals) + "\n")
                    open(folder + "/apt-get.starts", "w").close()
                    run = bash(folder, "apt_get update")
                    with open(folder + "/apt-get.starts") as f:
                        starts = len(f.readlines())
                    # Else apt's own message ends the set-up at once.
                    self.assertEqual((waited, waited, 3 if waited else 1),
                                     ("waiting up to" in run.stdout,
                                      run.returncode == 0, starts), run)
                    self.assertIn(refusals[-1][-20:] * (not waited), run.stderr)
            holder.kill()

    def test_removes_only_what_no_link_build_or_builder_uses(self):
        with tempfile.TemporaryDirectory() as folder:
            cache = folder + "/cache/"
            for name in ["mingw-new", "mingw-used", "mingw-old", "src-old",
                         "fonts-old", "building-a", "building-b",
                         "building-c"]:
                os.makedirs(cache + name)
            os.symlink(cache + "mingw-new", cache + "mingw-current")
            with open(cache + "building-a/.builder", "w") as f:
                f.write("%d 1\n" % os.getpid())  # another start time
            # A build holding its library folder, a builder running: it
            # lives until the test closes its input.
            with subprocess.Popen(
                    ["bash", "-c", 'source "$1"; note_builder "$2"; exec flock'
                     ' -s "$3" bash -c "echo; exec cat"', "t", SCRIPT,
                     cache + "building-b", cache + "mingw-used"],
                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                    start_new_session=True) as holder:
                holder.stdout.readline()
                self.assertEqual(0, bash(folder, "remove_unused_builds")
                                 .returncode)
                os.killpg(holder.pid, 9)
            self.assertEqual(["building-b", "fonts-old", "mingw-current",
                              "mingw-new", "mingw-used"],
                             sorted(os.listdir(cache)))


if __name__ == "__main__":
    unittest.main()
