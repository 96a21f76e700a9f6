"""A private X server (Xvfb) for the windows of programs under test."""

from __future__ import annotations

import atexit
import os
import select
import subprocess
import tempfile
from pathlib import Path

from .prefix import HarnessError

_live_displays: set[Display] = set()


@atexit.register
def _close_live_displays() -> None:
    for display in list(_live_displays):
        display.close()


class Display:
    """Xvfb on a free display number; Xvfb picks the number itself, so parallel sessions cannot collide."""

    def __init__(self, width: int = 1024, height: int = 768, depth: int = 24, start_timeout: float = 30) -> None:
        self._log = tempfile.TemporaryFile()
        read_fd, write_fd = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x{depth}",
                 "-nolisten", "tcp"],
                pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log)
            os.close(write_fd)
            # Xvfb writes the display number once it accepts connections.
            number = b""
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_fd], [], [], start_timeout)
                chunk = os.read(read_fd, 16) if ready else b""
                if not chunk:
                    self._xvfb.kill()
                    self._xvfb.wait()
                    self._log.seek(0)
                    raise HarnessError(f"Xvfb did not start:\n{self._log.read().decode(errors='replace')}")
                number += chunk
        finally:
            os.close(read_fd)
        self.name = f":{int(number)}"
        self.size = (width, height)
        _live_displays.add(self)

    def __repr__(self) -> str:
        return f"Display({self.name!r})"

    def __enter__(self) -> Display:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def screenshot(self, path: str | Path) -> Path:
        """Saves the whole screen as an image (PNG for a .png path) and returns its path."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["import", "-display", self.name, "-window", "root", str(path)],
                              capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise HarnessError(f"screenshot of {self.name} failed:\n{done.stderr}")
        return path

    def close(self) -> None:
        if self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
        self._log.close()
        _live_displays.discard(self)
