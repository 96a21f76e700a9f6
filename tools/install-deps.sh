#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need.
# Safe to run again: it only asks apt for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git python3 python3-pytest
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64
  googletest clang libclang-rt-14-dev
  wine wine64 wine32:i386 wine64-preloader
  7zip msitools wixl
  xvfb xauth x11-utils imagemagick fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# qemu's i386 emulator runs Wine's 32-bit half where the processor cannot (tools/enable-i386.sh).
# Bookworm's own (7.2) is far too slow for Wine; the one in bookworm-backports (10) is fit.
emulator_fit() {
  case "$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null)" in 1:1[0-9].*) return 0 ;; esac
  return 1
}

[ ${#missing[@]} -eq 0 ] && emulator_fit && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root to install: ${missing[*]} qemu-user-static (bookworm-backports)" >&2
  exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
backports=/etc/apt/sources.list.d/bookworm-backports.list
[ -e "$backports" ] || echo "deb http://deb.debian.org/debian bookworm-backports main" > "$backports"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
[ ${#missing[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${missing[@]}"
emulator_fit || apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static
