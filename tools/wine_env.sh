#!/usr/bin/env bash
# Wine for this build's tests: one prefix inside the build tree, created once,
# reporting Windows 10, with the automatic debugger off so that a crashing
# test ends instead of waiting for a debugger.
# Source it, then: wine_prefix_init; wine_services_start; ...; wine_services_stop
# (which make, start and stop the test slots' prefixes too).

WINE_BUILD_DIR="${WINE_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/out/win}"
# VELNA_WINEPREFIX: another prefix than the one of the tests.
export WINEPREFIX="${VELNA_WINEPREFIX:-$WINE_BUILD_DIR/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The slots of the tests that each run in a prefix of their own
# (tools/wine_gtest_run.sh.in): copies of the tests' prefix, one per test
# that may run at the same time. VELNA_TEST_SLOTS: how many.
WINE_SLOTS_DIR="$WINE_BUILD_DIR/wineslots"
WINE_SLOT_COUNT="${VELNA_TEST_SLOTS:-$(nproc)}"
# The installer window's fonts that tools/install_deps.sh builds.
VELNA_WINDOW_FONTS="${VELNA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velna-deps}/fonts-current"

wine_prefix_init() {
  if [[ -f $WINEPREFIX/.velna-ready ]]; then
    wine_prefix_settings
    wine_slots_init
    return 0
  fi
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wine winecfg /v win10 >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d "" /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /d 1 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.velna-ready"
  wine_prefix_settings
  wine_slots_init
}

# True when WINEPREFIX is the tests' prefix, which has slots.
wine_has_slots() {
  [[ $WINEPREFIX == "$WINE_BUILD_DIR/wineprefix" ]]
}

# Makes the slots that are missing from the tests' prefix, with the same
# settings. Wine's own libraries, most of a prefix, are shared as hard
# links: Wine replaces them only when it updates a prefix.
wine_slots_init() {
  wine_has_slots || return 0
  local template=$WINEPREFIX slot i
  wineserver -w
  for ((i = 1; i <= WINE_SLOT_COUNT; i++)); do
    slot=$WINE_SLOTS_DIR/$i
    if [[ ! -f $slot/.velna-ready ]] && ! wine_slot_make "$template" "$slot"; then
      echo "wine_env: could not make the slot $slot" >&2
      continue
    fi
    (WINEPREFIX=$slot && wine_prefix_settings)
  done
}

# Makes the slot $2 a copy of the prefix $1, marked ready only once whole:
# a slot whose making was cut is made again.
wine_slot_make() {
  local template=$1 slot=$2 copied
  rm -rf "$slot" && mkdir -p "$slot" || return 1
  tar -C "$template" --exclude=./drive_c/windows/system32 \
    --exclude=./.velna-ready -cf - . | tar -C "$slot" -xf -
  copied=("${PIPESTATUS[@]}")
  ((copied[0] == 0 && copied[1] == 0)) &&
    cp -al "$template/drive_c/windows/system32" "$slot/drive_c/windows/" &&
    touch "$slot/.velna-ready"
}

# Settings added after a prefix was first made, applied once each.
wine_prefix_settings() {
  # With a display, a crashing program would otherwise open Wine's crash
  # dialog and wait for a click.
  if [[ ! -f $WINEPREFIX/.velna-no-crash-dialog ]]; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
      /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.velna-no-crash-dialog"
  fi
  # Starting the (empty) debugger without asking first: with a display, the
  # question would otherwise wait forever.
  if [[ ! -f $WINEPREFIX/.velna-debugger-auto ]]; then
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Auto /d 1 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.velna-debugger-auto"
  fi
  # The user's shell folders (Desktop, Documents, ...) are links to the
  # Linux home in a new prefix: shortcuts that an installer puts on the
  # desktop would land there, shared by every prefix on the machine.
  # Real folders inside the prefix instead.
  if [[ ! -f $WINEPREFIX/.velna-own-shell-folders ]]; then
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      [[ -L $link ]] || continue
      rm -f "$link"
      mkdir -p "$link"
    done
    touch "$WINEPREFIX/.velna-own-shell-folders"
  fi
  # Without Wine's own fonts, dialogs draw in DejaVu Sans, which has no CJK
  # or Indic glyphs: linked to the fonts tools/install_deps.sh installs, the
  # window draws those languages' texts instead of boxes. Wine reads the
  # links when a process starts; entries for missing files are skipped.
  local face links='wqy-microhei.ttc,WenQuanYi Micro Hei\0'
  links+='Lohit-Devanagari.ttf,Lohit Devanagari\0'
  links+='Lohit-Bengali.ttf,Lohit Bengali\0'
  links+='Lohit-Tamil.ttf,Lohit Tamil\0Lohit-Telugu.ttf,Lohit Telugu'
  if [[ ! -f $WINEPREFIX/.velna-font-links ]]; then
    for face in 'DejaVu Sans' 'DejaVu Sans Bold'; do
      wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "$links" /f >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.velna-font-links"
  fi
  # Wine shapes Thai, right-to-left text and everything in a rich edit in
  # the selected font alone (font links are never consulted there), so
  # the window's faces must have those letters themselves: Tahoma (which
  # MS Shell Dlg and the message font stand for) and Segoe UI become
  # FreeSerif CJK, which tools/install_deps.sh builds from FreeSerif (Thai,
  # Hebrew, all of Arabic with Urdu's letters, Indic) and WenQuanYi's CJK
  # and Hangul. Without it, FreeSerif itself: only the rich edits of CJK
  # texts then show boxes. Links cover the Indic scripts the bold face
  # lacks. The marker holds the face given.
  local window_face=FreeSerif given
  if [[ -f $VELNA_WINDOW_FONTS/FreeSerifCJK.ttf ]]; then
    window_face='FreeSerif CJK'
    # Wine loads every font in the prefix's font folder.
    ln -sf "$VELNA_WINDOW_FONTS"/FreeSerifCJK*.ttf \
      "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  # None yet in a new prefix; callers may run under set -e.
  given=$(cat "$WINEPREFIX/.velna-window-fonts" 2>/dev/null || true)
  if [[ $given != "$window_face" ]]; then
    for face in "$window_face" "$window_face Bold"; do
      wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "$links" /f >/dev/null 2>&1
    done
    for face in 'Tahoma' 'Segoe UI'; do
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
        /d "$window_face" /f >/dev/null 2>&1
    done
    wineserver -w
    echo "$window_face" >"$WINEPREFIX/.velna-window-fonts"
  fi
}

# A persistent server and Wine's background services, started once: a
# service first started by a test would inherit its output pipe and keep
# CTest waiting. Each slot also gets a display of its own, so that the
# window tests in the slots run side by side: which window is active is a
# display's, and Wine's desktop process of a prefix keeps the display it
# started on.
wine_services_start() {
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
  wine_has_slots || return 0
  local ready slot
  for ready in "$WINE_SLOTS_DIR"/*/.velna-ready; do
    [[ -f $ready ]] || continue
    slot=${ready%/.velna-ready}
    (
      export WINEPREFIX=$slot
      wine_slot_display_start "$slot" && export DISPLAY=$(<"$slot.display")
      wineserver -p
      wine cmd /c exit </dev/null >/dev/null 2>&1
    ) &
  done
  wait
}

# Starts an X server for the slot $1 on the first free display, which it
# names itself once it listens: the display goes to "$1.display" (read by
# tools/wine_gtest_run.sh.in), the server's id to "$1.xvfb".
wine_slot_display_start() {
  local slot=$1 fifo number
  fifo=$(mktemp -u "$slot.fifo.XXXXXX") && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$slot.xvfb"
  # Ends empty when the server could not start.
  read -r number <"$fifo"
  rm -f "$fifo"
  if [[ -z $number ]]; then
    echo "wine_env: no display for the slot $slot" >&2
    rm -f "$slot.xvfb" "$slot.display"
    return 1
  fi
  echo ":$number" >"$slot.display"
}

wine_services_stop() {
  wineserver -k 2>/dev/null || true
  wine_has_slots || return 0
  local slot
  for slot in "$WINE_SLOTS_DIR"/*/; do
    slot=${slot%/}
    WINEPREFIX=$slot wineserver -k 2>/dev/null || true
    if [[ -f $slot.xvfb ]]; then
      local server
      server=$(<"$slot.xvfb")
      # Ended before the next run looks for a free display.
      kill "$server" 2>/dev/null && tail --pid="$server" -f /dev/null
      rm -f "$slot.xvfb" "$slot.display"
    fi
  done
}
