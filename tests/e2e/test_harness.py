"""Self-tests of the harness: real programs in real Wine prefixes, real windows on Xvfb."""

from __future__ import annotations

import json
import struct
from pathlib import Path
from typing import Callable

import pytest

from quillon_harness import Prefix, RegValue, UiDriver, UiTimeout, WineTimeout


@pytest.fixture(scope="session")
def probe(win_bin: Path) -> Path:
    return win_bin / "probe.exe"


def probe_json(prefix: Prefix, probe: Path, *args: str, **run: object) -> dict:
    result = prefix.run(probe, args, **run)
    assert result.exit_code == 0, result.stderr
    return json.loads(result.stdout)


@pytest.mark.parametrize("code", [0, 1, 255, 256, 314, 0xC0000005, 0xFFFFFFFF])
def test_exit_code_keeps_all_32_bits(prefix: Prefix, probe: Path, code: int) -> None:
    assert prefix.run(probe, ["exit", str(code)]).exit_code == code


def test_arguments_environment_and_working_folder_reach_the_program(prefix: Prefix, probe: Path) -> None:
    args = ["plain", "with space", 'quote"inside', "trailing\\", "", "ünïcode", "/SILENT"]
    seen = probe_json(prefix, probe, "args", *args, env={"QUILLON_PROBE": "välue"}, cwd="C:\\users")
    assert seen == {"argv": args, "cwd": "C:\\users", "env": "välue"}


# (version, GetVersionEx platform/major/minor, RtlGetVersion major/minor).  Without a compatibility
# manifest GetVersionEx stops at 6.2 on Windows 10, as on real Windows.
VERSIONS = [
    ("win98", (1, 4, 10), (4, 10)),
    ("winxp", (2, 5, 1), (5, 1)),
    ("vista", (2, 6, 0), (6, 0)),
    ("win7", (2, 6, 1), (6, 1)),
    ("win10", (2, 6, 2), (10, 0)),
]


def test_windows_version_is_what_programs_see(prefix: Prefix, probe: Path) -> None:
    for version, (platform, major, minor), rtl in VERSIONS:
        seen = probe_json(prefix, probe, "info", windows_version=version)
        assert (seen["platform"], seen["major"], seen["minor"]) == (platform, major, minor), version
        assert (seen["rtl_major"], seen["rtl_minor"]) == rtl, version
        assert (seen["wow64"], seen["pointer_bits"]) == (False, 64)
    # The setting stays until changed.
    assert probe_json(prefix, probe, "info")["rtl_major"] == 10


def test_fresh_prefixes_do_not_share_state(template_prefix: Prefix, prefix: Prefix, probe: Path,
                                           tmp_path: Path) -> None:
    default = probe_json(prefix, probe, "info")["major"]
    probe_json(prefix, probe, "info", windows_version="win98")
    # Overwritten in place, as installers do; a shared inode would carry this into the template.
    with open(prefix.drive_c / "windows" / "win.ini", "r+b") as ini:
        ini.write(b"overwritten")
    prefix.kill()

    other = template_prefix.fresh(tmp_path / "other", display=prefix.display)
    try:
        assert probe_json(other, probe, "info")["major"] == default
        assert not (other.drive_c / "windows" / "win.ini").read_bytes().startswith(b"overwritten")
    finally:
        other.remove()


def test_paths_agree_with_the_program(prefix: Prefix, probe: Path, win_bin: Path) -> None:
    seen = probe_json(prefix, probe, "info")
    assert seen["temp"] == prefix.temp_windows + "\\"
    assert prefix.temp_dir.is_dir() and prefix.temp_dir.is_relative_to(prefix.drive_c / "users")
    assert prefix.linux_path(seen["windir"]) == prefix.drive_c / "windows"
    assert prefix.linux_path("c:\\WINDOWS\\System32\\KERNEL32.dll") == \
        prefix.drive_c / "windows" / "system32" / "kernel32.dll"
    assert prefix.windows_path(prefix.drive_c / "windows" / "system32") == seen["sysdir"]
    assert prefix.windows_path(win_bin / "probe.exe") == "Z:" + str(win_bin / "probe.exe").replace("/", "\\")
    # Folders Wine would link to the Unix home are real folders inside the prefix.
    desktop = prefix.temp_dir.parent / "Desktop"
    assert desktop.is_dir() and not desktop.is_symlink()


def test_registry_values_are_read_with_their_types(prefix: Prefix) -> None:
    key = r"HKCU\Software\QuillonHarness"
    values = {
        "sz": ("REG_SZ", "text with ü", "text with ü"),
        "expand": ("REG_EXPAND_SZ", "%TEMP%\\x", "%TEMP%\\x"),
        "multi": ("REG_MULTI_SZ", "one\\0two words", ["one", "two words"]),
        "dword": ("REG_DWORD", "314", 314),
        "qword": ("REG_QWORD", "0x100000001", 0x100000001),
        "binary": ("REG_BINARY", "00ff10", "00ff10"),
    }
    for name, (kind, text, _) in values.items():
        assert prefix.run("reg", ["add", key, "/v", name, "/t", kind, "/d", text, "/f"]).exit_code == 0
    assert prefix.run("reg", ["add", key + r"\Child", "/f"]).exit_code == 0

    expected = {name: RegValue(kind, data) for name, (kind, _, data) in values.items()}
    read = prefix.registry_key(key)
    assert read is not None and read.values == expected and read.subkeys == ["Child"]
    assert prefix.registry_value(key, "dword") == RegValue("REG_DWORD", 314)
    assert prefix.registry_value(key, "missing") is None
    assert prefix.registry_key(key + r"\Missing") is None


def png_size(path: Path) -> tuple[int, int]:
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


def test_window_and_controls_are_seen_as_built(prefix: Prefix, ui: UiDriver, probe: Path,
                                               screenshot: Callable[[str], Path]) -> None:
    process = prefix.start(probe, ["window"])
    top = ui.wait_window(cls="QuillonProbe")
    assert (top["text"], top["parent"], top["id"], top["visible"]) == ("Quillon Probe", 0, 0, True)
    assert top["rect"] == [100, 100, 500, 400]
    left, t, right, bottom = top["client"]
    assert (right - left, bottom - t) == tuple(top["client_size"])
    assert top["rect"][0] <= left < right <= top["rect"][2]

    controls = ui.windows(root=top["hwnd"])
    assert controls[0]["hwnd"] == top["hwnd"]
    found = {c["id"]: c for c in controls[1:]}
    assert {c["parent"] for c in found.values()} == {top["hwnd"]}
    assert (found[100]["class"], found[100]["text"], found[100]["enabled"]) == ("Button", "&Press", True)
    assert (found[101]["class"], found[101]["text"]) == ("Edit", "typed text")
    assert (found[102]["text"], found[102]["checked"]) == ("&Check", 0)
    assert found[100]["rect"][:2] == [top["client"][0] + 20, top["client"][1] + 20]
    assert ui.control(top["hwnd"], cls="button", text="Check")["hwnd"] == found[102]["hwnd"]

    ui.set_text(found[101]["hwnd"], "nëw text")
    assert ui.text(found[101]["hwnd"]) == "nëw text"

    assert png_size(screenshot("probe-window")) == prefix.display.size

    ui.click(found[102]["hwnd"])
    assert ui.window(found[102]["hwnd"])["checked"] == 1
    ui.close(top["hwnd"])
    ui.wait_gone(top["hwnd"])
    assert process.wait().exit_code == 11  # closed with the box checked


@pytest.mark.parametrize("method", ["bm_click", "mouse", "space_key"])
def test_button_press_reaches_the_program(prefix: Prefix, ui: UiDriver, probe: Path, method: str) -> None:
    process = prefix.start(probe, ["window"])
    top = ui.wait_window(title="^Quillon Probe$")
    button = ui.control(top["hwnd"], text="Press")
    if method == "space_key":
        ui.key(button["hwnd"], "SPACE")
    else:
        ui.click(button["hwnd"], mouse=method == "mouse")
    result = process.wait()
    assert (result.exit_code, result.lines()) == (42, ["clicked"])


def test_window_of_a_thread_that_does_not_pump_is_still_listed(prefix: Prefix, ui: UiDriver, probe: Path) -> None:
    prefix.start(probe, ["window", "--no-pump"])
    top = ui.wait_window(title="Quillon Probe")
    controls = {c["id"]: c for c in ui.windows(root=top["hwnd"])[1:]}
    assert controls[100]["text"] == "&Press"
    # Without an answer from the thread only the caption is known: the edit's is empty.
    assert controls[101]["text"] == ""
    assert "checked" not in controls[102]


def test_waiting_ends_with_an_error_when_nothing_comes(prefix: Prefix, ui: UiDriver, probe: Path) -> None:
    with pytest.raises(UiTimeout):
        ui.wait_window(title="No Such Window", timeout=0.5)
    with pytest.raises(WineTimeout):
        prefix.run(probe, ["window", "--no-pump"], timeout=5)
    # The timeout killed the prefix's programs; it is still usable.
    assert prefix.run(probe, ["exit", "7"]).exit_code == 7


def test_32_bit_prefix_runs_32_bit_programs_without_wow64(prefix32, product_bin):
    result = prefix32.run(product_bin / "probe.exe", ["info"], timeout=120)
    assert result.exit_code == 0, result.stderr
    info = json.loads(result.stdout)
    assert (info["pointer_bits"], info["wow64"]) == (32, False)
    assert prefix32.run(product_bin / "probe.exe", ["exit", "314"], timeout=120).exit_code == 314
