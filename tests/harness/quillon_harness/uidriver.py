"""Python side of uidriver.exe: finds, reads and operates windows of programs in a prefix.

Windows are dicts as uidriver prints them, with handles and style bits turned into ints:
  hwnd, parent, owner (0 for none), pid, tid, class, text, id (control id, 0 for top level),
  visible, enabled, rect and client ([left, top, right, bottom] in screen coordinates),
  client_size ([width, height]), style, exstyle; check boxes and radio buttons also have
  checked (0, 1, 2), list and combo boxes items (list of str) and selected (index, -1 for none).
Values that need an answer from the window's thread (edit contents, checked, items) fall back or
are left out when that thread does not pump messages.
"""

from __future__ import annotations

import json
import re
import time
from typing import Any

from .display import Display
from .prefix import HarnessError, Prefix

Window = dict[str, Any]

_INT_FIELDS = ("hwnd", "parent", "owner", "style", "exstyle")
_EXIT_NOT_FOUND = 1
_EXIT_NO_WINDOW = 3


class UiTimeout(HarnessError):
    """A window did not appear or did not go away in time."""


class NoSuchWindow(HarnessError, LookupError):
    pass


def _parse(line: str) -> Window:
    window = json.loads(line)
    for name in _INT_FIELDS:
        window[name] = int(window[name], 16)
    return window


class UiDriver:
    """Runs uidriver.exe in the prefix, on the display its programs use."""

    def __init__(self, prefix: Prefix, display: Display | None = None) -> None:
        if display is not None and prefix.display is not None and display is not prefix.display:
            raise ValueError("the driver must use the display the prefix's programs use")
        self.prefix = prefix
        self.display = display or prefix.display
        if self.display is None:
            raise ValueError("no display to drive")

    def _call(self, *args: str, timeout: float = 10) -> list[str]:
        result = self.prefix.run(self.prefix.tools / "uidriver.exe", args, timeout=timeout + 30,
                                 env={"DISPLAY": self.display.name})
        if result.exit_code == _EXIT_NOT_FOUND:
            raise UiTimeout(f"uidriver {' '.join(args)}: not found in time")
        if result.exit_code == _EXIT_NO_WINDOW:
            raise NoSuchWindow(f"uidriver {' '.join(args)}: no such window")
        if result.exit_code != 0:
            raise HarnessError(f"uidriver {' '.join(args)} failed ({result.exit_code}):\n{result.stderr}")
        return [line for line in result.lines() if line.strip()]

    def windows(self, all: bool = False, pid: int | None = None, root: int | None = None) -> list[Window]:
        """Top-level windows (visible ones unless all) each followed by its descendants.

        With root: that window and its descendants only.
        """
        args = ["list"]
        if all:
            args.append("--all")
        if pid is not None:
            args += ["--pid", str(pid)]
        if root is not None:
            args += ["--root", hex(root)]
        return [_parse(line) for line in self._call(*args)]

    def window(self, hwnd: int) -> Window:
        return _parse(self._call("info", hex(hwnd))[0])

    def text(self, hwnd: int) -> str:
        return json.loads(self._call("text", hex(hwnd))[0])["text"]

    def wait_window(self, title: str | None = None, cls: str | None = None, pid: int | None = None,
                    timeout: float = 10, all: bool = False) -> Window:
        """The first top-level window whose caption matches the regex title (searched), whose class
        is cls (any case) and that belongs to pid; raises UiTimeout."""
        args = ["wait-window", "--timeout", str(int(timeout * 1000))]
        if title is not None:
            args += ["--title", title]
        if cls is not None:
            args += ["--class", cls]
        if pid is not None:
            args += ["--pid", str(pid)]
        if all:
            args.append("--all")
        return _parse(self._call(*args, timeout=timeout)[0])

    def control(self, root: int, cls: str | None = None, text: str | None = None, id: int | None = None,
                timeout: float = 10) -> Window:
        """A visible descendant of root matching all filters given (text is a regex searched in the
        control's text, & mnemonics included); polls until timeout, then raises UiTimeout."""
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows(root=root)[1:]:
                if cls is not None and window["class"].casefold() != cls.casefold():
                    continue
                if text is not None and not re.search(text, window["text"]):
                    continue
                if id is not None and window["id"] != id:
                    continue
                return window
            if time.monotonic() >= deadline:
                raise UiTimeout(f"no control class={cls} text={text} id={id} in {root:#x}")
            time.sleep(0.2)

    def wait_gone(self, hwnd: int, timeout: float = 10) -> None:
        self._call("wait-gone", hex(hwnd), "--timeout", str(int(timeout * 1000)), timeout=timeout)

    def click(self, hwnd: int, mouse: bool = False) -> None:
        """Clicks a button: BM_CLICK posted to it, or with mouse a real left click at its centre."""
        self._call("click", hex(hwnd), *(["--mouse"] if mouse else []))

    def key(self, hwnd: int, vk: str | int) -> None:
        """Posts a key press, e.g. "RETURN", "SPACE", "ESCAPE", or a virtual-key code."""
        self._call("key", hex(hwnd), str(vk))

    def set_text(self, hwnd: int, text: str) -> None:
        self._call("set-text", hex(hwnd), text)

    def close(self, hwnd: int) -> None:
        self._call("close", hex(hwnd))
