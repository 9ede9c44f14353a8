#!/usr/bin/env python3
"""The HTTP(S) server of the download tests, on 127.0.0.1 only.

It prints its port on one line (with --http-port-too: the TLS port, a blank, the plain HTTP
port), then serves until its standard input closes. Requests are logged on stderr.

  --root DIR          serves the files of DIR at /files/<name>, with a strong ETag (the
                      sha256 of the bytes) and Last-Modified (the file's time), answering 304
                      to If-None-Match and If-Modified-Since
  --gzip              gzip-encodes those files when the request accepts gzip
  --tls CERT KEY      serves HTTPS
  --http-port-too     also serves plain HTTP on a second port (the target of /to-http)
  --make-certs DIR    only makes a throwaway CA (ca.pem) and two server certificates signed
                      by it in DIR, with openssl: server.pem/key for 127.0.0.1 and localhost,
                      wrong.pem/key for wrong.invalid; then exits

The fixed routes are faults and cases of the tests; see ROUTES.
"""

import argparse
import email.utils
import gzip
import hashlib
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

ETAG_BODY = b"etag body\n"
ETAG = '"v1"'
DRIP_PAUSE_SECONDS = 5        # past any stall limit that a test passes
SLOW_STEP_SECONDS = 0.05      # /slow-total: one byte each step...
SLOW_STEPS = 200              # ...for 10 s at most, past any total limit that a test passes
BOMB_BYTES = 10_000_000       # /bomb inflates to this, from about 10 kB


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # no delayed answer when headers and body are written apart

    def answer(self, status, body=b"", headers=(), length=None):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def redirect(self, location):
        self.answer(302, headers=[("Location", location)])

    def do_GET(self):
        try:
            path = self.path.split("?", 1)[0]
            if path.startswith("/files/") and self.server.options.root:
                self.serve_file(path[len("/files/"):])
            elif path in ROUTES:
                ROUTES[path](self)
            else:
                self.answer(404, b"not found\n")
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True  # the client went away, as the fault tests do

    def none_match(self, etag):
        wanted = self.headers.get("If-None-Match")
        return wanted is not None and (wanted.strip() == "*" or etag in [t.strip() for t in wanted.split(",")])

    def serve_file(self, name):
        file_path = os.path.join(self.server.options.root, os.path.basename(name))
        if not os.path.isfile(file_path):
            return self.answer(404, b"not found\n")
        with open(file_path, "rb") as f:
            body = f.read()
        mtime = int(os.stat(file_path).st_mtime)
        validators = [("ETag", '"%s"' % hashlib.sha256(body).hexdigest()),
                      ("Last-Modified", email.utils.formatdate(mtime, usegmt=True))]
        since = self.headers.get("If-Modified-Since")
        if "If-None-Match" in self.headers:
            unchanged = self.none_match(validators[0][1])
        else:
            unchanged = since is not None and mtime <= email.utils.parsedate_to_datetime(since).timestamp()
        if unchanged:
            return self.answer(304, headers=validators)
        if self.server.options.gzip and "gzip" in self.headers.get("Accept-Encoding", ""):
            return self.answer(200, gzip.compress(body, mtime=0), validators + [("Content-Encoding", "gzip")])
        self.answer(200, body, validators)

    def etag(self):
        if self.none_match(ETAG):
            return self.answer(304, headers=[("ETag", ETAG)])
        self.answer(200, ETAG_BODY, [("ETag", ETAG)])

    def drip(self):
        self.answer(200, b"abc", length=10)
        time.sleep(DRIP_PAUSE_SECONDS)
        self.wfile.write(b"defghij")

    def short(self):
        self.answer(200, b"0123456789", length=100)
        self.close_connection = True

    def gzip_body(self):
        self.answer(200, gzip.compress(b"gzip body\n" * 100, mtime=0), [("Content-Encoding", "gzip")])

    def bomb(self):
        self.answer(200, gzip.compress(b"\0" * BOMB_BYTES, mtime=0), [("Content-Encoding", "gzip")])

    def slow_total(self):
        self.answer(200, length=SLOW_STEPS)
        for _ in range(SLOW_STEPS):
            time.sleep(SLOW_STEP_SECONDS)
            self.wfile.write(b"x")
            self.wfile.flush()

    def to_http(self):
        self.redirect("http://127.0.0.1:%d/etag" % self.server.options.plain_port)

    def log_message(self, format, *args):
        sys.stderr.write("http_test_server: %s\n" % (format % args))


ROUTES = {
    "/etag": Handler.etag,
    "/404": lambda h: h.answer(404, b"not found\n"),
    "/500": lambda h: h.answer(500, b"server error\n"),
    "/drip": Handler.drip,
    "/short": Handler.short,
    "/gzip": Handler.gzip_body,
    "/bomb": Handler.bomb,
    "/loop": lambda h: h.redirect("/loop"),
    "/to-http": Handler.to_http,
    "/redirect-once": lambda h: h.redirect("/etag"),
    "/slow-total": Handler.slow_total,
}


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        sys.stderr.write("http_test_server: %s\n" % (sys.exc_info()[1],))


def make_certs(folder):
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    key_options = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2"]
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
    openssl("req", "-x509", *key_options, "-keyout", ca_key, "-out", ca, "-subj", "/CN=Quorvale test CA")
    for name, common_name, names in (("server", "127.0.0.1", "IP:127.0.0.1,DNS:localhost"),
                                     ("wrong", "wrong.invalid", "DNS:wrong.invalid")):
        openssl("req", "-x509", *key_options, "-CA", ca, "-CAkey", ca_key, "-subj", "/CN=" + common_name,
                "-keyout", os.path.join(folder, name + ".key"), "-out", os.path.join(folder, name + ".pem"),
                "-addext", "subjectAltName=" + names, "-addext", "basicConstraints=critical,CA:FALSE",
                "-addext", "extendedKeyUsage=serverAuth")


def start(options, tls):
    server = Server(("127.0.0.1", 0), Handler)
    server.options = options
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*options.tls)
        # The handshake happens in the request's thread, so a stuck client blocks no other.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root")
    parser.add_argument("--gzip", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--http-port-too", action="store_true")
    parser.add_argument("--make-certs", metavar="DIR")
    options = parser.parse_args()
    if options.make_certs:
        return make_certs(options.make_certs)
    options.plain_port = start(options, tls=False) if options.http_port_too else 0
    ports = [start(options, tls=bool(options.tls))] + ([options.plain_port] if options.plain_port else [])
    print(" ".join(map(str, ports)), flush=True)
    while sys.stdin.buffer.read(4096):
        pass


if __name__ == "__main__":
    main()
