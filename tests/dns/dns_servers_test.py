#!/usr/bin/env python3
"""The recipes of docs/dns-servers.md, run on 127.0.0.1: quorvale-cli's zone served by a BIND
primary, pulled by a BIND resolver through NOTIFY and transfer, read by Unbound, and its HOSTS
file read by dnsmasq. Each recipe block is taken from the page as it is; only these change:
192.0.2.53 and 192.0.2.54 become 127.0.0.1 with each server's own free port, `port 53` and
`port 953` those ports, /etc/bind/rndc.key and the other paths files of a scratch folder,
`/usr/sbin/rndc` rndc with that folder's rndc.conf, `/usr/sbin/unbound-control` the one of
the Unbound started here, and a reload of dnsmasq a SIGHUP to the one started here. A local
zone `test.` gives the answers that the lists leave alone.

Usage: tests/dns/dns_servers_test.py --cli build/dev/bin/quorvale-cli"""

import argparse
import base64
import os
import pwd
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from x_session import Failure, check, end_with_parent, note, wait_until  # noqa: E402

DOC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "dns-servers.md")
TEST_ZONE = {"blocked": "192.0.2.1", "redirected": "192.0.2.2", "allowed": "192.0.2.3", "changed": "192.0.2.4",
             "ads": "192.0.2.5", "x.ads": "192.0.2.6", "login.ads": "192.0.2.7"}
THROUGH_RPZ = {"blocked.test": ("NXDOMAIN", []), "redirected.test": ("NOERROR", ["198.51.100.7"]),
               "allowed.test": ("NOERROR", ["192.0.2.3"])}
RELOADS = "received control channel command 'reload rpz.quorvale'"


def free_port():
    while True:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp, socket.socket() as tcp:
            udp.bind(("127.0.0.1", 0))
            try:
                tcp.bind(("127.0.0.1", udp.getsockname()[1]))
            except OSError:
                continue
            return udp.getsockname()[1]


def recipe(name, *changes):
    with open(DOC, encoding="utf-8") as page:
        found = re.findall(r"<!-- recipe: %s -->\n```\n(.*?)```" % name, page.read(), re.S)
    check(len(found) == 1, "docs/dns-servers.md has no single recipe " + name)
    text = found[0]
    for pattern, replacement in changes:
        text = re.sub(pattern, replacement.replace("\\", "\\\\"), text)
    return text


def dig(port, name):
    out = subprocess.run(["dig", "@127.0.0.1", "-p", str(port), "+time=1", "+tries=1", name, "A"],
                         capture_output=True, text=True, timeout=10).stdout
    status = re.search(r"status: (\w+)", out)
    return status and status.group(1), re.findall(r"^%s\.\s+\d+\s+IN\s+A\s+(\S+)$" % re.escape(name), out, re.M)


def answers(port, expected):
    return all(dig(port, name) == want for name, want in expected.items())


def serial(port):
    out = subprocess.run(["dig", "@127.0.0.1", "-p", str(port), "+short", "rpz.quorvale", "SOA"],
                         capture_output=True, text=True, timeout=10).stdout.split()
    return int(out[2]) if len(out) == 7 else 0


def zone_serial(path):
    with open(path, encoding="utf-8") as zone:
        return int(re.search(r"IN SOA \S+ \S+ (\d+)", zone.read()).group(1))


class Run:
    def __init__(self, work, cli):
        self.work, self.cli, self.children = work, cli, []
        self.env = dict(os.environ, LC_ALL="C", HOME=work, XDG_CACHE_HOME=self.path("cache"),
                        XDG_CONFIG_HOME=self.path("config"))

    def path(self, *names):
        return os.path.join(self.work, *names)

    def write(self, name, text):
        with open(self.path(name), "w", encoding="utf-8") as f:
            f.write(text)
        return self.path(name)

    def start(self, name, *args):
        log = open(self.path(name + ".log"), "wb")
        self.children.append(subprocess.Popen(list(args), stdout=log, stderr=subprocess.STDOUT,
                                              preexec_fn=end_with_parent))
        return self.children[-1]

    def log(self, name):
        with open(self.path(name + ".log"), encoding="utf-8", errors="replace") as f:
            return f.read()

    def stop(self):
        for child in self.children:
            child.terminate()
        for child in self.children:
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()

    def cli_run(self, command, code=0, expected_err=""):
        args = shlex.split(command)
        result = subprocess.run([self.cli] + args[1:], env=self.env, capture_output=True, text=True, timeout=60)
        check(result.returncode == code and expected_err in result.stderr,
              "%s: exit %d: %s" % (command, result.returncode, result.stderr))


def bind_conf(run, name, text, port):
    os.makedirs(run.path(name))
    options = 'options {\n    pid-file "%s";\n    session-keyfile "%s";\n    listen-on-v6 { none; };' % (
        run.path(name, "named.pid"), run.path(name, "session.key"))
    return run.write(name + ".conf", text.replace("options {", options).replace("/var/cache/bind", run.path(name))
                     + ("" if "controls" in text else "controls { };\n"))


def scenario(run):
    primary, resolver, control, unbound, dnsmasq = (free_port() for _ in range(5))
    zone, sources = run.path("rpz.quorvale.zone"), run.path("sources.txt")
    lists = run.write("ads.hosts", "0.0.0.0 blocked.test\n0.0.0.0 allowed.test\n198.51.100.7 redirected.test\n"
                      "0.0.0.0 ads.test\n")
    run.write("names.txt", "tracker.invalid\n")
    run.write("sources.txt", "file://%s\nnames.txt domains\n" % lists)
    run.write("allow.txt", "allowed.test\nlogin.ads.test\n")
    key = run.write("rndc.key", 'key "rndc-key" { algorithm hmac-sha256; secret "%s"; };\n'
                    % base64.b64encode(os.urandom(32)).decode())
    rndc_conf = run.write("rndc.conf", 'include "%s";\noptions { default-key "rndc-key"; default-server 127.0.0.1; '
                          'default-port %d; };\n' % (key, control))
    check("ExecStart=\nExecStart=/usr/bin/" + recipe("update-rpz") in recipe("drop-in"),
          "the drop-in runs another command")
    paths = [(r"/etc/quorvale/sources\.txt", sources), (r"/var/lib/quorvale/rpz\.quorvale\.zone", zone)]
    update = recipe("update-rpz", (r"/usr/sbin/rndc", "%s -c %s" % (shutil.which("rndc"), rndc_conf)), *paths)
    run.write("test.zone", "$ORIGIN test.\n$TTL 300\n@ SOA localhost. hostmaster.localhost. 1 3600 600 604800 300\n"
              "@ NS localhost.\n" + "".join("%s A %s\n" % item for item in TEST_ZONE.items()))

    note("first update, without --after-write, then the BIND primary and resolver")
    run.cli_run(re.sub(r'--after-write "[^"]*"', "", update))
    first = zone_serial(zone)
    run.start("primary", "named", "-g", "-c", bind_conf(run, "primary", recipe(
        "bind-primary", (r"192\.0\.2\.54 port 53\b", "127.0.0.1 port %d" % resolver),
        (r"192\.0\.2\.5[34]", "127.0.0.1"),
        (r"port 53\b", "port %d" % primary), (r"port 953\b", "port %d" % control), (r"/etc/bind/rndc\.key", key),
        *paths), primary))
    wait_until("the primary's zone", lambda: serial(primary) == first)
    run.start("resolver", "named", "-g", "-c", bind_conf(run, "resolver", recipe(
        "bind-resolver", (r"192\.0\.2\.53 port 53\b", "127.0.0.1 port %d" % primary), (r"192\.0\.2\.54", "127.0.0.1"),
        (r"port 53\b", "port %d" % resolver)) + 'zone "test" { type primary; file "%s"; };\n' % run.path("test.zone"),
        resolver))
    wait_until("the resolver's answers", lambda: answers(resolver, dict(THROUGH_RPZ, **{"changed.test": (
        "NOERROR", ["192.0.2.4"])})))

    note("a source changes: new serial, rndc reload, the resolver follows")
    run.write("names.txt", "tracker.invalid\nchanged.test\n")
    run.cli_run(update)
    second = zone_serial(zone)
    check(second > first and run.log("primary").count(RELOADS) == 1, "serial %d -> %d, reloads: %d" % (
        first, second, run.log("primary").count(RELOADS)))
    wait_until("the primary's new serial", lambda: serial(primary) == second)
    wait_until("the resolver's change", lambda: dig(resolver, "changed.test") == ("NXDOMAIN", []))

    note("nothing changed: nothing written, nothing run")
    before = os.stat(zone)
    with open(zone, "rb") as f:
        old_bytes = f.read()
    run.cli_run(update.replace(" --quiet", ""), expected_err="rien n'a change, rien n'est ecrit")
    with open(zone, "rb") as f:
        check(f.read() == old_bytes and os.stat(zone).st_mtime_ns == before.st_mtime_ns, "the zone was written")
    check(run.log("primary").count(RELOADS) == 1, "rndc ran for a run that wrote nothing")

    note("--rpz-wildcard: the names below a blocked one too, but the allowed one")
    check(dig(resolver, "x.ads.test") == ("NOERROR", ["192.0.2.6"]), "a name below a blocked one is blocked")
    run.cli_run(update + " --rpz-wildcard")
    wait_until("the resolver's wildcard", lambda: answers(resolver, {
        "x.ads.test": ("NXDOMAIN", []), "login.ads.test": ("NOERROR", ["192.0.2.7"])}))

    note("Unbound reads the zone file, and again through unbound-control")
    # Unbound answers its local zones (test. is one by default) before its rpz: clause looks.
    conf = run.write("unbound.conf", 'server:\n    username: ""\n    chroot: ""\n    directory: "%s"\n    pidfile: ""\n'
                     '    use-syslog: no\n    local-zone: "test." nodefault\nauth-zone:\n    name: "test."\n'
                     '    zonefile: "%s"\n    for-downstream: no\nremote-control:\n    control-enable: yes\n'
                     '    control-interface: "%s"\n' % (run.work, run.path("test.zone"), run.path("unbound.ctl"))
                     + recipe("unbound", (r"192\.0\.2\.54", "127.0.0.1"), (r"port: 53\b", "port: %d" % unbound),
                              *paths))
    subprocess.run(["unbound-checkconf", conf], check=True, capture_output=True, timeout=30)
    run.start("unbound", "unbound", "-d", "-c", conf)
    wait_until("Unbound's answers", lambda: answers(unbound, dict(THROUGH_RPZ, **{"changed.test": ("NXDOMAIN", [])})))
    run.write("names.txt", "tracker.invalid\n")
    run.cli_run(recipe("update-rpz-unbound", (r"/usr/sbin/unbound-control", "%s -c %s" % (
        shutil.which("unbound-control"), conf)), *paths))
    wait_until("Unbound's new zone", lambda: dig(unbound, "changed.test") == ("NOERROR", ["192.0.2.4"]))

    note("dnsmasq reads the HOSTS file again on SIGHUP")
    hosts = run.path("hosts")
    conf = run.write("dnsmasq.conf", recipe("dnsmasq", (r"/var/lib/quorvale/hosts", hosts))
                     + "host-record=allowed.test,192.0.2.3\n")
    server = run.start("dnsmasq", "dnsmasq", "-k", "--port=%d" % dnsmasq, "--listen-address=127.0.0.1",
                       "--bind-interfaces", "--no-resolv", "--no-hosts", "--pid-file=", "--log-facility=-",
                       "--conf-file=" + conf, "--user=" + pwd.getpwuid(os.getuid()).pw_name)
    wait_until("dnsmasq", lambda: dig(dnsmasq, "allowed.test") == ("NOERROR", ["192.0.2.3"]))
    run.cli_run(recipe("update-hosts", (r"/usr/bin/systemctl reload dnsmasq", "%s -HUP %d" % (
        shutil.which("kill"), server.pid)), (r"/var/lib/quorvale/hosts", hosts), *paths))
    wait_until("dnsmasq's answers",
               lambda: answers(dnsmasq, dict(THROUGH_RPZ, **{"blocked.test": ("NOERROR", ["0.0.0.0"])})))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvale-dns-") as work:
        run = Run(work, os.path.abspath(args.cli))
        try:
            scenario(run)
        except (Failure, subprocess.SubprocessError, OSError) as failure:
            print("FAILED: %s" % failure, file=sys.stderr)
            for name in ("primary", "resolver", "unbound", "dnsmasq"):
                if os.path.exists(run.path(name + ".log")):
                    print("--- %s.log\n%s" % (name, run.log(name)[-3000:]), file=sys.stderr)
            return 1
        finally:
            run.stop()
    note("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
