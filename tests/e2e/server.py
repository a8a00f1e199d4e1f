#!/usr/bin/env python3
"""HTTPS/1.1 test download server with faults chosen per path.

Serves the files under --root. A file "<path>.fault" next to a served path
selects, on every request, what the answer to that path does instead:

  404 | 500               that status with a small HTML page
  reset                   half the body, then a TCP reset
  truncate                a Content-Length larger than the body, then close
  drip BYTES SECONDS      the body BYTES at a time, SECONDS apart
  stall                   the headers, then nothing until the client leaves
  redirect URL            a 302 to URL

Every answer appends "<start> <end> <path> <fault|ok> <bytes>" to
<root>/requests.log, so a test can tell whether two downloads overlapped.
"""
import argparse
import http.server
import os
import signal
import socket
import ssl
import struct
import threading
import time

STALL_LIMIT_SECONDS = 120


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."
    log_lock = threading.Lock()

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_GET(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        start = time.time()
        path = self.path.split("?", 1)[0]
        local = os.path.normpath(os.path.join(self.root, path.lstrip("/")))
        if not local.startswith(os.path.abspath(self.root) + os.sep):
            local = None
        fault = self.read_fault(local)
        sent = 0
        try:
            sent = self.serve(local, fault, send_body)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, socket.timeout):
            pass
        finally:
            self.record(start, path, fault, sent)

    @staticmethod
    def read_fault(local):
        if not local:
            return None
        try:
            with open(local + ".fault") as f:
                return f.readline().strip() or None
        except OSError:
            return None

    def record(self, start, path, fault, sent):
        line = "%.3f %.3f %s %s %d\n" % (start, time.time(), path, (fault or "ok").replace(" ", "_"), sent)
        with self.log_lock, open(os.path.join(self.root, "requests.log"), "a") as log:
            log.write(line)

    def status_page(self, code, send_body):
        body = b"<html><body><h1>%d</h1></body></html>" % code
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)
        return len(body)

    def headers_for(self, length):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def serve(self, local, fault, send_body):
        words = fault.split() if fault else []
        kind = words[0] if words else "ok"
        if kind in ("404", "500"):
            return self.status_page(int(kind), send_body)
        if kind == "redirect":
            self.send_response(302)
            self.send_header("Location", words[1])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return 0
        if not local or not os.path.isfile(local):
            return self.status_page(404, send_body)
        with open(local, "rb") as f:
            body = f.read()
        if kind == "truncate":
            self.headers_for(len(body) + max(1024, len(body)))
            self.wfile.write(body)
            self.close_connection = True
            return len(body)
        self.headers_for(len(body))
        if not send_body:
            return 0
        if kind == "reset":
            half = body[: len(body) // 2]
            self.wfile.write(half)
            self.wfile.flush()
            self.reset_connection()
            return len(half)
        if kind == "stall":
            self.wfile.flush()
            self.wait_for_client_to_leave()
            return 0
        if kind == "drip":
            chunk, pause = int(words[1]), float(words[2])
            sent = 0
            for offset in range(0, len(body), chunk):
                self.wfile.write(body[offset : offset + chunk])
                self.wfile.flush()
                sent += len(body[offset : offset + chunk])
                time.sleep(pause)
            return sent
        self.wfile.write(body)
        return len(body)

    def reset_connection(self):
        # A zero linger time makes the close send RST instead of FIN; no TLS
        # close_notify goes out first.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()

    def wait_for_client_to_leave(self):
        self.connection.settimeout(1.0)
        deadline = time.time() + STALL_LIMIT_SECONDS
        while time.time() < deadline:
            try:
                if not self.connection.recv(1):
                    break
            except socket.timeout:
                continue
            except (OSError, ssl.SSLError):
                break
        self.close_connection = True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
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
    server = Server((args.host, args.port), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    if args.ready_file:
        with open(args.ready_file, "w") as f:
            f.write("ready\n")
    server.serve_forever()
    server.server_close()


if __name__ == "__main__":
    main()
