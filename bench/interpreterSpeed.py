#!/usr/bin/env python3
"""The interpreter's own cost under Wine: commands per second on a long script of simple commands,
with and without the before-command refreshes, and the refreshes' share of each command.

Runs interpreterBench.exe of the 64-bit tree (Wine runs it directly) and, when built, of the shipped
32-bit tree (on machines that cannot run 32-bit code it is emulated, so its absolute numbers are
lower there; the share stays meaningful). The Wine prefix is kept in the work folder.
"""

import argparse
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WINE = "/usr/lib/wine/wine64"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", type=Path, default=ROOT / "build" / "bench")
    parser.add_argument("--commands", type=int, default=100000)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()

    env = dict(os.environ, WINEPREFIX=str((args.work / "wine").resolve()), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    if not (args.work / "wine" / "system.reg").exists():
        args.work.mkdir(parents=True, exist_ok=True)
        subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, capture_output=True)
    found = False
    for tree in ("win64", "win32"):
        exe = ROOT / "build" / tree / "bin" / "interpreterBench.exe"
        if not exe.exists():
            continue
        found = True
        print(f"== {tree} ==", flush=True)
        subprocess.run([WINE, str(exe), str(args.commands), str(args.rounds)], env=env, check=True)
    if not found:
        print("interpreterBench.exe is not built: run make build first", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
