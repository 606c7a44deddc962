#!/usr/bin/env python3
"""Runs functions of tools/install_deps.sh with stand-ins: an apt-get that
refuses its lock, and a cache of library builds in a temporary folder."""

import os
import subprocess
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "install_deps.sh")

# Stands in for apt-get: notes each start, prints the refusal of its plan's
# line for that start (the last repeated; "\\n" for a new line) and fails,
# or succeeds on "ok".
STAND_IN = r"""#!/usr/bin/env bash
folder=$(dirname "$0")
echo start >>"$folder/starts"
mapfile -t plan <"$folder/plan"
count=$(wc -l <"$folder/starts")
step=${plan[count - 1]:-${plan[-1]}}
[[ $step == ok ]] && exit 0
printf '%b\n' "${step//HOLDER/$HOLDER}" >&2
exit 100
"""

HELD = ("E: Could not get lock /var/lib/apt/lists/lock. It is held by "
        "process HOLDER (apt-get)")
NO_RIGHT = ("E: Could not open lock file /var/lib/apt/lists/lock - open "
            "(13: Permission denied)\nE: Unable to lock directory "
            "/var/lib/apt/lists/")
NOT_ROOT = ("E: Unable to acquire the dpkg frontend lock "
            "(/var/lib/dpkg/lock-frontend), are you root?")


def bash(folder, command, env=None):
    """(status, standard output, standard error) of |command| run after
    sourcing the script, with |folder| first in PATH."""
    full_env = dict(os.environ, VELNA_DEPS_CACHE=os.path.join(folder, "cache"),
                    VELNA_APT_LOCK_PAUSE="0",
                    PATH=folder + os.pathsep + os.environ["PATH"])
    full_env.update(env or {})
    result = subprocess.run(
        ["bash", "-c", 'source "$1"; ' + command, "test", SCRIPT],
        env=full_env, capture_output=True, text=True, timeout=60)
    return result.returncode, result.stdout, result.stderr


class AptLockTest(unittest.TestCase):

    def run_apt_get(self, plan, holder):
        """(status, starts, standard output, standard error)."""
        with tempfile.TemporaryDirectory() as folder:
            stand_in = os.path.join(folder, "apt-get")
            with open(stand_in, "w") as f:
                f.write(STAND_IN)
            os.chmod(stand_in, 0o755)
            with open(os.path.join(folder, "plan"), "w") as f:
                f.write("".join(step.replace("\n", "\\n") + "\n"
                                for step in plan))
            status, out, err = bash(folder, "apt_get update",
                                    {"HOLDER": str(holder)})
            with open(os.path.join(folder, "starts")) as f:
                starts = len(f.readlines())
            return status, starts, out, err

    def test_waits_only_while_a_process_holds_the_lock(self):
        with subprocess.Popen(["sleep", "60"]) as holder:
            try:
                live = holder.pid
                ended = subprocess.run(["bash", "-c", "echo $$"],
                                       capture_output=True,
                                       text=True).stdout.strip()
                waiting = "waiting up to 60 minutes for the package"
                # (plan, holder, status, starts, waited)
                rows = [
                    ([HELD, HELD, "ok"], live, 0, 3, True),
                    ([HELD], ended, 100, 1, False),
                    ([NO_RIGHT], live, 100, 1, False),
                    ([NOT_ROOT], live, 100, 1, False),
                    (["ok"], live, 0, 1, False),
                ]
                for plan, pid, status, starts, waited in rows:
                    with self.subTest(plan=plan[0], holder=pid):
                        got = self.run_apt_get(plan, pid)
                        self.assertEqual((status, starts), got[:2], got)
                        self.assertEqual(waited, waiting in got[2], got)
                        if status:
                            # apt's own message ends the set-up.
                            self.assertIn(
                                plan[-1].replace("HOLDER", str(pid)), got[3])
            finally:
                holder.kill()


class RemoveUnusedBuildsTest(unittest.TestCase):

    def test_removes_only_what_no_link_build_or_builder_uses(self):
        with tempfile.TemporaryDirectory() as folder:
            cache = os.path.join(folder, "cache")
            names = ["mingw-new", "mingw-used", "mingw-old", "src-old",
                     "fonts-old", "building-fonts-ended",
                     "building-fonts-running", "building-fonts-unmarked"]
            for name in names:
                os.makedirs(os.path.join(cache, name))
            os.symlink(os.path.join(cache, "mingw-new"),
                       os.path.join(cache, "mingw-current"))
            with open(os.path.join(cache, "building-fonts-ended",
                                   ".builder"), "w") as f:
                f.write("%d 1\n" % os.getpid())
            # A running build holds a shared lock on its library folder; a
            # running builder noted itself in its folder.
            used = os.path.join(cache, "mingw-used")
            running = os.path.join(cache, "building-fonts-running")
            with subprocess.Popen(
                ["bash", "-c", 'source "$1"; note_builder "$2"; exec flock '
                 '-s "$3" bash -c "echo; exec sleep 60"', "test", SCRIPT,
                 running, used], stdout=subprocess.PIPE, text=True,
                    start_new_session=True) as holder:
                try:
                    holder.stdout.readline()
                    status, _, err = bash(folder, "remove_unused_builds")
                    self.assertEqual(0, status, err)
                finally:
                    os.killpg(holder.pid, 9)
            self.assertEqual(
                ["building-fonts-running", "fonts-old", "mingw-current",
                 "mingw-new", "mingw-used"], sorted(os.listdir(cache)))


if __name__ == "__main__":
    unittest.main()
