#!/usr/bin/env python3
"""A web site on loopback for the crawl tests.

Serves the files below --root with Last-Modified and 304 answers (the
standard library's file handler), and the special answers of --routes, a
JSON object mapping a path to a description:

  {"status": 302, "headers": {"Location": "/b.htm"}, "body": "..."}
  {"raw": "bytes sent as they stand, then the connection closes"}
  {"stall": 30}              headers sent, then silence for 30 s
  {"short": 1000, "body": "abc"}   announces 1000 bytes, sends fewer
  {"auth": "user:password"}  the file is served only with these Basic
                             credentials, else 401
  {"delay": 0.3}             the file is served after a pause
  {"repeat": "<a href=x>", "times": 100000, "type": "text/html"}

Every request is appended to --log as a JSON line: method, path (as the
request line has it), the headers, and the status answered. The chosen
port is written to --port-file. Asked as an upstream proxy (an absolute
URL in the request line), it answers from the same files.
"""
import argparse
import base64
import http.server
import json
import os
import socketserver
import sys
import threading
import time
import urllib.parse

LOCK = threading.Lock()


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def record(self, status):
        entry = {
            "method": self.command,
            "path": getattr(self, "asked_path", self.path),
            "headers": {k: v for k, v in self.headers.items()},
            "status": status,
        }
        with LOCK, open(self.server.log_path, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def send_response(self, code, message=None):
        self._status = code
        super().send_response(code, message)

    def local_path(self):
        path = self.path
        if path.startswith("http://"):
            path = "/" + path[7:].split("/", 1)[1] if "/" in path[7:] else "/"
        return path

    def do_GET(self):
        self._status = 0
        self.asked_path = self.path
        self.path = self.local_path()
        route = self.server.routes.get(self.path.split("?", 1)[0])
        try:
            if route is not None and self.special(route):
                return
            super().do_GET()
        finally:
            self.record(self._status)

    def do_POST(self):
        self._status = 200
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        page = b"<html><title>Posted</title><body>got " + body + b"</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)
        self.record(200)

    def special(self, route):
        if "auth" in route:
            expected = "Basic " + base64.b64encode(route["auth"].encode()).decode()
            if self.headers.get("Authorization") != expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="test"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return True
            return False
        if "delay" in route:
            time.sleep(route["delay"])
            return False
        if "raw" in route:
            self._status = -1
            self.wfile.write(route["raw"].encode("latin-1"))
            return True
        if "stall" in route:
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.flush()
            time.sleep(route["stall"])
            return True
        data = route.get("data")
        if data is None:
            data = route.get("body", "").encode("latin-1")
        self.send_response(route.get("status", 200))
        for name, value in route.get("headers", {}).items():
            self.send_header(name, value)
        self.send_header("Content-Type", route.get("type", "text/html"))
        self.send_header("Content-Length", str(route.get("short", len(data))))
        self.end_headers()
        self.wfile.write(data)
        return True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--routes")
    parser.add_argument("--log", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    routes = {}
    if args.routes:
        with open(args.routes) as f:
            routes = json.load(f)
    for route in routes.values():
        if "repeat" in route:
            route["data"] = (route["repeat"] * route["times"]).encode("latin-1")
    log_path = os.path.abspath(args.log)
    port_file = os.path.abspath(args.port_file)
    os.chdir(args.root)
    server = Server(("127.0.0.1", 0), Handler)
    server.log_path = log_path
    server.routes = routes
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
