#!/usr/bin/env python3
"""A local HTTP/1.1 server for the installer's download tests.

Started by a test (under Wine, through CreateProcess on python3) with a state
folder of its own. It listens on 127.0.0.1 only: on a free port, or on a
fixed one given with --port. It writes the port to <state>/port once it
listens, logs every request as one JSON line in <state>/requests.log (before
it answers), and ends when <state>/stop appears, when the state folder goes,
or after --max-lifetime seconds, writing <state>/stopped on the way out when
it can.

What it answers:
  - a path whose file exists below <state>/files (the path's last part names
    the file) serves that file, honouring "Range: bytes=N-" and "bytes=N-M"
    with a 206; any other path answers 200 with the body "ok";
  - <state>/routes.json may map a path (without query) to parameters, which
    the query's own parameters override.

Parameters (route or query) that inject faults; counters belong to one path
with its query:
  file=NAME            serve files/NAME whatever the path says
  status=N             always answer status N (407 adds Proxy-Authenticate)
  fail=N, fail_count=K the first K requests answer status N (default 503)
  cut=N, cut_count=K   the first K responses (all, without cut_count) break
                       the connection after N bytes of body
  ignore_range=K       the first K requests with a Range get a full 200
  bad_range=K          the first K requests with a Range get a 206 whose
                       Content-Range (and body) starts 7 bytes off
  redirect=URL         answer 302 (or redirect_code) with Location URL
  trickle=MS           send the body in trickle_bytes pieces (default 1024)
                       with MS milliseconds between them
  stall_after=N,       the first K responses (all, without stall_count)
  stall_count=K        send N bytes of body, then nothing, keeping the
                       connection open until the client gives up
  no_length=1          no Content-Length: the body ends when the
                       connection closes
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse


class State:
    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        self.counters = {}
        self.log_path = os.path.join(folder, "requests.log")

    def next_count(self, key):
        """How many times |key| was counted before this call."""
        with self.lock:
            count = self.counters.get(key, 0)
            self.counters[key] = count + 1
            return count

    def log(self, entry):
        line = json.dumps(entry, sort_keys=True) + "\n"
        with self.lock:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(line)
                log.flush()

    def routes(self):
        try:
            with open(os.path.join(self.folder, "routes.json"),
                      encoding="utf-8") as routes:
                return json.load(routes)
        except (OSError, ValueError):
            return {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VelnaTestServer/1.0"

    def log_message(self, format, *args):  # requests go to requests.log
        pass

    def do_GET(self):
        self.handle_request(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        self.handle_request(body)

    def handle_request(self, body):
        state = self.server.state
        url = urllib.parse.urlsplit(self.path)
        params = dict(state.routes().get(url.path, {}))
        params.update(dict(urllib.parse.parse_qsl(url.query)))
        key = self.path
        requested = self.parse_range(self.headers.get("Range"))

        entry = {
            "method": self.command,
            "path": url.path,
            "query": url.query,
            "host": self.headers.get("Host", ""),
            "user_agent": self.headers.get("User-Agent", ""),
            "range": self.headers.get("Range", ""),
            "headers": {k.lower(): v for k, v in self.headers.items()},
            "body_length": len(body),
            "body_md5": hashlib.md5(body).hexdigest(),
            "time": time.time(),
        }
        if len(body) <= 4 * 1024 * 1024:
            try:
                entry["body"] = body.decode("utf-8")
            except UnicodeDecodeError:
                entry["body_base64"] = base64.b64encode(body).decode("ascii")
        state.log(entry)

        if "redirect" in params:
            self.send_response(int(params.get("redirect_code", 302)))
            self.send_header("Location", params["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "status" in params:
            self.send_status(int(params["status"]))
            return
        if "fail_count" in params and \
                state.next_count(("fail", key)) < int(params["fail_count"]):
            self.send_status(int(params.get("fail", 503)))
            return

        data = self.load_body(url.path, params)
        start = 0
        partial = False
        if requested is not None and requested[0] < len(data):
            partial = True
            if "ignore_range" in params and state.next_count(
                    ("ignore_range", key)) < int(params["ignore_range"]):
                partial = False
            elif "bad_range" in params and state.next_count(
                    ("bad_range", key)) < int(params["bad_range"]):
                start = requested[0] - 7 if requested[0] >= 7 else \
                    requested[0] + 7
            else:
                start = requested[0]
        elif requested is not None:
            self.send_status(416)
            return
        end = len(data) - 1
        if partial and requested[1] is not None:
            end = min(end, requested[1])
        payload = data[start:end + 1]

        stall = None
        if "stall_after" in params:
            limit = params.get("stall_count")
            if limit is None or \
                    state.next_count(("stall", key)) < int(limit):
                stall = int(params["stall_after"])

        cut = None
        if "cut" in params:
            limit = params.get("cut_count")
            if limit is None or \
                    state.next_count(("cut", key)) < int(limit):
                cut = int(params["cut"])

        self.send_response(206 if partial else 200)
        if partial:
            self.send_header("Content-Range",
                             "bytes %d-%d/%d" % (start, end, len(data)))
        if params.get("no_length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(payload)))
        self.send_header("X-Served-By", "velna-test")
        self.end_headers()
        self.send_payload(payload, cut, stall, params)

    def send_payload(self, payload, cut, stall, params):
        if cut is not None:
            payload = payload[:cut]
        if stall is not None:
            payload = payload[:stall]
        try:
            trickle = params.get("trickle")
            if trickle:
                piece = int(params.get("trickle_bytes", 1024))
                for offset in range(0, len(payload), piece):
                    self.wfile.write(payload[offset:offset + piece])
                    self.wfile.flush()
                    time.sleep(int(trickle) / 1000.0)
                    if self.server.stopping.is_set():
                        break
            else:
                self.wfile.write(payload)
                self.wfile.flush()
            if stall is not None:
                # Until the server ends or the client closes its end.
                self.connection.settimeout(0.05)
                while not self.server.stopping.is_set():
                    try:
                        if not self.connection.recv(1):
                            break
                    except socket.timeout:
                        pass
        except OSError:
            pass
        if cut is not None or stall is not None:
            self.break_connection()

    def break_connection(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def send_status(self, status):
        body = b"status %d" % status
        self.send_response(status)
        if status == 407:
            self.send_header("Proxy-Authenticate", 'Basic realm="velna-test"')
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def load_body(self, path, params):
        name = params.get("file") or path.rstrip("/").split("/")[-1]
        file_path = os.path.join(self.server.state.folder, "files", name)
        if name and os.path.isfile(file_path):
            with open(file_path, "rb") as served:
                return served.read()
        return b"ok"

    @staticmethod
    def parse_range(header):
        if not header or not header.startswith("bytes="):
            return None
        first, _, last = header[len("bytes="):].partition("-")
        try:
            return int(first), (int(last) if last else None)
        except ValueError:
            return None


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def bind(port, deadline):
    while True:
        try:
            return Server(("127.0.0.1", port), Handler)
        except OSError:
            # A fixed port may still be held by a server of another test.
            if port == 0 or time.time() > deadline:
                raise
            time.sleep(0.2)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--max-lifetime", type=float, default=300)
    args = parser.parse_args()

    started = time.time()
    server = bind(args.port, started + 60)
    server.state = State(args.state_dir)
    server.stopping = threading.Event()
    port_path = os.path.join(args.state_dir, "port")
    with open(port_path + ".tmp", "w") as port_file:
        port_file.write(str(server.server_address[1]))
    os.replace(port_path + ".tmp", port_path)

    def watch():
        while True:
            time.sleep(0.05)
            if (os.path.exists(os.path.join(args.state_dir, "stop")) or
                    not os.path.isdir(args.state_dir) or
                    time.time() - started > args.max_lifetime):
                break
        server.stopping.set()
        server.shutdown()

    threading.Thread(target=watch, daemon=True).start()
    server.serve_forever(poll_interval=0.05)
    server.server_close()
    try:
        with open(os.path.join(args.state_dir, "stopped"), "w") as marker:
            marker.write("stopped")
    except OSError:
        pass
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
