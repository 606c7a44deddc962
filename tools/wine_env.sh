#!/usr/bin/env bash
# Wine for this build's tests: one prefix inside the build tree, created once,
# reporting Windows 10, with the automatic debugger off so that a crashing
# test ends instead of waiting for a debugger.
# Source it, then: wine_prefix_init; wine_services_start; ...; wine_services_stop

WINE_BUILD_DIR="${WINE_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/out/win}"
export WINEPREFIX="$WINE_BUILD_DIR/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine_prefix_init() {
  [[ -f $WINEPREFIX/.velna-ready ]] && return 0
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wine winecfg /v win10 >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d "" /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.velna-ready"
}

# A persistent server and Wine's background services, started once: a
# service first started by a test would inherit its output pipe and keep
# CTest waiting.
wine_services_start() {
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

wine_services_stop() {
  wineserver -k 2>/dev/null || true
}
