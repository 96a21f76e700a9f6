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


# Extract Path with a part code that is not a number: an error that escapes the command.
FAILING = [("Set Variable", "P", r"C:\dir\file.txt"), ("Extract Path", "P", "abc"),
           ("Terminate with Exit Code", "5")]
RUNTIME_ERROR = "Runtime error in setup script:\r\rLine 2: 'abc' is not a valid integer value"


def test_a_runtime_error_shows_its_line_and_ends_the_script(prefix, ui, builder, product_bin, tmp_path, screenshot):
    exe = build(builder, product_bin, tmp_path, script(*FAILING))

    engine = prefix.start(exe, [r"/l=C:\setup.log"])
    box = ui.wait_window(title="^Quillon Test - Quillon Wizard$", cls="#32770", timeout=90)
    assert box["owner"] == 0
    assert RUNTIME_ERROR in [c["text"] for c in ui.windows(root=box["hwnd"], all=True)]
    screenshot("runtime-error")
    ui.click(ui.control(box["hwnd"], cls="Button", text="OK")["hwnd"])

    assert engine.wait(timeout=60).exit_code == 0  # unchanged: the script never reached its Terminate
    trace = read_trace(prefix.drive_c / "setup.log")
    assert trace[trace.index("    <kwib>") + 1:] == ["  </RunScript>", "  <Free>", "  </Free>",
                                                   "  <CachedSupportDir>", "  </CachedSupportDir>", "</Quillon>"]
    assert support_folders(prefix) == []


@pytest.mark.parametrize("args, commands", [
    (["/s"], FAILING),
    ([], [("Set Variable", "SILENT", "TRUE"), *FAILING]),  # a script that turns silent stays quiet
], ids=["silent switch", "silent from the script"])
def test_a_runtime_error_in_a_silent_run_shows_nothing(prefix, ui, builder, product_bin, tmp_path, args, commands):
    exe = build(builder, product_bin, tmp_path, script(*commands))
    assert prefix.run(exe, args, timeout=120).exit_code == 0
    assert [w for w in ui.windows() if w["class"] == "#32770"] == []


def test_the_run_starts_with_its_predefined_variables(prefix, builder, product_bin, tmp_path):
    out = tmp_path / "out"
    exe_dir = prefix.windows_path(out) + "\\"
    temp = prefix.temp_windows + "\\"
    checks = [  # (variable, comparison code, value): code 4 is equality ignoring case
        ("EXEDIR", "4", exe_dir), ("EXEFILE", "4", exe_dir + "setup.exe"), ("ROOTDIR", "4", exe_dir),
        ("TEMPDIR", "4", temp), ("SUPPORTDIR", "4", temp + "qov1\\"), ("MSIFILE", "4", temp + "qov1\\setup.msi"),
        ("SILENT", "0", "TRUE"), ("CMDLINE", "1", "NAME=given"), ("NAME", "0", "given"),
        ("TITLE", "0", "Quillon Test"), ("STARTMENU", "0", "Quillon Test"), ("WIZARD", "0", "NEXT"),
        ("SFXPATH", "4", "C:\\launch\\"), ("SFXFILE", "0", "run.exe"),
        ("PROGRESS", "0", "0"), ("LANGUAGE", "5", ""), ("DATE", "5", ""),
    ]
    commands = [("Set Variable", "NAME", "script")]  # makes NAME known; the command line's value stays
    for number, (variable, code, value) in enumerate(checks, start=1):
        commands += [("If", variable, code, value, "TRUE"), ("Terminate with Exit Code", str(number)), ("End", )]
    build(builder, product_bin, tmp_path, script(*commands, ("Terminate with Exit Code", "100")))

    result = prefix.run(out / "setup.exe", ["/s", r"/m=C:\launch\run.exe", "NAME=given"], timeout=120)

    assert result.exit_code == 100, f"check {checks[result.exit_code - 1] if result.exit_code <= len(checks) else ''}"
