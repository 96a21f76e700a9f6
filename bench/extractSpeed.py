#!/usr/bin/env python3
"""Extraction speed of qovx against 7zz on the same archives, measured in the same run.

Makes deterministic test data (text, program-like binary, incompressible and sparse parts), archives
it with 7zz for LZMA and LZMA2 at -mx1, -mx5 and -mx9 and for PPMd at -mx5 (single-threaded), then
extracts each archive with `7zz x -mmt1` and with `qovx x -j1` several times and prints the medians.
The ratio is our speed over 7zz's (from CPU time, see below): 1.0 is as fast, above 1.0 faster. A last
lines extract a non-solid archive and a solid one in LZMA2 blocks on two threads with both tools
(wall time).

qovx is built in a Release tree without sanitizers (build/bench/cmake unless --qovx is given). Data
and archives are kept in the work folder and reused while the parameters stay the same.
"""

import argparse
import hashlib
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SEVEN_ZIP = "/usr/bin/7zz"
DATA_VERSION = 1  # bump when the generator changes, so cached data and archives are remade
CASES = [(method, level) for method in ("LZMA", "LZMA2") for level in (1, 5, 9)] + [("PPMd", 5)]


def log(message):
    print(message, file=sys.stderr, flush=True)


def build_qovx(work):
    tree = work / "cmake"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tree), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUILLON_SANITIZE=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(tree), "--target", "qovx", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return tree / "bin" / "qovx"


def text_bytes(rng, size):
    # Words of a made-up language with a Zipf-like frequency, in lines of varying length.
    syllables = ["ka", "lo", "mi", "ne", "ru", "sa", "ti", "vo", "an", "el", "or", "us", "be", "di", "fa", "gu"]
    vocabulary = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(6000)]
    weights = [1.0 / (rank + 1) for rank in range(len(vocabulary))]
    out = bytearray()
    while len(out) < size:
        words = rng.choices(vocabulary, weights, k=20000)
        line = []
        for word in words:
            line.append(word)
            if rng.random() < 0.08:
                out += (" ".join(line) + ".\n").encode()
                line = []
        out += (" ".join(line) + "\n").encode()
    return bytes(out[:size])


def program_bytes(rng, size):
    # Records that look like machine code and tables: a few opcodes, small relative offsets,
    # addresses that grow, and repeated constants.
    opcodes = [0x8B, 0x89, 0xE8, 0x48, 0x0F, 0xFF, 0x83, 0xC3]
    constants = [rng.getrandbits(32) for _ in range(64)]
    out = bytearray()
    address = 0x401000
    while len(out) < size:
        block = bytearray()
        for _ in range(4096):
            kind = rng.random()
            if kind < 0.5:
                block += bytes((rng.choice(opcodes), rng.randrange(0xC0, 0x100)))
                block += struct.pack("<i", rng.randint(-512, 512))
            elif kind < 0.8:
                address += rng.randrange(4, 64)
                block += struct.pack("<BI", 0xE8, address)
            else:
                block += struct.pack("<I", rng.choice(constants))
        out += block
    return bytes(out[:size])


def sparse_bytes(rng, size):
    out = bytearray(size)
    position = 0
    while position < size:
        position += rng.randrange(512, 8192)
        run = rng.randrange(1, 64)
        out[position:position + run] = bytes([rng.randrange(256)]) * len(out[position:position + run])
        position += run
    return bytes(out[:size])


def make_data(folder, mib):
    stamp = folder / ".stamp"
    wanted = f"{DATA_VERSION} {mib}"
    if stamp.exists() and stamp.read_text() == wanted:
        return
    log(f"making {mib} MiB of test data in {folder}")
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    rng = random.Random(20240611)
    total = mib << 20
    parts = [  # name, generator, share of the total
        ("text", text_bytes, 0.40), ("program", program_bytes, 0.40),
        ("media", lambda r, n: r.randbytes(n), 0.10), ("sparse", sparse_bytes, 0.10),
    ]
    for name, generate, share in parts:
        files = 4
        each = int(total * share) // files
        for index in range(files):
            path = folder / name / f"{name}{index}.dat"
            path.parent.mkdir(exist_ok=True)
            path.write_bytes(generate(rng, each))
    stamp.write_text(wanted)


def make_archive(data, archives, method, level, data_stamp, form="solid"):
    """form: "solid" (single-threaded), "nonsolid" (a folder per file) or "blocks" (solid, written by
    two threads in 8 MiB blocks that each start a new dictionary)."""
    archive = archives / f"{method}-mx{level}{'' if form == 'solid' else '-' + form}.7z"
    stamp = archive.with_suffix(".stamp")
    if archive.exists() and stamp.exists() and stamp.read_text() == data_stamp:
        return archive
    log(f"archiving with {method} -mx{level}")
    archive.unlink(missing_ok=True)
    options = {"solid": [f"-m0={method}", "-mmt1"], "nonsolid": [f"-m0={method}", "-mmt1", "-ms=off"],
               "blocks": [f"-m0={method}:c=8m", "-mmt2"]}[form]
    subprocess.run([SEVEN_ZIP, "a", "-bd", "-y", f"-mx{level}", *options, str(archive), "."],
                   cwd=data, check=True, stdout=subprocess.DEVNULL)
    stamp.write_text(data_stamp)
    return archive


def timed(command, output):
    """Wall seconds and CPU seconds (user + system) of one run."""
    shutil.rmtree(output, ignore_errors=True)
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(command)}")
    shutil.rmtree(output, ignore_errors=True)
    return wall, usage.ru_utime + usage.ru_stime


def tree_digest(folder):
    digest = hashlib.sha256()
    for path in sorted(p for p in folder.rglob("*") if p.is_file()):
        digest.update(str(path.relative_to(folder)).encode())
        digest.update(path.read_bytes())
    return digest.hexdigest()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", type=Path, default=ROOT / "build" / "bench", help="data, archives, output")
    parser.add_argument("--size", type=int, default=64, help="MiB of test data (default 64)")
    parser.add_argument("--repeat", type=int, default=5, help="runs per tool and archive (default 5)")
    parser.add_argument("--qovx", type=Path, help="a qovx to use instead of building one")
    parser.add_argument("--only", help="cases to run, e.g. LZMA2-mx5,LZMA-mx1")
    args = parser.parse_args()

    work = args.work.resolve()
    work.mkdir(parents=True, exist_ok=True)
    qovx = args.qovx.resolve() if args.qovx else build_qovx(work)
    data = work / "data"
    make_data(data, args.size)
    archives = work / "archives"
    archives.mkdir(exist_ok=True)
    data_stamp = (data / ".stamp").read_text()
    output = work / "out"
    cases = CASES
    if args.only:
        chosen = set(args.only.split(","))
        cases = [c for c in CASES if f"{c[0]}-mx{c[1]}" in chosen]

    expected = tree_digest(data)
    rows = []
    for method, level in cases:
        archive = make_archive(data, archives, method, level, data_stamp)
        # Checked once, untimed: the speed of a wrong extraction means nothing.
        shutil.rmtree(output, ignore_errors=True)
        subprocess.run([str(qovx), "x", str(archive), str(output), "-j1"], check=True)
        if tree_digest(output) != expected:
            sys.exit(f"qovx extracted {archive.name} wrongly")
        ours, theirs = [], []
        for _ in range(args.repeat):  # alternating, so both see the same machine
            theirs.append(timed([SEVEN_ZIP, "x", "-mmt1", "-y", "-bd", f"-o{output}", str(archive)], output))
            ours.append(timed([str(qovx), "x", str(archive), str(output), "-j1"], output))
        seven = [statistics.median(t[i] for t in theirs) for i in (0, 1)]
        qov = [statistics.median(t[i] for t in ours) for i in (0, 1)]
        rows.append((method, level, archive.stat().st_size, seven, qov))
        log(f"{method} -mx{level}: 7zz {seven[0]:.3f} s ({seven[1]:.3f} CPU), qovx {qov[0]:.3f} s ({qov[1]:.3f} CPU)")

    # On a shared machine wall time carries other people's load; CPU time is the steadier measure of
    # two single-threaded extractions, so the ratio is taken from it.
    print(f"{args.size} MiB of test data, median of {args.repeat} runs; ratio = 7zz CPU s / qovx CPU s")
    print(f"{'method':<7} {'level':>5} {'archive MiB':>11} {'7zz s':>8} {'qovx s':>8} {'7zz CPU':>8} "
          f"{'qovx CPU':>8} {'ratio':>6}")
    for method, level, size, seven, qov in rows:
        print(f"{method:<7} {'-mx' + str(level):>5} {size / 2**20:>11.1f} {seven[0]:>8.3f} {qov[0]:>8.3f} "
              f"{seven[1]:>8.3f} {qov[1]:>8.3f} {seven[1] / qov[1]:>6.2f}")

    parallel_line(args, qovx, data, archives, data_stamp, output, expected)


def parallel_line(args, qovx, data, archives, data_stamp, output, expected):
    """Archives whose parts decode independently, extracted on two threads by both tools: a non-solid
    one (a folder per file) and a solid one in LZMA2 blocks. Wall time, as the point is the second
    core; only meaningful on an otherwise idle machine."""
    for form in ("nonsolid", "blocks"):
        archive = make_archive(data, archives, "LZMA2", 5, data_stamp, form)
        shutil.rmtree(output, ignore_errors=True)
        subprocess.run([str(qovx), "x", str(archive), str(output), "-j2"], check=True)
        if tree_digest(output) != expected:
            sys.exit(f"qovx -j2 extracted {archive.name} wrongly")
        runs = {"7zz -mmt2": [], "qovx -j2": [], "qovx -j1": []}
        for _ in range(args.repeat):
            runs["7zz -mmt2"].append(timed([SEVEN_ZIP, "x", "-mmt2", "-y", "-bd", f"-o{output}", str(archive)],
                                           output))
            runs["qovx -j2"].append(timed([str(qovx), "x", str(archive), str(output), "-j2"], output))
            runs["qovx -j1"].append(timed([str(qovx), "x", str(archive), str(output), "-j1"], output))
        wall = {name: statistics.median(t[0] for t in times) for name, times in runs.items()}
        print(f"LZMA2 -mx5 {form}, two threads: 7zz -mmt2 {wall['7zz -mmt2']:.3f} s, qovx -j2 "
              f"{wall['qovx -j2']:.3f} s, qovx -j1 {wall['qovx -j1']:.3f} s; ratio = 7zz wall / qovx wall "
              f"{wall['7zz -mmt2'] / wall['qovx -j2']:.2f}, speed-up of the second thread "
              f"{wall['qovx -j1'] / wall['qovx -j2']:.2f}")

if __name__ == "__main__":
    main()
