"""Small helpers for tests that look at windows through the UI driver."""

from __future__ import annotations

import time


def wait_for(condition, timeout: float = 30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("condition not met in time")


def children_by_id(ui, window) -> dict[int, dict]:
    return {c["id"]: c for c in ui.windows(root=window["hwnd"], all=True) if c["hwnd"] != window["hwnd"]}


def relative(child, parent) -> tuple[int, int, int, int]:
    """A control's left, top, width and height within its window's client area."""
    left, top = parent["client"][0], parent["client"][1]
    r = child["rect"]
    return (r[0] - left, r[1] - top, r[2] - r[0], r[3] - r[1])
