#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and runs the
# installer under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$ROOT/tools/install_deps.sh"
bash "$ROOT/tools/build.sh" win

source "$ROOT/tools/wine_env.sh"
wine_prefix_init
wine_services_start
trap wine_services_stop EXIT
exe="$ROOT/out/win/desktop/windows/installer/installer.exe"
echo "installer internal version: $(wine "$exe" --internal-version </dev/null)"
echo "installer release stream:   $(wine "$exe" --stream </dev/null)"
