#!/usr/bin/env bash
# Makes 32-bit Linux programs run here, for Wine's 32-bit half (and so 32-bit Windows programs under
# WOW64). Where the processor runs 32-bit code itself nothing is done; in sandboxes that cannot, the
# kernel is told to hand 32-bit x86 programs to qemu's i386 emulator. Needs root; safe to run again.
set -euo pipefail

runs_32_bit() { /lib/ld-linux.so.2 --version > /dev/null 2>&1; }

runs_32_bit && exit 0

emulator=/usr/bin/qemu-i386-static
[ -x "$emulator" ] || { echo "enable-i386: $emulator is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "enable-i386: this machine cannot run 32-bit programs; run this script as root" >&2; exit 1; }

binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/quillon-i386" ]; then
    # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386). "F" opens the
    # emulator now, so it works in every mount namespace.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":quillon-i386:M::$magic:$mask:$emulator:F" > "$binfmt/register"
fi
runs_32_bit || { echo "enable-i386: 32-bit programs still do not run" >&2; exit 1; }
