#!/usr/bin/env python3
"""Times two or more builds of Quorvale against each other, scenario by scenario.

For a change that must not make Quorvale slower: each scenario of bench/run is run with the
builds in turns (A B, B A, A B, ...) after one untimed warm-up of each, and the medians are
printed side by side with the change in per cent against the first build. Wall time is
taken around the whole process, start-up included, and so is the processor time (user and
system) that the kernel counts for it, which other work on the machine disturbs less; the
peak memory is the resident set the
kernel reports for the process (ru_maxrss, what /usr/bin/time shows as %M).

Usage: compare.py --data DIR [--runs N] [--only NAME,...] LABEL=BINDIR LABEL=BINDIR...
       compare.py --data DIR --check LABEL=BINDIR LABEL=BINDIR...

--check runs the commands of the scenarios and a few more writers once per build, with
SOURCE_DATE_EPOCH fixed, and compares the files and the standard output byte for byte.
"""

import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_EPOCH = "1700000000"


def run(argv, env=None, stdout=subprocess.DEVNULL):
    """Runs argv; returns (wall seconds, its resource usage, standard output)."""
    start = time.perf_counter()
    process = subprocess.Popen(argv, env=env, stdout=stdout, stderr=subprocess.PIPE)
    output = process.stdout.read() if stdout == subprocess.PIPE else b""
    errors = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit("%s exited with %d: %s" % (" ".join(argv), process.returncode,
                                           errors.decode("utf-8", "replace").strip()))
    return elapsed, usage, output


def scenarios(data, out):
    """name -> (function of a bin folder giving argv, what to read from a run)."""
    hosts = os.path.join(data, "hosts.txt")
    domains = os.path.join(data, "domains.txt")
    domain_only = os.path.join(data, "domain-only.txt")
    python_out = os.path.join(out, "python-hosts.txt")

    def after_python():
        run([sys.executable, os.path.join(HERE, "peer_hosts.py"), hosts, python_out])

    return {
        "sort": (lambda b: [b + "/quorvale-cli", "--domain-only", domain_only, "--sort",
                            "--write-sorted-names", os.path.join(out, "names.txt")], None),
        "hosts": (lambda b: [b + "/quorvale-cli", "--hosts", hosts, "--redirect", "0.0.0.0",
                             "--write-hosts", os.path.join(out, "hosts.txt")], None),
        # Row 3 of bench/run: the same command, each run right after the Python peer.
        "hosts-after-python": (lambda b: [b + "/quorvale-cli", "--hosts", hosts, "--redirect",
                                          "0.0.0.0", "--write-hosts",
                                          os.path.join(out, "hosts.txt")], after_python),
        "dump": (lambda b: [b + "/quorvale-cli", "--hosts", hosts, "--dump"], None),
        # No row of bench/run: the load of a plain list, the third reader.
        "domains": (lambda b: [b + "/quorvale-cli", "--domains", domains, "--write-hosts",
                               os.path.join(out, "domains-hosts.txt")], None),
        "gui": (lambda b: [b + "/quorvale-gui-bench", hosts], None),
    }


def time_builds(builds, data, runs, only):
    out = os.path.join(data, "compare-out")
    os.makedirs(out, exist_ok=True)
    gui_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    table = []
    for name, (argv_of, before) in scenarios(data, out).items():
        if only and name not in only:
            continue
        figures = {}  # (label, figure) -> values
        for round_number in range(runs + 1):
            order = builds if round_number % 2 == 0 else builds[::-1]
            for label, bin_dir in order:
                if before:
                    before()
                env = gui_env if name == "gui" else None
                stdout = subprocess.PIPE if name == "gui" else subprocess.DEVNULL
                elapsed, usage, output = run(argv_of(bin_dir), env, stdout)
                if round_number == 0:
                    continue  # the warm-up
                values = {"wall s": elapsed, "cpu s": usage.ru_utime + usage.ru_stime,
                          "peak MB": usage.ru_maxrss / 1024.0}
                for word in output.decode().split():
                    key, _, value = word.partition("=")
                    values[key] = float(value)
                for figure, value in values.items():
                    figures.setdefault((label, figure), []).append(value)
        for figure in dict.fromkeys(f for _, f in figures):
            medians = [statistics.median(figures[(label, figure)]) for label, _ in builds]
            table.append((name, figure, medians))
        print_table(builds, table[-len(set(f for _, f in figures)):], runs)
        sys.stdout.flush()
    return table


def print_table(builds, rows, runs):
    labels = [label for label, _ in builds]
    print("| scenario | figure | " + " | ".join(labels) + " | " +
          " | ".join("%s vs %s" % (label, labels[0]) for label in labels[1:]) + " |")
    print("|---|---|" + "---:|" * (2 * len(labels) - 1))
    for name, figure, medians in rows:
        shown = ["%.3f" % m if figure.endswith(" s") else "%.1f" % m for m in medians]
        changes = ["%+.1f %%" % (100.0 * (m / medians[0] - 1)) if medians[0] else "-"
                   for m in medians[1:]]
        print("| %s | %s | %s | %s |" % (name, figure, " | ".join(shown), " | ".join(changes)))
    print("(medians of %d alternating runs)" % runs)
    print()


def check_outputs(builds, data):
    hosts = os.path.join(data, "hosts.txt")
    domains = os.path.join(data, "domains.txt")
    domain_only = os.path.join(data, "domain-only.txt")
    commands = {
        "hosts.txt": ["--hosts", hosts, "--redirect", "0.0.0.0", "--write-hosts"],
        "hosts-www-comments.txt": ["--hosts", hosts, "--www", "--comments", "--write-hosts"],
        "export.txt": ["--hosts", hosts, "--comments", "--export"],
        "report.txt": ["--hosts", hosts, "--report"],
        "domains-hosts.txt": ["--domains", domains, "--comments", "--write-hosts"],
        "names.txt": ["--domain-only", domain_only, "--sort", "--write-sorted-names"],
        "sorted-hosts.txt": ["--domain-only", domain_only, "--sort", "--www",
                             "--write-sorted-hosts"],
    }
    env = dict(os.environ, SOURCE_DATE_EPOCH=FIXED_EPOCH)
    same = True
    for output, args in commands.items():
        paths = []
        for label, bin_dir in builds:
            folder = os.path.join(data, "check-" + label)
            os.makedirs(folder, exist_ok=True)
            path = os.path.join(folder, output)
            run([bin_dir + "/quorvale-cli"] + args + [path], env)
            paths.append(path)
        for path in paths[1:]:
            equal = filecmp.cmp(paths[0], path, shallow=False)
            same = same and equal
            print("%s %s (%d bytes)" % ("same" if equal else "DIFFERENT", output,
                                        os.path.getsize(path)))
    dumps = [run([b + "/quorvale-cli", "--hosts", hosts, "--dump"], env, subprocess.PIPE)[2]
             for _, b in builds]
    for dump in dumps[1:]:
        same = same and dump == dumps[0]
        print("%s --dump (%d bytes)" % ("same" if dump == dumps[0] else "DIFFERENT", len(dump)))
    return same


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", required=True, help="folder written by gen_data.py")
    parser.add_argument("--runs", type=int, default=9, help="timed runs of each build")
    parser.add_argument("--only", default="", help="scenarios to run, comma-separated")
    parser.add_argument("--check", action="store_true", help="compare outputs instead")
    parser.add_argument("builds", nargs="+", help="LABEL=BINDIR, the first is the reference")
    args = parser.parse_args(argv)
    builds = [tuple(build.split("=", 1)) for build in args.builds]
    if any(len(build) != 2 for build in builds) or len(builds) < 2:
        parser.error("give at least two builds as LABEL=BINDIR")
    if args.check:
        return 0 if check_outputs(builds, args.data) else 1
    only = set(filter(None, args.only.split(",")))
    time_builds(builds, args.data, args.runs, only)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
