"""The engine's start-up under Wine: exit codes, trace log, support folder, database copy, switches."""

from __future__ import annotations

from pathlib import Path

import pytest

from setup_projects import FULL_RUN_TAGS, Project, build_setup, engine_only, read_trace, tags_up_to


@pytest.fixture
def builder(host_bin: Path) -> Path:
    return host_bin / "builder"


def support_folders(prefix) -> list[str]:
    return sorted(p.name for p in prefix.temp_dir.iterdir() if p.name.lower().startswith("qov"))


def run_silent(prefix, exe: Path, *args: str, log: str = r"C:\setup.log", **kwargs):
    return prefix.run(exe, ["/s", f"/l={log}", *args], timeout=120, **kwargs)


def damage_resource(out: Path) -> None:
    data = (out / "setup.res").read_bytes()
    (out / "setup.res").write_bytes(data[: len(data) // 2])


def remove_database(out: Path) -> None:
    (out / "setup.msi").unlink()


@pytest.mark.parametrize("case, change, exit_code, last_tag, folder_left", [
    ("complete", None, 0, "</Quillon>", False),
    ("no setup resource", lambda out: (out / "setup.res").unlink(), 14, "    <ExtractArchive>", True),
    ("damaged setup resource", damage_resource, 15, "    <ExtractArchive>", True),
    ("no setup database", remove_database, 16, "    <ExtractResource>", True),
])
def test_exit_codes_trace_and_support_folder(prefix, builder, product_bin, tmp_path, case, change, exit_code,
                                             last_tag, folder_left):
    exe = build_setup(builder, Project(tmp_path / "project"), tmp_path / "out", product_bin)
    if change:
        change(tmp_path / "out")

    result = run_silent(prefix, exe)

    assert result.exit_code == exit_code, case
    assert read_trace(prefix.drive_c / "setup.log") == tags_up_to(last_tag)
    assert support_folders(prefix) == (["qov1"] if folder_left else [])
    if case == "no setup resource":
        assert list((prefix.temp_dir / "qov1").iterdir()) == []
    if case == "no setup database":
        assert (prefix.temp_dir / "qov1" / "readme.txt").read_bytes() == b"support file\r\n"


def test_no_manifest_ends_with_13_before_any_support_folder(prefix, product_bin, tmp_path):
    exe = engine_only(product_bin, tmp_path / "bare")
    result = run_silent(prefix, exe)
    assert result.exit_code == 13
    assert read_trace(prefix.drive_c / "setup.log") == tags_up_to("    <StubSize>")
    assert support_folders(prefix) == []


def test_support_folder_is_chosen_past_taken_names(prefix, builder, product_bin, tmp_path):
    exe = build_setup(builder, Project(tmp_path / "project"), tmp_path / "out", product_bin)
    remove_database(tmp_path / "out")  # exit 16 leaves the folder in place to look at
    (prefix.temp_dir / "qov1").mkdir()
    (prefix.temp_dir / "qov2").mkdir()
    (prefix.temp_dir / "qov3").write_text("not a folder")

    assert run_silent(prefix, exe).exit_code == 16

    assert support_folders(prefix) == ["qov1", "qov2", "qov3", "qov4"]
    assert (prefix.temp_dir / "qov3").read_text() == "not a folder"
    assert (prefix.temp_dir / "qov4" / "readme.txt").is_file()
    assert list((prefix.temp_dir / "qov1").iterdir()) == []


def test_msp_only_setup_runs(prefix, builder, product_bin, tmp_path):
    out = tmp_path / "out"
    exe = build_setup(builder, Project(tmp_path / "project"), out, product_bin)
    (out / "setup.msi").rename(out / "setup.msp")
    assert run_silent(prefix, exe).exit_code == 0
    assert read_trace(prefix.drive_c / "setup.log") == FULL_RUN_TAGS
    assert support_folders(prefix) == []


def test_trace_log_is_truncated_once_per_run_and_follows_the_os_family(prefix, builder, product_bin, tmp_path):
    exe = build_setup(builder, Project(tmp_path / "project"), tmp_path / "out", product_bin)
    log = prefix.drive_c / "setup.log"
    log.write_bytes(b"old content of an earlier run\r\n" * 50)

    assert run_silent(prefix, exe).exit_code == 0
    assert read_trace(log) == FULL_RUN_TAGS
    assert log.read_bytes()[:4] == b"<\x00Q\x00"

    assert run_silent(prefix, exe, windows_version="win98").exit_code == 0
    assert read_trace(log, encoding="ascii") == FULL_RUN_TAGS


def test_log_switch_value_is_lower_cased_and_cut_after_three_characters(prefix, builder, product_bin, tmp_path):
    exe = build_setup(builder, Project(tmp_path / "project"), tmp_path / "out", product_bin)
    (prefix.drive_c / "logs").mkdir()
    assert prefix.run(exe, ["-S", r"/L=C:\Logs\Run.TXT"], timeout=120).exit_code == 0
    assert sorted(p.name for p in (prefix.drive_c / "logs").iterdir()) == ["run.txt"]

    # The first three characters go wherever the switch stands: "x/l=c:\a.log" logs to "=c:\a.log",
    # which is no valid file name, so nothing is written.
    assert prefix.run(exe, ["/qn", r"x/l=C:\A.LOG"], timeout=120).exit_code == 0
    assert not (prefix.drive_c / "a.log").exists()


@pytest.mark.parametrize("switch", ["/silent", "/update"])
def test_switches_that_are_not_silent_still_run_to_the_end(prefix, builder, product_bin, tmp_path, switch):
    exe = build_setup(builder, Project(tmp_path / "project"), tmp_path / "out", product_bin)
    result = prefix.run(exe, [switch, r"/l=C:\setup.log", "NAME=Value", "name=other"], timeout=120)
    assert result.exit_code == 0
    assert read_trace(prefix.drive_c / "setup.log") == FULL_RUN_TAGS


def test_read_only_database_on_the_medium(prefix, builder, product_bin, tmp_path):
    out = tmp_path / "out"
    exe = build_setup(builder, Project(tmp_path / "project"), out, product_bin)
    (out / "setup.msi").chmod(0o444)
    assert run_silent(prefix, exe).exit_code == 0
    assert support_folders(prefix) == []
