"""Rows 7a to 7e of bench/run: updates from ten sources served on loopback by the tests'
HTTP server (tests/support/http_test_server.py). For 7a to 7c the sources together hold the
lines of the benchmark's HOSTS file; for 7d they hold 3 000 000 lines, written once by
gen_data.py's HOSTS generator (one seed per source) and kept until the generator changes.
Row 7e times `--why` on the HOSTS file listed as one local source.
"""

import contextlib
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

import gen_data

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(os.path.dirname(HERE), "tests", "support", "http_test_server.py")
SOURCE_COUNT = 10
GNU_TIME = "/usr/bin/time"
BIG_SOURCE_LINES = 300_000  # 7d: ten sources, 3 000 000 lines in all
BIG_SEED = 1000  # 7d: source i is written with seed BIG_SEED + i


def split_into_sources(hosts, folder):
    """The HOSTS file cut into SOURCE_COUNT files of about as many lines each."""
    os.makedirs(folder, exist_ok=True)
    with open(hosts, "rb") as f:
        lines = f.readlines()
    size = (len(lines) + SOURCE_COUNT - 1) // SOURCE_COUNT
    names = []
    for i in range(SOURCE_COUNT):
        name = "part%d.hosts" % i
        with open(os.path.join(folder, name), "wb") as f:
            f.writelines(lines[i * size:(i + 1) * size])
        names.append(name)
    return names


def run(argv, env):
    started = time.perf_counter()
    done = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
    elapsed = time.perf_counter() - started
    if done.returncode != 0:
        raise RuntimeError("%s exited with %d: %s" % (argv[0], done.returncode,
                                                       done.stderr.decode("utf-8", "replace")[-500:]))
    return elapsed, done.stderr.decode("utf-8", "replace")


def peak_kb(argv, env):
    _, err = run([GNU_TIME, "-f", "%M"] + argv, env)
    return int(err.strip().splitlines()[-1])


def write_big_sources(folder):
    """The sources of row 7d, written unless the ones in `folder` are from this generator."""
    with open(os.path.join(HERE, "gen_data.py"), "rb") as f:
        stamp = "lines=%d seed=%d generator=%s" % (BIG_SOURCE_LINES, BIG_SEED, hashlib.sha256(f.read()).hexdigest()[:16])
    names = ["big%d.hosts" % i for i in range(SOURCE_COUNT)]
    stamp_path = os.path.join(folder, "stamp")
    if os.path.exists(stamp_path) and open(stamp_path).read() == stamp:
        return names
    sys.stderr.write("bench: writing the sources of row 7d into %s\n" % folder)
    os.makedirs(folder, exist_ok=True)
    for i, name in enumerate(names):
        gen_data.write_lines(os.path.join(folder, name), gen_data.hosts_lines(BIG_SEED + i, BIG_SOURCE_LINES))
    with open(stamp_path, "w") as f:
        f.write(stamp)
    return names


@contextlib.contextmanager
def served_update(cli, data, folder, names, label):
    """Serves `folder` and yields (the update's argument vector, its environment, its cache)."""
    cache = os.path.abspath(os.path.join(data, label + "-cache"))  # XDG_CACHE_HOME must be absolute
    out = os.path.join(data, "out", label + "-hosts.txt")
    server = subprocess.Popen([sys.executable, SERVER, "--root", folder], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        port = int(server.stdout.readline().split()[0])
        sources = os.path.join(data, label + "-sources.txt")
        with open(sources, "w") as f:
            for name in names:
                f.write("http://127.0.0.1:%d/files/%s\n" % (port, name))
        env = dict(os.environ, XDG_CACHE_HOME=cache)
        for variable in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"):
            env.pop(variable, None)
        yield [cli, "--sources", sources, "--update", "--write-hosts", out], env, cache
    finally:
        server.stdin.close()
        server.wait(timeout=10)


def fresh_update(update, env, cache):
    """Runs `update` from an empty cache and a missing output; gives its wall time."""
    shutil.rmtree(cache, ignore_errors=True)
    if os.path.exists(update[-1]):
        os.remove(update[-1])
    return run(update, env)[0]


def why_row(cli, data, runs):
    """Row 7e: `--why` of the last name of the HOSTS input, listed as one local source, from its
    cached copy."""
    hosts = os.path.abspath(os.path.join(data, "hosts.txt"))
    sources = os.path.join(data, "why-sources.txt")
    with open(sources, "w") as f:
        f.write(hosts + "\n")
    cache = os.path.abspath(os.path.join(data, "why-cache"))
    env = dict(os.environ, XDG_CACHE_HOME=cache)
    shutil.rmtree(cache, ignore_errors=True)
    run([cli, "--sources", sources, "--update"], env)
    with open(hosts, "rb") as f:
        lines = f.read().split(b"\n")
    name = next(line.split()[1] for line in reversed(lines) if len(line.split()) >= 2 and not line.startswith(b"#"))
    why = [cli, "--sources", sources, "--why", name.decode("ascii", "replace")]
    seconds = [run(why, env)[0] for _ in range(runs)]
    peak = peak_kb(why, env)
    shutil.rmtree(cache, ignore_errors=True)
    return ("7e. `--why NAME` on one source of the HOSTS input (its cached copy): time, peak memory",
            "%.3f s, %.1f MB" % (statistics.median(seconds), peak / 1024.0))


def update_rows(cli, data, runs):
    """[(figure, value)] for rows 7a to 7e."""
    folder = os.path.join(data, "sources")
    names = split_into_sources(os.path.join(data, "hosts.txt"), folder)
    with served_update(cli, data, folder, names, "update") as (update, env, cache):
        full, unchanged = [], []
        for _ in range(runs):
            full.append(fresh_update(update, env, cache))
            seconds, err = run(update, env)
            if "rien n'a change" not in err:
                raise RuntimeError("the second update wrote again: " + err[-300:])
            unchanged.append(seconds)
        shutil.rmtree(cache, ignore_errors=True)
        update_peak = peak_kb(update, env)
        plain = [cli]
        for name in names:
            plain += ["--hosts", os.path.join(folder, name)]
        plain_peak = peak_kb(plain + ["--write-hosts", update[-1]], env)
    big_folder = os.path.join(data, "sources-3m")
    big_names = write_big_sources(big_folder)
    with served_update(cli, data, big_folder, big_names, "update-3m") as (update, env, cache):
        big = [fresh_update(update, env, cache) for _ in range(min(runs, 3))]
        shutil.rmtree(cache, ignore_errors=True)
        big_peak = peak_kb(update, env)
    return [
        ("7a. update of 10 sources on loopback (1 000 000 lines, tests' server), download to write",
         "%.3f s" % statistics.median(full)),
        ("7b. the same update again, every source answering 304, nothing written",
         "%.3f s" % statistics.median(unchanged)),
        ("7c. peak memory of 7a against `--hosts` of the ten files and the same write",
         "%.1f MB vs %.1f MB (%+.0f %%)" % (update_peak / 1024.0, plain_peak / 1024.0,
                                             100.0 * (update_peak - plain_peak) / plain_peak)),
        ("7d. update of 10 sources holding 3 000 000 lines (tests' server), download to write: time, peak memory",
         "%.3f s, %.1f MB" % (statistics.median(big), big_peak / 1024.0)),
        why_row(cli, data, runs),
    ]
