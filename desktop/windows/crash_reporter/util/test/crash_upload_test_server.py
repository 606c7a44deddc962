#!/usr/bin/env python3
"""A local HTTP server for the crash-upload tests (standard library only).

Listens on a free port of 127.0.0.1, prints the port and writes it to
STATE/port. Each request is recorded in STATE/requests.json (replaced
atomically after every request): method, target (path with query), headers,
the parsed query, the raw body (STATE/body-N.bin) and, for multipart bodies,
the parts as Python's e-mail parser reads them (after gzip decoding when the
request says Content-Encoding: gzip).

Requests are answered in order from the --answer list; the last answer
repeats:
  "200" or "200 SIZE"   200 with a reply of SIZE bytes (default 2)
  "200-short"           200 announcing 100 bytes, sending 10, closing
  "303 LOCATION"        303 with that Location
  "204", "404", "503"   that status with an empty reply
  "stall"               read the request, never answer

The server ends when STATE/stop appears (then writes STATE/stopped), or
after five minutes.
"""

import argparse
import email.parser
import email.policy
import gzip
import json
import os
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_LIFETIME_SECONDS = 300


class Recorder:
    def __init__(self, state_dir, answers):
        self.state_dir = state_dir
        self.answers = answers
        self.lock = threading.Lock()
        self.requests = []
        self.stopping = threading.Event()

    def write_file(self, name, data):
        with open(os.path.join(self.state_dir, name), 'wb') as f:
            f.write(data)
        return name

    def record(self, handler, body):
        with self.lock:
            number = len(self.requests) + 1
            entry = {
                'method': handler.command,
                'target': handler.path,
                'headers': [[k, v] for k, v in handler.headers.items()],
                'query': urllib.parse.parse_qs(
                    urllib.parse.urlsplit(handler.path).query,
                    keep_blank_values=True),
                'body_file': self.write_file('body-%d.bin' % number, body),
            }
            entry.update(self.parse_form(handler.headers, body, number))
            self.requests.append(entry)
            temporary = os.path.join(self.state_dir, 'requests.json.tmp')
            with open(temporary, 'w', encoding='utf-8') as f:
                json.dump(self.requests, f)
            os.replace(temporary, os.path.join(self.state_dir,
                                               'requests.json'))
            return self.answers[min(number, len(self.answers)) - 1]

    def parse_form(self, headers, body, number):
        result = {}
        if headers.get('Content-Encoding', '') == 'gzip':
            try:
                body = gzip.decompress(body)
            except (OSError, EOFError) as error:
                result['gzip_error'] = str(error)
                return result
            result['decoded_body_file'] = self.write_file(
                'decoded-%d.bin' % number, body)
        content_type = headers.get('Content-Type', '')
        if not content_type.startswith('multipart/form-data'):
            return result
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b'Content-Type: ' + content_type.encode('latin-1') + b'\r\n\r\n' +
            body)
        defects = [type(d).__name__ for d in message.defects]
        parts = []
        if message.is_multipart():
            for index, part in enumerate(message.iter_parts()):
                defects += [type(d).__name__ for d in part.defects]
                data = part.get_payload(decode=True) or b''
                parts.append({
                    'name': part.get_param('name', header='content-disposition'),
                    'filename': part.get_filename(),
                    'content_type': part.get_content_type(),
                    'data_file': self.write_file(
                        'part-%d-%d.bin' % (number, index), data),
                })
        else:
            defects.append('NotMultipart')
        result['form'] = {'defects': defects, 'parts': parts}
        return result


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get('Content-Length', '0'))
        body = self.rfile.read(length) if length else b''
        answer = self.server.recorder.record(self, body)
        if answer == 'stall':
            self.server.recorder.stopping.wait()
            self.close_connection = True
            return
        status, _, argument = answer.partition(' ')
        if status == '200-short':
            self.send_response(200)
            self.send_header('Content-Length', '100')
            self.end_headers()
            self.wfile.write(b'0123456789')
            self.wfile.flush()
            self.close_connection = True
            return
        reply = b''
        if status == '200':
            reply = b'x' * int(argument) if argument else b'OK'
        self.send_response(int(status))
        if status == '303':
            self.send_header('Location', argument)
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    do_GET = handle_any
    do_POST = handle_any
    do_PUT = handle_any


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--state-dir', required=True)
    parser.add_argument('--answer', action='append', default=[])
    args = parser.parse_args()

    server = ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    server.daemon_threads = True
    server.recorder = Recorder(args.state_dir, args.answer or ['200'])
    threading.Thread(target=server.serve_forever, daemon=True).start()

    port = server.server_address[1]
    temporary = os.path.join(args.state_dir, 'port.tmp')
    with open(temporary, 'w') as f:
        f.write(str(port))
    os.replace(temporary, os.path.join(args.state_dir, 'port'))
    print(port, flush=True)

    deadline = time.monotonic() + MAX_LIFETIME_SECONDS
    stop = os.path.join(args.state_dir, 'stop')
    while not os.path.exists(stop) and time.monotonic() < deadline:
        time.sleep(0.02)
    server.recorder.stopping.set()
    server.shutdown()
    server.server_close()
    with open(os.path.join(args.state_dir, 'stopped'), 'w') as f:
        f.write('stopped')


if __name__ == '__main__':
    main()
