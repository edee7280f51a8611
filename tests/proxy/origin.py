#!/usr/bin/env python3
"""A web server for the pass-through tests, on a loopback port it prints as
"PORT n". Each path answers with exact bytes, some of them the ways real
servers misbehave. It runs until it is terminated."""

import gzip
import random
import socket
import socketserver
import sys
import threading
import time
import zlib

PAGE = (b"<html><head><title>Origin page</title></head>\n<body><p>Hello from the origin."
        b"</p></body>\n</HTML>\n<!-- after the closing tag -->\n")
# A page of 12.7 KB, as the benchmark uses.
BIG_PAGE = (b"<html><head><title>Big page</title></head><body>\n" +
            b"".join(b"<p>Paragraph %05d of the big page, with some words to fill it.</p>\n" % i
                     for i in range(180))[:12700 - 70] + b"\n</body></html>\n")
BINARY = bytes(random.Random(7).getrandbits(8) for _ in range(100000))


def head(status, fields, version=b"HTTP/1.0"):
    lines = [version + b" " + status]
    lines += [name + b": " + value for name, value in fields]
    return b"\r\n".join(lines) + b"\r\n\r\n"


def chunked(body, size=100):
    out = b""
    for at in range(0, len(body), size):
        piece = body[at:at + size]
        out += b"%x;ext=1\r\n" % len(piece) + piece + b"\r\n"
    return out + b"0\r\nX-Trailer: yes\r\n\r\n"


def html_fields(length):
    return [(b"Content-Type", b"text/html; charset=utf-8"), (b"Content-Length", b"%d" % length),
            (b"Last-Modified", b"Tue, 01 Jul 2025 10:00:00 GMT"),
            (b"Expires", b"Wed, 02 Jul 2025 10:00:00 GMT")]


def answer(path, request, method):
    """The bytes to send, or None for a special behaviour handled below."""
    if path == "/page.html":
        body = PAGE if method != "HEAD" else b""
        return head(b"200 OK", html_fields(len(PAGE))) + body
    if path == "/big.html":
        return head(b"200 OK", [(b"Content-Type", b"text/html"),
                                (b"Content-Length", b"%d" % len(BIG_PAGE))]) + BIG_PAGE
    if path == "/nolength.html":
        return head(b"200 OK", [(b"Content-Type", b"TEXT/HTML")]) + PAGE
    if path == "/data.bin":
        return head(b"200 OK", [(b"Content-Type", b"application/octet-stream"),
                                (b"Content-Length", b"%d" % len(BINARY))]) + BINARY
    if path.startswith("/size/"):
        size = int(path[6:])
        return head(b"200 OK", [(b"Content-Type", b"application/octet-stream"),
                                (b"Content-Length", b"%d" % size)]) + b"x" * size
    if path == "/gzip.html":
        body = gzip.compress(PAGE)
        return head(b"200 OK", [(b"Content-Type", b"text/html"), (b"Content-Encoding", b"gzip"),
                                (b"Content-Length", b"%d" % len(body))]) + body
    if path == "/deflate.html":
        body = zlib.compress(PAGE)
        return head(b"200 OK", [(b"Content-Type", b"text/html"), (b"Content-Encoding", b"deflate")]) + body
    if path == "/chunked.html":
        return head(b"200 OK", [(b"Content-Type", b"text/html"), (b"Transfer-Encoding", b"chunked")],
                    b"HTTP/1.1") + chunked(PAGE)
    if path == "/chunked-gzip.html":
        return head(b"200 OK", [(b"Content-Type", b"text/html"), (b"Content-Encoding", b"gzip"),
                                (b"Transfer-Encoding", b"chunked")], b"HTTP/1.1") + chunked(gzip.compress(PAGE), 7)
    if path == "/chunked.bin":
        return head(b"200 OK", [(b"Content-Type", b"image/png"), (b"Transfer-Encoding", b"chunked")],
                    b"HTTP/1.1") + chunked(BINARY[:5000], 999)
    if path == "/brotli.html":
        return head(b"200 OK", [(b"Content-Type", b"text/html"), (b"Content-Encoding", b"br"),
                                (b"Content-Length", b"6")]) + b"\x0b\x02\x80abc"
    if path == "/notmodified.html":
        return head(b"304 Not Modified", [(b"Content-Type", b"text/html")])
    if path == "/echo":
        return head(b"200 OK", [(b"Content-Type", b"text/plain"),
                                (b"Content-Length", b"%d" % len(request))]) + request
    if path == "/garbage":
        return b"NOT AN HTTP RESPONSE\r\n\r\nat all"
    if path == "/midheader":
        return b"HTTP/1.1 200 OK\r\nContent-Ty"
    return None


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        connection = self.request
        request = b""
        while b"\r\n\r\n" not in request:
            piece = connection.recv(65536)
            if not piece:
                return
            request += piece
        line = request.split(b"\r\n", 1)[0].decode("latin-1")
        method, target = line.split(" ")[:2]
        length = 0
        for field in request.split(b"\r\n"):
            if field.lower().startswith(b"content-length:"):
                length = int(field.split(b":")[1])
        while len(request) - request.index(b"\r\n\r\n") - 4 < length:
            request += connection.recv(65536)
        path = target.split("?")[0]
        if "://" in path:
            path = "/" + path.split("://", 1)[1].split("/", 1)[1]
        reply = answer(path, request, method)
        if reply is not None:
            connection.sendall(reply)
            return
        if path == "/keepalive.html":
            # An HTTP/1.1 server that keeps the connection open after the
            # response, whatever the request asked.
            connection.sendall(head(b"200 OK", html_fields(len(PAGE)) + [(b"Connection", b"keep-alive")],
                                    b"HTTP/1.1") + PAGE)
            time.sleep(30)
            return
        if path == "/stall":
            time.sleep(30)
            return
        if path == "/slowbody.html":
            connection.sendall(head(b"200 OK", [(b"Content-Type", b"text/html")]) + PAGE[:20])
            time.sleep(30)
            return
        connection.sendall(head(b"404 Not Found", [(b"Content-Type", b"text/plain"),
                                                   (b"Content-Length", b"9")]) + b"not found")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
