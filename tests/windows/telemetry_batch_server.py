#!/usr/bin/env python3
"""Runs a command while a loopback HTTPS analytics endpoint is up.

    telemetry_batch_server.py --cert PEM --key PEM -- command [args...]

POST /s<status>/batch/ answers <status> with an empty body ("/s201/batch/" gives 201). POST
/r<status>/batch/ answers <status> with "Location: /s201/batch/", a redirect to an endpoint that would
accept the batch. A GET is answered like a POST, so a client that follows a redirect as a GET is seen
too. Every request's method, path, headers and body are appended as one JSON line to the log. The
command's environment gets ARDENWICK_BATCH_SERVER_PORT and ARDENWICK_BATCH_SERVER_LOG (a path of the machine
that runs the tests).
The exit status is the command's.
"""

import argparse
import json
import os
import re
import ssl
import subprocess
import sys
import tempfile
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with self.server.lock:
            with open(self.server.log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps({"method": self.command, "path": self.path,
                                      "headers": dict(self.headers.items()),
                                      "body": body.decode("utf-8", "replace")}) + "\n")
        match = re.fullmatch(r"/([sr])(\d{3})/batch/", self.path)
        status = int(match.group(2)) if match else 404
        self.send_response(status)
        if match and match.group(1) == "r":
            self.send_header("Location", "/s201/batch/")
        self.send_header("Content-Length", "0")
        self.end_headers()

    do_GET = do_POST

    def log_message(self, *arguments):
        pass


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    arguments = parser.parse_args()
    command = arguments.command[1:] if arguments.command[:1] == ["--"] else arguments.command
    if not command:
        parser.error("no command")

    root = tempfile.mkdtemp(prefix="ardenwick-batch-server-")
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.lock = threading.Lock()
    server.log_path = os.path.join(root, "requests.jsonl")
    open(server.log_path, "w").close()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(arguments.cert, arguments.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    environment = dict(os.environ)
    environment["ARDENWICK_BATCH_SERVER_PORT"] = str(server.server_address[1])
    environment["ARDENWICK_BATCH_SERVER_LOG"] = server.log_path
    try:
        return subprocess.call(command, env=environment)
    finally:
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
