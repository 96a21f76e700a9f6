"""qov.lib's exports under Wine, driven by a Windows check program against archives made by 7zz."""

from __future__ import annotations

import os
import struct
import subprocess
import zlib
from pathlib import Path


def make_tree(root: Path) -> Path:
    (root / "docs" / "deep").mkdir(parents=True)
    (root / "empty folder").mkdir()
    (root / "readme.txt").write_bytes(b"readme\r\n")
    (root / "docs" / "data.bin").write_bytes(os.urandom(700_000))
    (root / "docs" / "empty.txt").write_bytes(b"")
    (root / "docs" / "deep" / "leaf.txt").write_bytes(b"leaf\n")
    (root / "docs" / "with space.txt").write_bytes(b"spaced\n")
    (root / "readonly.txt").write_bytes(b"locked\n")
    (root / "readonly.txt").chmod(0o444)
    return root


def seven_zip(tree: Path, archive: Path, *options: str) -> Path:
    subprocess.run(["7zz", "a", "-bd", "-y", *options, str(archive), "."], cwd=tree, check=True,
                   stdout=subprocess.DEVNULL)
    return archive


STORED = ("-m0=Copy", "-mf=off", "-mhc=off")


def with_escaping_entry(work: Path) -> Path:
    """A stored archive whose entry aa_evil.txt is renamed to ..\\evil.txt, CRCs fixed."""
    tree = work / "eviltree"
    tree.mkdir()
    (tree / "readme.txt").write_bytes(b"readme\r\n")
    (tree / "aa_evil.txt").write_bytes(b"evil\n")
    path = seven_zip(tree, work / "evil.7z", *STORED)
    data = bytearray(path.read_bytes())
    offset, size = struct.unpack_from("<QQ", data, 12)
    start = 32 + offset
    header = bytes(data[start:start + size]).replace("aa_evil.txt".encode("utf-16-le"),
                                                     "..\\evil.txt".encode("utf-16-le"))
    data[start:start + size] = header
    struct.pack_into("<I", data, 28, zlib.crc32(header))
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))
    path.write_bytes(data)
    return path


def with_unrepresentable_name(work: Path) -> Path:
    """plain.txt beside a name of Greek and Cyrillic letters, which the Western code page lacks."""
    tree = work / "unicodetree"
    tree.mkdir()
    (tree / "plain.txt").write_bytes(b"plain\n")
    (tree / "\u03a9mega \u041f\u0440\u0438\u0432\u0435\u0442.txt").write_bytes(b"not for this code page\n")
    return seven_zip(tree, work / "unicode.7z")


def with_large_files(work: Path) -> Path:
    """A few MiB in one solid LZMA2 folder, for the pace of the progress reports."""
    tree = make_tree(work / "largetree")
    lines = b"".join(b"line %d of the manual, with some words in it\r\n" % i for i in range(60_000))
    (tree / "docs" / "manual.txt").write_bytes(lines)
    (tree / "docs" / "noise.bin").write_bytes(os.urandom(1_500_000))
    return seven_zip(tree, work / "large.7z", "-m0=LZMA2", "-ms=on")


def number(value: int) -> bytes:
    """7z's variable-length integer, in its short form or its full 8-byte form."""
    return bytes([value]) if value < 0x80 else b"\xff" + struct.pack("<Q", value)


HUGE_SIZE = (4 << 30) + 5


def with_huge_entry(work: Path) -> Path:
    """A stored archive of huge.bin (4 GiB + 5 bytes, a hole in a sparse file, no CRC) and small.txt
    behind it, each in its own folder: 64-bit sizes and offsets without 4 GiB of real data."""
    small = b"small\n"
    sizes = [HUGE_SIZE, len(small)]
    names = b"\x00" + "".join(name + "\0" for name in ("huge.bin", "small.txt")).encode("utf-16-le")
    header = (b"\x01\x04"
              + b"\x06" + number(0) + number(2) + b"\x09" + number(sizes[0]) + number(sizes[1]) + b"\x00"
              + b"\x07\x0b" + number(2) + b"\x00" + b"\x01\x01\x00" * 2  # two Copy folders
              + b"\x0c" + number(sizes[0]) + number(sizes[1]) + b"\x00"
              + b"\x08\x0a\x00\x40" + struct.pack("<I", zlib.crc32(small)) + b"\x00"  # a CRC for small.txt only
              + b"\x00"
              + b"\x05" + number(2) + b"\x11" + number(len(names)) + names + b"\x00"
              + b"\x00")
    start = struct.pack("<QQI", sum(sizes), len(header), zlib.crc32(header))
    path = work / "huge.7z"
    with path.open("wb") as out:
        out.write(b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(start)) + start)
        out.seek(32 + HUGE_SIZE)
        out.write(small + header)
    return path


def test_exports_list_extract_stop_and_refuse(prefix, product_bin, tmp_path):
    tree = make_tree(tmp_path / "tree")
    stored = seven_zip(tree, tmp_path / "stored.7z", *STORED)
    compressed = seven_zip(tree, tmp_path / "lzma.7z")
    evil = with_escaping_entry(tmp_path)
    secret = seven_zip(tree, tmp_path / "secret.7z", *STORED, "-pSecret")
    secret_header = seven_zip(tree, tmp_path / "secretHeader.7z", *STORED, "-mhe=on", "-pSecret")
    scratch = tmp_path / "scratch"
    scratch.mkdir()

    unrepresentable = with_unrepresentable_name(tmp_path)
    large = with_large_files(tmp_path)
    huge = with_huge_entry(tmp_path)

    archives = (stored, compressed, evil, tree, scratch, secret, secret_header, unrepresentable, large, huge)
    result = prefix.run(product_bin / "qovlibDllCheck.exe", [prefix.windows_path(p) for p in archives], timeout=120)

    assert result.exit_code == 0, result.stdout + result.stderr
    assert "all checks passed" in result.stdout
    assert not (tmp_path / "evil.txt").exists()
    assert sorted(p.name for p in (scratch / "unrepresentable").iterdir()) == ["plain.txt"]
