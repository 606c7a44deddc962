#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and runs the
# installer under Wine: the three print modes, the help in the console the
# installer opens for it (under Xvfb), and an uninstall started outside an
# installation, which must fail with exit code 1 and say why in its log.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$ROOT/tools/install_deps.sh"
bash "$ROOT/tools/build.sh" win

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  source "$1/tools/wine_env.sh"
  wine_prefix_init
  wine_services_start
  trap wine_services_stop EXIT
  bin="$1/out/win/desktop/windows/installer"
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

  echo
  echo "== installer.exe --uninstall outside an installation"
  logs="$WINEPREFIX/drive_c/users/$(whoami)/Temp/Velna Installer"
  marker="$(mktemp)"
  sleep 1
  status=0
  wine "$exe" --uninstall </dev/null 2>/dev/null || status=$?
  echo "exit code: $status"
  log="$(find "$logs" -name "velna_installer_*.log" -newer "$marker" \
           2>/dev/null | sort | tail -n 1)"
  rm -f "$marker"
  if [[ -n $log ]]; then
    echo "log $(basename "$log"):"
    cat "$log"
  else
    echo "no log file written"
  fi
  [[ $status == 1 && -n $log ]]
' _ "$ROOT" </dev/null
