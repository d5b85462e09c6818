"""run.py BUILD_DIR SCANS_DIR [--rounds N] [--threads N]: the fitting benchmark.

Fits the same scans to 1264 x 1680 at quality 85 with Pagelume (fit_bench:
FitPool, one worker per core), with Pillow (LANCZOS, one process per core,
each fitting its share of the pages) and with libvips (vipsthumbnail, the
command form of `vips thumbnail` that takes many files, one process per
core), in alternated rounds A B C A B C ..., and prints the time ratios.
Then the quality: each fitted page of a sample against Pillow's LANCZOS
result of the same page written losslessly, PSNR by ImageMagick's compare.
"""
import glob
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BOX = (1264, 1680)
QUALITY = 85
HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def shares(pages, n):
    return [pages[i::n] for i in range(n) if pages[i::n]]


def run_parallel(commands, env=None):
    procs = [subprocess.Popen(c, env=env, stdout=subprocess.DEVNULL) for c in commands]
    codes = [p.wait() for p in procs]
    if any(codes):
        sys.exit("a fitting process failed: %s" % commands[codes.index(next(c for c in codes if c))])


def pagelume(build, pages, out, threads):
    env = dict(os.environ, PAGELUME_THREADS=str(threads))
    run_parallel([[os.path.join(build, "bench/fit/fit_bench"), "--box", "%dx%d" % BOX,
                   "--quality", str(QUALITY), "--out", out] + pages], env)


def pillow(pages, out, threads):
    run_parallel([[PYTHON, os.path.join(HERE, "pil_fit.py"), out, str(BOX[0]), str(BOX[1]),
                   str(QUALITY)] + s for s in shares(pages, threads)])


def vips(pages, out, threads):
    env = dict(os.environ, VIPS_CONCURRENCY="1")
    run_parallel([["vipsthumbnail", "-s", "%dx%d" % BOX,
                   "-o", os.path.join(out, "%%s.jpg[Q=%d]" % QUALITY)] + s
                  for s in shares(pages, threads)], env)


def psnr(a, b):
    r = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True,
                       text=True)
    text = r.stderr.strip().split()[0] if r.stderr.strip() else "nan"
    return float("inf") if text == "inf" else float(text)


def main():
    build, scans = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    rounds = int(args[args.index("--rounds") + 1]) if "--rounds" in args else 3
    threads = int(args[args.index("--threads") + 1]) if "--threads" in args else os.cpu_count()
    pages = sorted(glob.glob(os.path.join(scans, "*.jpg")))
    print("%d pages, box %dx%d, quality %d, %d processes or threads each, %d rounds"
          % (len(pages), BOX[0], BOX[1], QUALITY, threads, rounds))
    tools = {"Pagelume": lambda o: pagelume(build, pages, o, threads),
             "Pillow": lambda o: pillow(pages, o, threads),
             "libvips": lambda o: vips(pages, o, threads)}
    times = {k: [] for k in tools}
    cpu = {k: [] for k in tools}
    work = tempfile.mkdtemp(prefix="fit-bench-")
    try:
        outs = {k: os.path.join(work, k) for k in tools}
        for o in outs.values():
            os.makedirs(o)
        for name, fit in tools.items():  # warm the page cache and the programs
            fit(outs[name])
        for r in range(rounds):
            line = []
            for name, fit in tools.items():
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                start = time.perf_counter()
                fit(outs[name])
                times[name].append(time.perf_counter() - start)
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpu[name].append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
                line.append("%s %.2f s (CPU %.2f s)" % (name, times[name][-1], cpu[name][-1]))
            print("round %d: %s" % (r + 1, ", ".join(line)))
        for label, table in (("time", times), ("CPU time", cpu)):
            for other in ("Pillow", "libvips"):
                ratios = [a / b for a, b in zip(table["Pagelume"], table[other])]
                print("Pagelume / %s, %s: median %.3f (rounds: %s)"
                      % (other, label, statistics.median(ratios),
                         " ".join("%.3f" % x for x in ratios)))

        # Quality on every tenth page.
        sample = pages[::10]
        ref, pix = os.path.join(work, "ref"), os.path.join(work, "pixels")
        os.makedirs(ref)
        os.makedirs(pix)
        subprocess.run([PYTHON, os.path.join(HERE, "pil_fit.py"), ref, str(BOX[0]), str(BOX[1]),
                        "png"] + sample, check=True)
        subprocess.run([os.path.join(build, "bench/fit/fit_bench"), "--box", "%dx%d" % BOX,
                        "--pixels", "--out", pix] + sample, check=True)
        ceiling = os.path.join(work, "ceiling")
        os.makedirs(ceiling)
        subprocess.run([PYTHON, "-c", "import sys, os\nfrom PIL import Image\n"
                        "for p in sys.argv[2:]: Image.open(p).save(os.path.join(sys.argv[1], "
                        "os.path.basename(p)[:-4] + '.jpg'), quality=%d)" % QUALITY, ceiling]
                       + sorted(glob.glob(os.path.join(ref, "*.png"))), check=True)
        rows = {"Pagelume JPEG": [], "libvips JPEG": [], "Pagelume pixels before encoding": [],
                "Pillow's own JPEG of the reference (the ceiling at Q%d)" % QUALITY: []}
        for p in sample:
            stem = os.path.splitext(os.path.basename(p))[0]
            r = os.path.join(ref, stem + ".png")
            keys = list(rows)
            rows[keys[0]].append(psnr(os.path.join(outs["Pagelume"], stem + ".jpg"), r))
            rows[keys[1]].append(psnr(os.path.join(outs["libvips"], stem + ".jpg"), r))
            rows[keys[2]].append(psnr(os.path.join(pix, stem + ".ppm"), r))
            rows[keys[3]].append(psnr(os.path.join(ceiling, stem + ".jpg"), r))
        print("PSNR against Pillow's LANCZOS page written losslessly (%d pages):" % len(sample))
        for k, v in rows.items():
            print("  %-58s mean %.2f dB, lowest %.2f dB" % (k, statistics.mean(v), min(v)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
