#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing tavimo
# need, and only those that are missing. Quiet when all are present.
# With an argument it installs instead what one optional job needs:
#   windows    the mingw-w64 cross-compiler for 32-bit Windows
#   windows64  the one for 64-bit Windows
#   wine       Wine, 32- and 64-bit (which brings in the i386 packages),
#              32-bit OpenGL: without it 32-bit Wine's DirectDraw has no 3D
#              support and refuses the show's surfaces; and 32-bit ALSA's
#              plugins: where PulseAudio is installed (web), ALSA's settings
#              load its plugin, and 32-bit ALSA without it opens no device.
#              Where the kernel cannot run 32-bit programs, or the i386
#              architecture cannot be added (no i386 packages in the
#              sources), 64-bit Wine alone, which runs the show's 64-bit
#              twin (make windows64)
#   web        emscripten, chromium, firefox-esr and node for the web build
#              and its browser tests, the test's node modules (tests/web),
#              and PulseAudio, whose null sink plays Firefox's sound there
set -euo pipefail

packages=(
  build-essential cmake pkg-config   # the compiler and the build
  libsdl2-dev                        # display and sound of the show
  libgtest-dev                       # the test suite
  clang libclang-rt-14-dev           # the loader's fuzzer
  xvfb xdotool x11-apps imagemagick  # end-to-end tests under an X server
  ffmpeg sox                         # video capture and audio checks
  xz-utils python3 python3-xlib zlib1g-dev
  zip                                # the release archive (make dist)
)

case "${1:-}" in
  windows)   packages=(g++-mingw-w64-i686-win32 cmake) ;;
  windows64) packages=(g++-mingw-w64-x86-64-win32 cmake) ;;
  wine)      packages=(wine wine64)
             "$(dirname "$0")/runs-32bit.sh" &&
               packages+=(wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libasound2-plugins:i386) ;;
  web)       packages=(emscripten chromium firefox-esr pulseaudio)
             # npm comes with a node that is not Debian's; Debian's otherwise.
             command -v npm >/dev/null || packages+=(npm) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# The browser test's node modules, pinned in tests/web/package-lock.json
# (puppeteer-core drives the system's chromium and downloads no browser).
web_modules() {
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/web"
  [ -d "$dir/node_modules/puppeteer-core" ] && return 0
  echo "Installing the browser test's node modules in $dir" >&2
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

if [ ${#missing[@]} -eq 0 ]; then
  [ "${1:-}" = web ] && web_modules
  exit 0
fi

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
install() {
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "$@" >/dev/null
}
if [ "${1:-}" = wine ] && [[ " ${missing[*]}" == *:i386* ]]; then
  added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386 && added=yes
  fi
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq || true
  if ! install "${missing[@]}"; then
    # No 32-bit Wine here: the 64-bit one runs the show's 64-bit twin.
    echo "32-bit Wine cannot be installed here; installing 64-bit Wine alone" >&2
    [ -n "$added" ] && $sudo dpkg --remove-architecture i386 2>/dev/null
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    native=()
    for p in "${missing[@]}"; do [[ $p == *:i386 ]] || native+=("$p"); done
    [ ${#native[@]} -eq 0 ] || install "${native[@]}"
  fi
else
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  install "${missing[@]}"
fi
[ "${1:-}" = web ] && web_modules
exit 0
