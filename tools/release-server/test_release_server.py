#!/usr/bin/env python3
"""Checks the release server's scripted behaviour that the download tests rely on."""

import gzip
import hashlib
import http.client
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))

SCENARIOS = {
    "payloads": {"file": {"size": 300000, "seed": 3}, "other": {"size": 1000, "seed": 4}},
    "scenarios": {
        "sequence": {"payload": "file", "defaults": {"etag": "\"v1\""},
                     "responses": [{"status": 503}, {"drop_after": 1000}, {}]},
        "weak": {"payload": "file", "defaults": {"etag": "W/\"v1\""}},
        "ignore": {"payload": "file", "defaults": {"etag": "\"v1\"", "range": "ignore"}},
        "changed": {"payload": "file", "responses": [{"etag": "\"v1\""}, {"etag": "\"v2\"", "payload": "other"}]},
        "lying": {"payload": "file", "defaults": {"etag": "\"v1\"", "content_range": "bytes 5-6/*"}},
        "chunked": {"payload": "other", "defaults": {"content_length": False, "chunked": True}},
        "gzip": {"payload": "other", "defaults": {"content_encoding": "gzip"}},
        "redirect": {"payload": "other", "defaults": {"status": 302, "location": "/elsewhere"}},
    },
}


class ReleaseServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="release-server-test-")
        scenarios = os.path.join(cls.root, "scenarios.json")
        with open(scenarios, "w", encoding="utf-8") as target:
            json.dump(SCENARIOS, target)
        port_file = os.path.join(cls.root, "port")
        cls.server = subprocess.Popen([sys.executable, os.path.join(HERE, "release_server.py"), "--root", cls.root,
                                       "--scenarios", scenarios, "--port-file", port_file],
                                      stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while not os.path.exists(port_file):
            if time.monotonic() > deadline or cls.server.poll() is not None:
                raise RuntimeError("the server did not start")
            time.sleep(0.02)
        with open(port_file, encoding="ascii") as source:
            cls.port = int(source.read())
        with open(os.path.join(cls.root, "payloads", "file.bin"), "rb") as source:
            cls.file = source.read()

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait()

    def get(self, path, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        try:
            body = response.read()
        except http.client.IncompleteRead as error:
            body = error.partial
        connection.close()
        return response, body

    def logged(self, path):
        with open(os.path.join(self.root, "requests.jsonl"), encoding="utf-8") as log:
            entries = [json.loads(line) for line in log]
        return [entry for entry in entries if entry["path"] == path]

    def test_payload_and_its_digest(self):
        self.assertEqual(len(self.file), 300000)
        with open(os.path.join(self.root, "payloads", "file.sha256"), encoding="ascii") as source:
            self.assertEqual(source.read(), hashlib.sha256(self.file).hexdigest())

    def test_responses_follow_the_per_path_counter(self):
        first, _ = self.get("/s/sequence/a")
        second, body = self.get("/s/sequence/a")
        third, whole = self.get("/s/sequence/a", {"Range": "bytes=1000-", "If-Range": "\"v1\""})
        other, _ = self.get("/s/sequence/b")
        self.assertEqual([first.status, second.status, third.status, other.status], [503, 200, 206, 503])
        self.assertEqual(body, self.file[:1000])
        self.assertEqual(whole, self.file[1000:])
        self.assertEqual(third.getheader("Content-Range"), "bytes 1000-299999/300000")
        entries = self.logged("/s/sequence/a")
        self.assertEqual([entry["index"] for entry in entries], [0, 1, 2])
        self.assertIn(["Range", "bytes=1000-"], entries[2]["headers"])
        self.assertIn(["If-Range", "\"v1\""], entries[2]["headers"])

    def test_current_scenario_is_chosen_and_restarts_its_counter(self):
        unchosen, _ = self.get("/s/current/setup.exe")
        self.assertEqual(unchosen.status, 404)
        unknown, _ = self.get("/control/current?scenario=nonexistent")
        self.assertEqual(unknown.status, 404)
        self.assertEqual(self.get("/control/current?scenario=sequence")[0].status, 200)
        first, _ = self.get("/s/current/setup.exe")
        second, body = self.get("/s/current/setup.exe")
        self.assertEqual([first.status, second.status, len(body)], [503, 200, 1000])
        self.get("/control/current?scenario=sequence")
        again, _ = self.get("/s/current/setup.exe")
        self.assertEqual(again.status, 503)
        entries = self.logged("/s/current/setup.exe")
        self.assertEqual([(entry["scenario"], entry["index"]) for entry in entries],
                         [(None, 0), ("sequence", 0), ("sequence", 1), ("sequence", 0)])

    def test_if_range_and_range_rules(self):
        weak, body = self.get("/s/weak/x", {"Range": "bytes=10-", "If-Range": "W/\"v1\""})
        self.assertEqual((weak.status, body), (200, self.file))
        ignored, body = self.get("/s/ignore/x", {"Range": "bytes=10-", "If-Range": "\"v1\""})
        self.assertEqual((ignored.status, body), (200, self.file))
        beyond, _ = self.get("/s/ignore/y", {"Range": "bytes=10-"})
        self.assertEqual(beyond.status, 200)
        unsatisfiable, _ = self.get("/s/weak/y", {"Range": "bytes=300000-"})
        self.assertEqual(unsatisfiable.status, 416)
        self.assertEqual(unsatisfiable.getheader("Content-Range"), "bytes */300000")
        self.get("/s/changed/x")
        changed, body = self.get("/s/changed/x", {"Range": "bytes=10-", "If-Range": "\"v1\""})
        self.assertEqual((changed.status, changed.getheader("ETag"), len(body)), (200, "\"v2\"", 1000))
        lying, _ = self.get("/s/lying/x", {"Range": "bytes=10-", "If-Range": "\"v1\""})
        self.assertEqual((lying.status, lying.getheader("Content-Range")), (206, "bytes 5-6/*"))

    def test_framing_encoding_and_redirects(self):
        chunked, body = self.get("/s/chunked/x")
        self.assertEqual(chunked.getheader("Transfer-Encoding"), "chunked")
        self.assertIsNone(chunked.getheader("Content-Length"))
        self.assertEqual(len(body), 1000)
        encoded, body = self.get("/s/gzip/x")
        self.assertEqual(encoded.getheader("Content-Encoding"), "gzip")
        self.assertEqual(len(gzip.decompress(body)), 1000)
        redirect, _ = self.get("/s/redirect/x")
        self.assertEqual((redirect.status, redirect.getheader("Location")), (302, "/elsewhere"))
        self.assertEqual(self.logged("/elsewhere"), [])
        unknown, _ = self.get("/s/nothing/x")
        self.assertEqual(unknown.status, 404)


if __name__ == "__main__":
    unittest.main()
