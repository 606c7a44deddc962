#!/usr/bin/env python3
"""Runs functions of tools/install_deps.sh with stand-ins: an apt-get that
refuses the lock, and a cache of library builds in a temporary folder."""

import os
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "install_deps.sh")
HELD = "E: Could not get lock /l. It is held by process {} (apt-get)"
NO_RIGHT = ("E: Could not open lock file /l - open (13: Permission denied)"
            "\\nE: Unable to lock directory /var/lib/apt/lists/")
NOT_ROOT = "E: Unable to acquire the dpkg frontend lock (/l), are you root?"


def bash(folder, command):
    env = dict(os.environ, VELNA_DEPS_CACHE=os.path.join(folder, "cache"),
               VELNA_APT_LOCK_PAUSE="0", PATH=folder + ":" + os.environ["PATH"])
    r = subprocess.run(["bash", "-c", 'source "$1"; ' + command, "t", SCRIPT],
                       env=env, capture_output=True, text=True, timeout=60)
    return r.returncode, r.stdout, r.stderr


class InstallDepsTest(unittest.TestCase):

    def test_waits_only_while_a_running_process_holds_the_lock(self):
        ended = subprocess.run(["bash", "-c", "echo $$"], capture_output=True,
                               text=True).stdout.strip()
        with subprocess.Popen(["sleep", "60"]) as holder, \
                tempfile.TemporaryDirectory() as folder:
            # (refusals before a success, starts, waited)
            for refusals, starts, waited in [
                    ([HELD.format(holder.pid)] * 2, 3, True),
                    ([HELD.format(ended)], 1, False), ([NO_RIGHT], 1, False),
                    ([NOT_ROOT], 1, False), ([], 1, False)]:
                with self.subTest(refusals=refusals):
                    # Stands in for apt-get: refuses, then succeeds.
                    with open(folder + "/apt-get", "w") as f:
                        f.write("#!/bin/bash\necho >>%s/starts\ncase $(wc -l "
                                "<%s/starts) in\n" % (folder, folder) + "".join(
                                    "%d) printf '%s\\n' >&2; exit 100;;\n" %
                                    (i + 1, r) for i, r in enumerate(refusals))
                                + "esac\n")
                    os.chmod(folder + "/apt-get", 0o755)
                    open(folder + "/starts", "w").close()
                    status, out, err = bash(folder, "apt_get update")
                    with open(folder + "/starts") as f:
                        self.assertEqual(starts, len(f.readlines()))
                    self.assertEqual(waited, "waiting up to" in out)
                    # Else apt's own message ends the set-up at once.
                    self.assertEqual(waited or not refusals, status == 0)
                    self.assertIn(refusals[-1].split("\\n")[-1]
                                  if status else "", err)
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
            # A build holding its library folder, a builder running.
            with subprocess.Popen(
                    ["bash", "-c", 'source "$1"; note_builder "$2"; exec flock'
                     ' -s "$3" bash -c "echo; exec sleep 60"', "t", SCRIPT,
                     cache + "building-b", cache + "mingw-used"],
                    stdout=subprocess.PIPE, text=True,
                    start_new_session=True) as holder:
                holder.stdout.readline()
                self.assertEqual(0, bash(folder, "remove_unused_builds")[0])
                os.killpg(holder.pid, 9)
            self.assertEqual(["building-b", "fonts-old", "mingw-current",
                              "mingw-new", "mingw-used"], sorted(os.listdir(cache)))


if __name__ == "__main__":
    unittest.main()
