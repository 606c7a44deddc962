#!/usr/bin/env python3
"""A local HTTP/1.1 server for the installer's download tests.

Started by a test (under Wine, through CreateProcess on python3) with a state
folder of its own. It listens on 127.0.0.1 only: on a free port, or on a
fixed one given with --port. It writes the port to <state>/port once it
listens, logs every request as one JSON line in <state>/requests.log (before
it answers) and how its answer went in <state>/responses.log, and ends when
<state>/stop appears, when the state folder goes, or after --max-lifetime
seconds, writing <state>/stopped on the way out when it can.

What it answers:
  - a path whose file exists below <state>/files (the path's last part,
    percent-decoded, names the file) serves that file, honouring
    "Range: bytes=N-" and "bytes=N-M" with a 206; any other path answers
    200 with the body "ok";
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
  overrun=N            a partial (206) body carries N bytes more than its
                       Content-Range says (Content-Length counts them)

Update-server mode (--package FULL_INSTALLER): the server also plays the
maker's update server for a net installer. Any request below
"/netinstaller/" except "/netinstaller/feedback" (the net installer asks
"/netinstaller/<stream>", a POST of its tracking data) is answered with
the JSON reply {"installer": <URL of the full installer on this server>,
"installer_checksum": <its SHA-256>, "partner_content": [...]} (and
"url_welcome" with --welcome-url); the full installer is served at
"/files/<its name>" with Range support. The statistics POST (to
"/netinstaller/feedback", or to "/" with the installer's local-stats-server
switch) is answered with 200 and, like every request, logged with its body
in requests.log. Faults of this mode:
  --cut-package        the first transfer of the full installer breaks after
                       half of it (the client resumes with a Range request)
  --corrupt-package    the bytes served differ from the checksum in the
                       reply (one byte flipped in the middle)
--partner-content FILE (repeatable) serves FILE and names it in the reply.

Each line of responses.log names a request by the "id" of its line in
requests.log and gives the "status" answered, the "start" of the body within
the file (0 but for a 206) and how many bytes of the body the system "sent"
before the answer ended, by plan or because the client went away.

With --tls the server also answers https on a second free port of
127.0.0.1, written to <state>/tls_port, with a self-signed certificate for
127.0.0.1 that openssl makes in the state folder; both ports serve the same
files, routes and log.
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import shutil
import socket
import socketserver
import ssl
import subprocess
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
        self.responses_path = os.path.join(folder, "responses.log")
        self.package_routes = {}
        self.package_reply = None

    def next_count(self, key):
        """How many times |key| was counted before this call."""
        with self.lock:
            count = self.counters.get(key, 0)
            self.counters[key] = count + 1
            return count

    def log(self, entry, path=None):
        line = json.dumps(entry, sort_keys=True) + "\n"
        with self.lock:
            with open(path or self.log_path, "a", encoding="utf-8") as log:
                log.write(line)
                log.flush()

    def routes(self):
        """The update-server routes, then routes.json, which may add to
        them or replace them."""
        routes = dict(self.package_routes)
        try:
            with open(os.path.join(self.folder, "routes.json"),
                      encoding="utf-8") as f:
                routes.update(json.load(f))
        except (OSError, ValueError):
            pass
        return routes


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
        params = {}
        if state.package_reply is not None and \
                url.path.startswith(NETINSTALLER_PATH) and \
                url.path != FEEDBACK_PATH:
            params["file"] = PACKAGE_REPLY_FILE
        params.update(state.routes().get(url.path, {}))
        params.update(dict(urllib.parse.parse_qsl(url.query)))
        key = self.path
        requested = self.parse_range(self.headers.get("Range"))

        self.request_id = state.next_count("request id")
        entry = {
            "id": self.request_id,
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
            self.log_response(int(params.get("redirect_code", 302)), 0, 0)
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
        if partial and "overrun" in params:
            payload += b"\xee" * int(params["overrun"])

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
        sent = self.send_payload(payload, cut, stall, params)
        self.log_response(206 if partial else 200, start, sent)

    def log_response(self, status, start, sent):
        self.server.state.log({"id": self.request_id, "status": status,
                               "start": start, "sent": sent},
                              self.server.state.responses_path)

    def send_counted(self, data):
        """Sends |data|; returns how many of its bytes the system took
        before the connection failed, if it did."""
        view = memoryview(data)
        sent = 0
        try:
            while sent < len(view):
                sent += self.connection.send(view[sent:])
        except OSError:
            pass
        return sent

    def send_payload(self, payload, cut, stall, params):
        """Returns how many bytes of the body the system took."""
        if cut is not None:
            payload = payload[:cut]
        if stall is not None:
            payload = payload[:stall]
        trickle = params.get("trickle")
        piece = int(params.get("trickle_bytes", 1024)) if trickle else \
            max(len(payload), 1)
        sent = 0
        for offset in range(0, len(payload), piece):
            data = payload[offset:offset + piece]
            written = self.send_counted(data)
            sent += written
            if written < len(data):
                self.break_connection()
                return sent
            if trickle:
                time.sleep(int(trickle) / 1000.0)
                if self.server.stopping.is_set():
                    break
        try:
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
        return sent

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
        self.log_response(status, 0, self.send_counted(body))

    def load_body(self, path, params):
        name = params.get("file") or urllib.parse.unquote(
            path.rstrip("/").split("/")[-1])
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


NETINSTALLER_PATH = "/netinstaller/"
FEEDBACK_PATH = "/netinstaller/feedback"
PACKAGE_REPLY_FILE = "netinstaller_reply.json"


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def place_file(source, target):
    """|source| at |target| without copying it when the file system can
    link it."""
    if os.path.exists(target):
        os.remove(target)
    try:
        os.link(source, target)
    except OSError:
        shutil.copyfile(source, target)


def set_up_update_server(state, args, base_url):
    """Puts the full installer and partner files under files/ and writes
    the reply of the package request."""
    files = os.path.join(state.folder, "files")
    os.makedirs(files, exist_ok=True)
    name = os.path.basename(args.package)
    served = os.path.join(files, name)
    if args.corrupt_package:
        with open(args.package, "rb") as f:
            data = bytearray(f.read())
        data[len(data) // 2] ^= 0xFF
        with open(served, "wb") as f:
            f.write(data)
    else:
        place_file(args.package, served)
    reply = {"installer": base_url + "/files/" + urllib.parse.quote(name),
             "installer_checksum": sha256_of(args.package),
             "partner_content": []}
    for partner in args.partner_content:
        partner_name = os.path.basename(partner)
        place_file(partner, os.path.join(files, partner_name))
        reply["partner_content"].append({
            "href": base_url + "/files/" + urllib.parse.quote(partner_name),
            "filename": partner_name,
            "checksum": sha256_of(partner)})
    if args.welcome_url:
        reply["url_welcome"] = args.welcome_url
    with open(os.path.join(files, PACKAGE_REPLY_FILE), "w",
              encoding="utf-8") as f:
        json.dump(reply, f)
    if args.cut_package:
        state.package_routes["/files/" + urllib.parse.quote(name)] = {
            "cut": str(os.path.getsize(args.package) // 2), "cut_count": "1"}
    state.package_reply = reply


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_certificate(folder):
    """A self-signed certificate and key for 127.0.0.1 in |folder|."""
    key = os.path.join(folder, "tls.key")
    certificate = os.path.join(folder, "tls.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048",
                    "-nodes", "-keyout", key, "-out", certificate, "-days",
                    "2", "-subj", "/CN=127.0.0.1", "-addext",
                    "subjectAltName=IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return certificate, key


def start_tls(state, folder):
    """A second server answering https; its port goes to tls_port."""
    certificate, key = make_certificate(folder)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    server = Server(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.state = state
    server.stopping = threading.Event()
    with open(os.path.join(folder, "tls_port.tmp"), "w") as port_file:
        port_file.write(str(server.server_address[1]))
    os.replace(os.path.join(folder, "tls_port.tmp"),
               os.path.join(folder, "tls_port"))
    threading.Thread(target=server.serve_forever, kwargs={
        "poll_interval": 0.05}, daemon=True).start()
    return server


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
    parser.add_argument("--package", help="update-server mode: the full "
                        "installer that the reply names")
    parser.add_argument("--cut-package", action="store_true")
    parser.add_argument("--corrupt-package", action="store_true")
    parser.add_argument("--partner-content", action="append", default=[])
    parser.add_argument("--welcome-url")
    parser.add_argument("--tls", action="store_true")
    args = parser.parse_args()

    started = time.time()
    server = bind(args.port, started + 60)
    server.state = State(args.state_dir)
    server.stopping = threading.Event()
    if args.package:
        set_up_update_server(server.state, args, "http://127.0.0.1:%d" %
                             server.server_address[1])
    tls_server = start_tls(server.state, args.state_dir) if args.tls else None
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
        if tls_server:
            tls_server.stopping.set()
            tls_server.shutdown()
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
