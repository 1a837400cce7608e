"""The Windows zip and installer as a user gets them, under Wine, each in a copy of a ready prefix:
the zip unzipped and its program started in its own folder, as a double-click in Explorer starts
it; the installer installed with msiexec without a window, started as its Start-menu shortcut
starts it (under Xvfb), used once, and removed again. Builds nothing: NUKITORI_ZIP names the zip,
NUKITORI_MSI the installer (either may be left out), NUKITORI_WINE_PREFIX the prefix."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import SAMPLES, SAVE_FOLDER, XServer, project_version, wait_for_file, wait_until  # noqa: E402

ZIP = os.environ.get("NUKITORI_ZIP")
MSI = os.path.abspath(os.environ.get("NUKITORI_MSI") or "-")
TEMPLATE = os.path.abspath(os.environ["NUKITORI_WINE_PREFIX"])
USERS_OWN_MODEL = b"xof 0303txt 0032\n// the user's own model, which nukitori must keep\n"
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def shortcut_row():
    """The Start-menu shortcut's row of the installer's Shortcut table, by column name."""
    lines = subprocess.run(["msiinfo", "export", MSI, "Shortcut"], check=True, capture_output=True,
                           text=True, env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.splitlines()
    columns = lines[0].split("\t")
    rows = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    [row] = rows
    return row


class InWine(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="nukitori-windows-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.prefix = os.path.join(self.tmp, "prefix")
        shutil.copytree(TEMPLATE, self.prefix, symlinks=True,
                        ignore=shutil.ignore_patterns("*.lock", "*.e2e-lock"))
        # Every Wine process of the prefix on one display, from the first on: Wine's desktop
        # process, once started without one, stays and refuses the later windows.
        self.server = XServer()
        self.addCleanup(self.server.close)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8",
                        DISPLAY=self.server.display)
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        [user] = [u for u in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if u != "Public"]
        self.profile = os.path.join(self.prefix, "drive_c", "users", user)

    def wine(self, *args, **options):
        result = subprocess.run(["wine", *args], env=self.env, timeout=120, **options)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        return result

    def start_and_save(self, program, arguments, folder, saved_in, check_started=lambda: None):
        """Starts nukitori.exe in folder, waits for the viewer, runs check_started, saves one
        capture, which must appear in saved_in, and quits with Escape."""
        server = self.server
        log = open(os.path.join(self.tmp, "stderr.txt"), "wb")
        self.addCleanup(log.close)
        app = subprocess.Popen(["wine", program, *arguments], cwd=folder, env=self.env,
                               stdout=subprocess.DEVNULL, stderr=log)
        try:
            window = wait_until(lambda: server.visible_window("ビューア"), 30, what="the viewer")
            check_started()
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Return"))
            wait_for_file(os.path.join(saved_in, SAVE_FOLDER, "0.bmp"), timeout=15)
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Escape"))
            # Wine passes on no exit code when it kills the Unix side of a program that has
            # already ended itself (SIGKILL): that counts as the quit it followed.
            self.assertIn(app.wait(20), (0, -signal.SIGKILL), "nukitori.exe did not end well")
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)


@unittest.skipUnless(ZIP, "NUKITORI_ZIP names no zip")
class ZipTest(InWine):
    def test_unzip_and_start_in_its_own_folder(self):
        # Not in the profile: Wine links its Desktop to the Unix user's.
        folder = os.path.join(self.tmp, "nukitori-windows-x86_64")
        with zipfile.ZipFile(ZIP) as archive:
            archive.extractall(folder)
        for name in ["nukitori.exe", "nukitori-info.exe", "nukitori-samples.exe", "nukitori-replay.exe",
                     "README.txt", "LICENSE.txt", "THIRD-PARTY.txt", SAVE_FOLDER, *SAMPLES]:
            self.assertTrue(os.path.exists(os.path.join(folder, name)), f"{name} is not in the zip")
        version = subprocess.run(["wine", os.path.join(folder, "nukitori.exe"), "--version"], env=self.env,
                                 capture_output=True, text=True, timeout=60)
        self.assertEqual(version.stdout.strip(), f"nukitori {project_version(ROOT)}")
        self.start_and_save(os.path.join(folder, "nukitori.exe"), [], folder, folder)


@unittest.skipUnless(os.environ.get("NUKITORI_MSI"), "NUKITORI_MSI names no installer")
class InstallerTest(InWine):
    def setUp(self):
        super().setUp()
        # Wine links Pictures to the Unix home: here it is a folder of the prefix's own.
        pictures = os.path.join(self.profile, "Pictures")
        if os.path.islink(pictures):
            os.unlink(pictures)
        os.makedirs(os.path.join(pictures, "nukitori"), exist_ok=True)
        self.work = os.path.join(pictures, "nukitori")
        with open(os.path.join(self.work, "model.x"), "wb") as f:
            f.write(USERS_OWN_MODEL)

    def seeded(self):
        for name in SAMPLES[1:]:
            with open(os.path.join(self.work, name), "rb") as copy, \
                    open(os.path.join(self.program, name), "rb") as original:
                self.assertEqual(copy.read(), original.read(), f"{name} was not seeded")
        with open(os.path.join(self.work, "model.x"), "rb") as f:
            self.assertEqual(f.read(), USERS_OWN_MODEL, "the user's model.x was replaced")

    def test_install_start_from_the_shortcut_and_remove(self):
        msi = "Z:" + MSI.replace("/", "\\")
        self.assertEqual(self.wine("msiexec", "/i", msi, "/qn").returncode, 0, "msiexec /i failed")
        program = self.program = os.path.join(self.profile, "AppData", "Local", "Programs", "nukitori")
        installed = sorted(os.listdir(program))
        for name in ["nukitori.exe", "nukitori-info.exe", "nukitori-samples.exe", "README.txt",
                     "LICENSE.txt", "THIRD-PARTY.txt", SAVE_FOLDER, *SAMPLES]:
            self.assertIn(name, installed)
        shortcut = os.path.join(self.profile, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                "Programs", "nukitori 抜き取り.lnk")
        self.assertTrue(os.path.isfile(shortcut), f"no Start-menu shortcut; the menu holds "
                        f"{os.listdir(os.path.dirname(shortcut))}")

        # As the shortcut starts it: its target, its arguments, in its working folder.
        row = shortcut_row()
        self.assertEqual(row["Target"], "[INSTALLDIR]nukitori.exe")
        self.assertEqual(row["WkDir"], "INSTALLDIR")
        self.start_and_save(os.path.join(self.program, "nukitori.exe"), row["Arguments"].split(), self.program,
                            self.work, self.seeded)

        self.assertEqual(self.wine("msiexec", "/x", msi, "/qn").returncode, 0, "msiexec /x failed")
        self.assertFalse(os.path.exists(program), f"left behind: {os.listdir(program) if os.path.isdir(program) else program}")
        self.assertFalse(os.path.exists(shortcut), "the shortcut was left behind")
        left = sorted(os.listdir(self.work))
        self.assertIn("model.x", left)
        self.assertIn("0.bmp", os.listdir(os.path.join(self.work, SAVE_FOLDER)))


if __name__ == "__main__":
    unittest.main()
