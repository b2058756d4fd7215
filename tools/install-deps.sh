#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing tavimo
# need, and only those that are missing. Quiet when all are present.
# With an argument it installs instead what one optional job needs:
#   windows    the mingw-w64 cross-compiler for 32-bit Windows
#   windows64  the one for 64-bit Windows
#   wine       Wine, 32- and 64-bit (which brings in the i386 packages), and
#              32-bit OpenGL: without it 32-bit Wine's DirectDraw has no 3D
#              support and refuses the show's surfaces
set -euo pipefail

packages=(
  build-essential cmake pkg-config   # the compiler and the build
  libsdl2-dev                        # display and sound of the show
  libgtest-dev                       # the test suite
  clang libclang-rt-14-dev           # the loader's fuzzer
  xvfb xdotool x11-apps imagemagick  # end-to-end tests under an X server
  ffmpeg sox                         # video capture and audio checks
  xz-utils python3 python3-xlib zlib1g-dev
)

case "${1:-}" in
  windows)   packages=(g++-mingw-w64-i686-win32 cmake) ;;
  windows64) packages=(g++-mingw-w64-x86-64-win32 cmake) ;;
  wine)      packages=(wine wine64 wine32:i386 libgl1:i386 libgl1-mesa-dri:i386) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "error: need root or sudo to install: ${missing[*]}" >&2
    exit 1
  fi
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if [ "${1:-}" = wine ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
