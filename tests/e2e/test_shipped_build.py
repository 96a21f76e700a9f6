"""The shipped 32-bit programs, read from their files: this machine cannot run them (see README), so
what can be seen without running them is checked here."""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path

import pytest

EXPORTS = ["CloseListArchive", "ExtractArchive", "GetLastArchiveError", "OpenListArchive"]


@pytest.fixture(scope="module")
def ship_bin(repo_root: Path) -> Path:
    path = Path(os.environ.get("QUILLON_SHIP_BIN", repo_root / "build" / "win32" / "bin"))
    if not (path / "setup.exe").is_file():
        pytest.fail(f"no setup.exe in {path}: build the win32 tree first (or set QUILLON_SHIP_BIN)")
    return path


def headers(path: Path) -> str:
    return subprocess.run(["i686-w64-mingw32-objdump", "-p", str(path)], capture_output=True, text=True,
                          check=True).stdout


def test_engine_is_a_32_bit_gui_program_that_imports_the_archive_library_by_name(ship_bin):
    text = headers(ship_bin / "setup.exe")
    assert "file format pei-i386" in subprocess.run(["i686-w64-mingw32-objdump", "-f", str(ship_bin / "setup.exe")],
                                                    capture_output=True, text=True, check=True).stdout
    assert re.search(r"Subsystem\s+00000002\s+\(Windows GUI\)", text)
    imports = text[text.index("DLL Name: qov.lib"):].split("\n\n")[0]
    assert sorted(re.findall(r"^\s+\w+\s+\d+\s+(\w+)$", imports, re.M)) == EXPORTS
    # Standing alone: no C++ runtime or thread library DLL beside it.
    assert not re.search(r"DLL Name: (libstdc\+\+|libgcc|libwinpthread)", text)


def test_archive_library_exports_undecorated_names(ship_bin):
    text = headers(ship_bin / "qov.lib")
    assert re.search(r"^Name\s+[0-9a-f]+\s+qov\.lib$", text, re.M)
    table = text[text.index("[Ordinal/Name Pointer] Table"):].split("\n\n")[0]
    assert re.findall(r"\[\s*\d+\]\s+(\S+)", table) == EXPORTS
