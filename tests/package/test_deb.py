"""The Debian package as a user gets it: built by scripts/package-deb (or named by NUKITORI_DEB), passed by
desktop-file-validate and lintian, installed with apt, started the way the desktop menu starts it
(under Xvfb, in a fresh home), and removed again whatever happens. Needs root, or sudo."""
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import SAMPLES, SAVE_FOLDER, XServer, wait_for_file, wait_until  # noqa: E402

from PIL import Image  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DESKTOP_ENTRY = "/usr/share/applications/nukitori.desktop"
DATA = "/usr/share/nukitori"
SUDO = [] if os.geteuid() == 0 else ["sudo"]


def package_installed():
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "nukitori"], capture_output=True, text=True)
    return "install ok installed" in result.stdout


def desktop_exec(path):
    """The Exec command of a desktop entry's main group, split as a launcher splits it, without
    field codes (%f, %u, ...)."""
    group = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and line.startswith("Exec="):
                return [word for word in shlex.split(line[len("Exec="):]) if not word.startswith("%")]
    raise AssertionError(f"{path} has no Exec line")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def run_to_the_end(command, **options):
    """Runs a package operation that a stop must not cut short: dpkg stopped half-way leaves
    packages (and their triggers) for `dpkg --configure -a` to mend."""
    stops = {signal.SIGTERM, signal.SIGHUP, signal.SIGINT}
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, stops)
    try:
        return subprocess.run([*SUDO, *command], stdout=subprocess.DEVNULL, **options)
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


def remove_package():
    run_to_the_end(["dpkg", "-r", "nukitori"])


# What a stopped run still ends: the test's own cleanups do not run when it is interrupted.
AT_STOP = []


def clean_up_always(case, function, *args):
    case.addCleanup(function, *args)
    AT_STOP.append(lambda: function(*args))


class InstalledPackage(unittest.TestCase):
    installing = False  # set once this run may have installed the package, which it then removes

    @classmethod
    def setUpClass(cls):
        if package_installed():
            raise unittest.SkipTest("a nukitori package is installed already: this test would replace and remove "
                                    "it (remove it first with: dpkg -r nukitori)")
        if os.environ.get("NUKITORI_DEB"):
            cls.deb = os.path.abspath(os.environ["NUKITORI_DEB"])
        else:
            built = subprocess.run([os.path.join(ROOT, "scripts", "package-deb")], cwd=ROOT,
                                   capture_output=True, text=True)
            if built.returncode != 0:
                raise RuntimeError(f"scripts/package-deb failed:\n{built.stdout}{built.stderr}")
            cls.deb = os.path.join(ROOT, built.stdout.strip().splitlines()[-1].removeprefix("wrote "))
        cls.version = subprocess.run(["dpkg-deb", "-f", cls.deb, "Version"], check=True,
                                     capture_output=True, text=True).stdout.strip()
        InstalledPackage.installing = True
        run_to_the_end(["env", "DEBIAN_FRONTEND=noninteractive", "apt-get", "install", "-y", "-qq",
                        "--no-install-recommends", cls.deb], check=True)

    @classmethod
    def tearDownClass(cls):
        if InstalledPackage.installing:
            remove_package()
            InstalledPackage.installing = False

    def test_lintian_finds_no_error_nor_warning_and_the_desktop_entry_is_valid(self):
        lintian = subprocess.run(["lintian", self.deb], capture_output=True, text=True)
        self.assertEqual(lintian.returncode, 0, f"lintian:\n{lintian.stdout}{lintian.stderr}")
        # Warnings too: the copyright file must be one lintian reads (machine-readable, every
        # licence named with its text).
        tags = [line for line in lintian.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(tags, [], "lintian warns")
        validated = subprocess.run(["desktop-file-validate", DESKTOP_ENTRY], capture_output=True, text=True)
        self.assertEqual((validated.returncode, validated.stdout + validated.stderr), (0, ""),
                         "desktop-file-validate is not silent")

    def test_the_programs_and_their_files_are_installed(self):
        version = subprocess.run(["nukitori", "--version"], capture_output=True, text=True)
        self.assertEqual((version.returncode, version.stdout), (0, f"nukitori {self.version}\n"))
        info = subprocess.run(["nukitori-info", "--no-such-option", "x"], capture_output=True, text=True)
        self.assertIn("usage: nukitori-info", info.stderr, "nukitori-info is not installed")
        xinfo = os.path.realpath(shutil.which("nukitori-xinfo") or "")
        self.assertEqual(xinfo, os.path.realpath(shutil.which("nukitori-info") or "-"),
                         "nukitori-xinfo is not the same program as nukitori-info")
        samples = subprocess.run(["nukitori-samples", "--version"], capture_output=True, text=True)
        self.assertEqual((samples.returncode, samples.stdout), (0, f"nukitori-samples {self.version}\n"),
                         "nukitori-samples is not installed")
        self.assertTrue(os.path.isfile("/usr/share/man/man1/nukitori-samples.1.gz"),
                        "the manual page of nukitori-samples is not installed")
        replay = subprocess.run(["nukitori-replay", "--version"], capture_output=True, text=True)
        self.assertEqual((replay.returncode, replay.stdout), (0, f"nukitori-replay {self.version}\n"),
                         "nukitori-replay is not installed")
        self.assertTrue(os.path.isfile("/usr/share/man/man1/nukitori-replay.1.gz"),
                        "the manual page of nukitori-replay is not installed")
        for name in SAMPLES:
            self.assertTrue(os.path.isfile(os.path.join(DATA, name)), f"{name} is not in {DATA}")
        with Image.open("/usr/share/icons/hicolor/256x256/apps/nukitori.png") as icon:
            self.assertEqual((icon.size, icon.mode), ((256, 256), "RGBA"))
        self.assertTrue(os.path.isfile("/usr/share/icons/hicolor/scalable/apps/nukitori.svg"))

    def test_the_menu_start_works_in_the_pictures_folder_and_keeps_the_users_files(self):
        home = tempfile.mkdtemp(prefix="nukitori-home-")
        clean_up_always(self, shutil.rmtree, home, True)
        server = XServer()
        clean_up_always(self, server.close)
        env = dict(server.env, HOME=home)
        env.pop("XDG_CONFIG_HOME", None)
        folder = os.path.join(home, "Pictures", "nukitori")
        command = desktop_exec(DESKTOP_ENTRY)

        def start():
            # From the root directory: the menu start must not depend on where it was started.
            log = open(os.path.join(home, "stderr.txt"), "wb+")
            process = subprocess.Popen(command, cwd="/", env=env, stdout=subprocess.DEVNULL, stderr=log)
            clean_up_always(self, end, process, log)
            viewer = wait_until(lambda: server.xdotool("search", "--onlyvisible", "--name", "^ビューア$").split(),
                                30, what="the viewer window")[0]
            return process, viewer, log

        def end(process, log):
            if process.poll() is None:
                process.kill()
                process.wait()
            log.close()

        def quit(process, viewer, log):
            server.xdotool("windowfocus", "--sync", viewer)
            server.tap(server.keycode_of("Escape"))
            code = process.wait(10)
            log.seek(0)
            self.assertEqual(code, 0, log.read().decode(errors="replace"))

        process, viewer, log = start()
        for name in SAMPLES:
            self.assertEqual(read_bytes(os.path.join(folder, name)), read_bytes(os.path.join(DATA, name)),
                             f"{name} was not copied into {folder}")
        server.xdotool("windowfocus", "--sync", viewer)
        server.tap(server.keycode_of("Return"))
        saved = os.path.join(folder, SAVE_FOLDER, "0.bmp")
        wait_for_file(saved)
        with Image.open(saved) as capture:
            self.assertEqual(capture.format, "BMP")
        quit(process, viewer, log)

        # The user's own model stays; a sample that went missing comes back.
        mine = read_bytes(os.path.join(DATA, "model.x")) + b"\n// the user's own model\n"
        with open(os.path.join(folder, "model.x"), "wb") as f:
            f.write(mine)
        os.remove(os.path.join(folder, "枠.bmp"))
        process, viewer, log = start()
        self.assertEqual(read_bytes(os.path.join(folder, "model.x")), mine, "the user's model.x was replaced")
        self.assertEqual(read_bytes(os.path.join(folder, "枠.bmp")), read_bytes(os.path.join(DATA, "枠.bmp")),
                         "the missing 枠.bmp was not copied again")
        self.assertEqual(sorted(os.listdir(os.path.join(folder, SAVE_FOLDER))), ["0.bmp", "nukitori-samples.jsonl"],
                         "the saved sample or its record was touched")
        quit(process, viewer, log)


def main():
    # A run that is stopped still removes the package it installed.
    def interrupt(number, frame):
        raise KeyboardInterrupt(f"signal {number}")
    for stop in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(stop, interrupt)
    try:
        result = unittest.main(verbosity=2, exit=False).result
    finally:
        for function in reversed(AT_STOP):
            function()
        InstalledPackage.tearDownClass()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
