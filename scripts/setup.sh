#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs every Debian package that the build, the tools and the tests need.
# Safe to run again: apt-get skips what is already there.
# With --with-wine it also installs Wine, which only the Windows program's
# smoke test needs (scripts/test.sh asks for it; scripts/demo.sh does not).
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
PKGS=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 binutils-mingw-w64-i686 gcc-12-source
  libfltk1.3-dev fonts-ipafont-gothic
  xvfb xdotool x11-utils imagemagick
  python3 python3-libcreg libcreg-utils libcreg-dev libbfio-dev
  lhasa jlha-utils nasm dosbox
  attr libattr1-dev dosfstools mtools fusefat fdisk
  qemu-utils
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The Windows program rebuilds a few runtime objects for the 486 from the
# sources of the MinGW runtime (programs/windows/runtime): Debian's source
# package of the installed version, fetched once into /usr/src/mingw-w64
# (10 MB).
MINGW_SRC=/usr/src/mingw-w64
if ! ls "$MINGW_SRC"/mingw-w64_*.orig.tar.* >/dev/null 2>&1; then
  ver=$(dpkg-query -W -f='${Version}' mingw-w64-common)
  apt_dir=$(mktemp -d)
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts"
  # The system's own package sources, for source packages.
  : >"$apt_dir/sources.list"
  [ ! -f /etc/apt/sources.list ] || sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt_dir/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"$apt_dir/parts/$(basename "$f")"
  done
  apt_opts=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts"
            -o Dir::State::Lists="$apt_dir/lists" -o APT::Sandbox::User=root)
  $SUDO mkdir -p "$MINGW_SRC"
  $SUDO apt-get "${apt_opts[@]}" update -qq
  (cd "$MINGW_SRC" && $SUDO apt-get "${apt_opts[@]}" source -qq --download-only "mingw-w64=$ver")
  rm -rf "$apt_dir"
fi
[ "${1:-}" = --with-wine ] || exit 0
# Wine for the Windows program's smoke test (scripts/checks/win32.sh): 32-bit
# Wine with its fonts, and the ja_JP.UTF-8 locale under which Wine runs with
# code page 932. About two and a half minutes on a fresh machine.
wine_missing=()
for p in wine wine32:i386 fonts-wine locales; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || wine_missing+=("$p")
done
if [ ${#wine_missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${wine_missing[@]}"
fi
locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
