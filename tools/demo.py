"""The demo: builds the sample setup with the builder, runs it silently under Wine in a fresh prefix
and shows what it did: the exit code, the trace log and what is left in the temp folder."""

from __future__ import annotations

import shutil
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "harness"))

from quillon_harness import Prefix  # noqa: E402

BUILD = REPO / "build"
OUT = BUILD / "demo"


def main() -> int:
    setup_dir = OUT / "sample-setup"
    if setup_dir.exists():
        shutil.rmtree(setup_dir)
    print(f"== building examples/sample into {setup_dir.relative_to(REPO)}")
    subprocess.run([str(BUILD / "host" / "bin" / "builder"), "build", str(REPO / "examples" / "sample"),
                    str(setup_dir), "--engine-dir", str(BUILD / "win32" / "bin")], check=True)

    print("\n== preparing a fresh Wine prefix")
    template = Prefix.template(BUILD / "wine" / "win64-template", tools=BUILD / "win64" / "bin")
    prefix_dir = OUT / "prefix"
    if prefix_dir.exists():
        shutil.rmtree(prefix_dir)
    prefix = template.fresh(prefix_dir)
    try:
        command = ["/s", r"/l=C:\quillon-demo.log"]
        print(f"\n== running setup.exe {' '.join(command)}")
        result = prefix.run(setup_dir / "setup.exe", command, timeout=300)
        print(f"exit code: {result.exit_code}")

        log = prefix.drive_c / "quillon-demo.log"
        print(f"\n== trace log C:\\quillon-demo.log (UTF-16LE, {log.stat().st_size} bytes)")
        print(log.read_bytes().decode("utf-16-le").rstrip("\r\n").replace("\r\n", "\n"))

        leftovers = sorted(p.name for p in prefix.temp_dir.iterdir())
        print(f"\n== temp folder {prefix.temp_windows}: {', '.join(leftovers) if leftovers else 'empty'}"
              " (the support folder qovN is removed at the end)")
        print(f"\n== setup folder {setup_dir.relative_to(REPO)}:")
        for path in sorted(setup_dir.iterdir()):
            print(f"   {path.name:12} {path.stat().st_size:>9} bytes")
        return 0 if result.exit_code == 0 else 1
    finally:
        prefix.kill()


if __name__ == "__main__":
    sys.exit(main())
