#!/usr/bin/env python3
"""Times pngdraw against libpng_draw on the same pages, in alternated rounds.

    draw_rounds.py BUILD_DIR ROUNDS PAGE.png ...

Each round runs, per page: pngdraw, libpng_draw --whole (the page decoded
into memory first, as pngdraw does) and libpng_draw (row by row, never holding
the page). The time of a run is the CPU time (user + system) of its process;
the table shows medians and their ratios. The PPM files are compared: they
are identical unless the page has a gAMA chunk (libpng_draw leaves gamma
alone), and the exit status is 1 when they differ.
"""
import os
import statistics
import sys
import tempfile


def cpu_ms(argv):
    pid = os.fork()
    if pid == 0:
        try:
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, 1)
            os.execv(argv[0], argv)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return (usage.ru_utime + usage.ru_stime) * 1000


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    build, rounds, pages = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    pngdraw = os.path.join(build, "pngdraw")
    libpng = os.path.join(build, "bench", "png", "libpng_draw")
    with tempfile.TemporaryDirectory() as tmp:
        ours, theirs = os.path.join(tmp, "ours.ppm"), os.path.join(tmp, "libpng.ppm")
        contenders = [
            ("pngdraw", lambda page: [pngdraw, page, ours], ours),
            ("whole", lambda page: [libpng, "--whole", page, theirs], theirs),
            ("rows", lambda page: [libpng, page, theirs], theirs),
        ]
        times = {(page, name): [] for page in pages for name, _, _ in contenders}
        same = {page: True for page in pages}
        for _ in range(rounds):
            for page in pages:
                for name, argv, _ in contenders:
                    times[(page, name)].append(cpu_ms(argv(page)))
                with open(ours, "rb") as a, open(theirs, "rb") as b:
                    same[page] = same[page] and a.read() == b.read()

    print(f"{'page':<22} {'pngdraw':>10} {'libpng whole':>13} {'ratio':>6} "
          f"{'libpng rows':>12} {'ratio':>6}  PPM")
    for page in pages:
        m = {name: statistics.median(times[(page, name)]) for name, _, _ in contenders}
        print(f"{os.path.basename(page):<22} {m['pngdraw']:7.1f} ms {m['whole']:10.1f} ms "
              f"{m['pngdraw'] / m['whole']:6.2f} {m['rows']:9.1f} ms "
              f"{m['pngdraw'] / m['rows']:6.2f}  {'identical' if same[page] else 'DIFFERENT'}")
    print(f"CPU time (user + system) of each process, median of {rounds} alternated rounds; "
          "ratio = pngdraw / libpng (below 1: faster)")
    return 0 if all(same.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
