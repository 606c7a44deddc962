#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine (as root)
# and builds the cross-compiled third-party libraries into a cache outside the
# repository. Safe to run again: finished steps are skipped.
set -euo pipefail

CACHE_ROOT="${VELNA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velna-deps}"
# Part of the cache key: raise it when the way the libraries are built
# changes, so that editing the package list alone keeps the cache.
DEPS_RECIPE=2
JOBS="$(nproc)"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

log() { printf '[deps] %s\n' "$*"; }

APT_PACKAGES=(
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 xvfb xauth cmake ninja-build 7zip python3 dpkg-dev perl make
  googletest libgtest-dev libgmock-dev zlib1g-dev libminizip-dev libssl-dev
  clang libclang-rt-14-dev osslsigncode imagemagick
  libbenchmark-dev nlohmann-json3-dev nsis
  # Keeps compiled objects outside the checkout (tools/build.sh uses it), so
  # that later builds on the machine, of any clone, are quick.
  ccache
  # Glyphs for the installer window's CJK and Indic texts under Wine (linked
  # in by tools/wine_env.sh), and FreeSerif, the base of the face
  # tools/wine_env.sh gives the window (build_window_fonts): Wine shapes
  # Thai, Hebrew and Arabic (with the letters only Urdu uses, U+06C1, U+06D2,
  # U+06D4) in the selected font alone. The font tools build that face.
  fonts-wqy-microhei fonts-lohit-deva fonts-lohit-beng-bengali
  fonts-lohit-taml fonts-lohit-telu fonts-freefont-ttf python3-fonttools
)

install_packages() {
  local missing=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# apt-get, waiting while another install holds the package system's locks
# (an install started at the same moment, the machine's own updates): a
# refusal over a lock that a live process holds, which comes before apt-get
# changes anything, is tried again every few seconds, up to an hour, with a
# line saying so. Any other refusal (no right to the lock: not root) ends at
# once with apt's own message.
readonly kAptLockWait=3600
apt_get() {
  local errors deadline=$((SECONDS + kAptLockWait)) said=0 status
  errors=$(mktemp)
  while :; do
    status=0
    apt-get "$@" >/dev/null 2>"$errors" || status=$?
    if ((status == 0)) || ! lock_held_by_another "$errors" ||
      ((SECONDS >= deadline)); then
      break
    fi
    if ((!said)); then
      log "waiting up to $((kAptLockWait / 60)) minutes for the package" \
        "system's lock, which another install holds"
      said=1
    fi
    sleep "${VELNA_APT_LOCK_PAUSE:-5}"
  done
  cat "$errors" >&2
  rm -f "$errors"
  return "$status"
}

# True when apt's messages in $1 refuse a lock that a running process
# holds: apt names it ("It is held by process 123 (apt-get)"); older
# messages name only the lock file, whose holder fuser or lsof finds.
lock_held_by_another() {
  local pid file
  pid=$(grep -oiE 'held by process [0-9]+' "$1" | grep -oE '[0-9]+$' |
    head -n1 || true)
  if [[ -n $pid ]]; then
    [[ -d /proc/$pid ]]
    return
  fi
  file=$(grep -oiE 'could not get lock [^ ]+' "$1" | awk '{print $5}' |
    sed 's/[.]$//' | head -n1 || true)
  [[ -n $file && -e $file ]] || return 1
  if command -v fuser >/dev/null 2>&1; then
    fuser "$file" >/dev/null 2>&1
  elif command -v lsof >/dev/null 2>&1; then
    lsof "$file" >/dev/null 2>&1
  else
    return 1
  fi
}

# Source entries mirror the machine's own binary entries, so no host is named here.
enable_source_entries() {
  local out=/etc/apt/sources.list.d/velna-deb-src.sources
  [[ -f $out ]] && return 0
  local found=0 tmp
  tmp=$(mktemp /etc/apt/velna-deb-src.XXXXXX)
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f && $f != "$out" ]] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
    printf '\n' >>"$tmp"
    found=1
  done
  if [[ -f /etc/apt/sources.list ]]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      >/etc/apt/sources.list.d/velna-deb-src.list || true
  fi
  chmod 644 "$tmp"
  if ((found)); then mv "$tmp" "$out"; else rm -f "$tmp"; fi
  apt_get update -qq
}

# Fetches the newest source version of a package that the archive can deliver
# into $2/src. Some versions answer only in part: the newest one may lack its
# Debian tarball while its original tarball downloads, which is then unpacked
# by hand; a version that yields nothing falls back to the next older one.
fetch_source() {
  local pkg=$1 dir=$2
  [[ -f $dir/.fetched ]] && return 0
  local ver tree orig
  for ver in $(source_versions "$pkg"); do
    rm -rf "$dir" && mkdir -p "$dir/dl"
    (cd "$dir/dl" && apt-get source -qq "$pkg=$ver" >/dev/null 2>&1) || true
    tree=$(find "$dir/dl" -mindepth 1 -maxdepth 1 -type d | head -n1 || true)
    if [[ -z $tree ]]; then
      orig=$(ls "$dir"/dl/*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n1 || true)
      [[ -n $orig ]] || continue
      mkdir -p "$dir/dl/unpacked" && tar -xf "$orig" -C "$dir/dl/unpacked"
      tree=$(find "$dir/dl/unpacked" -mindepth 1 -maxdepth 1 -type d | head -n1)
    fi
    [[ -n $tree ]] || continue
    mv "$tree" "$dir/src" && rm -rf "$dir/dl"
    echo "$ver" >"$dir/version" && touch "$dir/.fetched"
    log "source $pkg $ver"
    return 0
  done
  log "could not fetch any source version of $pkg"
  return 1
}

# All source versions the archive lists, newest first.
source_versions() {
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u |
    sort -r -V
}

build_cmake_dep() {  # name srcdir prefix toolchain-or-empty
  local name=$1 src=$2 prefix=$3 toolchain=$4 bdir="$CACHE_ROOT/build-$1-$(basename "$3")"
  local args=(-G Ninja -S "$HERE/deps/$name" -B "$bdir" -DCMAKE_BUILD_TYPE=Release
    -DDEP_SOURCE_DIR="$src" -DCMAKE_INSTALL_PREFIX="$prefix")
  [[ -n $toolchain ]] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  cmake "${args[@]}" >/dev/null
  cmake --build "$bdir" -j "$JOBS" >/dev/null
  cmake --install "$bdir" >/dev/null
  rm -rf "$bdir"
}

build_mingw_deps() {
  local toolchain="$HERE/mingw-w64-x86_64.cmake"
  local key
  key=$( {
    source_versions 7zip; source_versions zlib; source_versions openssl
    dpkg-query -W -f='${Version}' googletest g++-mingw-w64-x86-64-posix
    cat "$HERE"/deps/*/CMakeLists.txt "$toolchain"
    echo "recipe $DEPS_RECIPE"
  } | sha256sum | cut -c1-16)
  local prefix="$CACHE_ROOT/mingw-$key"
  if [[ -f $prefix/.complete ]]; then
    log "cached: $prefix"
  else
    log "building third-party libraries into $prefix"
    mkdir -p "$prefix"
    local srcs="$CACHE_ROOT/src-$key"
    fetch_source 7zip "$srcs/7zip"
    fetch_source zlib "$srcs/zlib"
    fetch_source openssl "$srcs/openssl"
    build_cmake_dep lzma "$srcs/7zip/src" "$prefix" "$toolchain"
    build_cmake_dep minizip "$srcs/zlib/src/contrib/minizip" "$prefix" "$toolchain"
    build_cmake_dep lzma "$srcs/7zip/src" "$prefix/native" ""
    build_openssl "$srcs/openssl/src" "$prefix"
    build_gtest "$prefix" "$toolchain"
    touch "$prefix/.complete"
    rm -rf "$srcs"
  fi
  point_link "$prefix" "$CACHE_ROOT/mingw-current"
}

# Under the set-up lock: removes the library builds and sources that no
# "*-current" link names and no build uses (tools/build.sh holds a shared
# lock on the library folder it started with), and the "building-*"
# folders whose builder has ended. Font folders stay: other checkouts'
# Wine prefixes may link to them.
remove_unused_builds() {
  local kept=() link folder
  for link in "$CACHE_ROOT"/*-current; do
    [[ -L $link ]] && kept+=("$(readlink -f "$link")")
  done
  for folder in "$CACHE_ROOT"/mingw-* "$CACHE_ROOT"/src-*; do
    [[ -d $folder && ! -L $folder ]] || continue
    # Canonical on both sides: the root may be given with a trailing slash
    # or through a link.
    [[ " ${kept[*]} " == *" $(readlink -f "$folder") "* ]] && continue
    # Held while it is removed, so that no build starts on it meanwhile.
    (flock -x -n 9 && rm -rf "$folder") 9<"$folder" || true
  done
  for folder in "$CACHE_ROOT"/building-*; do
    [[ -d $folder ]] || continue
    builder_running "$folder" || rm -rf "$folder"
  done
}

# Marks the folder $1 as being built by this process: its id and start time
# (an id alone may be a later process's).
note_builder() {
  echo "$$ $(process_start $$)" >"$1/.builder"
}

process_start() {
  awk '{print $22}' "/proc/$1/stat" 2>/dev/null || true
}

# True when the process that noted itself in the folder $1 still runs.
builder_running() {
  local pid start
  read -r pid start <"$1/.builder" 2>/dev/null || return 1
  [[ -n $pid && -n $start && $(process_start "$pid") == "$start" ]]
}

# Makes $2 a link to $1 in one rename, so that no reader finds it missing.
point_link() {
  local tmp
  tmp=$(mktemp -u "$2.XXXXXX")
  ln -s "$1" "$tmp"
  mv -T "$tmp" "$2"
}

build_openssl() {
  local src=$1 prefix=$2 bdir="$CACHE_ROOT/build-openssl"
  rm -rf "$bdir" && cp -a "$src" "$bdir"
  (
    cd "$bdir"
    ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-shared no-tests \
      no-engine no-dso no-async --prefix="$prefix" >/dev/null
    make -j "$JOBS" build_generated >/dev/null
    make -j "$JOBS" libcrypto.a >/dev/null
    mkdir -p "$prefix/lib" "$prefix/include"
    cp libcrypto.a "$prefix/lib/"
    cp -r include/openssl "$prefix/include/"
  )
  rm -rf "$bdir"
}

build_gtest() {
  local prefix=$1 toolchain=$2 bdir="$CACHE_ROOT/build-gtest"
  cmake -G Ninja -S /usr/src/googletest -B "$bdir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$bdir" -j "$JOBS" >/dev/null
  cmake --install "$bdir" >/dev/null
  rm -rf "$bdir"
}

# Wine's rich edit draws each letter in its selected font alone, with no
# font links: the face tools/wine_env.sh gives the installer window must
# itself have every script the window shows. "FreeSerif CJK" (regular and
# bold) is FreeSerif (Latin, Thai, Hebrew, Arabic, Indic) with the CJK,
# kana and Hangul glyphs of WenQuanYi Micro Hei added.
build_window_fonts() {
  local key
  key=$( {
    dpkg-query -W -f='${Version}\n' fonts-freefont-ttf fonts-wqy-microhei \
      python3-fonttools
    declare -f add_cjk_glyphs
  } | sha256sum | cut -c1-16)
  local dir="$CACHE_ROOT/fonts-$key"
  if [[ -f $dir/.complete ]]; then
    log "cached: $dir"
  else
    # Built under a name of its own and renamed into place whole. Older
    # folders stay: other checkouts' Wine prefixes may link to them.
    log "building the window's fonts into $dir"
    local tmp
    tmp=$(mktemp -d "$CACHE_ROOT/building-fonts-$key.XXXXXX")
    note_builder "$tmp"
    local freefont=/usr/share/fonts/truetype/freefont
    local cjk=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
    add_cjk_glyphs "$freefont/FreeSerif.ttf" "$cjk" "$tmp/FreeSerifCJK.ttf" &
    local regular=$!
    add_cjk_glyphs "$freefont/FreeSerifBold.ttf" "$cjk" \
      "$tmp/FreeSerifCJK-Bold.ttf"
    wait "$regular"
    touch "$tmp/.complete"
    rm -f "$tmp/.builder"
    chmod 755 "$tmp"
    # A folder left by a run ended before its .complete is no one's.
    [[ -e $dir ]] && rm -rf "$dir"
    mv -T "$tmp" "$dir"
  fi
  point_link "$dir" "$CACHE_ROOT/fonts-current"
}

# Writes FreeSerif face $1 with the glyphs of the CJK blocks from the first
# face of $2 to $3, renamed to the family "FreeSerif CJK". The system's
# Python: it has the font tools the packages above install.
add_cjk_glyphs() {
  /usr/bin/python3 - "$@" <<'PY'
import sys
from fontTools import subset
from fontTools.ttLib import TTFont
from fontTools.ttLib.scaleUpem import scale_upem

base_path, cjk_path, out_path = sys.argv[1:4]
base = TTFont(base_path)
cjk = TTFont(cjk_path, fontNumber=0)
# Hangul, CJK radicals, punctuation, kana and ideographs, compatibility
# ideographs and forms, full-width forms.
blocks = [(0x1100, 0x1200), (0x2E80, 0x2FE0), (0x3000, 0x4DC0),
          (0x4E00, 0xA000), (0xAC00, 0xD7B0), (0xF900, 0xFB00),
          (0xFE30, 0xFE50), (0xFF00, 0xFFF0)]
have = base.getBestCmap()
wanted = [c for c in cjk.getBestCmap()
          if c not in have and any(a <= c < b for a, b in blocks)]
options = subset.Options()
# The glyphs' instructions would call the other font's functions.
options.hinting = False
options.layout_features = []
options.notdef_outline = False
options.drop_tables += ['vhea', 'vmtx', 'GSUB', 'GPOS', 'GDEF', 'FFTM']
subsetter = subset.Subsetter(options)
subsetter.populate(unicodes=wanted)
subsetter.subset(cjk)
scale_upem(cjk, base['head'].unitsPerEm)

# Names of their own: none may clash with the base face's.
rename = {g: 'cjk%d' % i for i, g in enumerate(cjk.getGlyphOrder())}
order = base.getGlyphOrder()
for old, new in rename.items():
    if old == '.notdef':
        continue
    glyph = cjk['glyf'][old]
    for component in getattr(glyph, 'components', []):
        component.glyphName = rename[component.glyphName]
    base['glyf'].glyphs[new] = glyph
    base['hmtx'].metrics[new] = cjk['hmtx'].metrics[old]
    order.append(new)
base.setGlyphOrder(order)
base['glyf'].glyphOrder = order
added = {c: rename[g] for c, g in cjk.getBestCmap().items()}
for table in base['cmap'].tables:
    if table.isUnicode():
        table.cmap.update(added)
base['post'].formatType = 3.0
# Wine picks a face for a character set by these bits.
os2, cjk_os2 = base['OS/2'], cjk['OS/2']
for field in ('ulUnicodeRange1', 'ulUnicodeRange2', 'ulUnicodeRange3',
              'ulUnicodeRange4', 'ulCodePageRange1', 'ulCodePageRange2'):
    setattr(os2, field, getattr(os2, field) | getattr(cjk_os2, field))
for record in base['name'].names:
    if record.nameID in (1, 3, 4, 6, 16):
        name = 'FreeSerifCJK' if record.nameID == 6 else 'FreeSerif CJK'
        record.string = record.toUnicode().replace('FreeSerif', name)
base.save(out_path)
PY
}

# One set-up at a time per cache: a second one started meanwhile waits,
# then finds everything installed and built.
take_setup_lock() {
  exec 9>"$CACHE_ROOT/.setup-lock"
  flock -n 9 && return 0
  log "waiting up to 60 minutes for another set-up of $CACHE_ROOT to end"
  flock -w 3600 9
}

main() {
  mkdir -p "$CACHE_ROOT"
  take_setup_lock
  install_packages
  enable_source_entries
  build_mingw_deps
  build_window_fonts
  remove_unused_builds
  log "ready: $(readlink -f "$CACHE_ROOT/mingw-current")"
}

# tools/install_deps_test.py sources the script for its functions.
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  main "$@"
fi
