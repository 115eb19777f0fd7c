#!/usr/bin/env python3
"""Loopback HTTP(S) server for the installer download and its tests, with scripted faults.

Every response is decided by a scenario, named in the request path:

    GET /s/<scenario>/<anything...>

Each distinct path (without the query) has its own request counter, so a test that uses a path of its
own sees request 0, 1, 2... of that scenario whatever other tests do. The scenario's "responses" list
says what each request gets; the last entry repeats. Keys of a response (each may also be set for the
whole scenario under "defaults"):

    payload          name of the payload served (the entity); switching payloads changes the entity
    etag             ETag header value sent as given (quotes included); null or absent: no ETag
    content_length   send Content-Length (default true); without it the body is delimited by closing
                     the connection, or chunked when "chunked" is true; a number sends that value
                     whatever the body's length (a lying server)
    range            "honour" (default) or "ignore" (answer 200 with the whole body to a range request)
    if_range         "honour" (default: an If-Range other than the current ETag gets the whole body)
                     or "ignore"
    status           force this status; 3xx/4xx/5xx carry "body" (default a short text) and "location"
    content_range    Content-Range header sent on a 206 instead of the true one
    content_encoding Content-Encoding header; "gzip" also compresses the body
    drop_after       close the connection after this many body bytes ("drop_mode": "close" or "reset";
                     "drop_delay" seconds to wait first, so the client has read what was sent)
    stall_after      stop sending after this many body bytes for "stall_seconds" (default 5), then close
    rate             throttle the body to this many bytes per second
    headers          extra response headers, an object

A program whose download URL is fixed when it is built (the end-to-end tests) asks for

    GET /s/current/<anything...>

and gets the scenario last chosen with GET /control/current?scenario=<name>; choosing resets the
counters of every /s/current/ path, so each chosen scenario starts again at its request 0. The request
log names the scenario that answered.

Other routes:
    GET /f/<payload>            the payload, strong ETag, honouring Range and If-Range (benchmarks, demo)
    GET /files/<relative path>  a file below --files DIR, same rules (demo)

Payloads are declared in the scenario file ("payloads": {"name": {"size": N, "seed": S}},
{"text": "..."} or {"file": "name below --files"}) and written to <root>/payloads/<name>.bin at start, where tests read the source bytes,
with its SHA-256 in lower-case hex beside it in <name>.sha256.
Every request's method, target and headers are appended as one JSON line to <root>/requests.jsonl
before the response is sent. The port is chosen by the system and written to --port-file.
"""

import argparse
import gzip
import hashlib
import json
import os
import random
import socket
import ssl
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qsl, unquote, urlsplit


class State:
    def __init__(self, root, scenarios, payloads, files_dir):
        self.root = root
        self.scenarios = scenarios
        self.payloads = payloads  # name -> path
        self.files_dir = files_dir
        self.counters = {}
        self.current = None
        self.sequence = 0
        self.lock = threading.Lock()
        self.log_path = os.path.join(root, "requests.jsonl")
        self.log = open(self.log_path, "a", encoding="utf-8")

    def next_index(self, key):
        with self.lock:
            index = self.counters.get(key, 0)
            self.counters[key] = index + 1
            self.sequence += 1
            return index, self.sequence

    def choose_current(self, name):
        with self.lock:
            self.current = name
            for key in [key for key in self.counters if key[0] == "path" and key[1].startswith("/s/current/")]:
                del self.counters[key]

    def write_log(self, entry):
        with self.lock:
            self.log.write(json.dumps(entry, ensure_ascii=True) + "\n")
            self.log.flush()


def generate_payload(declaration, files_dir):
    if "file" in declaration:
        # A real file, such as a built installer; a relative name is below --files.
        with open(os.path.join(files_dir or ".", declaration["file"]), "rb") as source:
            return source.read()
    if "text" in declaration:
        return declaration["text"].encode("utf-8")
    # Deterministic and incompressible, so the same scenario file always serves the same bytes.
    generator = random.Random(int(declaration.get("seed", 0)))
    size = int(declaration["size"])
    chunk = 16 * 1048576  # randbytes takes a C int of bits
    return b"".join(generator.randbytes(min(chunk, size - start)) for start in range(0, size, chunk))


def entity_tag_for_file(path):
    info = os.stat(path)
    return '"%x-%x"' % (info.st_size, int(info.st_mtime_ns))


def parse_range(value, size):
    """Returns (first, last) for a single "bytes=first-[last]" range, "unsatisfiable", or None."""
    if not value or not value.startswith("bytes="):
        return None
    byte_range = value[len("bytes="):].strip()
    if "," in byte_range or "-" not in byte_range:
        return None
    first_text, last_text = byte_range.split("-", 1)
    if not first_text.isdigit():
        return None
    first = int(first_text)
    last = int(last_text) if last_text.isdigit() else size - 1
    if last_text and not last_text.isdigit():
        return None
    if first >= size:
        return "unsatisfiable"
    return first, min(last, size - 1)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ArdenwickReleaseServer/1.0"
    sys_version = ""

    def log_message(self, format, *args):  # noqa: A002 - the request log is the JSON file
        pass

    @property
    def state(self):
        return self.server.state

    def do_GET(self):
        target = urlsplit(self.path)
        path = unquote(target.path)
        parts = path.split("/")
        try:
            if len(parts) >= 3 and parts[1] == "s" and parts[2] == "current":
                self.serve_scenario(self.state.current, target)
            elif len(parts) >= 3 and parts[1] == "s":
                self.serve_scenario(parts[2], target)
            elif path == "/control/current":
                name = dict(parse_qsl(target.query)).get("scenario")
                if name not in self.state.scenarios:
                    self.finish_request_log(target, name, None, 404)
                    self.send_simple(404, b"unknown scenario\n")
                    return
                self.state.choose_current(name)
                self.finish_request_log(target, name, None, 200)
                self.send_simple(200, b"ok\n")
            elif len(parts) >= 3 and parts[1] == "f":
                self.serve_plain(self.state.payloads.get(parts[2]), target)
            elif len(parts) >= 3 and parts[1] == "files" and self.state.files_dir:
                relative = os.path.normpath("/".join(parts[2:])).lstrip("/")
                candidate = os.path.join(self.state.files_dir, relative)
                if relative.startswith("..") or not os.path.isfile(candidate):
                    candidate = None
                self.serve_plain(candidate, target)
            else:
                self.finish_request_log(target, None, None, 404)
                self.send_simple(404, b"not found\n")
        except (BrokenPipeError, ConnectionResetError):
            pass

    def request_entry(self, target, scenario, index):
        return {
            "method": self.command,
            "path": unquote(target.path),
            "target": self.path,
            "query": target.query,
            "scenario": scenario,
            "index": index,
            "headers": [[name, value] for name, value in self.headers.items()],
        }

    def finish_request_log(self, target, scenario, index, status, sequence=None):
        entry = self.request_entry(target, scenario, index)
        entry["status"] = status
        if sequence is None:
            _, sequence = self.state.next_index(("log",))
        entry["seq"] = sequence
        self.state.write_log(entry)

    def send_simple(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def serve_plain(self, file_path, target):
        if not file_path or not os.path.isfile(file_path):
            self.finish_request_log(target, None, None, 404)
            self.send_simple(404, b"not found\n")
            return
        with open(file_path, "rb") as source:
            body = source.read()
        step = {"etag": entity_tag_for_file(file_path)}
        self.respond(step, body, target, None, None)

    def serve_scenario(self, name, target):
        scenario = self.state.scenarios.get(name)
        index, sequence = self.state.next_index(("path", unquote(target.path)))
        if scenario is None:
            self.finish_request_log(target, name, index, 404, sequence)
            self.send_simple(404, b"unknown scenario\n")
            return
        responses = scenario.get("responses") or [{}]
        step = dict(scenario.get("defaults", {}))
        step.update(responses[min(index, len(responses) - 1)])
        payload_name = step.get("payload", scenario.get("payload"))
        body = b""
        if payload_name is not None:
            with open(self.state.payloads[payload_name], "rb") as source:
                body = source.read()
        self.respond(step, body, target, name, index, sequence)

    def respond(self, step, entity, target, scenario, index, sequence=None):
        etag = step.get("etag")
        headers = []
        status = step.get("status")
        body = entity
        content_range = None

        if status is None:
            status = 200
            range_header = self.headers.get("Range")
            if_range = self.headers.get("If-Range")
            use_range = range_header is not None and step.get("range", "honour") == "honour"
            if use_range and if_range is not None and step.get("if_range", "honour") == "honour":
                use_range = etag is not None and if_range == etag and not etag.startswith("W/")
            if use_range:
                parsed = parse_range(range_header, len(entity))
                if parsed == "unsatisfiable":
                    status = 416
                    body = b""
                    content_range = "bytes */%d" % len(entity)
                elif parsed is not None:
                    first, last = parsed
                    status = 206
                    body = entity[first:last + 1]
                    content_range = "bytes %d-%d/%d" % (first, last, len(entity))
        elif status >= 300 and status != 206:
            body = step.get("body", "status %d\n" % status).encode("utf-8")

        if status == 206 and "content_range" in step:
            content_range = step["content_range"]
        if content_range is not None:
            headers.append(("Content-Range", content_range))
        if etag is not None:
            headers.append(("ETag", etag))
        if "location" in step:
            headers.append(("Location", step["location"]))
        encoding = step.get("content_encoding")
        if encoding is not None:
            headers.append(("Content-Encoding", encoding))
            if encoding.lower() == "gzip":
                body = gzip.compress(body)
        for name, value in step.get("headers", {}).items():
            headers.append((name, value))

        self.finish_request_log(target, scenario, index, status, sequence)

        send_length = step.get("content_length", True)
        chunked = send_length is False and step.get("chunked", False)
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/octet-stream")
        if send_length is True:
            self.send_header("Content-Length", str(len(body)))
        elif send_length is not False:
            self.send_header("Content-Length", str(int(send_length)))
        elif chunked:
            self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.send_body(body, step, chunked)

    def send_body(self, body, step, chunked):
        drop_after = step.get("drop_after")
        stall_after = step.get("stall_after")
        rate = step.get("rate")
        limit = len(body)
        for cut in (drop_after, stall_after):
            if cut is not None:
                limit = min(limit, int(cut))
        position = 0
        started = time.monotonic()
        block = 65536
        while position < limit:
            piece = body[position:min(limit, position + block)]
            if chunked:
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            else:
                self.wfile.write(piece)
            position += len(piece)
            if rate:
                ahead = position / float(rate) - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)
        self.wfile.flush()
        if stall_after is not None and int(stall_after) <= len(body):
            time.sleep(float(step.get("stall_seconds", 5)))
            self.abort_connection(step)
            return
        if drop_after is not None and int(drop_after) < len(body):
            self.abort_connection(step)
            return
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()

    def abort_connection(self, step):
        connection = self.connection
        time.sleep(float(step.get("drop_delay", 0)))
        if step.get("drop_mode", "close") == "reset":
            # A zero linger time makes close() send RST instead of FIN.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        connection.close()


def load_scenarios(paths):
    scenarios = {}
    payloads = {}
    for path in paths:
        with open(path, encoding="utf-8") as source:
            document = json.load(source)
        scenarios.update(document.get("scenarios", {}))
        payloads.update(document.get("payloads", {}))
    return scenarios, payloads


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True, help="working directory: payloads and the request log")
    parser.add_argument("--scenarios", action="append", default=[], help="scenario JSON file (repeatable)")
    parser.add_argument("--files", help="directory served under /files/")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (default: one the system picks)")
    parser.add_argument("--port-file", help="file that receives the chosen port")
    parser.add_argument("--cert", help="PEM certificate chain: serve HTTPS")
    parser.add_argument("--key", help="PEM private key of --cert")
    arguments = parser.parse_args()

    os.makedirs(os.path.join(arguments.root, "payloads"), exist_ok=True)
    scenarios, payload_declarations = load_scenarios(arguments.scenarios)
    payloads = {}
    for name, declaration in payload_declarations.items():
        path = os.path.join(arguments.root, "payloads", name + ".bin")
        content = generate_payload(declaration, arguments.files)
        with open(path, "wb") as target:
            target.write(content)
        # An independent digest of the source, for tests that compare what arrived with it.
        with open(os.path.join(arguments.root, "payloads", name + ".sha256"), "w", encoding="ascii") as target:
            target.write(hashlib.sha256(content).hexdigest())
        payloads[name] = path

    try:
        server = ThreadingHTTPServer((arguments.host, arguments.port), Handler)
    except OSError as error:
        if not arguments.port:
            raise
        # A fixed port (a program's compiled-in endpoint) that another program holds, or that Windows
        # keeps for Hyper-V or WinNAT (WSAEACCES).
        sys.exit("release-server: cannot listen on %s:%d: %s (on Windows, see netsh int ipv4 show "
                 "excludedportrange protocol=tcp)" % (arguments.host, arguments.port, error))
    server.daemon_threads = True
    server.state = State(arguments.root, scenarios, payloads, arguments.files)
    scheme = "http"
    if arguments.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(arguments.cert, arguments.key)
        # The handshake runs in each request's thread, so a silent client cannot block accepting others.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
        scheme = "https"
    port = server.server_address[1]
    if arguments.port_file:
        temporary = arguments.port_file + ".new"
        with open(temporary, "w", encoding="ascii") as target:
            target.write("%d\n" % port)
        os.replace(temporary, arguments.port_file)
    print("release-server: %s://%s:%d/ root %s" % (scheme, arguments.host, port, arguments.root), flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
