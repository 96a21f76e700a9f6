"""Fixtures for end-to-end tests: real Windows programs under Wine, windows on a private Xvfb.

Environment:
  QUILLON_PRODUCT_BIN  folder with the shipped programs under test (default <repo>/build/win32/bin)
  QUILLON_WIN_BIN   folder with the harness's own Windows programs (default <repo>/build/win64/bin)
  QUILLON_HOST_BIN  folder with the host build (default <repo>/build/host/bin)
  QUILLON_WINE_DIR  where template prefixes live (default <repo>/build/wine)
"""

from __future__ import annotations

import os
import re
import sys
from pathlib import Path
from typing import Callable, Iterator

import pytest

REPO_ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO_ROOT / "tests" / "harness"))

from quillon_harness import Display, Prefix, UiDriver  # noqa: E402

HARNESS_TOOLS = ("runexit.exe", "uidriver.exe")


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--keep-prefixes", action="store_true",
                     help="keep every test's Wine prefix (failed tests always keep theirs)")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo[None]) -> Iterator[None]:
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"report_{report.when}", report)


def _failed(item: pytest.Item) -> bool:
    return any(getattr(item, f"report_{when}", None) is not None and getattr(item, f"report_{when}").failed
               for when in ("setup", "call"))


def _env_path(name: str, default: Path) -> Path:
    return Path(os.environ[name]).absolute() if os.environ.get(name) else default


@pytest.fixture(scope="session")
def repo_root() -> Path:
    return REPO_ROOT


@pytest.fixture(scope="session")
def win_bin() -> Path:
    path = _env_path("QUILLON_WIN_BIN", REPO_ROOT / "build" / "win64" / "bin")
    missing = [tool for tool in HARNESS_TOOLS if not (path / tool).is_file()]
    if missing:
        pytest.fail(f"{', '.join(missing)} not in {path}: build the Windows tree first (or set QUILLON_WIN_BIN)")
    return path


@pytest.fixture(scope="session")
def product_bin() -> Path:
    """The shipped 32-bit programs; they run under WOW64 in the 64-bit prefix."""
    path = _env_path("QUILLON_PRODUCT_BIN", REPO_ROOT / "build" / "win32" / "bin")
    if not (path / "setup.exe").is_file():
        pytest.fail(f"no setup.exe in {path}: build the win32 tree first (or set QUILLON_PRODUCT_BIN)")
    return path


@pytest.fixture(scope="session")
def host_bin() -> Path:
    return _env_path("QUILLON_HOST_BIN", REPO_ROOT / "build" / "host" / "bin")


@pytest.fixture(scope="session")
def artifacts_dir() -> Path:
    path = REPO_ROOT / "build" / "test-artifacts"
    path.mkdir(parents=True, exist_ok=True)
    return path


@pytest.fixture(scope="session")
def template_prefix(win_bin: Path) -> Prefix:
    wine_dir = _env_path("QUILLON_WINE_DIR", REPO_ROOT / "build" / "wine")
    return Prefix.template(wine_dir / "win64-template", tools=win_bin, kind="win64")


@pytest.fixture(scope="session")
def template_prefix_32(product_bin: Path) -> Prefix:
    """A 32-bit Windows without WOW64; its tools are the 32-bit builds of the harness's programs."""
    wine_dir = _env_path("QUILLON_WINE_DIR", REPO_ROOT / "build" / "wine")
    return Prefix.template(wine_dir / "win32-template", tools=product_bin, kind="win32")


@pytest.fixture
def prefix32(template_prefix_32: Prefix, display: Display, tmp_path: Path) -> Iterator[Prefix]:
    """A fresh copy of the 32-bit template, removed afterwards."""
    p = template_prefix_32.fresh(tmp_path / "prefix32", display=display)
    yield p
    p.remove()


@pytest.fixture(scope="session")
def display() -> Iterator[Display]:
    with Display() as d:
        yield d


@pytest.fixture
def prefix(request: pytest.FixtureRequest, template_prefix: Prefix, display: Display,
           tmp_path: Path) -> Iterator[Prefix]:
    """A fresh copy of the template, on the session display; removed afterwards unless the test failed."""
    p = template_prefix.fresh(tmp_path / "prefix", display=display)
    yield p
    p.kill()
    if _failed(request.node) or request.config.getoption("--keep-prefixes"):
        print(f"\nWine prefix kept: {p.path}")
    else:
        p.remove()


@pytest.fixture
def ui(prefix: Prefix, display: Display) -> UiDriver:
    return UiDriver(prefix, display)


@pytest.fixture
def screenshot(request: pytest.FixtureRequest, display: Display, artifacts_dir: Path) -> Callable[[str], Path]:
    """screenshot(name) saves the screen to build/test-artifacts/<test>/<name>.png and prints the path."""
    folder = artifacts_dir / re.sub(r"[^\w.-]+", "_", request.node.nodeid)

    def take(name: str) -> Path:
        path = display.screenshot(folder / f"{name}.png")
        print(f"\nscreenshot: {path}")
        return path

    return take
