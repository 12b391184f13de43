#!/usr/bin/env python3
"""Serves a folder over HTTP on 127.0.0.1 for the update journey.

Usage: feed_server.py FOLDER PORT_FILE LOG_FILE
Writes the port it listens on to PORT_FILE and every requested path to
LOG_FILE. A path under /slow/ serves the same file in 4 KB pieces, 50 ms
apart, so that a download can be interrupted.
"""
import functools
import http.server
import sys
import time

folder, port_file, log_file = sys.argv[1:4]


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        with open(log_file, "a") as log:
            log.write(self.path + "\n")
        if not self.path.startswith("/slow/"):
            return super().do_GET()
        path = self.translate_path(self.path[len("/slow"):].split("?")[0])
        with open(path, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        for start in range(0, len(data), 4096):
            try:
                self.wfile.write(data[start:start + 4096])
                self.wfile.flush()
            except OSError:
                return
            time.sleep(0.05)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=folder))
with open(port_file, "w") as f:
    f.write(str(server.server_port))
server.serve_forever()
