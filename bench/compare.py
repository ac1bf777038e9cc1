#!/usr/bin/python3
"""Whole job and rotation stage against other tools, on this machine.

Times, in one run and interleaved (each round starts with a different tool),
the host program, Pillow, ImageMagick and the I/O floor turning a W x H
24-bit BMP file, and reports medians, ratios and peak memory (max RSS from
/usr/bin/time). Then the rotation stage alone from the benchmark program:
fast path against the plain loop, and its growth with the canvas. Then the
batch form: many small pictures by a shell loop of single calls, by one and
two worker processes, and by ImageMagick's mogrify.

Run through bench/compare.sh, which installs what this needs and builds.
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "release", "bin")
PILLOW = (
    "import sys\n"
    "from PIL import Image\n"
    "a = int(sys.argv[3])\n"
    "Image.open(sys.argv[1]).rotate(-a, Image.NEAREST, expand=True, fillcolor='white').save(sys.argv[2])\n"
)


def make_picture(path, width, height):
    from PIL import Image

    rng = random.Random(4)
    # Noise: nothing for any tool to take a shortcut on.
    img = Image.frombytes("RGB", (width, height), rng.randbytes(width * height * 3))
    img.save(path, format="BMP")


def timed(command, env=None):
    """Wall seconds and max RSS (KiB) of one run."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        start = time.perf_counter()
        done = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", report.name] + command,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE,
            env=env,
        )
        wall = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode()}")
        return wall, int(report.read().split()[-1])


def canvas_of(bmp):
    with open(bmp, "rb") as f:
        head = f.read(26)
    return int.from_bytes(head[18:22], "little"), int.from_bytes(head[22:26], "little")


def stage(runs, angles, sizes, kinds="plain|fast"):
    """Median real time (ms) per benchmark, from interleaved repetitions."""
    names = "|".join(f"{w}x{h}" for w, h in sizes)
    angle_re = "|".join(str(a) for a in angles)
    out = subprocess.run(
        [
            os.path.join(BIN, "vintrel_bench"),
            f"--benchmark_filter=^Stage/({kinds})/({names})/({angle_re})/",
            f"--benchmark_repetitions={runs}",
            "--benchmark_enable_random_interleaving=true",
            "--benchmark_min_time=0.2",
            "--benchmark_format=json",
        ],
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            times.setdefault(b["run_name"].replace("/real_time", ""), []).append(b["real_time"])
    return {k: statistics.median(v) for k, v in times.items()}


def canvas_pixels(size, angle):
    """Canvas pixels of a w x h picture turned by `angle`, as the library sizes it."""
    import math

    r = angle * 0.017453292500000002
    c, s = abs(math.cos(r)), math.sin(r)
    w, h = size
    cw = max(int(w * c - h * s), int(w * c + h * s))
    ch = max(int(w * s + h * c), int(h * c - w * s))
    return max(cw, 0) * max(ch, 0)


def verdict(ok):
    return "met" if ok else "NOT MET"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9, help="rounds of the whole job (default 9)")
    parser.add_argument("--size", default="4000x3000")
    parser.add_argument("--angle", type=int, default=30)
    parser.add_argument("--dir", help="scratch folder (default: a new one in /dev/shm, else in the temp folder)")
    parser.add_argument("--no-stage", action="store_true", help="skip the rotation-stage measurements")
    parser.add_argument("--no-batch", action="store_true", help="skip the batch measurements")
    parser.add_argument("--batch-only", action="store_true", help="only the batch measurements")
    parser.add_argument("--batch-count", type=int, default=600, help="pictures in the batch (default 600)")
    parser.add_argument("--batch-size", default="640x480")
    parser.add_argument("--batch-runs", type=int, default=3, help="rounds of the batch (default 3)")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    base = args.dir or ("/dev/shm" if os.path.isdir("/dev/shm") else None)
    work = tempfile.mkdtemp(prefix="vintrel-compare-", dir=base)
    try:
        if not args.batch_only:
            run(args, width, height, work)
        if not args.no_batch:
            batch(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args, width, height, work):
    src = os.path.join(work, "in.bmp")
    small = os.path.join(work, "small.bmp")
    make_picture(src, width, height)
    make_picture(small, width // 4, height // 4)
    ours = os.path.join(BIN, "bmprotate2")
    out = lambda name: os.path.join(work, name)  # noqa: E731
    subprocess.run([ours, src, out("ours.bmp"), str(args.angle)], check=True, stdout=subprocess.DEVNULL)
    cw, ch = canvas_of(out("ours.bmp"))
    out_bytes = os.path.getsize(out("ours.bmp"))
    a = str(args.angle)
    huge = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.hugetlb=1")
    tools = [
        ("bmprotate2", [ours, src, out("ours.bmp"), a], None, "ours.bmp"),
        ("Pillow", ["/usr/bin/python3", "-c", PILLOW, src, out("pil.bmp"), a], None, "pil.bmp"),
        ("ImageMagick", ["convert", src, "-background", "white", "-rotate", a, out("im.bmp")], None, "im.bmp"),
        ("I/O floor", [os.path.join(BIN, "io_floor"), src, out("floor.bmp"), str(out_bytes)], None, "floor.bmp"),
        ("bmprotate2, huge pages", [ours, src, out("ours.bmp"), a], huge, "ours.bmp"),
        (f"bmprotate2 {width // 4}x{height // 4}", [ours, small, out("small-out.bmp"), a], None, "small-out.bmp"),
    ]
    walls = {t[0]: [] for t in tools}
    peaks = {t[0]: [] for t in tools}
    for _ in range(1):  # warm the page cache and the tools once
        for name, command, env, target in tools:
            timed(command, env)
    for round_ in range(args.runs):
        order = tools[round_ % len(tools):] + tools[:round_ % len(tools)]
        for name, command, env, target in order:
            if os.path.exists(out(target)):
                os.remove(out(target))
            wall, peak = timed(command, env)
            walls[name].append(wall)
            peaks[name].append(peak)

    med = {k: statistics.median(v) for k, v in walls.items()}
    print(f"Whole job, {width}x{height} 24-bit BMP turned {args.angle} degrees (canvas {cw}x{ch}), "
          f"{args.runs} interleaved rounds, files in {work.rsplit('/', 1)[0]}:")
    print(f"| {'program':<26} | median s | min s  | vs bmprotate2 | peak MiB |")
    print(f"|{'-' * 28}|----------|--------|---------------|----------|")
    for name in walls:
        print(f"| {name:<26} | {med[name]:8.3f} | {min(walls[name]):6.3f} | "
              f"{med[name] / med['bmprotate2']:12.2f}x | {max(peaks[name]) / 1024:8.1f} |")

    source_bytes, canvas_bytes = 3 * width * height, 3 * cw * ch
    budget = (source_bytes + canvas_bytes) / 1024 + 4096
    pillow_ratio = med["Pillow"] / med["bmprotate2"]
    floor_ratio = med["bmprotate2"] / med["I/O floor"]
    peak = max(peaks["bmprotate2"])
    sw, sh = width // 4, height // 4
    subprocess.run([ours, small, out("small-out.bmp"), a], check=True, stdout=subprocess.DEVNULL)
    scw, sch = canvas_of(out("small-out.bmp"))
    pixels = (cw * ch) / (scw * sch)
    job_growth = med["bmprotate2"] / med[f"bmprotate2 {sw}x{sh}"]
    print()
    print(f"Target: Pillow / bmprotate2 >= 3:             {pillow_ratio:6.2f}  {verdict(pillow_ratio >= 3)}")
    print(f"Target: bmprotate2 / I/O floor <= 1.5:        {floor_ratio:6.2f}  {verdict(floor_ratio <= 1.5)}")
    hp = med["bmprotate2, huge pages"]
    print(f"  with 2 MiB pages (GLIBC_TUNABLES=glibc.malloc.hugetlb=1): Pillow / it {med['Pillow'] / hp:.2f}, "
          f"it / I/O floor {hp / med['I/O floor']:.2f}")
    print(f"Target: peak <= source + canvas + 4 MiB:      {peak / 1024:.1f} MiB <= {budget / 1024:.1f} MiB  "
          f"{verdict(peak <= budget)}")
    print(f"Whole job, {pixels:.1f}x the canvas pixels:      {job_growth:6.2f}x the time "
          f"(<= {pixels * 17 / 16:.1f}: {verdict(job_growth <= pixels * 17 / 16)})")
    if args.no_stage:
        return
    sizes = [(width, height), (sw, sh)]
    t = stage(args.runs, [30, 90], sizes)
    # Both beyond the caches (the smaller one's source and canvas take 38 MB).
    beyond = [(2400, 1800), (9600, 7200)]
    t.update(stage(args.runs, [30], beyond, kinds="fast"))
    key = lambda kind, size, angle: f"Stage/{kind}/{size[0]}x{size[1]}/{angle}"  # noqa: E731
    print()
    print(f"Rotation stage in memory, medians of {args.runs} interleaved repetitions (ms):")
    print("| stage                  | plain loop | fast path | speed-up |")
    print("|------------------------|------------|-----------|----------|")
    ok = True
    for angle in (30, 90):
        p, f = t[key("plain", sizes[0], angle)], t[key("fast", sizes[0], angle)]
        ok = ok and p / f >= 4
        print(f"| {width}x{height} at {angle:>3} deg   | {p:10.1f} | {f:9.1f} | {p / f:7.2f}x |")
    small_f = t[key("fast", sizes[1], 30)]
    growth = t[key("fast", sizes[0], 30)] / small_f
    print(f"| {sw}x{sh} at  30 deg    | {t[key('plain', sizes[1], 30)]:10.1f} | {small_f:9.1f} | "
          f"{t[key('plain', sizes[1], 30)] / small_f:7.2f}x |")
    print()
    print(f"Target: stage >= 4x the plain loop at 30 and 90:  {verdict(ok)}")
    big = canvas_pixels(beyond[1], 30) / canvas_pixels(beyond[0], 30)
    big_growth = t[key("fast", beyond[1], 30)] / t[key("fast", beyond[0], 30)]
    print(f"Target: {big:.1f}x the canvas pixels, stage time {big_growth:.2f}x (<= {big * 17 / 16:.1f}): "
          f"{verdict(big_growth <= big * 17 / 16)}  ({beyond[0][0]}x{beyond[0][1]} -> "
          f"{beyond[1][0]}x{beyond[1][1]} at 30 deg, {t[key('fast', beyond[0], 30)]:.1f} -> "
          f"{t[key('fast', beyond[1], 30)]:.1f} ms)")
    print(f"  from {sw}x{sh}, whose source and canvas fit in this machine's caches: {pixels:.1f}x the canvas "
          f"pixels, {growth:.2f}x the time")


def batch(args, work):
    """Many small pictures: a shell loop of single calls, -j 1, -j 2, mogrify."""
    width, height = (int(v) for v in args.batch_size.split("x"))
    count, a = args.batch_count, str(args.angle)
    folder = os.path.join(work, "batch")
    os.makedirs(folder)
    make_picture(os.path.join(folder, "0.bmp"), width, height)
    files = [os.path.join(folder, f"{i}.bmp") for i in range(count)]
    for name in files[1:]:
        shutil.copyfile(files[0], name)
    out = os.path.join(work, "batch-out")
    ours = os.path.join(BIN, "bmprotate2")
    loop = 'b=$1; a=$2; o=$3; shift 3; for f in "$@"; do "$b" "$f" "$o/${f##*/}" "$a" >/dev/null || exit 1; done'
    ways = [
        ("shell loop", ["bash", "-c", loop, "loop", ours, a, out] + files),
        ("-j 1", [ours, "-q", "-j", "1", "-a", a, "-d", out] + files),
        ("-j 2", [ours, "-q", "-j", "2", "-a", a, "-d", out] + files),
        ("mogrify", ["mogrify", "-path", out, "-background", "white", "-rotate", a] + files),
    ]
    walls = {name: [] for name, _ in ways}
    for round_ in range(args.batch_runs):
        for name, command in ways[round_ % len(ways):] + ways[:round_ % len(ways)]:
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            start = time.perf_counter()
            done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            walls[name].append(time.perf_counter() - start)
            if done.returncode != 0 or len(os.listdir(out)) != count:
                sys.exit(f"failed ({done.returncode}): {name}\n{done.stderr.decode()}")
    med = {k: statistics.median(v) for k, v in walls.items()}
    print()
    print(f"Batch, {count} pictures of {width}x{height} turned {args.angle} degrees, medians of "
          f"{args.batch_runs} interleaved rounds, files in {work.rsplit('/', 1)[0]}:")
    print("| way        | median s | min s  | pictures/s | vs -j 2 |")
    print("|------------|----------|--------|------------|---------|")
    for name in walls:
        print(f"| {name:<10} | {med[name]:8.3f} | {min(walls[name]):6.3f} | {count / med[name]:10.1f} | "
              f"{med[name] / med['-j 2']:6.2f}x |")
    loop_ratio, jobs_ratio = med["shell loop"] / med["-j 1"], med["-j 1"] / med["-j 2"]
    mogrify_ratio = med["mogrify"] / med["-j 2"]
    print()
    print(f"Target: shell loop / -j 1 >= 1.5:             {loop_ratio:6.2f}  {verdict(loop_ratio >= 1.5)}")
    print(f"Target: -j 1 / -j 2 >= 1.6:                   {jobs_ratio:6.2f}  {verdict(jobs_ratio >= 1.6)}")
    print(f"Target: mogrify / -j 2 >= 3:                  {mogrify_ratio:6.2f}  {verdict(mogrify_ratio >= 3)}")
    print(f"  processors online: {os.cpu_count()}, load average at the end: "
          f"{' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
