#!/usr/bin/env python3
"""The download tests' HTTP(S) server, on 127.0.0.1 only: prints its port on one line (with
--http-port-too, the plain HTTP port after it), serves until its standard input closes, and logs
each request on stderr. --root DIR serves DIR's files at /files/<name> with a strong ETag (sha256;
9 000 bytes of it repeated for the names that start with "long-etag") and Last-Modified (neither
for the names that start with "no-validators"), and a Content-Type with a charset for the names it knows (gzip-encoded, with --gzip, when the request
accepts it). --make-certs DIR only
makes, with openssl, a throwaway CA (ca.pem) and two certificates that it signs: server.pem and
.key (127.0.0.1, localhost), wrong.pem and .key (wrong.invalid)."""

import argparse, email.utils, gzip, hashlib, http.server, mimetypes, os, ssl, subprocess, sys, threading, time

ETAG = '"v1"'
LONG_ETAG_PREFIX, LONG_ETAG_BYTES = "long-etag", 9000  # files so named get an ETag that long
NO_VALIDATORS_PREFIX = "no-validators"  # files so named come without ETag or Last-Modified
CHAIN_PREFIX = "/chain/"  # /chain/N redirects to /chain/N-1; /chain/0 answers CHAIN_END
CHAIN_END = b"chain end\n"
DRIP_PAUSE_SECONDS = 5  # past any stall limit of the tests
STALL_SECONDS = 60  # /stall and /silent: past the default stall limit, which only a stop ends sooner
SLOW_STEPS, SLOW_STEP_SECONDS = 200, 0.05  # /slow-total: 10 s, past any total limit of the tests


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

    # gzip-encoded when the request accepts it (WinHTTP asks for no encoding where it cannot decode).
    def maybe_gzip(self, body, headers=()):
        if "gzip" not in self.headers.get("Accept-Encoding", ""):
            return self.answer(200, body, headers)
        self.answer(200, gzip.compress(body, mtime=0), [*headers, ("Content-Encoding", "gzip")])

    def do_GET(self):
        try:
            if self.path.startswith("/files/") and self.server.options.root:
                self.serve_file(os.path.join(self.server.options.root, os.path.basename(self.path)))
            elif self.path.startswith(CHAIN_PREFIX) and self.path[len(CHAIN_PREFIX):].isdigit():
                self.chain(int(self.path[len(CHAIN_PREFIX):]))
            else:
                ROUTES.get(self.path, lambda h: h.answer(404, b"not found\n"))(self)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True  # the client left, as the fault tests do

    def serve_file(self, path):
        if not os.path.isfile(path):
            return self.answer(404, b"not found\n")
        with open(path, "rb") as f:
            body = f.read()
        mtime, etag = int(os.stat(path).st_mtime), '"%s"' % hashlib.sha256(body).hexdigest()
        if os.path.basename(path).startswith(LONG_ETAG_PREFIX):
            etag = '"%s"' % (hashlib.sha256(body).hexdigest() * LONG_ETAG_BYTES)[:LONG_ETAG_BYTES - 2]
        validators = [("ETag", etag), ("Last-Modified", email.utils.formatdate(mtime, usegmt=True))]
        if os.path.basename(path).startswith(NO_VALIDATORS_PREFIX):
            validators = []
        media_type = mimetypes.guess_type(path)[0]
        headers = validators + ([("Content-Type", media_type + "; charset=utf-8")] if media_type else [])
        match, since = self.headers.get("If-None-Match"), self.headers.get("If-Modified-Since")
        if match == etag or (match is None and since and mtime <= email.utils.parsedate_to_datetime(since).timestamp()):
            return self.answer(304, headers=validators)
        self.maybe_gzip(body, headers) if self.server.options.gzip else self.answer(200, body, headers)

    def chain(self, left):
        if left == 0:
            return self.answer(200, CHAIN_END)
        self.answer(302, headers=[("Location", "%s%d" % (CHAIN_PREFIX, left - 1))])

    def drip(self):
        self.answer(200, b"abc", length=10)
        time.sleep(DRIP_PAUSE_SECONDS)
        self.wfile.write(b"defghij")

    def stall(self, headers_first):
        if headers_first:
            self.send_response(200)
            self.send_header("Content-Length", "10")
            self.end_headers()
            self.wfile.flush()
        time.sleep(STALL_SECONDS)
        self.close_connection = True

    def short(self):
        self.answer(200, b"0123456789", length=100)
        self.close_connection = True

    def slow_total(self):
        self.answer(200, length=SLOW_STEPS)
        for _ in range(SLOW_STEPS):
            time.sleep(SLOW_STEP_SECONDS)
            self.wfile.write(b"x")

    def log_message(self, format, *args):
        sys.stderr.write("http_test_server: %s\n" % (format % args))


ROUTES = {
    "/etag": lambda h: h.answer(304, headers=[("ETag", ETAG)]) if h.headers.get("If-None-Match") == ETAG
    else h.answer(200, b"etag body\n", [("ETag", ETAG)]),
    "/404": lambda h: h.answer(404, b"not found\n"),
    "/500": lambda h: h.answer(500, b"server error\n"),
    "/drip": Handler.drip,
    "/stall": lambda h: h.stall(headers_first=True),
    "/silent": lambda h: h.stall(headers_first=False),
    "/short": Handler.short,
    "/gzip": lambda h: h.maybe_gzip(b"gzip body\n" * 100),
    # About 10 kB that inflate to 10 MB, sent whatever the request accepts.
    "/bomb": lambda h: h.answer(200, gzip.compress(b"\0" * 10_000_000), [("Content-Encoding", "gzip")]),
    "/loop": lambda h: h.answer(302, headers=[("Location", "/loop")]),
    "/to-http": lambda h: h.answer(302, headers=[("Location", "http://127.0.0.1:%d/etag" % h.server.options.plain_port)]),
    "/redirect-once": lambda h: h.answer(302, headers=[("Location", "/etag")]),
    "/slow-total": Handler.slow_total,
}


def make_certs(folder):
    def openssl(name, subject, *args):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                        "-days", "2", "-subj", "/CN=" + subject, "-keyout", os.path.join(folder, name + ".key"),
                        "-out", os.path.join(folder, name + ".pem"), *args], check=True, capture_output=True)

    openssl("ca", "Quorvale test CA")
    for name, subject, names in (("server", "127.0.0.1", "IP:127.0.0.1,DNS:localhost"),
                                 ("wrong", "wrong.invalid", "DNS:wrong.invalid")):
        openssl(name, subject, "-CA", os.path.join(folder, "ca.pem"), "-CAkey", os.path.join(folder, "ca.key"),
                "-addext", "subjectAltName=" + names, "-addext", "basicConstraints=critical,CA:FALSE")


def start(options, tls):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.options = options
    server.handle_error = lambda request, address: sys.stderr.write("http_test_server: %s\n" % sys.exc_info()[1])
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*options.tls)
        # The handshake happens in the request's thread, where a failed one stops no other request.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root")
    parser.add_argument("--gzip", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--http-port-too", action="store_true")
    parser.add_argument("--make-certs", metavar="DIR")
    options = parser.parse_args()
    if options.make_certs:
        return make_certs(options.make_certs)
    options.plain_port = start(options, tls=False) if options.http_port_too else 0
    print(" ".join(str(port) for port in [start(options, tls=bool(options.tls)), options.plain_port] if port), flush=True)
    while sys.stdin.buffer.read(4096):
        pass


if __name__ == "__main__":
    main()
