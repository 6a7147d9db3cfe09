#!/usr/bin/env python3
"""A time-stamp server (RFC 3161 over HTTP) for the signing test, on
127.0.0.1: each POSTed request is answered by `openssl ts -reply` with the
given configuration. Writes the port it listens on into PORT_FILE.

    tsa.py OPENSSL_CONFIG PORT_FILE
"""
import http.server
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.NamedTemporaryFile() as request:
            request.write(query)
            request.flush()
            reply = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config, "-queryfile", request.name],
                capture_output=True)
        if reply.returncode != 0:
            sys.stderr.write(reply.stderr.decode(errors="replace"))
            self.send_error(500)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file, "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
