"""Runs a command on a private Xvfb, so that a test that needs an X server and OpenGL runs on a
machine without a display. The server picks a free display itself (-displayfd)."""
import os
import shutil
import subprocess
import sys
import tempfile


def start_server():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24", "-noreset",
         "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    with os.fdopen(read_fd, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                server.wait()
                raise RuntimeError("Xvfb did not start")
            number += chunk
    return server, ":" + number.decode().strip()


def main():
    server, display = start_server()
    runtime_dir = tempfile.mkdtemp(prefix="nukitori-device-")
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=runtime_dir)
    env.pop("WAYLAND_DISPLAY", None)
    try:
        return subprocess.run(sys.argv[1:], env=env).returncode
    finally:
        server.terminate()
        try:
            server.wait(5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        shutil.rmtree(runtime_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
