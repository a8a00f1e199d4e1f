#!/usr/bin/env python3
"""HTTPS/1.1 test download server.

    server.py --root DIR --cert PEM --key PEM [--host 127.0.0.1] [--port 8443]
              [--ready-file FILE]

Serves GET and HEAD of the files under DIR. A file DIR/<path>.fault, read anew
on every request, makes the answer to <path> misbehave; its first line is one of

    404 | 500                 that status with a small HTML page
    reset                     headers with the true length, half the body, TCP RST
    truncate                  headers with the true length, half the body, close
    drip BYTES SECONDS        the body BYTES at a time, SECONDS between chunks
    stall                     status and headers, then nothing (at most 120 s)
    halt                      headers with the true length, half the body, then
                              nothing on the open connection (at most 120 s)
    silent                    the request read, then no answer at all (at most 120 s)
    redirect URL              302 to URL
    cut FRACTION              headers with the answer's true length, FRACTION
                              of that body (0 to 1), close
    no-ranges                 Range and If-Range ignored: always 200 and all
    ignore-if-range           If-Range ignored, as by a proxy that does not know
                              it: a Range gets 206 of the file as it is now
    endless                   200 without a length, the file's bytes and then
                              more without end, until the client leaves (at
                              most 120 s)
    announce LENGTH           the file's answer, with Content-Length LENGTH
                              (any count) instead of its own, then close

Every file answer carries a strong ETag (from its bytes) and Last-Modified.
A request with "Range: bytes=N-" or "bytes=N-M" gets 206 with Content-Range,
unless it carries an If-Range that names neither (then 200 and all); a
range that starts at or past the end gets 416 with "Content-Range: bytes */T".

Each answer appends "<path> <status> <Range or -> <If-Range or -> <bytes>"
to DIR/headers.log when it ends, blanks inside a header value as "_".

Each answer appends "<start> <end> <path> <fault|ok> <bytes>" to
DIR/requests.log when it ends; blanks inside the fault become "_" so that every
line splits into five fields. An answer of a file appends its path to
DIR/answers.log once its headers are out, for a test that acts while the
body is on its way (a drip, a stall).
"""
import argparse
import email.utils
import hashlib
import http.server
import os
import re
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

STALL_LIMIT_SECONDS = 120
HANDSHAKE_TIMEOUT_SECONDS = 10
# An idle keep-alive connection must not keep a handler thread forever.
IDLE_TIMEOUT_SECONDS = 60

stopping = threading.Event()
log_lock = threading.Lock()


class ClientGone(Exception):
    pass


def well_formed(words):
    if not words:
        return True
    kind, arguments = words[0], words[1:]
    if kind in ("404", "500", "reset", "truncate", "stall", "halt", "silent", "no-ranges", "ignore-if-range"):
        return not arguments
    if kind == "endless":
        return not arguments
    if kind == "announce" and len(arguments) == 1:
        return arguments[0].isdigit()
    if kind == "cut" and len(arguments) == 1:
        try:
            return 0 <= float(arguments[0]) <= 1
        except ValueError:
            return False
    if kind == "redirect":
        return len(arguments) == 1
    if kind == "drip" and len(arguments) == 2:
        try:
            return int(arguments[0]) > 0 and float(arguments[1]) >= 0
        except ValueError:
            return False
    return False


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestDownloadServer/1"
    root = "."
    timeout = IDLE_TIMEOUT_SECONDS

    def setup(self):
        # The TLS handshake runs here, in the connection's own thread, so that a
        # client that never finishes it cannot hold up the accept loop.
        self.request.settimeout(HANDSHAKE_TIMEOUT_SECONDS)
        self.request.do_handshake()
        super().setup()

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def answer(self, with_body):
        start = time.time()
        path = urllib.parse.urlsplit(self.path).path
        local = self.local_file(path)
        fault = self.fault_for(local)
        self.sent = 0
        self.status = 0
        try:
            self.respond(local, fault, with_body)
        except (ClientGone, OSError):
            # The client went away (or the fault did that on purpose).
            self.close_connection = True
        finally:
            self.log_request_line(start, path, fault)
            self.log_headers_line(path)

    def local_file(self, path):
        root = os.path.realpath(self.root)
        local = os.path.realpath(os.path.join(root, urllib.parse.unquote(path).lstrip("/")))
        return local if local.startswith(root + os.sep) else None

    @staticmethod
    def fault_for(local):
        if local is None:
            return ""
        try:
            with open(local + ".fault") as f:
                return " ".join(f.readline().split())
        except OSError:
            return ""

    def log_request_line(self, start, path, fault):
        line = "%.3f %.3f %s %s %d\n" % (start, time.time(), path, fault.replace(" ", "_") or "ok", self.sent)
        with log_lock, open(os.path.join(self.root, "requests.log"), "a") as log:
            log.write(line)

    def log_headers_line(self, path):
        asked = [(self.headers.get(name) or "-").replace(" ", "_") for name in ("Range", "If-Range")]
        line = "%s %d %s %s %d\n" % (path, self.status, asked[0], asked[1], self.sent)
        with log_lock, open(os.path.join(self.root, "headers.log"), "a") as log:
            log.write(line)

    def send_response(self, code, message=None):
        self.status = code
        super().send_response(code, message)

    # -- answers ---------------------------------------------------------------

    def respond(self, local, fault, with_body):
        words = fault.split()
        kind = words[0] if words else "ok"
        if not well_formed(words):
            # A mistyped fault is a broken test; say so where the test run shows it.
            sys.stderr.write("server.py: bad fault line %r for %s\n" % (fault, self.path))
            return self.status_page(500, with_body)
        if kind in ("404", "500"):
            return self.status_page(int(kind), with_body)
        if kind == "redirect":
            self.send_response(302)
            self.send_header("Location", words[1])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if kind == "silent":
            return self.wait_for_client_to_leave()
        if local is None or not os.path.isfile(local):
            return self.status_page(404, with_body)
        with open(local, "rb") as f:
            body = f.read()
        version = {"ETag": '"%s"' % hashlib.sha256(body).hexdigest()[:32],
                   "Last-Modified": email.utils.formatdate(os.path.getmtime(local), usegmt=True)}
        first = None if kind == "no-ranges" else self.range_start(body, version, kind != "ignore-if-range")
        if first is not None and first >= len(body):
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % len(body))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        whole = len(body)
        if first is not None:
            body = body[first:self.range_end(whole)]
        length = None if kind == "endless" else int(words[1]) if kind == "announce" else len(body)
        self.headers_for(length, version, None if first is None else (first, first + len(body) - 1, whole))
        if not with_body:
            return
        if kind == "endless":
            self.write(body)
            deadline = time.time() + STALL_LIMIT_SECONDS
            filler = b"x" * 65536
            while time.time() < deadline and not stopping.is_set():
                self.write(filler)
            self.close_politely()
        elif kind == "announce":
            self.write(body)
            self.close_politely()
        elif kind == "cut":
            self.write(body[: int(len(body) * float(words[1]))])
            self.close_politely()
        elif kind == "truncate":
            self.write(body[: len(body) // 2])
            self.close_politely()
        elif kind == "reset":
            self.write(body[: len(body) // 2])
            self.reset()
        elif kind == "stall":
            self.wait_for_client_to_leave()
        elif kind == "halt":
            self.write(body[: len(body) // 2])
            self.wait_for_client_to_leave()
        elif kind == "drip":
            self.drip(body, int(words[1]), float(words[2]))
        else:
            self.write(body)

    def status_page(self, code, with_body):
        body = b"<html><head><title>%d</title></head><body><h1>%d</h1></body></html>\n" % (code, code)
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if with_body:
            self.write(body)

    def range_start(self, body, version, honour_condition):
        """Where a Range the client may have asked for starts, or None for all."""
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        condition = self.headers.get("If-Range") if honour_condition else None
        if not match or (condition is not None and condition.strip() not in version.values()):
            return None
        return int(match.group(1))

    def range_end(self, whole):
        last = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers["Range"].strip()).group(2)
        return min(whole, int(last) + 1) if last else whole

    def headers_for(self, length, version, part):
        """None for `length`: a body that runs until the connection closes."""
        self.send_response(206 if part else 200)
        self.send_header("Content-Type", "application/octet-stream")
        if length is None:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(length))
        for name, value in version.items():
            self.send_header(name, value)
        if part:
            self.send_header("Content-Range", "bytes %d-%d/%d" % part)
        self.end_headers()
        self.wfile.flush()
        with log_lock, open(os.path.join(self.root, "answers.log"), "a") as log:
            log.write(urllib.parse.urlsplit(self.path).path + "\n")

    def write(self, data):
        self.wfile.write(data)
        self.wfile.flush()
        self.sent += len(data)

    def drip(self, body, size, pause):
        for offset in range(0, len(body), size):
            if offset and stopping.wait(pause):
                raise ClientGone()
            self.write(body[offset:offset + size])

    def reset(self):
        # Linger 0 turns close() into a RST; no TLS close_notify goes first.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()
        raise ClientGone()

    def close_politely(self):
        # TLS close_notify, then FIN: the client sees an orderly end of stream.
        # Non-blocking, so that unwrap() sends close_notify without waiting
        # for the client's.
        self.close_connection = True
        self.connection.settimeout(0)
        try:
            self.connection.unwrap()
        except (OSError, ValueError):
            pass

    def wait_for_client_to_leave(self):
        self.close_connection = True
        self.connection.settimeout(1)
        deadline = time.time() + STALL_LIMIT_SECONDS
        while time.time() < deadline and not stopping.is_set():
            try:
                if not self.connection.recv(1):
                    return
            except socket.timeout:
                continue
            except (OSError, ValueError):
                return


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, context):
        self.context = context
        self.live = {}
        self.live_lock = threading.Lock()
        super().__init__(address, Handler)

    def process_request_thread(self, request, client_address):
        me = threading.current_thread()
        with self.live_lock:
            self.live[me] = request
        try:
            super().process_request_thread(request, client_address)
        finally:
            with self.live_lock:
                self.live.pop(me, None)

    def close_connections(self, grace_seconds):
        # Ends the connections still open (a stall, an idle keep-alive) so that
        # their handlers can still write their lines to requests.log.
        with self.live_lock:
            live = list(self.live.items())
        for _, sock in live:
            try:
                socket.socket.shutdown(sock, socket.SHUT_RDWR)
            except OSError:
                pass
        deadline = time.time() + grace_seconds
        for thread, _ in live:
            thread.join(max(0.0, deadline - time.time()))

    def get_request(self):
        sock, address = self.socket.accept()
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address

    def handle_error(self, request, client_address):
        # Failed handshakes (an untrusted certificate, a client that leaves)
        # are part of the tests, not errors of the server.
        pass


def main():
    parser = argparse.ArgumentParser(description="HTTPS test download server with per-path faults")
    parser.add_argument("--root", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8443)
    parser.add_argument("--ready-file")
    args = parser.parse_args()

    Handler.root = os.path.abspath(args.root)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server = Server((args.host, args.port), context)

    def stop(signum, frame):
        stopping.set()
        # shutdown() waits for serve_forever(), which runs in this very thread.
        threading.Thread(target=server.shutdown).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    if args.ready_file:
        # Written under another name first so that nobody reads half a file.
        temporary = args.ready_file + ".tmp"
        with open(temporary, "w") as f:
            f.write("%s %d %d\n" % (args.host, server.server_address[1], os.getpid()))
        os.replace(temporary, args.ready_file)

    server.serve_forever()
    server.server_close()
    server.close_connections(grace_seconds=3)


if __name__ == "__main__":
    main()
