#!/usr/bin/env python3
"""Times a run's copying and the packer against the tools every technician knows.

Generates two sets of logs, then prints, as Markdown tables:
  - packing: Zip.exe against Info-ZIP `zip -j -6` on realistic log text and on
    many small files: the speed ratio (Info-ZIP's time divided by ours), both
    archive sizes and their difference, and the peak memory of both;
  - the speed ratio for each thread count from 1 to the number of processors;
  - Zip.exe of the Windows build under Wine against the native build;
  - copying: a run's collection against `cp -r`.
Each time is the best of --runs runs, since other programs on the machine
only ever make a run slower.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

MIB = 1024 * 1024


def run(command, env=None):
    """Runs `command`; returns its wall time and its processor time in seconds,
    its peak memory in KiB, its exit code and its error output."""
    # GNU time measures the memory: a child of this Python process would count
    # the interpreter's pages it shares until it starts the program.
    peak_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), "quillet-bench-peak")
    start = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", peak_file] + command,
                          env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.monotonic() - start
    with open(peak_file) as f:
        peak, user, system = f.read().split()[-3:]
    return (elapsed, float(user) + float(system), int(peak), done.returncode,
            done.stderr.decode(errors="replace"))


def best(command, runs, env=None):
    """The shortest wall time, the processor time of that run and the largest
    peak memory of `runs` runs of `command`."""
    results = []
    for _ in range(runs):
        elapsed, cpu, peak, code, errors = run(command, env)
        if code != 0:
            sys.exit("%s failed with %d: %s" % (" ".join(command), code, errors))
        results.append((elapsed, cpu, peak))
    elapsed, cpu, _ = min(results)
    return elapsed, cpu, max(peak for _, _, peak in results)


def make_logs(folder, count, total_bytes, seed):
    """`count` files of timestamped lines in which a few hundred messages repeat
    with changing numbers, as an HMI and its drivers write them."""
    os.makedirs(folder)
    rnd = random.Random(seed)
    levels = ["INFO", "INFO", "INFO", "DEBUG", "DEBUG", "WARN", "ERROR"]
    parts = ["PLC", "Visu", "Alarm", "Recipe", "OPC", "Trend", "Net", "Db", "Io", "User"]
    words = ("cycle value tag write read timeout retry station conveyor motor valve "
             "pressure temperature speed batch order acknowledged queued started stopped "
             "connection lost restored buffer flushed").split()
    templates = []
    for _ in range(300):
        text = " ".join(rnd.choice(words) for _ in range(rnd.randint(3, 9)))
        templates.append(text + " " + " ".join("%s=%%d" % rnd.choice(words)
                                               for _ in range(rnd.randint(1, 3))))
    clock = 1796000000.0
    per_file = total_bytes // count
    for n in range(count):
        lines, size = [], 0
        while size < per_file:
            clock += rnd.expovariate(20.0)
            stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(clock))
            template = templates[min(int(rnd.paretovariate(1.2)) - 1, len(templates) - 1)]
            numbers = tuple(rnd.randrange(1000 if rnd.random() < 0.8 else 1 << 30)
                            for _ in range(template.count("%d")))
            line = "%s.%03d %-5s [%s] %s\r\n" % (stamp, int(clock * 1000) % 1000,
                                                 rnd.choice(levels), rnd.choice(parts),
                                                 template % numbers)
            lines.append(line)
            size += len(line)
        name = "%s%04d.log" % (rnd.choice(["plc", "visu", "alarm", "opc"]), n)
        with open(os.path.join(folder, name), "w", newline="") as f:
            f.write("".join(lines))


def folder_bytes(folder):
    return sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))


def info_zip(folder, archive, runs):
    """Info-ZIP `zip -j -6` of every file in `folder`, names read from standard input.
    It runs at nice 10, the priority Zip.exe gives itself, so that both compete
    alike with whatever else the machine runs."""
    names = archive + ".names"
    with open(names, "w") as f:
        f.write("".join(os.path.join(folder, n) + "\n" for n in sorted(os.listdir(folder))))
    command = ["nice", "-n", "10", "sh", "-c", 'rm -f "$1" && zip -q -j -6 "$1" -@ < "$2"', "sh",
               archive, names]
    return best(command, runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release",
                        help="native release tree with quillet and Zip.exe")
    parser.add_argument("--windows-build", default="build/windows",
                        help="Windows tree with Zip.exe, for the Wine timing")
    parser.add_argument("--log-files", type=int, default=300)
    parser.add_argument("--log-mib", type=int, default=300)
    parser.add_argument("--small-files", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, args.build)
    zip_exe = os.path.join(build, "MorvaTools", "Quillet", "Zip.exe")
    quillet = os.path.join(build, "src", "quillet")
    win_zip = os.path.join(root, args.windows_build, "MorvaTools", "Quillet", "Zip.exe")
    for path in (zip_exe, quillet):
        if not os.access(path, os.X_OK):
            sys.exit("%s is missing: build a release tree first, e.g.\n"
                     "  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release "
                     "-DQUILLET_TESTS=OFF && ninja -C build/release" % path)
    if shutil.which("zip") is None or not os.access("/usr/bin/time", os.X_OK):
        sys.exit("Info-ZIP zip or GNU time is missing: apt-get install zip time")
    cores = len(os.sched_getaffinity(0))

    work = os.path.join(os.environ.get("TMPDIR", "/tmp"), "quillet-bench")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    logs, small = os.path.join(work, "logs"), os.path.join(work, "small")
    print("Generating %d log files of %d MiB in all, and %d small files ..."
          % (args.log_files, args.log_mib, args.small_files), flush=True)
    make_logs(logs, args.log_files, args.log_mib * MIB, 7)
    make_logs(small, args.small_files, args.small_files * 3500, 8)
    sets = [("logs", logs), ("small", small)]
    out = os.path.join(work, "out")
    os.makedirs(out)

    print("Packing, best of %d runs each, on %d processors ..." % (args.runs, cores), flush=True)
    rows, by_threads = [], {}
    for name, folder in sets:
        theirs_time, theirs_cpu, theirs_peak = info_zip(folder, os.path.join(out, name + "-infozip.zip"),
                                            args.runs)
        ours_zip = os.path.join(out, name + ".zip")
        pattern = os.path.join(folder, "*.*")
        ours_time, ours_cpu, ours_peak = best([zip_exe, "-j", ours_zip, pattern], args.runs)
        for threads in range(1, cores + 1):
            t, _, peak = best([zip_exe, "-T", str(threads), "-j", ours_zip + "-t", pattern],
                              args.runs)
            by_threads.setdefault(threads, {})[name] = theirs_time / t
            ours_peak = max(ours_peak, peak)
        ours_size = os.path.getsize(ours_zip)
        theirs_size = os.path.getsize(os.path.join(out, name + "-infozip.zip"))
        rows.append((name, len(os.listdir(folder)), folder_bytes(folder), ours_time, theirs_time,
                     ours_cpu, theirs_cpu, ours_size, theirs_size, ours_peak, theirs_peak))

    wine = None
    if os.path.exists(win_zip) and shutil.which("wine"):
        print("Timing the Windows build under Wine ...", flush=True)
        env = dict(os.environ, WINEDEBUG="-all",
                   WINEPREFIX=os.path.join(root, args.windows_build, "wineprefix"))
        env.pop("DISPLAY", None)
        command = ["wine", win_zip, "-j", "Z:" + os.path.join(out, "wine.zip").replace("/", "\\"),
                   "Z:" + os.path.join(logs, "*.*").replace("/", "\\")]
        run(command, env)  # Starts the Wine server and fills the page cache.
        wine_time = best(command, args.runs, env)[0]
        native_time = best([zip_exe, "-j", os.path.join(out, "native.zip"),
                            os.path.join(logs, "*.*")], args.runs)[0]
        subprocess.call(["wineserver", "-k"], env=env)
        wine = (wine_time, native_time)

    print("Copying a run's logs ...", flush=True)
    prog, target = os.path.join(work, "prog"), os.path.join(work, "target")
    os.makedirs(prog)
    os.makedirs(os.path.join(work, "visu"))  # Where the run writes its process-list batch file.
    shutil.copy(quillet, os.path.join(prog, "quillet"))
    with open(os.path.join(prog, "quillet.ini"), "w") as f:
        f.write("[Project]\nTargetPath=%s\n[LogFilesXP]\n1=%s/*.log\n" % (target, logs))
    # Without a packer in the tools folder the run stops after collecting, so
    # this times the copying (with rotation and journal) alone.
    # A temporary folder of its own gives the run its own lock, which runs
    # of the test suites elsewhere on the machine may hold.
    env = dict(os.environ, MorvaToolsDir=os.path.join(work, "notools"),
               VisuDir=os.path.join(work, "visu"), TMPDIR=work)
    env.pop("DISPLAY", None)
    copy_times, copy_failure = [], None
    for _ in range(args.runs):
        shutil.rmtree(target, ignore_errors=True)
        elapsed, _, _, code, errors = run([os.path.join(prog, "quillet"), "x"], env)
        # Without a packer the run ends with 3, its archive missing.
        if code != 3:
            copy_failure = "quillet exited with %d: %s" % (code, errors.strip())
        copy_times.append(elapsed)
    # The run pauses 250 ms for the screenshot and 100 ms before it closes,
    # whatever it collects; those fixed pauses are no part of the copying.
    copy_quillet = min(copy_times) - 0.35
    copy_cp = best(["sh", "-c", 'rm -rf "$2" && cp -r "$1" "$2"', "sh", logs,
                    os.path.join(work, "cp-copy")], args.runs)[0]

    print()
    print("| Packing (default: %d threads) | files | MiB | Zip.exe | zip -j -6 | speed ratio "
          "| processor time Zip.exe / zip | Zip.exe bytes | zip -6 bytes | size difference "
          "| peak memory Zip.exe / zip |" % cores)
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for (name, files, raw, ours_t, theirs_t, ours_c, theirs_c, ours_s, theirs_s, ours_p,
         theirs_p) in rows:
        print("| %s | %d | %.0f | %.2f s | %.2f s | %.2f | %.2f / %.2f s | %d | %d | %+.2f %% "
              "| %.1f / %.1f MiB |"
              % (name, files, raw / MIB, ours_t, theirs_t, theirs_t / ours_t, ours_c, theirs_c,
                 ours_s, theirs_s, 100.0 * (ours_s - theirs_s) / theirs_s, ours_p / 1024.0,
                 theirs_p / 1024.0))
    print()
    print("| Threads (-T) | speed ratio, logs | speed ratio, small files |")
    print("|---|---|---|")
    for threads in sorted(by_threads):
        print("| %d | %.2f | %.2f |" % (threads, by_threads[threads]["logs"],
                                        by_threads[threads]["small"]))
    print()
    if wine:
        print("Wine: Zip.exe of the Windows build packs the logs in %.2f s under Wine, "
              "the native build in %.2f s (%.2f times as long)." % (wine[0], wine[1],
                                                                   wine[0] / wine[1]))
    else:
        print("Wine: skipped (no %s or no wine)." % win_zip)
    if copy_failure:
        print("Copy: not measured (%s)." % copy_failure)
    else:
        print("Copy: quillet %.2f s (without its fixed 0.35 s of pauses), cp -r %.2f s, "
              "ratio %.2f." % (copy_quillet, copy_cp, copy_quillet / copy_cp))
    print("Targets: speed ratio >= 1.8 on both sets with the default threads and >= 1.0 "
          "with -T 1; size within 1 %; peak memory < 16 MiB.")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
