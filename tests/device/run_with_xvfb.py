"""Runs a command on a private Xvfb, so that a test that needs an X server and OpenGL runs on a
machine without a display. The server is the end-to-end harness's (a free display that the
server picks itself)."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import XServer  # noqa: E402


def main():
    server = XServer(640, 480)
    try:
        return subprocess.run(sys.argv[1:], env=dict(server.env, QT_QPA_PLATFORM="xcb")).returncode
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
