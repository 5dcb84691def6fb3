#!/usr/bin/env python3
"""Times the file actions of Tonvald.nbp (through bench's driver, tvbench)
side by side with cp and sox on the same wave, and prints a Markdown report.

    measure.py BUILD_DIR WORK_DIR WAVE [WAVE...]

Then plays and records through the engine's device objects on the simulated
devices (through tvdevbench), at real time and on a fast clock, with the
first (10-minute) wave.

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


def run_device(argv, clock):
    """One tvdevbench run on the simulated devices with `clock`: the figures it
    printed (name=value) and its peak memory."""
    env = dict(os.environ, TONVALD_WAVE="clock=" + clock)
    timed = ["/usr/bin/time", "-f", "%M", "-o", "/dev/stderr"] + argv
    done = subprocess.run(timed, env=env, capture_output=True, text=True, check=True)
    figures = dict(item.split("=") for item in done.stdout.split())
    figures = {k: float(v) for k, v in figures.items()}
    return figures, int(done.stderr.split()[-1]) * 1024


def device_median(argv, clock, repeats):
    runs = [run_device(argv, clock) for _ in range(repeats)]
    keys = runs[0][0].keys()
    figures = {k: statistics.median(r[0][k] for r in runs) for k in keys}
    figures["underruns"] = max(r[0].get("underruns", 0) for r in runs)
    return figures, max(r[1] for r in runs)


def devices(build, work, wave):
    driver = os.path.join(build, "tvdevbench")
    record = os.path.join(work, "recording.wav")
    size = os.path.getsize(wave)
    buffers = 2 * 176400  # BufferCount 2 of BufferLength 1000 ms at 44.1 kHz 16-bit stereo
    fast = "fast:100"
    repeats = max(3, REPEATS // 2)
    copy, _ = device_median([driver, "copy", wave], "real", REPEATS)
    floor = copy["cpu_s"] / (copy["audio_ms"] / 60000)
    # Real time: 20 s of each, once; the fast clock plays and records it all.
    play_real, _ = device_median([driver, "play", wave, "20"], "real", 1)
    play_fast, peak = device_median([driver, "play", wave, "0"], fast, repeats)
    rec_real, _ = device_median([driver, "record", record, "20"], "real", 1)
    rec_fast, _ = device_median([driver, "record", record, "600"], fast, repeats)
    if os.path.exists(record):
        os.remove(record)
    per_minute = lambda f: f["cpu_s"] / (f["audio_ms"] / 60000)
    cell = lambda f: "%.1f ms (%.0fx floor)" % (per_minute(f) * 1000, per_minute(f) / floor)
    print("\n### Devices (%s, simulated devices), medians\n" % os.path.basename(wave))
    print("| measurement | real time | fast clock (100x) |")
    print("|---|---|---|")
    print("| floor: copying one minute of the audio once in memory | %.2f ms | |" % (floor * 1000))
    print("| CPU per minute played (default buffers) | %s | %s |" % (cell(play_real), cell(play_fast)))
    print("| CPU per minute recorded (44.1 kHz 16-bit stereo) | %s | %s |"
          % (cell(rec_real), cell(rec_fast)))
    print("| `Active := True` to the first buffer queued | %.2f ms | %.2f ms |"
          % (play_real["first_buffer_ms"], play_fast["first_buffer_ms"]))
    print("| underruns | %d | %d |" % (play_real["underruns"], play_fast["underruns"]))
    print("| peak memory playing the whole file | | %.1f MB (%.3fx file + buffers) |"
          % (peak / 1e6, peak / (size + buffers)), flush=True)


main()
devices(sys.argv[1], sys.argv[2], sys.argv[3])
