"""Install scripts run by the engine under Wine: control flow, compile failures, exit codes, overrides."""

from __future__ import annotations

from pathlib import Path

import pytest

from setup_projects import Project, build_setup, read_trace, script, tags_up_to


@pytest.fixture
def builder(host_bin: Path) -> Path:
    return host_bin / "builder"


def build(builder: Path, product_bin: Path, tmp_path: Path, text: str) -> Path:
    return build_setup(builder, Project(tmp_path / "project", script=text), tmp_path / "out", product_bin)


def support_folders(prefix) -> list[str]:
    return sorted(p.name for p in prefix.temp_dir.iterdir() if p.name.lower().startswith("qov"))


def append(mark: str) -> tuple:
    return ("Set Variable", "PATH", f"$PATH${mark}")


def dialog(name: str) -> tuple:
    return ("Display Dialog", name, "STEP", "TRUE", "", "", "FALSE")


# Every branch the script takes appends a letter to PATH; the log then moves to a file named after
# it, so the path taken can be read off the disk.
CONTROL_FLOW = script(
    ("Set Variable", "ONE", "1"),
    ("Set Variable", "PATH", ""),
    ("If", "ONE", "0", "2", "FALSE"),
    append("x"),
    ("Else If", "$ONE$", "0", "1", "FALSE"),
    ("If", "ONE", "0", "9", "FALSE"),
    append("y"),
    ("Else", ),
    append("a"),
    ("End", ),
    ("Else", ),
    append("z"),
    ("End", ),
    ("If", "ONE", "1", "11", "TRUE"),  # numbers: "contains" compares for equality
    append("b"),
    ("GoTo Label", "out"),
    ("! End", ),
    append("x"),
    ("End", ),
    append("x"),
    ("Label", "OUT"),
    ("Wizard Loop", ),
    dialog("Welcome"),
    ("Comment", "only dialogs run inside a wizard loop"),
    dialog("Licence"),
    ("End", ),
    append("c"),
    ("Set Variable", "LOGGED", r"C:\result-$PATH$-$STEP$.log"),
    ("Terminate with Exit Code", "100"),
    append("x"),
)


def test_control_flow_of_a_silent_run(prefix, builder, product_bin, tmp_path):
    exe = build(builder, product_bin, tmp_path, CONTROL_FLOW)

    result = prefix.run(exe, ["/s", r"/l=C:\setup.log"], timeout=120)

    results = sorted(p.name for p in prefix.drive_c.glob("result-*.log"))
    assert results == ["result-abc-NEXT.log"]
    assert result.exit_code == 100
    # The log follows LOGGED from the next command on.
    assert read_trace(prefix.drive_c / results[0])[:2] == ["    </kwib>", "    <ExitScript>"]
    assert read_trace(prefix.drive_c / "setup.log")[-1] == "    <kwib>"
    assert support_folders(prefix) == []


@pytest.mark.parametrize("commands", [
    [("End", )],
    [("GoTo Label", "nowhere")],
    [("If", "LATER", "0", "1", "FALSE"), ("End", ), ("Get Environment", "PATH", "LATER")],
], ids=["extra End", "undefined label", "variable defined later"])
def test_a_script_that_fails_to_compile_runs_nothing_and_ends_with_314(prefix, builder, product_bin, tmp_path,
                                                                       commands):
    exe = build(builder, product_bin, tmp_path, script(*commands, ("Terminate with Exit Code", "5")))

    assert prefix.run(exe, ["/s", r"/l=C:\setup.log"], timeout=120).exit_code == 314

    trace = read_trace(prefix.drive_c / "setup.log")
    assert trace == tags_up_to("  <RunScript>") + ["    <Variables>", "    </Variables>", "    <CompileScript>"]
    assert support_folders(prefix) == []


@pytest.mark.parametrize("args, exit_code", [
    (["/s", "code=42"], 42),   # a silent run keeps the command line's value
    (["code=42"], 7),          # an interactive one lets the script overwrite it
    (["/s"], 7),
    (["/s", "CODE=abc"], 0),   # not a number
])
def test_exit_code_from_the_script_and_command_line_overrides(prefix, builder, product_bin, tmp_path, args,
                                                              exit_code):
    exe = build(builder, product_bin, tmp_path, script(
        ("Set Variable", "CODE", "7"),
        ("Terminate with Exit Code", "$CODE$"),
    ))
    assert prefix.run(exe, args, timeout=120).exit_code == exit_code
