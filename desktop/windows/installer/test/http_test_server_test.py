#!/usr/bin/env python3
"""Tests of the test server's update-server mode, which the net installer's
end-to-end tests stand on: the reply, the served installer with its faults,
and the statistics record."""

import hashlib
import http.client
import json
import os
import random
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "http_test_server.py")


class UpdateServer:
    def __init__(self, package, *options):
        self.folder = tempfile.mkdtemp(prefix="update_server_")
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "--state-dir", self.folder,
             "--max-lifetime", "60", "--package", package] + list(options))
        port_file = os.path.join(self.folder, "port")
        deadline = time.time() + 20
        while not os.path.exists(port_file):
            if time.time() > deadline or self.process.poll() is not None:
                raise RuntimeError("the server did not start")
            time.sleep(0.02)
        with open(port_file) as f:
            self.port = int(f.read())

    def stop(self):
        with open(os.path.join(self.folder, "stop"), "w") as f:
            f.write("stop")
        self.process.wait(timeout=20)
        for folder, dirs, names in os.walk(self.folder, topdown=False):
            for name in names:
                os.remove(os.path.join(folder, name))
            os.rmdir(folder)

    def request(self, method, url, body=None, headers=None):
        """(status, headers, body bytes read until the connection gave
        out)."""
        parts = urllib.parse.urlsplit(url)
        connection = http.client.HTTPConnection("127.0.0.1", self.port,
                                                timeout=20)
        connection.request(method, parts.path, body=body,
                           headers=headers or {})
        response = connection.getresponse()
        try:
            data = response.read()
        except http.client.IncompleteRead as cut:
            data = cut.partial
        connection.close()
        return response.status, dict(response.getheaders()), data

    def reply(self):
        status, _, body = self.request("POST", "/netinstaller/beta",
                                       body=b"campaign=test")
        assert status == 200, status
        return json.loads(body)

    def requests(self):
        with open(os.path.join(self.folder, "requests.log"),
                  encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]


class UpdateServerTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.package = os.path.join(self.work.name, "full installer.exe")
        self.data = random.Random(5).randbytes(300001)
        with open(self.package, "wb") as f:
            f.write(self.data)
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        self.work.cleanup()

    def start(self, *options):
        server = UpdateServer(self.package, *options)
        self.servers.append(server)
        return server

    def test_reply_names_the_installer_on_this_server(self):
        partner = os.path.join(self.work.name, "partner.json")
        with open(partner, "wb") as f:
            f.write(b'{"partner": 1}')
        server = self.start("--partner-content", partner, "--welcome-url",
                            "http://127.0.0.1/welcome")
        reply = server.reply()
        self.assertEqual(
            reply["installer"],
            "http://127.0.0.1:%d/files/full%%20installer.exe" % server.port)
        self.assertEqual(reply["installer_checksum"],
                         hashlib.sha256(self.data).hexdigest())
        self.assertEqual(reply["url_welcome"], "http://127.0.0.1/welcome")
        self.assertEqual(reply["partner_content"], [{
            "href": "http://127.0.0.1:%d/files/partner.json" % server.port,
            "filename": "partner.json",
            "checksum": hashlib.sha256(b'{"partner": 1}').hexdigest()}])
        status, _, body = server.request("GET", reply["installer"])
        self.assertEqual((status, body), (200, self.data))
        # Any stream's path and the x64 path get the same reply.
        status, _, body = server.request(
            "GET", "/netinstaller/beta/windows/x64/")
        self.assertEqual((status, json.loads(body)), (200, reply))
        self.assertEqual(server.requests()[0]["body"], "campaign=test")

    def test_ranges_continue_the_installer(self):
        server = self.start()
        url = server.reply()["installer"]
        cases = [("bytes=1000-", 1000, len(self.data) - 1),
                 ("bytes=5-9", 5, 9),
                 ("bytes=300000-", 300000, 300000)]
        for header, first, last in cases:
            status, headers, body = server.request("GET", url,
                                                   headers={"Range": header})
            self.assertEqual(status, 206, header)
            self.assertEqual(headers["Content-Range"], "bytes %d-%d/%d" %
                             (first, last, len(self.data)))
            self.assertEqual(body, self.data[first:last + 1])
        status, _, _ = server.request("GET", url,
                                      headers={"Range": "bytes=300001-"})
        self.assertEqual(status, 416)

    def test_cut_package_breaks_only_the_first_transfer(self):
        server = self.start("--cut-package")
        url = server.reply()["installer"]
        status, headers, first = server.request("GET", url)
        self.assertEqual(status, 200)
        self.assertEqual(int(headers["Content-Length"]), len(self.data))
        self.assertEqual(first, self.data[:len(self.data) // 2])
        status, _, rest = server.request(
            "GET", url, headers={"Range": "bytes=%d-" % len(first)})
        self.assertEqual(status, 206)
        self.assertEqual(first + rest, self.data)
        status, _, again = server.request("GET", url)
        self.assertEqual((status, again), (200, self.data))

    def test_corrupt_package_does_not_match_its_checksum(self):
        server = self.start("--corrupt-package")
        reply = server.reply()
        status, _, body = server.request("GET", reply["installer"])
        self.assertEqual((status, len(body)), (200, len(self.data)))
        self.assertNotEqual(hashlib.sha256(body).hexdigest(),
                            reply["installer_checksum"])
        self.assertEqual(reply["installer_checksum"],
                         hashlib.sha256(self.data).hexdigest())
        # The package on disk is untouched.
        with open(self.package, "rb") as f:
            self.assertEqual(f.read(), self.data)

    def test_statistics_posts_are_recorded(self):
        server = self.start()
        statistics = {"installer": {"installation_success": 1}}
        for path in ("/netinstaller/feedback", "/"):
            status, _, body = server.request(
                "POST", path, body=json.dumps(statistics).encode(),
                headers={"Content-Type": "application/json"})
            self.assertEqual((status, body), (200, b"ok"))
        posts = [r for r in server.requests() if r["method"] == "POST"]
        self.assertEqual([p["path"] for p in posts],
                         ["/netinstaller/feedback", "/"])
        for post in posts:
            self.assertEqual(json.loads(post["body"]), statistics)


if __name__ == "__main__":
    unittest.main()
