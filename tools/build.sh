#!/usr/bin/env bash
# Builds the Windows binaries (out/win) and the native sanitizer build
# (out/native); "tsan" builds the native tests with ThreadSanitizer instead
# (out/tsan); "bench-standard-user" and "bench-kept-access-lists" build the
# installer alone with VELNA_BENCH_STANDARD_USER or
# VELNA_BENCH_KEPT_ACCESS_LISTS, for the peer benchmark only (out/bench-...,
# never shipped). Usage: tools/build.sh [win|native|all|tsan|
# bench-standard-user|bench-kept-access-lists]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
what="${1:-all}"
JOBS="${VELNA_JOBS:-$(nproc)}"
# ccache, when the machine has it, makes rebuilds of other checkouts cheap;
# CCACHE_BASEDIR keeps its hits independent of where the checkout lies, and
# the sloppiness lets it cache the files built with the precompiled test
# header.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$ROOT"
  export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:+$CCACHE_SLOPPINESS,}pch_defines,time_macros"
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# A shared lock on the third-party library folder this build starts with:
# a set-up of the same cache (tools/install_deps.sh) removes no folder that
# a build holds. Closed when the build ends. The build reads that folder,
# not the link, which a set-up may move meanwhile.
deps_cache="${VELNA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velna-deps}"
LIBRARIES=()
if libraries=$(readlink -e "$deps_cache/mingw-current"); then
  exec {libraries_lock}<"$libraries"
  flock -s "$libraries_lock"
  LIBRARIES=(-DVELNA_DEPS_PREFIX:PATH="$libraries")
fi

configure_and_build() {  # dir [cmake args...]; TARGET: one target only
  local dir=$1; shift
  # Configured again when the libraries moved to another folder.
  if [[ ! -f $dir/build.ninja ]] || { [[ -n ${libraries:-} ]] &&
    ! grep -qxF "VELNA_DEPS_PREFIX:PATH=$libraries" "$dir/CMakeCache.txt"; }; then
    cmake -G Ninja -S "$ROOT" -B "$dir" "${LAUNCHER[@]}" "${LIBRARIES[@]}" \
      "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$JOBS" ${TARGET:+--target "$TARGET"}
}

WINDOWS=(-DCMAKE_BUILD_TYPE=Release
         -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/mingw-w64-x86_64.cmake")
if [[ $what == win || $what == all ]]; then
  configure_and_build "$ROOT/out/win" "${WINDOWS[@]}"
fi
bench_option=
case $what in
  bench-standard-user) bench_option=VELNA_BENCH_STANDARD_USER ;;
  bench-kept-access-lists) bench_option=VELNA_BENCH_KEPT_ACCESS_LISTS ;;
esac
if [[ -n $bench_option ]]; then
  TARGET=installer configure_and_build "$ROOT/out/$what" "${WINDOWS[@]}" \
    -D$bench_option=ON
fi
if [[ $what == native || $what == all ]]; then
  configure_and_build "$ROOT/out/native" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
if [[ $what == tsan ]]; then
  configure_and_build "$ROOT/out/tsan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELNA_SANITIZERS=thread
fi
