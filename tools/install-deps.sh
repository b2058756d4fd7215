#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing tavimo
# need, and only those that are missing. Quiet when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config   # the compiler and the build
  libsdl2-dev                        # display and sound of the show
  libgtest-dev                       # the test suite
  clang libclang-rt-14-dev           # the loader's fuzzer
  xvfb xdotool x11-apps imagemagick  # end-to-end tests under an X server
  ffmpeg sox                         # video capture and audio checks
  xz-utils python3 zlib1g-dev
)

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
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
