"""The page's server (scripts/serve-page.py) answers a request it cannot map
to a file with 400 and goes on serving."""

import http.client
import os
import socket
import subprocess
import sys
import time

SERVER = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "serve-page.py")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def get(port, path):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        connection.request("GET", path)
        response = connection.getresponse()
        return response.status, response.read()
    finally:
        connection.close()


def test_a_path_with_a_nul_byte_is_a_bad_request(tmp_path):
    (tmp_path / "index.html").write_text("page\n")
    port = free_port()
    server = subprocess.Popen([sys.executable, SERVER, str(tmp_path), str(port)], stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        assert get(port, "/index.html%00")[0] == 400
        assert get(port, "/index.html") == (200, b"page\n")
        assert get(port, "/../../etc/passwd")[0] == 404
    finally:
        server.terminate()
        server.wait(timeout=5)
