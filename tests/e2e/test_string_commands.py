"""The string and variable commands in the shipped engine under Wine.

Each script checks its results itself: a wrong value ends it with the exit code of that check, and
a script that gets through all of them ends with ALL_PASSED.
"""

from __future__ import annotations

import re
from pathlib import Path

import pytest

from setup_projects import Project, build_setup, script

ALL_PASSED = 100


@pytest.fixture
def builder(host_bin: Path) -> Path:
    return host_bin / "builder"


def expect(variable: str, value: str, exit_code: int) -> list[tuple]:
    """Ends the script with exit_code unless the variable holds exactly value."""
    return [("If", variable, "0", value, "TRUE"), ("Terminate with Exit Code", str(exit_code)), ("End",)]


def run_checks(prefix, builder, product_bin, tmp_path, checks: list[tuple], **run_options) -> int:
    text = script(*checks, ("Terminate with Exit Code", str(ALL_PASSED)))
    exe = build_setup(builder, Project(tmp_path / "project", script=text), tmp_path / "out", product_bin)
    return prefix.run(exe, ["/s"], timeout=120, **run_options).exit_code


def test_portable_commands_in_the_engine(prefix, builder, product_bin, tmp_path):
    checks = [
        ("Parse String", "a=b=c", "=", "FIRST", "SECOND", "1", "FALSE", "FALSE"),
        *expect("FIRST", "a=b", 1), *expect("SECOND", "c", 2),
        ("Parse String", " key = Value ", "KEY", "NAME", "VALUE", "0", "TRUE", "TRUE"),
        *expect("NAME", "", 3), *expect("VALUE", "= Value", 4),
        ("Set Variable", "TEXT", "One one ONE"),
        ("Replace String", "TEXT", "one", "1", "TRUE", "TRUE"),
        *expect("TEXT", "1 1 1", 5),
        ("Set Variable", "PATH", r"c:\\dir\\file.txt"),
        ("Convert Case", "PATH", "TRUE"),
        *expect("PATH", r"C:\DIR\FILE.TXT", 6),
        ("Set Variable", "SHARE", r"\\server\share\dir\file.txt"),
        ("Extract Path", "SHARE", "5"),
        *expect("SHARE", "\\\\server\\share\\", 7),
        ("Mathematics", "3", "5", "13", "SEED"),
        ("Mathematics", "7", "", "14", "STATE"),
        ("Mathematics", "10", "", "15", "RANDOM"),
        *expect("RANDOM", "6", 8),
        ("Mathematics", "-1", "60", "9", "SHIFTED"),
        *expect("SHIFTED", "15", 9),
        ("Mathematics", "7", "0", "3", "QUOTIENT"),
        *expect("QUOTIENT", "", 10),
        ("Set Variable", "X", "a"),
        ("Evaluate Expression", '$X$ = "a" and ("b" > "abc")', "OUTCOME"),
        *expect("OUTCOME", "TRUE", 11),
    ]
    assert run_checks(prefix, builder, product_bin, tmp_path, checks) == ALL_PASSED


def test_temporary_file_is_created_in_the_temp_folder_of_the_start(prefix, builder, product_bin, tmp_path):
    before = set(prefix.temp_dir.iterdir())
    checks = [
        ("Set Variable", "STARTTEMP", "$TEMPDIR$"),
        ("Set Variable", "TEMPDIR", r"C:\elsewhere"),  # later changes do not move the file
        ("Get Temporary File", "$TEMPFILE$"),
        ("Set Variable", "FOLDER", "$TEMPFILE$"),
        ("Extract Path", "FOLDER", "3"),
        *expect("FOLDER", "$STARTTEMP$", 1),
    ]
    assert run_checks(prefix, builder, product_bin, tmp_path, checks) == ALL_PASSED

    made = [p for p in set(prefix.temp_dir.iterdir()) - before if not p.is_dir()]
    assert len(made) == 1, made
    assert re.fullmatch(r"qov[0-9A-F]+\.tmp", made[0].name, re.IGNORECASE), made[0].name
    assert made[0].stat().st_size == 0


def test_environment(prefix, builder, product_bin, tmp_path):
    checks = [
        ("Get Environment", "QUILLON_NOT_DEFINED", "UNDEFINED"),
        *expect("UNDEFINED", "%QUILLON_NOT_DEFINED%", 1),
        ("Set Variable", "NAME", "QUILLON_E2E"),
        ("Set Variable", "DEFINED", ""),  # the compiler knows the result only by the name written bare
        ("Get Environment", "$NAME$", "$DEFINED$"),
        *expect("DEFINED", "two words", 2),
        ("Get Environment", "", "ALL"),
        # Entries are joined by the newline marker, which Replace String matches through $NEWLINE$.
        ("Replace String", "ALL", "$NEWLINE$", "|", "FALSE", "TRUE"),
        ("If", "ALL", "1", "|QUILLON_E2E=two words|", "TRUE"),
        ("Terminate with Exit Code", "3"),
        ("End",),
    ]
    exit_code = run_checks(prefix, builder, product_bin, tmp_path, checks, env={"QUILLON_E2E": "two words"})
    assert exit_code == ALL_PASSED


def test_convert_path(prefix, builder, product_bin, tmp_path):
    folder = prefix.drive_c / "Quillon Long Folder"
    folder.mkdir()
    (folder / "Mixed Case File.txt").write_text("x")
    on_disk = r"c:\Quillon Long Folder\Mixed Case File.txt"  # the drive is kept as written
    checks = [
        ("Set Variable", "LONG", r"c:\\quillon long folder\\mixed case file.txt"),
        ("Convert Path", "LONG", "FALSE"),
        *expect("LONG", on_disk, 1),
        ("Set Variable", "SHORT", "$LONG$"),
        ("Convert Path", "SHORT", "TRUE"),
        ("If", "SHORT", "0", "$LONG$"), ("Terminate with Exit Code", "2"), ("End",),
        ("If", "SHORT", "0", ""), ("Terminate with Exit Code", "3"), ("End",),
        ("Set Variable", "BACK", "$SHORT$"),
        ("Convert Path", "BACK", "FALSE"),
        *expect("BACK", on_disk, 4),
        ("Set Variable", "QUOTED", r'"c:\quillon long folder\mixed case file.txt"'),
        ("Convert Path", "QUOTED", "FALSE"),
        *expect("QUOTED", on_disk, 5),
        # Not on disk: the long form keeps the path as given, the short form is empty.
        ("Set Variable", "MISSING", r"c:\quillon long folder\missing.txt"),
        ("Convert Path", "MISSING", "FALSE"),
        *expect("MISSING", r"c:\quillon long folder\missing.txt", 6),
        ("Convert Path", "MISSING", "TRUE"),
        *expect("MISSING", "", 7),
        # A wildcard is not looked up, so it does not turn into the name of some file it matches.
        ("Set Variable", "WILD", r"c:\quillon long folder\*.txt"),
        ("Convert Path", "WILD", "FALSE"),
        *expect("WILD", r"c:\quillon long folder\*.txt", 8),
        # A name relative to the current folder stays relative.
        ("Set Variable", "BARE", "mixed case file.txt"),
        ("Convert Path", "BARE", "FALSE"),
        *expect("BARE", "Mixed Case File.txt", 9),
    ]
    assert run_checks(prefix, builder, product_bin, tmp_path, checks, cwd=folder) == ALL_PASSED


def test_64_bit_file_view_under_wow64(prefix, product_bin):
    # Only the 64-bit system folder holds the file; a 32-bit program sees it there only with
    # redirection off, that is inside a view for a 64-bit target.
    marker = prefix.drive_c / "windows" / "system32" / "quillon-view-marker.txt"
    marker.write_text("x")
    assert not (prefix.drive_c / "windows" / "syswow64" / marker.name).exists()

    result = prefix.run(product_bin / "wow64FileViewCheck.exe", [r"C:\windows\system32\quillon-view-marker.txt"])

    assert result.exit_code == 0, result.stdout + result.stderr
    assert result.stdout.split() == ["plain=0", "x64=1", "win32=0", "after=0"]
