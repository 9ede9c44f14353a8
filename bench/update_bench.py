"""Rows 7a to 7c of bench/run: an update from ten sources served on loopback by the tests'
HTTP server (tests/support/http_test_server.py), which together hold the lines of the
benchmark's HOSTS file.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(os.path.dirname(HERE), "tests", "support", "http_test_server.py")
SOURCE_COUNT = 10
GNU_TIME = "/usr/bin/time"


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


def update_rows(cli, data, runs):
    """[(figure, value)] for rows 7a to 7c."""
    folder = os.path.join(data, "sources")
    names = split_into_sources(os.path.join(data, "hosts.txt"), folder)
    cache = os.path.abspath(os.path.join(data, "update-cache"))  # XDG_CACHE_HOME must be absolute
    out = os.path.join(data, "out", "update-hosts.txt")
    server = subprocess.Popen([sys.executable, SERVER, "--root", folder], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        port = int(server.stdout.readline().split()[0])
        sources = os.path.join(data, "sources.txt")
        with open(sources, "w") as f:
            for name in names:
                f.write("http://127.0.0.1:%d/files/%s\n" % (port, name))
        env = dict(os.environ, XDG_CACHE_HOME=cache)
        for variable in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"):
            env.pop(variable, None)
        update = [cli, "--sources", sources, "--update", "--write-hosts", out]
        full, unchanged = [], []
        for _ in range(runs):
            shutil.rmtree(cache, ignore_errors=True)
            if os.path.exists(out):
                os.remove(out)
            full.append(run(update, env)[0])
            seconds, err = run(update, env)
            if "rien n'a change" not in err:
                raise RuntimeError("the second update wrote again: " + err[-300:])
            unchanged.append(seconds)
        shutil.rmtree(cache, ignore_errors=True)
        update_peak = peak_kb(update, env)
        plain = [cli]
        for name in names:
            plain += ["--hosts", os.path.join(folder, name)]
        plain_peak = peak_kb(plain + ["--write-hosts", out], env)
    finally:
        server.stdin.close()
        server.wait(timeout=10)
    return [
        ("7a. update of 10 sources on loopback (1 000 000 lines, tests' server), download to write",
         "%.3f s" % statistics.median(full)),
        ("7b. the same update again, every source answering 304, nothing written",
         "%.3f s" % statistics.median(unchanged)),
        ("7c. peak memory of 7a against `--hosts` of the ten files and the same write",
         "%.1f MB vs %.1f MB (%+.0f %%)" % (update_peak / 1024.0, plain_peak / 1024.0,
                                             100.0 * (update_peak - plain_peak) / plain_peak)),
    ]
