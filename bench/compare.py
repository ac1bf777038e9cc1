#!/usr/bin/python3
"""Whole job and rotation stage against other tools, on this machine.

Times, interleaved (each round in a fresh random order), the host
program writing a new output and replacing an existing one, Pillow,
ImageMagick, OpenCV turning a W x H 24-bit BMP file, and bench/io_floor's
four floors: the I/O floor and the durable floor (only the files' bytes
read and written), the copy floor and the durable copy floor (the input
read into a fresh buffer, its pixel bytes copied into a fresh canvas of the
turned size and written: what any turn that holds both whole pictures
pays). Dirty pages are written back (sync) before every timed run; each
program is started and reaped directly, so no wrapper's time is in any
figure, and its peak memory comes from a separate untimed run under
/usr/bin/time (a child's rusage would count the memory of this Python
process, which it starts as). Reports medians, ratios and peak memory, and
draws the medians as an SVG bar chart. Then the host
program against the copy floors at the angles the targets name (0, 1, 30,
45, 90, 179 and 180 degrees), new outputs and replacements, interleaved.
Then the rotation stage alone from the benchmark program: fast path against
the plain loop, and its growth with the canvas. Then the batch form: many
small pictures by a shell loop of single calls, by one and two worker
processes, and by ImageMagick's mogrify.

Files live on the disk by default (a new folder under /var/tmp); --dir
/dev/shm measures tmpfs. Run through bench/compare.sh, which installs what
this needs and builds.
"""
import argparse
import json
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from chart import bar_chart

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "release", "bin")
PILLOW = (
    "import sys\n"
    "from PIL import Image\n"
    "a = int(sys.argv[3])\n"
    "Image.open(sys.argv[1]).rotate(-a, Image.NEAREST, expand=True, fillcolor='white').save(sys.argv[2])\n"
)
# Clockwise by a, onto the turned picture's bounding box, as the others do.
OPENCV = (
    "import math, sys\n"
    "import cv2\n"
    "a = int(sys.argv[3])\n"
    "img = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR)\n"
    "h, w = img.shape[:2]\n"
    "m = cv2.getRotationMatrix2D((w / 2, h / 2), -a, 1.0)\n"
    "c, s = abs(m[0, 0]), abs(m[0, 1])\n"
    "nw, nh = int(w * c + h * s), int(w * s + h * c)\n"
    "m[0, 2] += nw / 2 - w / 2\n"
    "m[1, 2] += nh / 2 - h / 2\n"
    "out = cv2.warpAffine(img, m, (nw, nh), flags=cv2.INTER_NEAREST,\n"
    "                     borderMode=cv2.BORDER_CONSTANT, borderValue=(255, 255, 255))\n"
    "if not cv2.imwrite(sys.argv[2], out): sys.exit(1)\n"
)
# The real one: a wrapper earlier in PATH would be timed with it.
CONVERT = "/usr/bin/convert"


def make_picture(path, width, height):
    """A 24-bit BMP of noise: nothing for any tool to take a shortcut on."""
    rng = random.Random(4)
    row, pad = 3 * width, (-3 * width) % 4
    pixels = b"".join(rng.randbytes(row) + bytes(pad) for _ in range(height))
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) + struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + pixels)


def timed(command):
    """Wall seconds of one run, after writing back dirty pages; the program
    is started and reaped here, with no wrapper between."""
    with tempfile.TemporaryFile() as errors:
        os.sync()
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=errors)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            errors.seek(0)
            sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{errors.read().decode()}")
        return wall


def peak(command):
    """Max RSS (KiB) of one untimed run, from /usr/bin/time, which starts it
    from a process of its own size."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + command,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if done.returncode != 0:
            sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr.decode()}")
        return int(report.read().split()[-1])


def canvas_of(bmp):
    with open(bmp, "rb") as f:
        head = f.read(26)
    return int.from_bytes(head[18:22], "little"), int.from_bytes(head[22:26], "little")


def filesystem(path):
    found = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "-T", path], capture_output=True, text=True)
    # A folder mounted over twice is listed twice, the one in force last.
    lines = found.stdout.split()
    return lines[-1] if lines else "?"


def machine():
    """One line naming the processor, as lscpu tells it."""
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return "unknown machine"
    info = dict(line.split(":", 1) for line in out.splitlines() if ":" in line)
    get = lambda key: info.get(key, "?").strip()  # noqa: E731
    guest = f", {get('Hypervisor vendor')} guest" if "Hypervisor vendor" in info else ""
    return (f"{get('Model name')} (family {get('CPU family')} model {get('Model')}), "
            f"{get('CPU(s)')} CPUs{guest}")


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


def target(text, value, ok):
    print(f"Target: {text:<44} {value:6.2f}  {verdict(ok)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9, help="rounds of the whole job (default 9)")
    parser.add_argument("--size", default="4000x3000")
    parser.add_argument("--angle", type=int, default=30)
    parser.add_argument("--dir", default="/var/tmp",
                        help="where the scratch folder is made (default /var/tmp, on the disk; /dev/shm for tmpfs)")
    parser.add_argument("--svg", help="bar chart to write (default doc/compare-disk.svg or compare-tmpfs.svg)")
    parser.add_argument("--no-stage", action="store_true", help="skip the rotation-stage measurements")
    parser.add_argument("--target-angles", default="0,1,30,45,90,179,180",
                        help="angles at which the whole job is held to the copy floors (default 0,1,30,45,90,179,180)")
    parser.add_argument("--no-targets", action="store_true", help="skip the whole job against the copy floors")
    parser.add_argument("--targets-only", action="store_true",
                        help="only the whole job against the copy floors (no other tools, stage or batch)")
    parser.add_argument("--no-batch", action="store_true", help="skip the batch measurements")
    parser.add_argument("--batch-only", action="store_true", help="only the batch measurements")
    parser.add_argument("--batch-count", type=int, default=600, help="pictures in the batch (default 600)")
    parser.add_argument("--batch-size", default="640x480")
    parser.add_argument("--batch-runs", type=int, default=3, help="rounds of the batch (default 3)")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    work = tempfile.mkdtemp(prefix="vintrel-compare-", dir=args.dir)
    try:
        if not args.batch_only and not args.targets_only:
            run(args, width, height, work)
        if not args.batch_only and not args.no_targets:
            whole_job_targets(args, width, height, work)
        if not args.no_batch and not args.targets_only:
            # The batch's targets are set on tmpfs, wherever the rest ran.
            shm = tempfile.mkdtemp(prefix="vintrel-batch-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
            try:
                batch(args, shm)
            finally:
                shutil.rmtree(shm, ignore_errors=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args, width, height, work):
    fs = filesystem(work)
    place = "tmpfs" if fs == "tmpfs" else "disk"
    src = os.path.join(work, "in.bmp")
    small = os.path.join(work, "small.bmp")
    make_picture(src, width, height)
    make_picture(small, width // 4, height // 4)
    ours = os.path.join(BIN, "bmprotate2")
    floor = os.path.join(BIN, "io_floor")
    out = lambda name: os.path.join(work, name)  # noqa: E731
    subprocess.run([ours, src, out("ours.bmp"), str(args.angle)], check=True, stdout=subprocess.DEVNULL)
    cw, ch = canvas_of(out("ours.bmp"))
    out_bytes = str(os.path.getsize(out("ours.bmp")))
    a = str(args.angle)
    sw, sh = width // 4, height // 4
    small_name = f"bmprotate2 {sw}x{sh}"
    # (name, command, output, whether the output exists when it runs)
    tools = [
        ("bmprotate2", [ours, src, out("ours.bmp"), a], "ours.bmp", False),
        ("bmprotate2, replacing", [ours, src, out("again.bmp"), a], "again.bmp", True),
        ("Pillow", ["/usr/bin/python3", "-c", PILLOW, src, out("pil.bmp"), a], "pil.bmp", False),
        ("ImageMagick", [CONVERT, src, "-background", "white", "-rotate", a, out("im.bmp")], "im.bmp", False),
        ("OpenCV", ["/usr/bin/python3", "-c", OPENCV, src, out("cv.bmp"), a], "cv.bmp", False),
        ("I/O floor", [floor, src, out("floor.bmp"), out_bytes], "floor.bmp", False),
        ("durable floor", [floor, src, out("durable.bmp"), out_bytes, "--durable"], "durable.bmp", True),
        ("copy floor", [floor, src, out("copy.bmp"), out_bytes, "--copy"], "copy.bmp", False),
        ("durable copy floor", [floor, src, out("copy-durable.bmp"), out_bytes, "--copy", "--durable"],
         "copy-durable.bmp", True),
        (small_name, [ours, small, out("small-out.bmp"), a], "small-out.bmp", False),
    ]
    walls = {t[0]: [] for t in tools}
    # Warms the page cache and the tools once, and gives each one's peak.
    peaks = {name: peak(command) for name, command, _, _ in tools}
    # A fresh order each round: on a guest that hands freed memory back to its
    # host, a run's time depends on what ran just before it, and a fixed
    # rotation would always give each tool the same predecessor.
    shuffle = random.Random(11)
    for round_ in range(args.runs):
        order = tools[:]
        shuffle.shuffle(order)
        for name, command, target_, replaces in order:
            if not replaces and os.path.exists(out(target_)):
                os.remove(out(target_))
            walls[name].append(timed(command))

    med = {k: statistics.median(v) for k, v in walls.items()}
    print(f"Machine: {machine()}")
    print(f"Whole job, {width}x{height} 24-bit BMP turned {args.angle} degrees (canvas {cw}x{ch}), "
          f"{args.runs} interleaved rounds, sync before each, files in {os.path.dirname(work)} ({fs}, {place}):")
    print(f"| {'program':<26} | median s | min s  | vs bmprotate2 | peak MiB |")
    print(f"|{'-' * 28}|----------|--------|---------------|----------|")
    for name in walls:
        print(f"| {name:<26} | {med[name]:8.3f} | {min(walls[name]):6.3f} | "
              f"{med[name] / med['bmprotate2']:12.2f}x | {peaks[name] / 1024:8.1f} |")

    svg = args.svg or os.path.join(ROOT, "doc", f"compare-{place}.svg")
    chart = [(name, med[name]) for name in walls if name != small_name]
    with open(svg, "w") as f:
        f.write(bar_chart(f"{width}x{height} turned {args.angle} degrees, {place} ({fs}), "
                          f"median of {args.runs} (s, log scale)", chart, highlight="bmprotate2"))
    print(f"\nChart: {svg}")

    source_bytes, canvas_bytes = 3 * width * height, 3 * cw * ch
    budget = (source_bytes + canvas_bytes) / 1024 + 4096
    ours_new, ours_again = med["bmprotate2"], med["bmprotate2, replacing"]
    ours_peak = peaks["bmprotate2"]
    subprocess.run([ours, small, out("small-out.bmp"), a], check=True, stdout=subprocess.DEVNULL)
    scw, sch = canvas_of(out("small-out.bmp"))
    pixels = (cw * ch) / (scw * sch)
    job_growth = ours_new / med[small_name]
    print()
    # The copy floors are what this library's way of working costs at the
    # least; the I/O floors, which hold no whole picture, are shown beside them.
    # The targets at every angle they name follow (whole_job_targets).
    print(f"  bmprotate2 / copy floor {ours_new / med['copy floor']:.2f}, replacing / durable copy floor "
          f"{ours_again / med['durable copy floor']:.2f}")
    target("Pillow / bmprotate2 >= 3:", med["Pillow"] / ours_new, med["Pillow"] / ours_new >= 3)
    if place == "tmpfs":
        target("OpenCV / bmprotate2 >= 3:", med["OpenCV"] / ours_new, med["OpenCV"] / ours_new >= 3)
    print(f"  bmprotate2 / I/O floor {ours_new / med['I/O floor']:.2f}, replacing / durable floor "
          f"{ours_again / med['durable floor']:.2f}, replacing / I/O floor {ours_again / med['I/O floor']:.2f}")
    print(f"  copy floor / I/O floor {med['copy floor'] / med['I/O floor']:.2f}, durable copy floor / "
          f"durable floor {med['durable copy floor'] / med['durable floor']:.2f}, durable floor / I/O floor "
          f"{med['durable floor'] / med['I/O floor']:.2f}")
    print(f"Target: peak <= source + canvas + 4 MiB:       {ours_peak / 1024:.1f} MiB <= {budget / 1024:.1f} MiB  "
          f"{verdict(ours_peak <= budget)}")
    growth_limit = pixels * 33 / 32
    print(f"Whole job, {pixels:.1f}x the canvas pixels:       {job_growth:6.2f}x the time "
          f"(<= {growth_limit:.1f}: {verdict(job_growth <= growth_limit)})")
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
        ok = ok and p / f >= 7
        print(f"| {width}x{height} at {angle:>3} deg   | {p:10.1f} | {f:9.1f} | {p / f:7.2f}x |")
    small_f = t[key("fast", sizes[1], 30)]
    growth = t[key("fast", sizes[0], 30)] / small_f
    print(f"| {sw}x{sh} at  30 deg    | {t[key('plain', sizes[1], 30)]:10.1f} | {small_f:9.1f} | "
          f"{t[key('plain', sizes[1], 30)] / small_f:7.2f}x |")
    print()
    print(f"Target: stage >= 7x the plain loop at 30 and 90:  {verdict(ok)}")
    big = canvas_pixels(beyond[1], 30) / canvas_pixels(beyond[0], 30)
    big_growth = t[key("fast", beyond[1], 30)] / t[key("fast", beyond[0], 30)]
    print(f"Target: {big:.1f}x the canvas pixels, stage time {big_growth:.2f}x (<= {big * 33 / 32:.1f}): "
          f"{verdict(big_growth <= big * 33 / 32)}  ({beyond[0][0]}x{beyond[0][1]} -> "
          f"{beyond[1][0]}x{beyond[1][1]} at 30 deg, {t[key('fast', beyond[0], 30)]:.1f} -> "
          f"{t[key('fast', beyond[1], 30)]:.1f} ms)")
    print(f"  from {sw}x{sh}, whose source and canvas fit in this machine's caches: {pixels:.1f}x the canvas "
          f"pixels, {growth:.2f}x the time")


def job_limit(angle):
    """The most the whole job may take, as a multiple of its copy floor: near 0
    and 180 degrees rows are copied as memory is, elsewhere pixel by pixel."""
    turn = angle % 180
    return 1.08 if turn <= 1 or turn >= 179 else 1.20


def whole_job_targets(args, width, height, work):
    """The host program against the copy floors at each target angle: a new
    output against the copy floor, a replacement against the durable one."""
    angles = [int(a) for a in args.target_angles.split(",") if a.strip()]
    src = os.path.join(work, "targets-in.bmp")
    make_picture(src, width, height)
    ours, floor = os.path.join(BIN, "bmprotate2"), os.path.join(BIN, "io_floor")
    out = lambda name: os.path.join(work, name)  # noqa: E731
    jobs = []  # (angle, kind, command, output, whether the output exists when it runs)
    budgets = {}
    for a in angles:
        first = out(f"t{a}-new.bmp")
        subprocess.run([ours, src, first, str(a)], check=True, stdout=subprocess.DEVNULL)
        cw, ch = canvas_of(first)
        size = str(os.path.getsize(first))
        budgets[a] = (3 * width * height + 3 * cw * ch) / 1024 + 4096
        jobs += [
            (a, "new", [ours, src, first, str(a)], first, False),
            (a, "replacing", [ours, src, out(f"t{a}-again.bmp"), str(a)], out(f"t{a}-again.bmp"), True),
            (a, "copy floor", [floor, src, out(f"t{a}-copy.bmp"), size, "--copy"], out(f"t{a}-copy.bmp"), False),
            (a, "durable copy floor", [floor, src, out(f"t{a}-durable.bmp"), size, "--copy", "--durable"],
             out(f"t{a}-durable.bmp"), True),
        ]
    walls = {(a, kind): [] for a, kind, *_ in jobs}
    # Each output made once, the caches warm, and each job's peak.
    peaks = {(a, kind): peak(command) for a, kind, command, _, _ in jobs}
    shuffle = random.Random(12)
    for _ in range(args.runs):
        order = jobs[:]
        shuffle.shuffle(order)
        for a, kind, command, target_, replaces in order:
            if not replaces and os.path.exists(target_):
                os.remove(target_)
            walls[(a, kind)].append(timed(command))
    med = {k: statistics.median(v) * 1000 for k, v in walls.items()}
    fs = filesystem(work)
    print()
    print(f"Machine: {machine()}")
    print(f"Whole job against the copy floors, {width}x{height}, medians of {args.runs} interleaved rounds "
          f"(ms), sync before each, files in {os.path.dirname(work)} ({fs}):")
    print("| angle | new   | copy floor | new / floor | replacing | durable copy floor | replacing / floor | "
          "target | peak MiB |")
    print("|-------|-------|------------|-------------|-----------|--------------------|-------------------|"
          "--------|----------|")
    verdicts = []
    for a in angles:
        new, again = med[(a, "new")], med[(a, "replacing")]
        floor_new, floor_again = med[(a, "copy floor")], med[(a, "durable copy floor")]
        limit = job_limit(a)
        most = max(peaks[(a, "new")], peaks[(a, "replacing")])
        ok = new / floor_new <= limit and again / floor_again <= limit and most <= budgets[a]
        verdicts.append(ok)
        print(f"| {a:5} | {new:5.1f} | {floor_new:10.1f} | {new / floor_new:11.2f} | {again:9.1f} | "
              f"{floor_again:18.1f} | {again / floor_again:17.2f} | {limit:6.2f} | {most / 1024:8.1f} |")
    print()
    print(f"Target: whole job within its limit of the copy floors (and peak <= source + canvas + 4 MiB) "
          f"at every angle: {verdict(all(verdicts))}")
    print(f"  load average at the end: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


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
