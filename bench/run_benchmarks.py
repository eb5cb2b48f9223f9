#!/usr/bin/env python3
"""Whole-process benchmarks of iniseal against standard tools, side by side.

Generates large INI files (ASCII, UTF-8 with multi-byte text, and the same
text as UTF-16LE), then times iniseal's seal and check modes against cp,
sha256sum and iconv on the same files, in alternating pairs, and prints the
median times, the median of the pairwise ratios and iniseal's peak resident
memory (from /usr/bin/time). Every timed run starts after sync, with the page
cache warm. Also times a small pair of files sealed the way a deployment does
(no arguments) against cp of both, and a file 16 times smaller than the large
one, for linear growth.

Only python3, cp, sha256sum, iconv and /usr/bin/time are needed.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20

PLAIN_WORDS = ["alpha", "beta", "gamma", "delta", "server", "port", "timeout", "path",
               "user", "value", "retry", "cache", "mode", "level", "name", "host"]
WIDE_WORDS = ["café", "größe", "naïve", "Øre", "日本語", "данные", "€uro", "ελληνικά",
              "ñandú", "über", "中文字", "Ærø", "déjà", "привет", "東京", "κόσμος"]


def ini_text(target_bytes, multibyte, seed=7):
    """INI-like text of about target_bytes UTF-8 bytes, CR LF line ends.

    Sections, comments, blank lines and key=value lines with leading blanks;
    with multibyte the values mix ASCII with Latin accents, Greek, Cyrillic
    and CJK text.
    """
    rng = random.Random(seed)
    values = WIDE_WORDS if multibyte else PLAIN_WORDS
    lines = ["0x0"]
    size = 5
    i = 0
    while size < target_bytes:
        if i % 40 == 0:
            line = "[section%d]" % (i // 40)
        elif i % 17 == 0:
            line = "; %s %s setting" % (rng.choice(PLAIN_WORDS), rng.choice(values))
        elif i % 23 == 0:
            line = ""
        else:
            indent = " " * rng.choice((0, 0, 2, 4))
            words = " ".join(rng.choice(values) for _ in range(rng.randint(1, 4)))
            line = "%s%s%d=%s %d" % (indent, rng.choice(PLAIN_WORDS), i, words,
                                     rng.randrange(1000000))
        lines.append(line)
        size += len(line.encode("utf-8")) + 2
        i += 1
    return "\r\n".join(lines) + "\r\n"


def write_inputs(workdir, size_mib):
    """Writes the input files and returns their paths by name."""
    ascii_text = ini_text(size_mib * MIB, multibyte=False)
    wide_text = ini_text(size_mib * MIB, multibyte=True)
    small_text = ini_text(8 * 1024, multibyte=False, seed=11)
    small_wide = ini_text(8 * 1024, multibyte=True, seed=13)
    files = {
        "ascii": ("ascii.ini", ascii_text.encode("ascii")),
        "ascii16th": ("ascii16th.ini", ini_text(size_mib * MIB // 16, False).encode("ascii")),
        "utf8": ("utf8.ini", wide_text.encode("utf-8")),
        # With its mark, so that iconv's "UTF-16" reads it as little-endian.
        "utf16": ("utf16le.ini", b"\xff\xfe" + wide_text.encode("utf-16-le")),
        "pair": ("hostcfg.ini", small_text.encode("ascii")),
        "pairu": ("hostcfgu.ini", small_wide.encode("utf-8")),
    }
    paths = {}
    for key, (name, data) in files.items():
        path = os.path.join(workdir, name)
        with open(path, "wb") as f:
            f.write(data)
        paths[key] = path
    return paths


def timed_run(argv, cwd):
    """Runs argv once and returns its wall time in seconds."""
    start = time.perf_counter()
    proc = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed with %d: %s" % (" ".join(argv), proc.returncode,
                                          proc.stderr.decode(errors="replace")))
    return wall


def peak_rss(argv, cwd):
    """Peak resident memory of one run of argv, in bytes, from /usr/bin/time.

    A child's peak as getrusage reports it includes the memory of the process
    that forked it, so the small time program forks it rather than Python.
    """
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, cwd=cwd,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit("%s failed: %s" % (" ".join(argv), proc.stderr.decode(errors="replace")))
    return int(proc.stderr.decode().strip().splitlines()[-1]) * 1024


class Pair:
    """A command timed against a reference command, in alternating order."""

    def __init__(self, label, argv, ref_label, ref_argv, prepare=None, ref_prepare=None):
        self.label = label
        self.argv = argv
        self.ref_label = ref_label
        self.ref_argv = ref_argv
        self.prepare = prepare or (lambda: None)
        self.ref_prepare = ref_prepare or (lambda: None)
        self.walls, self.ref_walls, self.ratios = [], [], []
        self.rss = 0

    def run(self, cwd, runs, warmup):
        for i in range(warmup + runs):
            order = (0, 1) if i % 2 == 0 else (1, 0)
            result = {}
            for which in order:
                (self.prepare if which == 0 else self.ref_prepare)()
                os.sync()
                result[which] = timed_run(self.argv if which == 0 else self.ref_argv, cwd)
            if i < warmup:
                continue
            self.walls.append(result[0])
            self.ref_walls.append(result[1])
            self.ratios.append(result[0] / result[1])
        self.prepare()
        self.rss = peak_rss(self.argv, cwd)
        return self

    def median(self):
        return statistics.median(self.walls)

    def ratio(self):
        return statistics.median(self.ratios)

    def peak(self):
        return self.rss


def copier(source, target):
    return lambda: shutil.copyfile(source, target)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=os.path.join(here, "..", "build", "bench", "iniseal"),
                        help="the iniseal executable (default: the bench preset's)")
    parser.add_argument("--runs", type=int, default=7, help="timed pairs per comparison")
    parser.add_argument("--small-runs", type=int, default=31, help="timed pairs for the small pair")
    parser.add_argument("--size-mib", type=int, default=64, help="size of the large files")
    parser.add_argument("--workdir", help="scratch directory (default: a new temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch directory")
    parser.add_argument("--only", help="time only the comparisons whose label holds this text")
    args = parser.parse_args()

    tool = os.path.abspath(args.tool)
    if not os.access(tool, os.X_OK):
        sys.exit("no executable at %s; build the bench preset first" % tool)
    workdir = os.path.abspath(args.workdir or tempfile.mkdtemp(prefix="iniseal-bench-"))
    os.makedirs(workdir, exist_ok=True)
    try:
        run_all(tool, workdir, args)
    finally:
        if not args.keep and not args.workdir:
            shutil.rmtree(workdir, ignore_errors=True)


def describe_machine():
    cpu = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    uname = os.uname()
    return "%s, %d cores, %s %s" % (cpu, os.cpu_count() or 0, uname.sysname, uname.release)


def run_all(tool, workdir, args):
    print("machine: %s" % describe_machine())
    print("generating inputs in %s ..." % workdir, flush=True)
    paths = write_inputs(workdir, args.size_mib)
    # Bare names resolve beside the tool, and its temporary file is made
    # there, so the tool runs from the scratch directory.
    exe = os.path.join(workdir, "iniseal")
    shutil.copy2(tool, exe)
    work = os.path.join(workdir, "work.ini")
    out = os.path.join(workdir, "out.ini")
    pair_out = os.path.join(workdir, "pair-out")
    os.makedirs(pair_out, exist_ok=True)
    sizes = {key: os.path.getsize(path) for key, path in paths.items()}

    def seal_of(key):
        # Sealing rewrites the file, so each run gets a fresh copy (untimed).
        return dict(argv=[exe, work], prepare=copier(paths[key], work))

    pairs = []
    comparisons = [
        ("seal ascii", seal_of("ascii"), "cp", ["cp", paths["ascii"], out], 3.0),
        ("check ascii", dict(argv=[exe, "/S", paths["ascii"]]), "sha256sum",
         ["sha256sum", paths["ascii"]], 0.5),
        ("seal utf-16le", seal_of("utf16"), "iconv",
         ["iconv", "-f", "UTF-16", "-t", "UTF-8", "-o", out, paths["utf16"]], 1.0),
        ("seal utf-8", seal_of("utf8"), "cp", ["cp", paths["utf8"], out], None),
        ("check utf-8", dict(argv=[exe, "/S", paths["utf8"]]), "sha256sum",
         ["sha256sum", paths["utf8"]], None),
        ("seal ascii 1/16", dict(seal_of("ascii16th"), ref_prepare=copier(paths["ascii"], work)),
         "seal ascii", [exe, work], None),
    ]
    for label, cmd, ref_label, ref_argv, goal in comparisons:
        if args.only and args.only not in label:
            continue
        print("timing %s against %s ..." % (label, ref_label), flush=True)
        pair = Pair(label, cmd["argv"], ref_label, ref_argv, cmd.get("prepare"),
                    cmd.get("ref_prepare"))
        pairs.append((pair.run(workdir, args.runs, 1), goal))

    small = None
    if not args.only or args.only in "seal small pair":
        print("timing the small pair against cp ...", flush=True)
        small = Pair("seal small pair", [exe], "cp", ["cp", paths["pair"], paths["pairu"], pair_out])
        small.run(workdir, args.small_runs, 3)

    report(pairs, small, sizes, args)


def report(pairs, small, sizes, args):
    print()
    print("%-18s %10s %-10s %10s %8s %6s %9s  %s" %
          ("command", "median s", "against", "median s", "ratio", "goal", "peak MiB", "verdict"))
    verdicts = []
    input_of = {"seal ascii": "ascii", "check ascii": "ascii", "seal utf-16le": "utf16",
                "seal utf-8": "utf8", "check utf-8": "utf8"}
    for pair, goal in pairs:
        if pair.label == "seal ascii 1/16":
            continue
        ok = goal is None or pair.ratio() <= goal
        verdict = "" if goal is None else ("met" if ok else "MISSED")
        verdicts.append(ok)
        print("%-18s %10.3f %-10s %10.3f %8.2f %6s %9.1f  %s" %
              (pair.label, pair.median(), pair.ref_label, statistics.median(pair.ref_walls),
               pair.ratio(), "" if goal is None else "<=%g" % goal, pair.peak() / MIB, verdict))
    if small:
        ok = small.ratio() <= 2.0
        verdicts.append(ok)
        print("%-18s %10.4f %-10s %10.4f %8.2f %6s %9.1f  %s" %
              (small.label, small.median(), small.ref_label, statistics.median(small.ref_walls),
               small.ratio(), "<=2", small.peak() / MIB, "met" if ok else "MISSED"))

    print()
    for pair, _ in pairs:
        if pair.label.startswith("seal") and pair.label in input_of:
            size = sizes[input_of[pair.label]]
            times = pair.peak() / size
            ok = times <= 4.0
            verdicts.append(ok)
            print("peak RSS of %-14s %7.1f MiB for %6.1f MiB of input: %4.2f x (goal <= 4)  %s" %
                  (pair.label, pair.peak() / MIB, size / MIB, times, "met" if ok else "MISSED"))
    growth = next((p for p, _ in pairs if p.label == "seal ascii 1/16"), None)
    if growth:
        factor = 1 / growth.ratio()
        ok = factor <= 20.0
        verdicts.append(ok)
        print("linear growth: %.1f MiB sealed in %.3f s, %.1f MiB in %.3f s: 16x input takes %.1fx time"
              " (goal <= 20)  %s" % (sizes["ascii16th"] / MIB, growth.median(),
                                     sizes["ascii"] / MIB, statistics.median(growth.ref_walls),
                                     factor, "met" if ok else "MISSED"))
    print()
    print("medians of %d timed pairs (small pair: %d) after warm-up; ratio = median of the pairwise"
          " ratios of wall times" % (args.runs, args.small_runs))
    print("goals met: %d of %d" % (sum(verdicts), len(verdicts)))


if __name__ == "__main__":
    main()
