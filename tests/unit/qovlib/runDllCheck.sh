#!/usr/bin/env bash
# Runs qovlibDllCheck.exe (and the qov.lib beside it) under Wine against archives made by 7zz.
#   tests/unit/qovlib/runDllCheck.sh build/win64/bin
# Only the x86_64 build runs here: this machine cannot execute 32-bit processes.
set -euo pipefail
bin=$(realpath "${1:?usage: runDllCheck.sh <folder with qovlibDllCheck.exe and qov.lib>}")
work=$(mktemp -d /tmp/qovdllcheck.XXXXXX)
trap 'rm -rf "$work"' EXIT

tree="$work/tree"
mkdir -p "$tree/docs/deep" "$tree/empty folder"
printf 'readme\r\n' > "$tree/readme.txt"
head -c 700000 /dev/urandom > "$tree/docs/data.bin"
: > "$tree/docs/empty.txt"
printf 'leaf\n' > "$tree/docs/deep/leaf.txt"
printf 'spaced\n' > "$tree/docs/with space.txt"
printf 'locked\n' > "$tree/readonly.txt"
chmod 444 "$tree/readonly.txt"
(cd "$tree" && 7zz a -bd -y -m0=Copy -mf=off -mhc=off "$work/stored.7z" . > /dev/null)
(cd "$tree" && 7zz a -bd -y "$work/lzma.7z" . > /dev/null)
# Rename aa_evil.txt to ..\evil.txt (same length) inside the header and fix both CRCs.
mkdir -p "$work/eviltree"
printf 'readme\r\n' > "$work/eviltree/readme.txt"
printf 'evil\n' > "$work/eviltree/aa_evil.txt"
(cd "$work/eviltree" && 7zz a -bd -y -m0=Copy -mf=off -mhc=off "$work/evil.7z" . > /dev/null)
python3 - "$work/evil.7z" <<'PY'
import struct, sys, zlib
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
offset, size = struct.unpack_from("<QQ", data, 12)
start = 32 + offset
header = bytes(data[start:start + size]).replace("aa_evil.txt".encode("utf-16-le"), "..\\evil.txt".encode("utf-16-le"))
data[start:start + size] = header
struct.pack_into("<I", data, 28, zlib.crc32(header))
struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))
open(path, "wb").write(data)
PY
mkdir -p "$work/scratch"

export WINEPREFIX=${WINEPREFIX:-/tmp/qovwineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i > /dev/null 2>&1
win() { echo "Z:${1//\//\\}"; }
/usr/lib/wine/wine64 "$bin/qovlibDllCheck.exe" "$(win "$work/stored.7z")" "$(win "$work/lzma.7z")" "$(win "$work/evil.7z")" \
    "$(win "$tree")" "$(win "$work/scratch")"
