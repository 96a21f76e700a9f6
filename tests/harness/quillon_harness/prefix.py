"""Wine prefixes: a template made once per build tree, and a fresh copy of it per test."""

from __future__ import annotations

import atexit
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import uuid
from contextlib import contextmanager
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath
from typing import TYPE_CHECKING, Iterator, Mapping, Sequence

if TYPE_CHECKING:
    from .display import Display

WINESERVER = Path("/usr/lib/wine/wineserver")

# Mono and Gecko would ask to be downloaded (there is no network); winemenubuilder would put
# menu entries and icons for every shortcut an installer makes into the real home folder.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

WINDOWS_VERSIONS = frozenset(
    {"win95", "win98", "winme", "nt351", "nt40", "win2k", "winxp", "win2003", "vista", "win2008",
     "win7", "win2008r2", "win8", "win81", "win10"}
)

# Bumped whenever the way a template is prepared changes, so old templates are rebuilt.
TEMPLATE_FORMAT = 2
READY_MARKER = ".quillon-template"


@dataclass(frozen=True)
class PrefixKind:
    """Which Wine loader runs programs and which WINEARCH the prefix is created with.

    "win64" is a 64-bit Windows: its loader starts 64-bit programs itself and 32-bit ones under
    WOW64 through Wine's 32-bit half, which needs 32-bit Linux programs to run (tools/enable-i386.sh
    sees to that where the processor cannot).  "win32" is a 32-bit Windows without WOW64, run
    wholly by Wine's 32-bit half; its programs, the harness's tools included, must be 32-bit.
    """

    name: str
    loader: Path
    winearch: str


KINDS: dict[str, PrefixKind] = {
    "win64": PrefixKind("win64", Path("/usr/lib/wine/wine64"), "win64"),
    "win32": PrefixKind("win32", Path("/usr/lib/wine/wine"), "win32"),
}


class HarnessError(RuntimeError):
    """The harness itself could not do what was asked (not a failure of the program under test)."""


class WineTimeout(HarnessError):
    def __init__(self, command: Sequence[str], timeout: float, stdout: str, stderr: str) -> None:
        super().__init__(f"{' '.join(command)} still running after {timeout} s\n"
                         f"stdout:\n{stdout}\nstderr:\n{stderr}")
        self.stdout = stdout
        self.stderr = stderr


@dataclass(frozen=True)
class Result:
    exit_code: int  # the full 32-bit Windows exit code, unsigned
    stdout: str  # as the program wrote it (a Windows program's text mode writes \r\n)
    stderr: str

    def lines(self) -> list[str]:
        return self.stdout.splitlines()


@dataclass(frozen=True)
class RegValue:
    type: str  # "REG_SZ", "REG_DWORD", ...
    data: str | int | list[str]  # text, number, list for REG_MULTI_SZ, hex string otherwise


@dataclass
class RegKey:
    values: dict[str, RegValue] = field(default_factory=dict)
    subkeys: list[str] = field(default_factory=list)


_live_prefixes: set[Prefix] = set()


@atexit.register
def _kill_live_prefixes() -> None:
    for prefix in list(_live_prefixes):
        prefix.kill()


class Process:
    """A program started with Prefix.start; its output goes to files so it can never block on a pipe."""

    def __init__(self, prefix: Prefix, command: list[str], popen: subprocess.Popen[bytes],
                 code_file: Path, stdout_file: Path, stderr_file: Path) -> None:
        self.prefix = prefix
        self.command = command
        self._popen = popen
        self._code_file = code_file
        self._stdout_file = stdout_file
        self._stderr_file = stderr_file

    @property
    def running(self) -> bool:
        return self._popen.poll() is None

    def output(self) -> tuple[str, str]:
        """What the program has written so far to stdout and stderr."""
        return (self._stdout_file.read_text(errors="replace"),
                self._stderr_file.read_text(errors="replace"))

    def wait(self, timeout: float = 60) -> Result:
        """Waits for the program; on timeout kills everything in the prefix and raises WineTimeout."""
        try:
            self._popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.prefix.kill()
            raise WineTimeout(self.command, timeout, *self.output()) from None
        stdout, stderr = self.output()
        try:
            key, _, value = self._code_file.read_text().strip().partition("=")
        except FileNotFoundError:
            raise HarnessError(f"{self.command[3]} ended without reporting an exit code (killed?)\n"
                               f"stderr:\n{stderr}") from None
        finally:
            for f in (self._code_file, self._stdout_file, self._stderr_file):
                f.unlink(missing_ok=True)
        if key != "exit":
            raise HarnessError(f"cannot start {self.command[3]}: Windows error {value}\n{stderr}")
        return Result(int(value), stdout, stderr)

    def kill(self) -> None:
        self.prefix.kill()


class Prefix:
    """One Wine prefix, with its own wineserver.

    tools is the folder holding the harness's Windows programs (runexit.exe, uidriver.exe).
    display, when set, is the X server the prefix's programs open their windows on.
    """

    def __init__(self, path: Path, tools: Path, kind: str = "win64", display: Display | None = None) -> None:
        self.path = Path(path).absolute()
        self.tools = Path(tools)
        self.kind = KINDS[kind]
        self.display = display
        self._processes: list[subprocess.Popen[bytes]] = []

    def __repr__(self) -> str:
        return f"Prefix({str(self.path)!r})"

    # -- making prefixes ---------------------------------------------------------------------

    @classmethod
    def template(cls, path: Path, tools: Path, kind: str = "win64") -> Prefix:
        """The template prefix at path, created first if it is missing, incomplete or stale.

        A lock file beside it keeps concurrent test sessions from building it twice.
        """
        prefix = cls(path, tools, kind)
        prefix.path.parent.mkdir(parents=True, exist_ok=True)
        with prefix._template_lock(fcntl.LOCK_EX):
            stamp = prefix._template_stamp()
            marker = prefix.path / READY_MARKER
            if not marker.is_file() or marker.read_text() != stamp:
                prefix._create_template()
                marker.write_text(stamp)
        return prefix

    @contextmanager
    def _template_lock(self, mode: int) -> Iterator[None]:
        with open(self.path.with_name(self.path.name + ".lock"), "a") as lock:
            fcntl.flock(lock, mode)
            yield

    def _template_stamp(self) -> str:
        wine = subprocess.run([self.kind.loader, "--version"], capture_output=True, text=True).stdout.strip()
        return json.dumps({"format": TEMPLATE_FORMAT, "kind": self.kind.name, "wine": wine}) + "\n"

    def _create_template(self) -> None:
        if self.path.exists():
            self.kill()  # a server may linger from an interrupted attempt
            shutil.rmtree(self.path)
        env = self._env({"WINEARCH": self.kind.winearch})
        boot = subprocess.run([self.kind.loader, "wineboot", "-i"], env=env, capture_output=True, text=True,
                              timeout=300)
        self.wait_all(timeout=120)
        if boot.returncode != 0 or not (self.path / "system.reg").is_file():
            raise HarnessError(f"wineboot failed in {self.path}:\n{boot.stderr}")
        syswow64 = self.path / "drive_c" / "windows" / "syswow64"
        if self.kind.name == "win64" and not any(syswow64.iterdir()):
            raise HarnessError(f"{syswow64} stayed empty: Wine cannot run 32-bit programs here "
                               "(run tools/enable-i386.sh as root)")
        self._detach_home_folders()

    def _detach_home_folders(self) -> None:
        # Wine links Desktop, Documents and the like to the Unix home folder; an installer writing
        # there would reach outside the prefix and outlive the test.  Real folders keep it inside.
        users = self.path / "drive_c" / "users"
        for link in list(users.rglob("*")):
            if link.is_symlink() and not link.resolve().is_relative_to(self.path):
                link.unlink()
                link.mkdir()

    def fresh(self, dest: Path, display: Display | None = None) -> Prefix:
        """A full copy of this prefix at dest (which must not exist yet), for one test.

        Nothing is hard-linked: Wine rewrites registry files and installers may overwrite files
        in C:\\windows in place, which would change the template through a shared inode.
        """
        dest = Path(dest).absolute()
        if dest.exists():
            raise HarnessError(f"{dest} already exists")
        dest.parent.mkdir(parents=True, exist_ok=True)
        # Shared: copies may run side by side, but not while another session rebuilds the template.
        with self._template_lock(fcntl.LOCK_SH):
            subprocess.run(["cp", "-a", "--reflink=auto", str(self.path), str(dest)], check=True)
        (dest / READY_MARKER).unlink(missing_ok=True)
        return Prefix(dest, self.tools, self.kind.name, display)

    def remove(self) -> None:
        self.kill()
        shutil.rmtree(self.path, ignore_errors=True)

    # -- running programs --------------------------------------------------------------------

    def _env(self, extra: Mapping[str, str | None] | None = None) -> dict[str, str]:
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "WINEARCH", "WINESERVER", "WINELOADER"):
            env.pop(name, None)
        env.update(WINEPREFIX=str(self.path), WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                   WINEDLLOVERRIDES=DLL_OVERRIDES)
        if self.display is not None:
            env["DISPLAY"] = self.display.name
        for name, value in (extra or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        return env

    def _program(self, exe: str | Path) -> str:
        text = str(exe)
        if isinstance(exe, Path) or text.startswith("/"):
            return self.windows_path(Path(text))
        return text

    def start(self, exe: str | Path, args: Sequence[str] = (), windows_version: str | None = None,
              env: Mapping[str, str | None] | None = None, cwd: str | Path | None = None) -> Process:
        """Starts a Windows program and returns at once.

        exe is a Linux path (a Path, or a str starting with "/") or a Windows path or name.
        windows_version ("win98", "winxp", "vista", "win7", "win10", ...) is set in the prefix
        first and stays set.  env adds variables (None removes one); cwd is a Linux or Windows path.
        """
        if windows_version is not None:
            self.set_windows_version(windows_version)
        work = self.path / "harness"
        work.mkdir(exist_ok=True)
        token = uuid.uuid4().hex
        code_file = work / f"{token}.exit"
        stdout_file = work / f"{token}.out"
        stderr_file = work / f"{token}.err"
        command = [str(self.kind.loader), str(self.tools / "runexit.exe"), self.windows_path(code_file),
                   self._program(exe), *args]
        if cwd is not None and not str(cwd).startswith("/"):
            cwd = self.linux_path(str(cwd))
        with open(stdout_file, "wb") as out, open(stderr_file, "wb") as err:
            popen = subprocess.Popen(command, env=self._env(env), cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
        self._processes.append(popen)
        _live_prefixes.add(self)
        return Process(self, command, popen, code_file, stdout_file, stderr_file)

    def run(self, exe: str | Path, args: Sequence[str] = (), windows_version: str | None = None,
            env: Mapping[str, str | None] | None = None, timeout: float = 60,
            cwd: str | Path | None = None) -> Result:
        """Runs a Windows program to its end; see start()."""
        return self.start(exe, args, windows_version, env, cwd).wait(timeout)

    def _wine(self, args: Sequence[str], timeout: float = 60) -> subprocess.CompletedProcess[str]:
        _live_prefixes.add(self)
        return subprocess.run([str(self.kind.loader), *args], env=self._env(), capture_output=True, text=True,
                              timeout=timeout)

    def set_windows_version(self, version: str) -> None:
        """The Windows version Wine reports to every program in this prefix."""
        if version not in WINDOWS_VERSIONS:
            raise ValueError(f"unknown Windows version {version!r}")
        done = self._wine(["reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f"])
        if done.returncode != 0:
            raise HarnessError(f"cannot set the Windows version:\n{done.stdout}{done.stderr}")

    def kill(self) -> None:
        """Ends every program of this prefix and its wineserver."""
        env = self._env()
        subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
        for popen in self._processes:
            if popen.poll() is None:
                popen.send_signal(signal.SIGKILL)
            popen.wait()
        self._processes.clear()
        subprocess.run([WINESERVER, "-w"], env=env, capture_output=True, timeout=60)
        _live_prefixes.discard(self)

    def wait_all(self, timeout: float = 60) -> None:
        """Waits until every program of the prefix has ended and its wineserver has exited.

        That also writes the registry back to the .reg files.
        """
        subprocess.run([WINESERVER, "-w"], env=self._env(), capture_output=True, timeout=timeout)
        for popen in self._processes:
            popen.wait()
        self._processes.clear()
        _live_prefixes.discard(self)

    # -- paths -------------------------------------------------------------------------------

    def _drives(self) -> dict[str, Path]:
        drives = {}
        for entry in (self.path / "dosdevices").iterdir():
            if re.fullmatch(r"[a-z]:", entry.name) and entry.is_symlink():
                drives[entry.name[0].upper()] = entry.resolve()
        return drives

    @property
    def drive_c(self) -> Path:
        return self.path / "drive_c"

    def windows_path(self, linux_path: str | Path) -> str:
        """The Windows path of a Linux path, through the drive that maps it most closely."""
        path = Path(os.path.abspath(linux_path))
        resolved = path.parent.resolve() / path.name
        best: tuple[int, str, Path] | None = None
        for letter, root in self._drives().items():
            if resolved.is_relative_to(root) and (best is None or len(root.parts) > best[0]):
                best = (len(root.parts), letter, root)
        if best is None:
            raise ValueError(f"{linux_path} is on no drive of {self}")
        _, letter, root = best
        return f"{letter}:\\" + "\\".join(resolved.relative_to(root).parts)

    def linux_path(self, windows_path: str) -> Path:
        """The Linux path of a Windows drive path, matching existing names without regard to case."""
        win = PureWindowsPath(windows_path)
        if not re.fullmatch(r"[A-Za-z]:", win.drive) or not win.root:
            raise ValueError(f"not an absolute drive path: {windows_path}")
        path = self._drives().get(win.drive[0].upper())
        if path is None:
            raise ValueError(f"no drive {win.drive} in {self}")
        for part in win.parts[1:]:
            candidate = path / part
            if not candidate.exists() and path.is_dir():
                candidate = next((p for p in path.iterdir() if p.name.casefold() == part.casefold()), candidate)
            path = candidate
        return path

    def _environment_value(self, name: str) -> str:
        # HKCU\Environment as wineboot wrote it; the section header is followed by its values.
        text = (self.path / "user.reg").read_text(errors="replace")
        section = re.search(r"^\[Environment\][^\n]*\n(.*?)(?:\n\n|\Z)", text, re.M | re.S)
        found = section and re.search(rf'^"{name}"=(?:str\(2\):)?"(.*)"$', section.group(1), re.M | re.I)
        if not found:
            raise HarnessError(f"no {name} in HKCU\\Environment of {self}")
        return found.group(1).replace("\\\\", "\\")

    @property
    def temp_windows(self) -> str:
        """The folder GetTempPath returns, without the trailing backslash (e.g. C:\\users\\root\\Temp)."""
        return self._environment_value("TEMP")

    @property
    def temp_dir(self) -> Path:
        return self.linux_path(self.temp_windows)

    # -- registry ----------------------------------------------------------------------------

    def _reg_query(self, args: Sequence[str]) -> list[dict] | None:
        done = self._wine([str(self.tools / "uidriver.exe"), "reg-query", *args])
        if done.returncode == 1:
            return None
        if done.returncode != 0:
            raise HarnessError(f"uidriver reg-query {' '.join(args)} failed:\n{done.stderr}")
        return [json.loads(line) for line in done.stdout.splitlines() if line.strip()]

    def registry_key(self, key: str, view: int | None = None) -> RegKey | None:
        """Values and subkey names of a live registry key (e.g. r"HKLM\\Software\\X"), or None."""
        rows = self._reg_query([key, *(["--view", str(view)] if view else [])])
        if rows is None:
            return None
        result = RegKey()
        for row in rows:
            if "subkey" in row:
                result.subkeys.append(row["subkey"])
            else:
                result.values[row["name"]] = RegValue(row["type"], row["data"])
        return result

    def registry_value(self, key: str, name: str, view: int | None = None) -> RegValue | None:
        """One value of a live registry key ("" is the default value), or None if it does not exist."""
        rows = self._reg_query([key, "--value", name, *(["--view", str(view)] if view else [])])
        return RegValue(rows[0]["type"], rows[0]["data"]) if rows else None
