#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests: the Windows
# tests under Wine (with Xvfb for windows) and the native tests under the
# sanitizers. Exits non-zero when any test fails.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"
start=$(date +%s)

# The jobs started below and not yet waited for, each a process group of
# its own: SIGTERM, SIGINT or SIGHUP to this shell ends them whole, and
# waits for them, before it ends. The Windows tests' job then stops the Wine
# servers and X servers it started (wine_services_run of tools/wine_env.sh).
running_jobs=()
start_job() {
  set -m
  "$@" &
  set +m
  running_jobs+=("$!")
}
wait_job() {
  local status job still=()
  wait "$1"
  status=$?
  for job in "${running_jobs[@]}"; do
    [[ $job == "$1" ]] || still+=("$job")
  done
  running_jobs=("${still[@]}")
  return "$status"
}
end_jobs() {  # exit status
  trap '' TERM INT HUP
  local job
  for job in "${running_jobs[@]}"; do
    kill -TERM -- "-$job" 2>/dev/null
  done
  for job in "${running_jobs[@]}"; do
    wait "$job"
  done
  echo "== ended by a signal after $(($(date +%s) - start)) s"
  exit "$1"
}
trap 'end_jobs 143' TERM
trap 'end_jobs 130' INT
trap 'end_jobs 129' HUP

bash "$ROOT/tools/install_deps.sh" || exit 1
# The floor plan of the installer's folders (README, Layout), before the
# long build.
echo "== include layout"
python3 "$ROOT/tools/check_layout_test.py" || exit 1
python3 "$ROOT/tools/check_layout.py" "$ROOT" || exit 1
echo "== the Wine tests' wrapper and slots"
python3 "$ROOT/tools/wine_gtest_run_test.py" || exit 1
python3 "$ROOT/tools/wine_env_test.py" || exit 1
echo "== the set-up's package lock and clean-up"
python3 "$ROOT/tools/install_deps_test.py" || exit 1
# The native side (its two builds and their tests) needs only CPU, while
# the Windows side spends much of its time waiting: for its build's links
# and, in its tests, for Wine's processes and windows. So the native side
# starts now and runs beside the other: its builds at the lowest priority,
# on the CPU the other leaves idle, and its tests at the usual one, since
# each has a time limit that a busy Windows side could otherwise use up
# (measured at the lowest priority with both cores kept busy: 45 of 854
# timed out or lost their set-up). Its output follows the Windows side's.
mkdir -p "$ROOT/out"
# Each suite's list of failed tests, as CTest leaves it; none from before.
declare -A failed_logs
for suite in win native tsan; do
  failed_logs[$suite]="$ROOT/out/$suite/Testing/Temporary/LastTestsFailed.log"
  rm -f "${failed_logs[$suite]}"
done
native_log="$ROOT/out/native_side.log"
native_times="$ROOT/out/native_side.times"
: >"$native_times"
native_side() {
  if ! nice -n 19 bash "$ROOT/tools/build.sh" native ||
    ! nice -n 19 bash "$ROOT/tools/build.sh" tsan; then
    echo "build failed after $(($(date +%s) - start)) s" >"$native_times"
    exit 1
  fi
  built=$(date +%s)
  native_status=0
  echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$ROOT/out/native" -j "$JOBS" \
    --output-on-failure --no-tests=error || native_status=1
  echo "== native tests (ThreadSanitizer)"
  TSAN_OPTIONS=halt_on_error=1 \
    ctest --test-dir "$ROOT/out/tsan" -j "$JOBS" \
    --output-on-failure --no-tests=error || native_status=1
  echo "builds $((built - start)) s, tests $(($(date +%s) - built)) s" \
    >"$native_times"
  echo "== native side done after $(( $(date +%s) - start )) s"
  exit $native_status
}
start_job native_side >"$native_log" 2>&1 </dev/null
native_pid=$!

windows_start=$(date +%s)
start_job bash "$ROOT/tools/build.sh" win </dev/null
if ! wait_job "$!"; then
  echo "== the Windows build failed; waiting for the native side"
  wait_job "$native_pid"
  cat "$native_log"
  exit 1
fi
windows_built=$(date +%s)

status=0
# Where the wrapper notes each test process it started again; the list
# closes the log.
retry_log="$ROOT/out/win/wine_test_retries.log"
: >"$retry_log"
echo "== Windows tests under Wine"
# On displays of their own (Xvfb), never the desktop's.
# Every failure fails the suite. Only a Wine process that died at start-up,
# before running any test, or in the loader at exit after passing every
# test it ran, is started once more, by the wrapper each test runs through
# (tools/wine_gtest_run.sh.in; VELNA_TEST_NO_RETRY=1 turns that off).
start_job env -u DISPLAY bash -c '
  source "$1/tools/wine_env.sh"
  wine_services_run ctest --test-dir "$1/out/win" -j "$2" \
    --output-on-failure --no-tests=error' _ "$ROOT" "$JOBS" </dev/null
wait_job "$!" || status=1
windows_end=$(date +%s)
echo "== Windows tests done after $(( windows_end - start )) s"

wait_job "$native_pid" || status=1
echo "== native builds and tests ($native_log)"
cat "$native_log"

# CI shows only the log's end: name what failed there too.
echo "== tests that failed"
listed=0
for suite in win native tsan; do
  if [[ -s ${failed_logs[$suite]} ]]; then
    sed "s/^/$suite: /" "${failed_logs[$suite]}"
    listed=1
  fi
done
if (( listed == 0 )); then
  if (( status == 0 )); then echo "none"
  else echo "none listed: the run failed around its tests (see above)"; fi
fi
echo "== Windows tests started again after their process died at start-up or in the loader after passing"
if [[ -s $retry_log ]]; then cat "$retry_log"; else echo "none"; fi
echo "== Windows side: build $((windows_built - windows_start)) s, tests" \
  "$((windows_end - windows_built)) s, done after $((windows_end - start)) s"
echo "== native side: $(cat "$native_times")"
echo "== total time: $(( $(date +%s) - start )) s"
exit $status
