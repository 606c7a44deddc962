#!/usr/bin/env python3
"""Runs functions of tools/install_deps.sh with stand-ins: an apt-get that
refuses the lock, and a cache of library builds in a temporary folder; and
tools/build.sh with a stand-in for cmake, while a set-up moves the link to
the libraries."""

import os
import shutil
import subprocess
import tempfile
import unittest

TOOLS = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(TOOLS, "install_deps.sh")
# Stands in for apt-get: prints the plan's refusal for its start and fails;
# after the last one, succeeds.
STAND_IN = r"""#!/bin/bash
echo >>"$0.starts"
line=$(sed -n "$(wc -l <"$0.starts")p" "$0.plan")
[[ -z $line ]] || { printf "$line\n" >&2; exit 100; }
"""


# Stands in for cmake: a configure writes the cache entry of the libraries'
# folder (the link, as cmake/velna.cmake has it, when none is given); a
# build notes that folder, lets a set-up move the link to "mingw-newer" and
# clean up, and notes whether the folder is still there.
CMAKE_STAND_IN = r"""#!/bin/bash
if [[ $1 == --build ]]; then
  prefix=$(sed -n 's/^VELNA_DEPS_PREFIX:PATH=//p' "$2/CMakeCache.txt")
  mkdir -p "$VELNA_DEPS_CACHE/mingw-newer"
  bash -c 'source "$1"; point_link "$2" "$3"; remove_unused_builds' t \
    "$INSTALL_DEPS" "$VELNA_DEPS_CACHE/mingw-newer" \
    "$VELNA_DEPS_CACHE/mingw-current"
  [[ -d $prefix/lib ]] && echo "read $(readlink -f "$prefix")" >>"$0.log"
  exit 0
fi
prefix=$VELNA_DEPS_CACHE/mingw-current
while (($#)); do
  case $1 in
    -B) dir=$2; shift ;;
    -DVELNA_DEPS_PREFIX:PATH=*) prefix=${1#*=} ;;
  esac
  shift
done
mkdir -p "$dir" && touch "$dir/build.ninja"
echo "VELNA_DEPS_PREFIX:PATH=$prefix" >"$dir/CMakeCache.txt"
echo "configured $prefix" >>"$0.log"
"""


def bash(folder, command, cache="/cache"):
    env = dict(os.environ, VELNA_DEPS_CACHE=folder + cache,
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
        # The cache root as given: plain, with a trailing slash, through a
        # link; the links name their folders as the set-up spells them.
        for root in ["/cache", "/cache/", "/linked", "/linked/"]:
            with self.subTest(root=root), \
                    tempfile.TemporaryDirectory() as folder:
                cache = folder + "/cache/"
                for name in ["mingw-new", "mingw-used", "mingw-old",
                             "src-old", "fonts-old", "building-a",
                             "building-b", "building-c"]:
                    os.makedirs(cache + name)
                os.symlink("cache", folder + "/linked")
                self.assertEqual(0, bash(
                    folder, 'point_link "$CACHE_ROOT/mingw-new"'
                    ' "$CACHE_ROOT/mingw-current"', root).returncode)
                with open(cache + "building-a/.builder", "w") as f:
                    f.write("%d 1\n" % os.getpid())  # another start time
                # A build holding its library folder, a builder running:
                # it lives until the test closes its input.
                with subprocess.Popen(
                        ["bash", "-c", 'source "$1"; note_builder "$2"; exec'
                         ' flock -s "$3" bash -c "echo; exec cat"', "t",
                         SCRIPT, cache + "building-b", cache + "mingw-used"],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        text=True, start_new_session=True) as holder:
                    holder.stdout.readline()
                    self.assertEqual(0, bash(folder, "remove_unused_builds",
                                             root).returncode)
                    os.killpg(holder.pid, 9)
                self.assertEqual(["building-b", "fonts-old", "mingw-current",
                                  "mingw-new", "mingw-used"],
                                 sorted(os.listdir(cache)))

    def test_a_build_reads_the_libraries_it_holds(self):
        # A set-up that moves the link during a build removes nothing the
        # build reads; the next build reads the new folder.
        with tempfile.TemporaryDirectory() as folder:
            tree = folder + "/tree"
            os.makedirs(tree + "/tools")
            shutil.copy(os.path.join(TOOLS, "build.sh"), tree + "/tools")
            cache = folder + "/cache"
            os.makedirs(cache + "/mingw-new/lib")
            os.symlink(cache + "/mingw-new", cache + "/mingw-current")
            stand_in = folder + "/bin/cmake"
            os.makedirs(folder + "/bin")
            with open(stand_in, "w") as f:
                f.write(CMAKE_STAND_IN)
            os.chmod(stand_in, 0o755)
            env = dict(os.environ, VELNA_DEPS_CACHE=cache,
                       INSTALL_DEPS=SCRIPT,
                       PATH=folder + "/bin:" + os.environ["PATH"])
            for _ in range(2):
                run = subprocess.run(["bash", tree + "/tools/build.sh", "win"],
                                     env=env, capture_output=True, text=True,
                                     timeout=60)
                self.assertEqual(0, run.returncode, run)
                os.makedirs(cache + "/mingw-newer/lib", exist_ok=True)
            with open(stand_in + ".log") as f:
                log = f.read().splitlines()
            self.assertEqual(["configured " + cache + "/mingw-new",
                              "read " + cache + "/mingw-new",
                              "configured " + cache + "/mingw-newer",
                              "read " + cache + "/mingw-newer"], log)

if __name__ == "__main__":
    unittest.main()
