#!/usr/bin/env python3
"""Times quorvale-cli against the tools people use instead, and prints the table.

Called by bench/run once the build and the data are ready. Each pair runs in turns
(A B A B ...) after one untimed warm-up of each side, so that both sides see the same page
cache and the same background load; the figure is the median, the ratio is
Quorvale median / peer median. Quorvale and the Python peer are started from argument
vectors; the awk peer is a shell pipeline by nature and runs through bash -c.

Usage: drive.py --bin DIR --data DIR [--runs N] [--cli PATH] [--gui-bench PATH] [--core-bench PATH]
"""

import argparse
import datetime
import json
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import time

import update_bench

HERE = os.path.dirname(os.path.abspath(__file__))
AWK_PROGRAM = '($1=="0.0.0.0"||$1=="127.0.0.1") && NF>=2 {print "0.0.0.0\\t" tolower($2)}'
GNU_TIME = "/usr/bin/time"
COMMAND_TIMEOUT_S = 900
# The rows of the selection benchmark (row 8).
SELECTION_ROWS = 1000000
# The zone of row 9, as named-checkzone is told it.
RPZ_ZONE = "rpz.quorvale"


class CommandFailed(Exception):
    pass


def run_once(argv, env=None, stdout=subprocess.DEVNULL):
    """Runs argv and returns (wall seconds, completed process)."""
    start = time.perf_counter()
    done = subprocess.run(argv, env=env, stdout=stdout, stderr=subprocess.PIPE,
                          timeout=COMMAND_TIMEOUT_S)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        detail = done.stderr.decode("utf-8", "replace").strip()
        detail = " / ".join(line for line in detail.splitlines() if line)
        raise CommandFailed("%s exited with %d%s" % (
            shlex.join(argv), done.returncode, (": " + detail) if detail else ""))
    return elapsed, done


def remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


class Side:
    """One command of a pair: its argument vector, environment and output file."""

    def __init__(self, argv, output, env=None):
        self.argv = argv
        self.output = output
        self.env = env
        self.times = []

    def run(self, keep):
        remove(self.output)  # every run writes a new file, outside the timed span
        elapsed, _ = run_once(self.argv, self.env)
        if keep:
            self.times.append(elapsed)


def time_pair(quorvale, peer, runs):
    """Warm-up of each side, then runs turns of A then B; returns the two medians.

    Without a Quorvale side (the program is not built) the peer is timed alone, so that the
    table still shows what Quorvale has to beat."""
    sides = [side for side in (quorvale, peer) if side is not None]
    for side in sides:
        side.run(keep=False)
    for _ in range(runs):
        for side in sides:
            side.run(keep=True)
    return (statistics.median(quorvale.times) if quorvale else None,
            statistics.median(peer.times))


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            ca, cb = fa.read(1 << 20), fb.read(1 << 20)
            if ca != cb:
                return False
            if not ca:
                return True


def machine_lines():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    awk = shutil.which("awk") or "awk"
    return [
        "date: " + datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z"),
        "machine: %d cores, %s, %s %s" % (os.cpu_count() or 0, model, platform.system(),
                                         platform.release()),
        "peers: %s (%s), %s, Python %s" % (
            awk, os.path.basename(os.path.realpath(awk)), first_line(["sort", "--version"]),
            platform.python_version()),
    ]


def first_line(argv):
    try:
        out = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=10).stdout.decode("utf-8", "replace")
        return out.splitlines()[0] if out else argv[0]
    except (OSError, subprocess.SubprocessError):
        return argv[0]


def fmt_s(seconds):
    return "%.3f s" % seconds


def fmt_ratio(value):
    return "n/a" if value is None else "%.3f" % value


def gui_rows(rows, failures, gui_bench, path, figures, runs):
    """Runs quorvale-gui-bench on `path` (median of up to 3 runs) and adds a row for each
    (key, figure) of `figures`; "n/a" rows when `gui_bench` is None."""
    if gui_bench is None:
        for _, figure in figures:
            rows.append((figure, "n/a", "", ""))
        return
    gui_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        seen = {key: [] for key, _ in figures}
        for _ in range(min(runs, 3)):
            _, done = run_once([gui_bench, path], gui_env, stdout=subprocess.PIPE)
            for word in done.stdout.decode("utf-8", "replace").split():
                key, _, value = word.partition("=")
                if key in seen:
                    seen[key].append(float(value))
        for key, figure in figures:
            value = "%.0f ms" % statistics.median(seen[key]) if seen[key] else "missing"
            rows.append((figure, value, "", ""))
    except (CommandFailed, subprocess.TimeoutExpired, OSError, ValueError) as e:
        failures.append(str(e))
        for _, figure in figures:
            rows.append((figure, "failed", "", ""))


def rpz_rows(rows, failures, cli, hosts, out, figures, runs):
    """Times `--write-rpz` against `--write-hosts` of the same file in turns, then gives the
    zone's size and named-checkzone's time (median of up to 3 runs) when it is installed."""
    zone = os.path.join(out, "q-zone.rpz")
    hosts_out = os.path.join(out, "q-hosts-beside-rpz.txt")
    values = []  # (Quorvale, peer, ratio) of each figure, in order
    try:
        q, p = time_pair(Side([cli, "--hosts", hosts, "--write-rpz", zone], zone),
                         Side([cli, "--hosts", hosts, "--write-hosts", hosts_out], hosts_out), runs)
        values.append((fmt_s(q), fmt_s(p), fmt_ratio(q / p)))
        values.append(("%.1f MB" % (os.path.getsize(zone) / 1e6), "", ""))
        checkzone = shutil.which("named-checkzone")
        if checkzone is None:
            values.append(("n/a", "", ""))
        else:
            times = [run_once([checkzone, "-q", RPZ_ZONE, zone])[0] for _ in range(min(runs, 3))]
            values.append((fmt_s(statistics.median(times)), "", ""))
    except (CommandFailed, subprocess.TimeoutExpired, OSError) as e:
        failures.append(str(e))
    values += [("failed", "", "")] * (len(figures) - len(values))
    rows.extend((figure,) + value for figure, value in zip(figures, values))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="folder holding the built programs")
    parser.add_argument("--data", required=True, help="folder written by gen_data.py")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each side")
    parser.add_argument("--cli", help="program to time instead of BIN/quorvale-cli")
    parser.add_argument("--gui-bench", help="program to run instead of BIN/quorvale-gui-bench")
    parser.add_argument("--core-bench", help="program to run instead of BIN/quorvale-core-bench")
    args = parser.parse_args(argv)
    if args.runs < 1:
        parser.error("--runs must be at least 1")

    hosts = os.path.join(args.data, "hosts.txt")
    domain_only = os.path.join(args.data, "domain-only.txt")
    for path in (hosts, domain_only):
        if not os.path.isfile(path):
            sys.stderr.write("bench: missing input %s (run gen_data.py first)\n" % path)
            return 2
    # Outputs of an earlier run must not pass for this run's in the checks below.
    out = os.path.join(args.data, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)

    cli = args.cli or os.path.join(args.bin, "quorvale-cli")
    have_cli = os.access(cli, os.X_OK)
    gui_bench = args.gui_bench or os.path.join(args.bin, "quorvale-gui-bench")
    have_gui_bench = os.access(gui_bench, os.X_OK)
    core_bench = args.core_bench or os.path.join(args.bin, "quorvale-core-bench")
    have_core_bench = os.access(core_bench, os.X_OK)

    sort_env = dict(os.environ, LC_ALL="C")
    with open(hosts, "rb") as f:
        line_count = sum(1 for _ in f)

    print("\n".join(machine_lines()))
    print("inputs: %d lines per file in %s; %d timed runs per side, medians"
          % (line_count, args.data, args.runs))
    if args.cli:
        print("note: quorvale-cli replaced by %s" % cli)
    if not have_cli:
        print("note: %s is missing: only the peers of rows 1 to 3 are timed" % cli)
    if args.runs < 5:
        print("note: fewer than 5 runs per side, figures are rough")
    print()
    sys.stdout.flush()

    rows = []      # (figure, quorvale, peer, ratio) as text
    ratios = {"sort": None, "hosts_awk": None, "hosts_python": None}
    failures = []

    def pair(key, figure, quorvale_argv, quorvale_output, peer):
        quorvale = Side(quorvale_argv, quorvale_output) if have_cli else None
        try:
            q, p = time_pair(quorvale, peer, args.runs)
        except (CommandFailed, subprocess.TimeoutExpired, OSError) as e:
            failures.append(str(e))
            rows.append((figure, "failed", "", "n/a"))
            return
        if q is None:
            rows.append((figure, "n/a", fmt_s(p), "n/a"))
            return
        ratios[key] = q / p
        rows.append((figure, fmt_s(q), fmt_s(p), fmt_ratio(q / p)))

    # 1. Sort and de-duplicate a domain-only list.
    figure = "1. domain-only list sorted to names vs `LC_ALL=C sort -u`"
    q_names = os.path.join(out, "q-sorted-names.txt")
    sort_out = os.path.join(out, "sort-u.txt")
    pair("sort", figure,
         [cli, "--domain-only", domain_only, "--sort", "--write-sorted-names", q_names], q_names,
         Side(["sort", "-u", domain_only, "-o", sort_out], sort_out, env=sort_env))

    # 2. and 3. HOSTS file to a 0.0.0.0 HOSTS file.
    q_hosts = os.path.join(out, "q-hosts.txt")
    awk_out = os.path.join(out, "awk-hosts.txt")
    py_out = os.path.join(out, "python-hosts.txt")
    pipeline = "awk %s %s | LC_ALL=C sort -u > %s" % (
        shlex.quote(AWK_PROGRAM), shlex.quote(hosts), shlex.quote(awk_out))
    figure2 = "2. HOSTS file to 0.0.0.0 HOSTS file vs `awk` piped to `LC_ALL=C sort -u`"
    figure3 = "3. HOSTS file to 0.0.0.0 HOSTS file vs `peer_hosts.py` (set, lower, sorted)"
    quorvale_hosts = [cli, "--hosts", hosts, "--redirect", "0.0.0.0", "--write-hosts", q_hosts]
    pair("hosts_awk", figure2, quorvale_hosts, q_hosts, Side(["bash", "-c", pipeline], awk_out))
    pair("hosts_python", figure3, quorvale_hosts, q_hosts,
         Side([sys.executable, os.path.join(HERE, "peer_hosts.py"), hosts, py_out], py_out))

    # The two peers are meant to do the very same thing; check it when both ran.
    if os.path.exists(awk_out) and os.path.exists(py_out) and not same_bytes(awk_out, py_out):
        failures.append("the awk and Python peers wrote different files (%s, %s)"
                        % (awk_out, py_out))

    # 4. Peak memory of a full load and dump.
    figure4 = "4. peak memory of `--hosts F --dump`"
    if have_cli:
        try:
            peaks = []
            for _ in range(min(args.runs, 3)):
                _, done = run_once([GNU_TIME, "-f", "%M", cli, "--hosts", hosts, "--dump"])
                peaks.append(int(done.stderr.decode().strip().splitlines()[-1]))
            rows.append((figure4, "%.1f MB" % (statistics.median(peaks) / 1024.0), "", ""))
        except (CommandFailed, subprocess.TimeoutExpired, OSError, ValueError,
                IndexError) as e:
            failures.append(str(e))
            rows.append((figure4, "failed", "", ""))
    else:
        rows.append((figure4, "n/a", "", ""))

    # 5. The window program loading the HOSTS file in-process.
    gui_figures = (("load_ms", "5a. GUI: load through OpenHostFile"),
                   ("max_gap_ms", "5b. GUI: longest event-loop gap during the load"),
                   ("click_ms", "5c. GUI: header click ordering by Description"))
    gui_rows(rows, failures, gui_bench if have_gui_bench else None, hosts, gui_figures, args.runs)

    # 6. The entry list's removal and search over a million rows of its own (Google Benchmark,
    # which repeats each until the figure is steady and gives the mean).
    core_figures = (("BM_RemoveSelectedRows/iterations:10",
                     "6a. core: removing 10 000 selected rows of 1 000 000"),
                    ("BM_FindAbsentName", "6b. core: finding a name in 1 000 000 rows (none matches)"))
    if have_core_bench:
        try:
            _, done = run_once([core_bench, "--benchmark_format=json"], stdout=subprocess.PIPE)
            results = {b["name"]: b for b in json.loads(done.stdout.decode("utf-8"))["benchmarks"]}
            for key, figure in core_figures:
                result = results.get(key)
                if result is None or result.get("time_unit") != "ms":
                    rows.append((figure, "missing", "", ""))
                else:
                    rows.append((figure, "%.1f ms" % result["real_time"], "", ""))
        except (CommandFailed, subprocess.TimeoutExpired, OSError, ValueError, KeyError) as e:
            failures.append(str(e))
            for _, figure in core_figures:
                rows.append((figure, "failed", "", ""))
    else:
        for _, figure in core_figures:
            rows.append((figure, "n/a", "", ""))

    # 7. Updates from ten sources on loopback.
    update_figures = ("7a. update of 10 sources", "7b. update answered by 304s", "7c. update peak memory",
                      "7d. update of 3 000 000 lines", "7e. --why on one source")
    if have_cli:
        try:
            for figure, value in update_bench.update_rows(cli, args.data, args.runs):
                rows.append((figure, value, "", ""))
        except (RuntimeError, subprocess.TimeoutExpired, OSError, ValueError, IndexError) as e:
            failures.append(str(e))
            for figure in update_figures:
                rows.append((figure, "failed", "", ""))
    else:
        for figure in update_figures:
            rows.append((figure, "n/a", "", ""))

    # 8. Select-all and Delete in the window, over a list of exactly 1 000 000 distinct rows
    # (independent of BENCH_LINES), written once beside the other inputs.
    selection_figures = (("select_all_ms", "8a. GUI: Ctrl+A over 1 000 000 rows"),
                         ("delete_ms", "8b. GUI: Delete of 1 000 000 selected rows"))
    million = os.path.join(args.data, "rows-1m.txt")
    if have_gui_bench and not os.path.isfile(million):
        with open(million + ".part", "w") as f:
            f.writelines("0.0.0.0 r%07d.example\n" % i for i in range(SELECTION_ROWS))
        os.replace(million + ".part", million)
    gui_rows(rows, failures, gui_bench if have_gui_bench else None, million, selection_figures, args.runs)

    # 9. The same lists written as a response policy zone, next to the HOSTS write.
    rpz_figures = ("9a. HOSTS file to RPZ zone vs the same HOSTS write (`--write-hosts`)",
                   "9b. RPZ zone size", "9c. `named-checkzone` of the zone (for information)")
    if have_cli:
        rpz_rows(rows, failures, cli, hosts, out, rpz_figures, args.runs)
    else:
        rows.extend((figure, "n/a", "", "") for figure in rpz_figures)

    print("| figure | Quorvale | peer | ratio |")
    print("|---|---:|---:|---:|")
    for figure, q, p, r in rows:
        print("| %s | %s | %s | %s |" % (figure, q, p or "-", r or "-"))
    print()
    for failure in failures:
        print("failed: " + failure)
    print("ratios: sort=%s hosts_awk=%s hosts_python=%s" % (
        fmt_ratio(ratios["sort"]), fmt_ratio(ratios["hosts_awk"]),
        fmt_ratio(ratios["hosts_python"])))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
