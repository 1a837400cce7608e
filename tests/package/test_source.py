"""The source tarball as a user gets it: unpacked into a clean folder, which is no git checkout,
built and started with the README's first command (under Xvfb), used once, and, with
NUKITORI_SOURCE_FULL=1, tested with its second command, which takes as long as a whole test run.
NUKITORI_SOURCE names the tarball; NUKITORI_SOURCE_INTO, if set, the folder to unpack it in (it
is kept there, for a look after a failure)."""
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import SAVE_FOLDER, XServer, project_version, wait_for_file, wait_until  # noqa: E402

TARBALL = os.path.abspath(os.environ["NUKITORI_SOURCE"])


class SourceTarball(unittest.TestCase):
    def setUp(self):
        into = os.environ.get("NUKITORI_SOURCE_INTO")
        if into:
            shutil.rmtree(into, ignore_errors=True)
            os.makedirs(into)
        else:
            into = tempfile.mkdtemp(prefix="nukitori-source-")
            self.addCleanup(shutil.rmtree, into, ignore_errors=True)
        with tarfile.open(TARBALL) as archive:
            tops = {name.split("/")[0] for name in archive.getnames()}
        subprocess.run(["tar", "-xzf", TARBALL, "-C", into], check=True)
        # One folder, named as the tarball is.
        self.assertEqual(tops, {os.path.basename(TARBALL).removesuffix(".tar.gz")})
        self.source = os.path.join(into, tops.pop())
        self.assertEqual(self.source.rsplit("-", 1)[1], project_version(self.source),
                         "the tarball's name has another version")
        self.log = os.path.join(into, "log.txt")

    def test_the_readme_commands_build_start_and_test_it(self):
        server = XServer()
        self.addCleanup(server.close)
        with open(self.log, "wb") as log:
            app = subprocess.Popen([os.path.join(self.source, "scripts", "run")], cwd=self.source, env=server.env,
                                   stdout=log, stderr=subprocess.STDOUT)
        try:
            def viewer():
                return server.visible_window("ビューア") or app.poll() is not None
            # It builds first.
            window = wait_until(viewer, 1800, interval=1, what="the viewer of scripts/run")
            self.assertIsNone(app.poll(), self.tail())
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Return"))
            wait_for_file(os.path.join(self.source, "run", SAVE_FOLDER, "0.bmp"), timeout=15)
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Escape"))
            self.assertEqual(app.wait(20), 0, self.tail())
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()
        if os.environ.get("NUKITORI_SOURCE_FULL") == "1":
            with open(self.log, "ab") as log:
                tested = subprocess.run([os.path.join(self.source, "scripts", "test")], cwd=self.source,
                                        stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            self.assertEqual(tested.returncode, 0, self.tail())

    def tail(self):
        with open(self.log, encoding="utf-8", errors="replace") as f:
            return "".join(f.readlines()[-60:])


if __name__ == "__main__":
    unittest.main()
