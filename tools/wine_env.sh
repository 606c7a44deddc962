#!/usr/bin/env bash
# Wine for this build's tests: one prefix inside the build tree, created once,
# reporting Windows 10, with the automatic debugger off so that a crashing
# test ends instead of waiting for a debugger.
# Source it, then: wine_prefix_init; wine_services_start; ...; wine_services_stop
# (which make, start and stop the test slots' prefixes too), or
# wine_services_run COMMAND, which does all of that around COMMAND and stops
# the services however the shell is ended.

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
# How long any one step of the set-up may wait, in seconds
# (VELNA_WINE_WAIT_LIMIT): for a Wine program, a Wine server or an X server.
WINE_WAIT_LIMIT="${VELNA_WINE_WAIT_LIMIT:-600}"
# The slots' starts that wine_services_start runs side by side.
WINE_SLOTS_STARTING=()

# Runs the set-up's command $2... with its output dropped, ended after
# WINE_WAIT_LIMIT seconds with a line that names what it waited for ($1): a
# Wine program that hangs must not hold the tests forever. It stays in this
# shell's process group, which a signal to the test command ends whole.
wine_step() {
  local what=$1 status=0
  shift
  timeout --foreground -k 10 "$WINE_WAIT_LIMIT" "$@" </dev/null >/dev/null \
    2>&1 || status=$?
  if ((status == 124 || status == 137)); then
    echo "wine_env: gave up after $WINE_WAIT_LIMIT s waiting for $what" >&2
  fi
  return "$status"
}

# Waits for the Wine server of WINEPREFIX to end, once its programs have.
wine_server_wait() {
  wine_step "the Wine server of $WINEPREFIX to end" wineserver -w
}

wine_reg_add() {
  wine_step "wine reg add $1 in $WINEPREFIX" wine reg add "$@"
}

wine_prefix_init() {
  if [[ -f $WINEPREFIX/.velna-ready ]]; then
    wine_prefix_settings && wine_slots_init
    return
  fi
  rm -rf "$WINEPREFIX"
  mkdir -p "${WINEPREFIX%/*}"
  if ! wine_step "wineboot -i in $WINEPREFIX" wineboot -i ||
    ! wine_server_wait; then
    echo "wine_env: could not make the prefix $WINEPREFIX" >&2
    return 1
  fi
  wine_step "winecfg in $WINEPREFIX" wine winecfg /v win10
  wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d "" /f
  wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /d 1 /f
  wine_server_wait || return 1
  touch "$WINEPREFIX/.velna-ready"
  wine_prefix_settings && wine_slots_init
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
  local template=$WINEPREFIX slot i status=0
  wine_server_wait || return 1
  for ((i = 1; i <= WINE_SLOT_COUNT; i++)); do
    slot=$WINE_SLOTS_DIR/$i
    if [[ ! -f $slot/.velna-ready ]] && ! wine_slot_make "$template" "$slot"; then
      echo "wine_env: could not make the slot $slot" >&2
      status=1
      continue
    fi
    (WINEPREFIX=$slot && wine_prefix_settings) || status=1
  done
  return "$status"
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
    wine_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
      /t REG_DWORD /d 0 /f
    wine_server_wait || return 1
    touch "$WINEPREFIX/.velna-no-crash-dialog"
  fi
  # Starting the (empty) debugger without asking first: with a display, the
  # question would otherwise wait forever.
  if [[ ! -f $WINEPREFIX/.velna-debugger-auto ]]; then
    wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Auto /d 1 /f
    wine_server_wait || return 1
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
      wine_reg_add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "$links" /f
    done
    wine_server_wait || return 1
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
      wine_reg_add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "$links" /f
    done
    for face in 'Tahoma' 'Segoe UI'; do
      wine_reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
        /d "$window_face" /f
    done
    wine_server_wait || return 1
    echo "$window_face" >"$WINEPREFIX/.velna-window-fonts"
  fi
}


# A persistent server and Wine's background services, started once: a
# service first started by a test would inherit its output pipe and keep
# CTest waiting. Each slot also gets a display of its own, so that the
# window tests in the slots run side by side: which window is active is a
# display's, and Wine's desktop process of a prefix keeps the display it
# started on. Fails when a slot got no display: its tests would otherwise
# draw on the shared one.
wine_services_start() {
  wine_step "the Wine server of $WINEPREFIX to start" wineserver -p &&
    wine_step "Wine's services in $WINEPREFIX to start" wine cmd /c exit ||
    return 1
  wine_has_slots || return 0
  local ready slot status=0
  WINE_SLOTS_STARTING=()
  for ready in "$WINE_SLOTS_DIR"/*/.velna-ready; do
    [[ -f $ready ]] || continue
    slot=${ready%/.velna-ready}
    (
      export WINEPREFIX=$slot
      wine_display_start "$slot" && DISPLAY=$(<"$slot.display") &&
        export DISPLAY &&
        wine_step "the Wine server of $slot to start" wineserver -p &&
        wine_step "Wine's services in $slot to start" wine cmd /c exit
    ) &
    WINE_SLOTS_STARTING+=("$!")
  done
  wine_slots_started || status=1
  return "$status"
}

# Waits for the slots' starts that wine_services_start left running; false
# when one failed.
wine_slots_started() {
  local start status=0
  for start in "${WINE_SLOTS_STARTING[@]}"; do
    wait "$start" || status=1
  done
  WINE_SLOTS_STARTING=()
  return "$status"
}

# Starts an X server for the prefix $1 on the first free display, which it
# names itself once it listens: the display goes to "$1.display" (read by
# tools/wine_gtest_run.sh.in), the server's id and start time to "$1.xvfb",
# which the server keeps locked while it runs, so that the record names a
# server only while it runs. A server an earlier run left is ended first.
wine_display_start() {
  local prefix=$1 lock output server number
  wine_display_stop "$prefix" || return 1
  exec {lock}<>"$prefix.xvfb" || return 1
  if ! flock -n "$lock"; then
    echo "wine_env: the X server record $prefix.xvfb is held" >&2
    exec {lock}<&-
    return 1
  fi
  : >"$prefix.xvfb"
  exec {output}< <(exec Xvfb -displayfd 3 -screen 0 1024x768x24 \
    -nolisten tcp 3>&1 </dev/null >/dev/null 2>&1)
  server=$!
  exec {lock}<&-
  echo "$server $(wine_process_start "$server")" >"$prefix.xvfb"
  # Ends empty when the server could not start.
  read -r -t "$WINE_WAIT_LIMIT" -u "$output" number || true
  exec {output}<&-
  if [[ -z $number ]]; then
    echo "wine_env: no display for $prefix: its X server named none" \
      "within $WINE_WAIT_LIMIT s" >&2
    wine_display_stop "$prefix"
    return 1
  fi
  echo ":$number" >"$prefix.display"
}

# Ends the X server that "$1.xvfb" names, and waits for its end: only while
# the record is locked (its server runs) and only the process with the
# recorded start time, so that a stale record harms no other process.
wine_display_stop() {
  local prefix=$1 lock server start
  if [[ -f $prefix.xvfb ]]; then
    exec {lock}<"$prefix.xvfb" || return 1
    if ! flock -n "$lock"; then
      read -r server start <&"$lock" || true
      if [[ $server =~ ^[0-9]+$ && -n $start &&
        $(wine_process_start "$server") == "$start" ]]; then
        kill -TERM "$server" 2>/dev/null || true
      fi
      if ! flock -w "$WINE_WAIT_LIMIT" "$lock"; then
        echo "wine_env: gave up after $WINE_WAIT_LIMIT s waiting for the X" \
          "server ${server:-?} of $prefix to end" >&2
        exec {lock}<&-
        return 1
      fi
    fi
    exec {lock}<&-
  fi
  rm -f "$prefix.xvfb" "$prefix.display"
}

# The start time of the process $1 in clock ticks since boot (field 22 of
# its stat, after the name in parentheses); empty when it has ended.
wine_process_start() {
  local stat fields
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  read -ra fields <<<"${stat##*) }"
  echo "${fields[19]}"
}

# Ends the Wine servers (and so every Wine program) of the prefix and of
# its slots, and the displays started for them, each prefix's at once.
wine_services_stop() {
  local prefix stops=() stop status=0
  for prefix in "$WINEPREFIX" "$WINE_SLOTS_DIR"/*/; do
    prefix=${prefix%/}
    [[ -d $prefix ]] || continue
    if [[ $prefix != "$WINEPREFIX" ]]; then
      wine_has_slots || continue
    fi
    (
      export WINEPREFIX=$prefix
      # Fails when none ran, too.
      wine_step "the Wine server of $prefix to end" wineserver -k ||
        case $? in 124 | 137) status=1 ;; esac
      wine_display_stop "$prefix" && exit "$status"
    ) &
    stops+=("$!")
  done
  for stop in "${stops[@]}"; do
    wait "$stop" || status=1
  done
  return "$status"
}

# Runs the command $@ with the prefix made and its services started, on a
# display of the prefix's own when DISPLAY names none, and stops them when
# the command ends, or when SIGTERM, SIGINT or SIGHUP ends this shell: the
# command first, then the services. Returns the command's status.
wine_services_run() {
  local status=0
  WINE_SERVICES_COMMAND=
  trap 'wine_services_end 143' TERM
  trap 'wine_services_end 130' INT
  trap 'wine_services_end 129' HUP
  if { [[ -n ${DISPLAY:-} ]] || wine_prefix_display_start; } &&
    wine_prefix_init && wine_services_start; then
    "$@" &
    WINE_SERVICES_COMMAND=$!
    wait "$WINE_SERVICES_COMMAND" || status=$?
    WINE_SERVICES_COMMAND=
  else
    echo "wine_env: the Wine services of $WINEPREFIX did not start" >&2
    status=1
  fi
  wine_services_stop || ((status)) || status=1
  trap - TERM INT HUP
  return "$status"
}

# Gives the prefix a display of its own, in DISPLAY.
wine_prefix_display_start() {
  mkdir -p "${WINEPREFIX%/*}" && wine_display_start "$WINEPREFIX" &&
    DISPLAY=$(<"$WINEPREFIX.display") && export DISPLAY
}

# Ends what wine_services_run started, then this shell with the status $1.
wine_services_end() {
  trap '' TERM INT HUP
  if [[ -n ${WINE_SERVICES_COMMAND:-} ]]; then
    kill -TERM "$WINE_SERVICES_COMMAND" 2>/dev/null
  fi
  wine_slots_started
  wine_services_stop
  exit "$1"
}
