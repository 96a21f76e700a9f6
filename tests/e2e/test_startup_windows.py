"""The start-up windows of an interactive run, under Xvfb.

A setup without its database stops with a message box owned by the preparing window; while the box
waits for the user, both start-up windows stand where the engine put them.
"""

from __future__ import annotations

import struct
from pathlib import Path

import pytest

from setup_projects import Project, build_setup, engine_only
from ui_helpers import children_by_id, relative, wait_for

SCREEN = (1024, 768)


def bitmap(width: int, height: int) -> bytes:
    """A 24-bit BMP with a colour gradient."""
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes((x * 255 // width, y * 255 // height, 160))
        rows.append(bytes(row) + b"\0" * (row_size - width * 3))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


@pytest.fixture
def builder(host_bin: Path) -> Path:
    return host_bin / "builder"


@pytest.mark.parametrize("picture", [(400, 300), (300, 720), None], ids=["splash", "tall-splash", "no-splash"])
def test_start_up_windows_stand_where_the_rules_put_them(prefix, ui, builder, product_bin, tmp_path, screenshot,
                                                         picture):
    project = Project(tmp_path / "project", setup_bmp=bitmap(*picture) if picture else None)
    out = tmp_path / "out"
    exe = build_setup(builder, project, out, product_bin)
    (out / "setup.msi").unlink()

    engine = prefix.start(exe, [r"/l=C:\setup.log"])
    box = ui.wait_window(title="^Quillon Wizard$", cls="#32770", timeout=60)
    preparing = ui.wait_window(cls="TSetupInit", timeout=10)

    assert box["owner"] == preparing["hwnd"]
    assert "Setup database not found" in [c["text"] for c in ui.windows(root=box["hwnd"], all=True)]
    assert preparing["text"] == "Quillon Wizard"
    assert preparing["client_size"] == [369, 89]
    assert not preparing["style"] & 0x00080000, "no system menu, so no system buttons"
    controls = children_by_id(ui, preparing)
    assert controls[1]["text"] == ("Quillon is preparing the Quillon Wizard which will install this "
                                   "application. Please wait.")
    assert relative(controls[1], preparing) == (56, 16, 297, 33)
    assert relative(controls[4], preparing) == (16, 56, 337, 17)
    assert controls[4]["class"].lower() == "msctls_progress32"
    # Windows 7 is newer than XP: the first of the two icons shows.
    assert controls[2]["visible"] and not controls[3]["visible"]

    width = preparing["rect"][2] - preparing["rect"][0]
    height = preparing["rect"][3] - preparing["rect"][1]
    splashes = [w for w in ui.windows() if w["class"] == "TSetupSplash"]
    if picture is None:
        assert splashes == []
        assert preparing["rect"][:2] == [(SCREEN[0] - width) // 2, (SCREEN[1] - height) // 2]
    else:
        (splash,) = splashes
        s = splash["rect"]
        assert [s[2] - s[0], s[3] - s[1]] == list(picture)
        assert s[:2] == [(SCREEN[0] - picture[0]) // 2, (SCREEN[1] - picture[1]) // 2]
        left = min(s[0] + picture[0] // 2 + 50, SCREEN[0] - 25 - width)
        top = min(s[1] + picture[1] + 25, SCREEN[1] - 45 - height)
        assert preparing["rect"][:2] == [left, top]
    screenshot("start-up")

    ok = ui.control(box["hwnd"], cls="Button", text="OK")
    ui.click(ok["hwnd"])
    assert engine.wait(timeout=120).exit_code == 16
    assert ui.windows() == []


def test_read_only_database_is_copied_as_a_normal_file(prefix, builder, product_bin, win_bin, tmp_path):
    out = tmp_path / "out"
    exe = build_setup(builder, Project(tmp_path / "project"), out, product_bin)
    database = out / "setup.msi"
    # Large enough that the copy takes a while; the padding is not read before the installation.
    with open(database, "ab") as f:
        f.truncate(database.stat().st_size + 300 * 1024 * 1024)
    database.chmod(0o444)
    copy = prefix.temp_dir / "qov1" / "setup.msi"
    # Another program opens the copy as soon as it appears, so the clean-up cannot take it.
    holder = prefix.start(win_bin / "probe.exe", ["hold", prefix.windows_path(copy)])

    assert prefix.run(exe, ["/s"], timeout=120).exit_code == 0

    wait_for(lambda: "held" in holder.output()[0])
    assert copy.stat().st_size == database.stat().st_size
    assert copy.stat().st_mode & 0o200, "the copy is writable"
    holder.kill()


def test_without_manifest_the_update_switch_shows_the_box_without_an_owner(prefix, ui, product_bin, tmp_path):
    exe = engine_only(product_bin, tmp_path / "bare")
    engine = prefix.start(exe, ["/update"])
    box = ui.wait_window(title="^Quillon Wizard$", cls="#32770", timeout=60)
    assert box["owner"] == 0
    assert "For internal use only" in [c["text"] for c in ui.windows(root=box["hwnd"], all=True)]
    assert [w for w in ui.windows() if w["class"] in ("TSetupInit", "TSetupSplash")] == []
    ui.click(ui.control(box["hwnd"], cls="Button", text="OK")["hwnd"])
    assert engine.wait(timeout=60).exit_code == 13
