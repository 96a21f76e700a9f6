"""Making setups for the end-to-end tests: a project folder written by the test, built by the builder."""

from __future__ import annotations

import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

MINIMAL_PRODUCT = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Quillon Test Product" Language="1033" Version="1.0.0"
           Manufacturer="Quillon Tests" UpgradeCode="6E8A1C5B-2F4D-4B7A-9C3E-1D2F3A4B5C6D">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Quillon Test Product">
          <Component Id="Readme" Guid="3C1D2E4F-5A6B-4C7D-8E9F-0A1B2C3D4E5F">
            <File Id="ReadmeTxt" Source="readme.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Readme"/></Feature>
  </Product>
</Wix>
"""

START_TAGS = [
    "<Quillon>", "  <SetupSplash>",
    "    <StubSize>", "    </StubSize>", "    <StubData>", "    </StubData>",
    "    <GlobalLists>", "    </GlobalLists>", "    <SupportDir>", "    </SupportDir>",
    "    <ExtractArchive>", "    </ExtractArchive>", "    <ExtractResource>", "    </ExtractResource>",
    "    <ResourcePath>", "    </ResourcePath>", "    <Dialogs>", "    </Dialogs>",
    "  </SetupSplash>",
]
SCRIPT_TAGS = [
    "    <Variables>", "    </Variables>", "    <CompileScript>", "    </CompileScript>",
    "    <BootStrap>", "    </BootStrap>", "    <kwib>", "    </kwib>", "    <ExitScript>", "    </ExitScript>",
]
END_TAGS = [
    "  <RunScript>", *SCRIPT_TAGS, "  </RunScript>", "  <Free>", "  </Free>",
    "  <CachedSupportDir>", "  </CachedSupportDir>", "</Quillon>",
]
FULL_RUN_TAGS = START_TAGS + END_TAGS


def tags_up_to(last: str) -> list[str]:
    """The start-up tags of a run that stopped after writing `last`."""
    return FULL_RUN_TAGS[: FULL_RUN_TAGS.index(last) + 1]


@dataclass
class Project:
    """A setup project; write() lays it out in `folder`."""

    folder: Path
    title: str = "Quillon Test"
    script: str = ""
    support_files: dict[str, bytes] = field(default_factory=lambda: {"readme.txt": b"support file\r\n"})
    database: str = "product.wxs"
    extra_settings: str = ""
    setup_bmp: bytes | None = None

    def write(self) -> Path:
        self.folder.mkdir(parents=True, exist_ok=True)
        support = "none" if not self.support_files else "files"
        for name, data in self.support_files.items():
            path = self.folder / "files" / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        if self.database == "product.wxs":
            (self.folder / "product.wxs").write_text(MINIMAL_PRODUCT)
            (self.folder / "readme.txt").write_text("installed file\r\n")
        if self.setup_bmp is not None:
            (self.folder / "setup.bmp").write_bytes(self.setup_bmp)
        (self.folder / "setup.qsc").write_text(
            "[setup]\n"
            f"title = {self.title}\n"
            f"support-files = {support}\n"
            f"database = {self.database}\n"
            f"{self.extra_settings}"
            "[script]\n"
            f"{self.script}")
        return self.folder


def build_setup(builder: Path, project: Project, out: Path, engine_dir: Path) -> Path:
    """Builds the project; returns the setup's exe."""
    project.write()
    done = subprocess.run([str(builder), "build", str(project.folder), str(out), "--engine-dir", str(engine_dir)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, f"builder failed:\n{done.stdout}{done.stderr}"
    return out / "setup.exe"


def engine_only(engine_dir: Path, out: Path) -> Path:
    """The bare engine beside its archive library: a setup without a manifest."""
    out.mkdir(parents=True, exist_ok=True)
    for name in ("setup.exe", "qov.lib"):
        shutil.copy(engine_dir / name, out / name)
    return out / "setup.exe"


def read_trace(path: Path, encoding: str = "utf-16-le") -> list[str]:
    data = path.read_bytes()
    assert not data.startswith(b"\xff\xfe"), "the trace log has no byte order mark"
    text = data.decode(encoding)
    assert text.endswith("\r\n")
    return text[:-2].split("\r\n")


def script(*commands: tuple) -> str:
    """[script] text for (name, parameter, ...) tuples; a name starting with "! " is disabled."""
    lines = []
    for name, *parameters in commands:
        lines.append(name)
        lines.extend(f"  | {p}" if p else "  |" for p in parameters)
    return "\n".join(lines) + "\n"
