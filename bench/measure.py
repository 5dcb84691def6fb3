#!/usr/bin/env python3
"""Times the file actions of Tonvald.nbp (through bench's driver, tvbench)
side by side with cp and sox on the same wave, and prints a Markdown report.

    measure.py BUILD_DIR WORK_DIR WAVE [WAVE...]

Every measurement is one child process, started after `sync` so that no
writeback of an earlier run is charged to it, with its destination removed
first (every tool creates a new file). Times are wall-clock medians; memory is
the child's peak resident set (ru_maxrss, through /usr/bin/time)."""
import os
import statistics
import subprocess
import sys
import time

REPEATS = int(os.environ.get("TONVALD_BENCH_REPEATS", "5"))


def run_once(argv, out):
    if out and os.path.exists(out):
        os.remove(out)
    os.sync()
    # The child is started by /usr/bin/time, which reports its peak memory:
    # a child forked by this interpreter would count the interpreter's own
    # pages as its peak.
    rss = os.path.join(os.path.dirname(out), ".peak")
    null = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
            (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)]
    timed = ["/usr/bin/time", "-f", "%M", "-o", rss] + argv
    start = time.perf_counter()
    pid = os.posix_spawn(timed[0], timed, os.environ, file_actions=null)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("failed: " + " ".join(argv))
    with open(rss) as f:
        peak = int(f.read().split()[-1]) * 1024
    os.remove(rss)
    return elapsed, peak


def measure(argv, out, repeats):
    run_once(argv, out)  # warm-up: the page cache holds the inputs afterwards
    times, peaks = [], []
    for _ in range(repeats):
        t, m = run_once(argv, out)
        times.append(t)
        peaks.append(m)
    return statistics.median(times), max(peaks)


def cases(wave, work):
    """(name, tvbench arguments, sox arguments or None, floor) for one wave."""
    out = os.path.join(work, "out.wav")
    second = wave
    ms = lambda s: str(int(s * 1000))
    minutes = os.path.getsize(wave) / (44100 * 4 * 60)
    half = minutes * 30  # seconds
    return out, [
        ("duVozaInfo", ["duVozaInfo", wave, "Info"], None, None),
        ("duVozaSub (keep 5 min from 1 min)", ["duVozaSub", wave, out, ms(60), ms(300), "R"],
         ["trim", "60", "300"], "cp"),
        ("duVozaConcat (the file twice)", ["duVozaConcat", wave, second, "0", out, "R"],
         "concat", "cat"),
        ("duVozaInvert", ["duVozaInvert", wave, out, "R"], ["reverse"], "cp"),
        ("duVozaDelete (1 min from the middle)",
         ["duVozaDelete", wave, out, ms(half), ms(60), "R"],
         ["trim", "0", "=%d" % half, "=%d" % (half + 60)], "cp"),
        ("duVozaTrimStart (first minute)", ["duVozaTrimStart", wave, out, ms(60), "R"],
         ["trim", "60"], "cp"),
        ("duVozaTrimEnd (last minute)", ["duVozaTrimEnd", wave, out, ms(60), "R"],
         ["trim", "0", "-60"], "cp"),
        ("duVozaChangeVolume (+50%)", ["duVozaChangeVolume", wave, out, "50", "R"],
         ["vol", "1.5"], "cp"),
        ("duVozaInsertSilence (10 s in the middle)",
         ["duVozaInsertSilence", wave, out, ms(half), ms(10), "R"],
         ["pad", "10@%d" % half], "cp"),
        ("duVozaConvertToPCM (22050 Hz 8-bit mono)",
         ["duVozaConvertToPCM", wave, out, "PCM: 22,050 kHz, 8 Bit, Mono", "R"],
         ["-r", "22050", "-b", "8", "-c", "1"], "cp"),
        ("duVozaConvertToPCM (48000 Hz)",
         ["duVozaConvertToPCM", wave, out, "PCM: 48,000 kHz, 16 Bit, Stereo", "R"],
         ["rate", "48000"], "cp"),
    ]


def sox_argv(wave, out, effect):
    if effect == "concat":
        return ["sox", wave, wave, out]
    if effect[0].startswith("-"):  # output format options go before the output
        return ["sox", wave] + effect + [out]
    return ["sox", wave, out] + effect


def fmt_time(t):
    return "%.3f s" % t


def fmt_mem(m, size):
    return "%.0f MB (%.2fx)" % (m / 1e6, m / size)


def main():
    build, work, waves = sys.argv[1], sys.argv[2], sys.argv[3:]
    driver = os.path.join(build, "tvbench")
    for wave in waves:
        size = os.path.getsize(wave)
        minutes = size / (44100 * 4 * 60)
        repeats = REPEATS if minutes <= 15 else max(3, REPEATS // 2)
        out, table = cases(wave, work)
        floors = {
            "cp": measure(["cp", wave, out], out, repeats),
            "cat": measure(["sh", "-c", 'cat "$0" "$0" > "$1"', wave, out], out, repeats),
        }
        print("\n### %.0f-minute file (%s, %.1f MB), median of %d runs\n"
              % (minutes, os.path.basename(wave), size / 1e6, repeats))
        print("| action | duVoza | peak memory (x file) | x floor | sox | peak memory | duVoza / sox |")
        print("|---|---|---|---|---|---|---|")
        print("| `cp` (floor of a one-file edit) | %s | %s | | | | |"
              % (fmt_time(floors["cp"][0]), fmt_mem(floors["cp"][1], size)))
        print("| `cat` of the file twice (floor of the join) | %s | %s | | | | |"
              % (fmt_time(floors["cat"][0]), fmt_mem(floors["cat"][1], size)))
        for name, args, effect, floor in table:
            t, m = measure([driver, "exec"] + args, out, repeats)
            row = "| %s | %s | %s | " % (name, fmt_time(t), fmt_mem(m, size))
            row += ("%.1fx %s" % (t / floors[floor][0], floor)) if floor else "(%.1fx cp)" % (
                t / floors["cp"][0])
            if effect:
                st, sm = measure(sox_argv(wave, out, effect), out, repeats)
                row += " | %s | %s | %.2f |" % (fmt_time(st), fmt_mem(sm, size), t / st)
            else:
                row += " | | | |"
            print(row, flush=True)
        if os.path.exists(out):
            os.remove(out)


main()
