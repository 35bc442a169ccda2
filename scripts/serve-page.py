#!/usr/bin/env python3
"""Serves the page's folder on the loopback address: python's own static file
server, except that a request it cannot map to a file name (a NUL byte in the
path) is answered 400 instead of dropping the connection with a traceback.

    scripts/serve-page.py FOLDER [PORT]
"""

import functools
import http
import http.server
import sys


class PageHandler(http.server.SimpleHTTPRequestHandler):
    def send_head(self):
        try:
            return super().send_head()
        except ValueError:  # open() refuses the name
            self.send_error(http.HTTPStatus.BAD_REQUEST, "Bad path")
            return None


def main():
    folder = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 8000
    handler = functools.partial(PageHandler, directory=folder)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
