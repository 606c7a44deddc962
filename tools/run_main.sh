#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, makes the
# sample packages and installs the sample browser the way a user does,
# under Wine in a prefix of its own (out/win/main_job_prefix, made afresh):
# a silent per-user install of the full installer, an update with the
# package of the next version, and the silent uninstall. It prints what a
# user would check after each, and ends with exit code 0 only when every
# run succeeded and the files and registry are back to the state before.
#
#   bash tools/run_main.sh                 silent install, update, uninstall
#   bash tools/run_main.sh --interactive   install and update through the
#                                          installer's window instead, with a
#                                          screenshot of each page
set -Eeuo pipefail
# A step that fails outside a check ends the job: say which.
trap 'echo "FAILED: stopped at line $LINENO: $BASH_COMMAND" >&2' ERR
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$ROOT/tools/install_deps.sh"
bash "$ROOT/tools/build.sh" win
exec </dev/null
interactive=0
[[ ${1:-} == --interactive ]] && interactive=1

export VELNA_WINEPREFIX="$ROOT/out/win/main_job_prefix"
rm -rf "$VELNA_WINEPREFIX"
source "$ROOT/tools/wine_env.sh"
# The prefix's Wine server and X server end with the job, however it ends
# (a signal ends it once the step under way is done).
trap wine_services_stop EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP
unset DISPLAY
wine_prefix_display_start
wine_prefix_init
wine_services_start

bin="$ROOT/out/win/desktop/windows/installer"
packages="$ROOT/out/win/sample_packages"
work="$ROOT/out/win/main_job"
rm -rf "$work"
mkdir -p "$work"
user="$(wine cmd /c 'echo %USERNAME%' </dev/null 2>/dev/null | tr -d '\r')"
user_dir="$WINEPREFIX/drive_c/users/$user"
logs="$user_dir/Temp/Velna Installer"
uninstall_root='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
app_paths='HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths'
browser="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["browser_executable"])' "$packages/sample.json")"
# Windows makes the per-user program folder (a known folder Wine lacks);
# the installer puts its per-user installations there.
mkdir -p "$user_dir/AppData/Local/Programs"
# No request leaves the machine: the preference overrides are asked of a
# closed port of the loopback host and no statistics are sent.
offline_switches=(--local-pref-default-overrides-server=http://127.0.0.1:1/
                  --enable-installer-stats=0)
failed=0

check() {  # check DESCRIPTION COMMAND...: prints and records the outcome
  local what="$1"
  shift
  if "$@"; then
    echo "  ok: $what"
  else
    echo "  FAILED: $what"
    failed=1
  fi
}

snapshot() {  # snapshot NAME
  wine reg export HKCU "$work/$1.reg" /y >/dev/null 2>&1
  python3 "$ROOT/tools/prefix_snapshot.py" take "$WINEPREFIX" \
    "$work/$1.reg" "$work/$1.json"
}

# The uninstall entry's key name (below $uninstall_root), empty when none.
uninstall_key() {
  wine reg query "$uninstall_root" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n 's/^HKEY_CURRENT_USER\\.*\\Uninstall\\\(Velna.*\)$/\1/p' | head -n 1
}

reg_value() {  # reg_value KEY VALUE
  wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n "s/^    $2    REG_[A-Z_]*    //p"
}

new_logs() {  # the installer logs written since $work/marker
  find "$logs" -name 'velna_installer_*.log' -newer "$work/marker" \
    2>/dev/null | sort
}

# Runs the installer's install or update with |$1| (silent, or through its
# window with screenshots into $work/screenshots/|$2|); prints what a user
# would check.
install_with() {
  local installer="$1" status=0
  touch "$work/marker"
  sleep 1
  if ((interactive)); then
    local shots="$work/screenshots/$2"
    wine "$bin/installer_ui_driver.exe" "$(winepath -w "$shots")" \
      "$(winepath -w "$installer")" --allusers=0 --launchbrowser=0 \
      "${offline_switches[@]}" </dev/null >"$work/driver_output.txt" \
      2>>"$work/installer_output.txt" || status=$?
    local page shot
    for page in welcome progress final; do
      shot="$shots/$page.bmp"
      [[ -f $shot ]] || continue
      # Opaque, as the driver saves them: no alpha channel in any viewer.
      convert "$shot" -alpha off "${shot%.bmp}.png" && rm -f "$shot"
      echo "screenshot: ${shot%.bmp}.png"
    done
    # compare exits with 1 when the pictures differ.
    local differ=0
    compare -metric AE "$shots/progress.png" "$shots/final.png" null: \
      >/dev/null 2>&1 || differ=$?
    check "the last picture shows the end, not the progress page" \
      test "$differ" = 1
  else
    wine "$installer" --silent --allusers=0 --launchbrowser=0 \
      "${offline_switches[@]}" </dev/null >>"$work/installer_output.txt" \
      2>&1 || status=$?
  fi
  echo "exit code: $status"
  check "the installer exited with 0" test "$status" = 0

  local key folder
  key="$(uninstall_key)"
  check "an uninstall entry exists" test -n "$key"
  folder="$(reg_value "$uninstall_root\\$key" InstallLocation)"
  check "the uninstall entry names the install folder" test -n "$folder"
  local unix_folder
  unix_folder="$(winepath -u "$folder" 2>/dev/null)"
  echo "install folder: $folder"
  echo "  $(find "$unix_folder" -type f | wc -l) files; versions:" \
    "$(cd "$unix_folder" && ls -d [0-9]*.* 2>/dev/null | tr '\n' ' ')"
  check "the browser is in the install folder" \
    test -n "$(find "$unix_folder" -name "$browser" -type f)"
  echo "uninstall entry (wine reg query):"
  wine reg query "$uninstall_root\\$key" </dev/null 2>/dev/null |
    tr -d '\r' | sed -n 's/^    /  /p'
  echo "App Paths of $browser (wine reg query):"
  if wine reg query "$app_paths\\$browser" </dev/null >/dev/null 2>&1; then
    wine reg query "$app_paths\\$browser" </dev/null 2>/dev/null |
      tr -d '\r' | sed -n 's/^    /  /p'
  else
    echo "  none: the installer writes App Paths for stable builds only," \
      "and the sample is a beta"
  fi
  echo "shortcuts:"
  local shortcut found=0
  while IFS= read -r shortcut; do
    found=1
    echo "  $(winepath -w "$shortcut" 2>/dev/null) ->" \
      "$(strings -a -el "$shortcut" | grep -i -m 1 'launcher.exe' || true)"
  done < <(find "$user_dir/Desktop" "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu" \
             -name '*.lnk' 2>/dev/null)
  check "a shortcut exists" test "$found" = 1
  echo "scheduled task:"
  local tasks
  tasks="$(find "$WINEPREFIX/drive_c/windows/tasks" \
             "$WINEPREFIX/drive_c/windows/system32/tasks" -iname '*velna*' \
             2>/dev/null || true)"
  if [[ -n $tasks ]]; then
    echo "$tasks" | sed 's/^/  /'
  else
    echo "  not registered, the log says: \"$(new_logs | tr '\n' '\0' |
      xargs -0 cat | grep -m 1 -o 'Could not create scheduled task' ||
      true)\" (Wine's Task Scheduler 2.0 refuses the task's run level" \
      "and triggers; on Windows it is registered)"
  fi
  echo "status file: $folder\\installation_status.xml"
  check "the status file exists" test -f "$unix_folder/installation_status.xml"
  echo "install logs:"
  new_logs | while IFS= read -r log; do
    echo "  $(winepath -w "$log" 2>/dev/null)"
  done
}

echo "== The installer"
exe="$bin/installer.exe"
echo "installer version:          $(wine "$exe" --version </dev/null)"
echo "installer internal version: $(wine "$exe" --internal-version </dev/null)"
echo "installer release stream:   $(wine "$exe" --stream </dev/null)"
echo
echo "== installer.exe /? (read from its console)"
# The reader prints the console row by row after a first line with the
# console width, then presses a key to end the pause.
wine "$bin/installer_console_reader.exe" "$(winepath -w "$exe")" "/?" \
  </dev/null | tail -n +2 | tr -d "\r"

snapshot before

echo
if ((interactive)); then
  echo "== Per-user install through the installer's window: $packages/velna_full_installer.exe"
else
  echo "== Silent per-user install: $packages/velna_full_installer.exe"
fi
install_with "$packages/velna_full_installer.exe" install
first_folder="$(reg_value "$uninstall_root\\$(uninstall_key)" InstallLocation)"
snapshot installed
echo "the install changed:"
python3 "$ROOT/tools/prefix_snapshot.py" compare "$work/before.json" \
  "$work/installed.json" | grep -E '^  (files|registry):' || true

echo
echo "== Update with the next version: $packages/velna_update_full_installer.exe"
install_with "$packages/velna_update_full_installer.exe" update

echo
echo "== Silent uninstall"
key="$(uninstall_key)"
uninstall_command="$(reg_value "$uninstall_root\\$key" UninstallString)"
folder="$(reg_value "$uninstall_root\\$key" InstallLocation)"
check "the update kept the install folder" test "$folder" = "$first_folder"
# The uninstall would send the installer's statistics: the installation
# keeps the statistics choice of the browser, which is on.
echo "command: $uninstall_command --silent --enable-installer-stats=0"
touch "$work/marker"
sleep 1
status=0
# The uninstall entry's command, as "Apps & features" runs it.
printf '%s --silent --enable-installer-stats=0\r\nexit /b %%ERRORLEVEL%%\r\n' \
  "$uninstall_command" \
  >"$work/uninstall.bat"
wine cmd /d /c "$(winepath -w "$work/uninstall.bat")" </dev/null \
  >>"$work/installer_output.txt" 2>&1 || status=$?
echo "exit code: $status"
check "the uninstaller exited with 0" test "$status" = 0
unix_folder="$(winepath -u "$folder" 2>/dev/null)"
# What was still in use goes a few seconds later, by a batch file.
for _ in $(seq 60); do
  [[ -e $unix_folder ]] || break
  sleep 1
done
check "the install folder is gone" test ! -e "$unix_folder"
check "the uninstall entry is gone" test -z "$(uninstall_key)"
echo "uninstall logs:"
new_logs | while IFS= read -r log; do
  echo "  $(winepath -w "$log" 2>/dev/null)"
done

echo
echo "== Files and registry against the state before the install"
snapshot after
if python3 "$ROOT/tools/prefix_snapshot.py" compare "$work/before.json" \
     "$work/after.json"; then
  echo "  ok: files and registry are as before"
else
  echo "  FAILED: files or registry differ"
  failed=1
fi

echo
if ((failed)); then
  echo "main job FAILED (installer output: $work/installer_output.txt)"
  exit 1
fi
echo "main job succeeded"
