# SPDX-License-Identifier: MIT
"""Loopback HTTP server for the transfer engine tests.

Usage: http_server.py ROOT PORTFILE
Serves ROOT under /files/, plus /redirect/<name>, /status/<code>[empty],
/trickle (endless slow body) and /drop (connection closed mid-body).
Writes its port to PORTFILE once it listens.
"""
import http.server
import os
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, fmt, *args):
        pass

    def send_body(self, code, body, length=None):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path.startswith("/files/"):
            name = os.path.basename(path[len("/files/"):])
            full = os.path.join(self.root, name)
            if not os.path.isfile(full):
                return self.send_body(404, b"no such file")
            with open(full, "rb") as f:
                data = f.read()
            return self.send_body(200, data)
        if path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", "/files/" + path[len("/redirect/"):])
            self.send_header("Content-Length", "9")
            self.end_headers()
            self.wfile.write(b"moved on\n")
            return
        if path.startswith("/status/"):
            arg = path[len("/status/"):]
            if arg.endswith("empty"):
                return self.send_body(int(arg[:-5]), b"")
            return self.send_body(int(arg), ("status %s\n" % arg).encode() * 20)
        if path == "/trickle":
            self.send_response(200)
            self.send_header("Content-Length", str(100 * 1000 * 1000))
            self.end_headers()
            deadline = time.time() + 60
            try:
                while time.time() < deadline:
                    self.wfile.write(b"x" * 1000)
                    self.wfile.flush()
                    time.sleep(0.02)
            except OSError:
                pass
            self.close_connection = True
            return
        if path == "/drop":
            self.send_response(200)
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            self.wfile.write(b"y" * 50000)
            self.wfile.flush()
            self.close_connection = True
            return
        self.send_body(404, b"unknown path")


def main():
    Handler.root = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    tmp = sys.argv[2] + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(tmp, sys.argv[2])
    server.serve_forever()


if __name__ == "__main__":
    main()
