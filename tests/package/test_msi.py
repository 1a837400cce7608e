"""The Windows installer as a user gets it, under Wine: installed with msiexec without a window,
started as its Start-menu shortcut starts it (under Xvfb), used once, and removed again. Builds
nothing: NUKITORI_MSI names the installer, NUKITORI_WINE_PREFIX a ready Wine prefix, which is
copied so that every run starts from the same one."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import SAMPLES, SAVE_FOLDER, XServer, wait_for_file, wait_until  # noqa: E402

MSI = os.path.abspath(os.environ["NUKITORI_MSI"])
TEMPLATE = os.path.abspath(os.environ["NUKITORI_WINE_PREFIX"])
USERS_OWN_MODEL = b"xof 0303txt 0032\n// the user's own model, which nukitori must keep\n"


def shortcut_row():
    """The Start-menu shortcut's row of the installer's Shortcut table, by column name."""
    lines = subprocess.run(["msiinfo", "export", MSI, "Shortcut"], check=True, capture_output=True,
                           text=True, env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.splitlines()
    columns = lines[0].split("\t")
    rows = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    [row] = rows
    return row


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="nukitori-msi-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.prefix = os.path.join(self.tmp, "prefix")
        shutil.copytree(TEMPLATE, self.prefix, symlinks=True,
                        ignore=shutil.ignore_patterns("*.lock", "*.e2e-lock"))
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8")
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        [user] = [u for u in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if u != "Public"]
        self.user = user
        self.profile = os.path.join(self.prefix, "drive_c", "users", user)
        # Wine links Pictures to the Unix home: here it is a folder of the prefix's own.
        pictures = os.path.join(self.profile, "Pictures")
        if os.path.islink(pictures):
            os.unlink(pictures)
        os.makedirs(os.path.join(pictures, "nukitori"), exist_ok=True)
        self.work = os.path.join(pictures, "nukitori")
        with open(os.path.join(self.work, "model.x"), "wb") as f:
            f.write(USERS_OWN_MODEL)

    def wine(self, *args, **options):
        result = subprocess.run(["wine", *args], env=self.env, timeout=120, **options)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        return result

    def test_install_start_from_the_shortcut_and_remove(self):
        msi = "Z:" + MSI.replace("/", "\\")
        self.assertEqual(self.wine("msiexec", "/i", msi, "/qn").returncode, 0, "msiexec /i failed")
        program = os.path.join(self.profile, "AppData", "Local", "Programs", "nukitori")
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
        server = XServer()
        self.addCleanup(server.close)
        command = ["wine", os.path.join(program, "nukitori.exe"), *row["Arguments"].split()]
        log = open(os.path.join(self.tmp, "stderr.txt"), "wb")
        self.addCleanup(log.close)
        app = subprocess.Popen(command, cwd=program, env=dict(self.env, DISPLAY=server.display),
                               stdout=subprocess.DEVNULL, stderr=log)
        try:
            def viewer():
                found = server.xdotool("search", "--onlyvisible", "--name", "^ビューア$").split()
                return found[0] if found else None
            window = wait_until(viewer, 30, what="the viewer")
            for name in SAMPLES[1:]:
                with open(os.path.join(self.work, name), "rb") as copy, \
                        open(os.path.join(program, name), "rb") as original:
                    self.assertEqual(copy.read(), original.read(), f"{name} was not seeded")
            with open(os.path.join(self.work, "model.x"), "rb") as f:
                self.assertEqual(f.read(), USERS_OWN_MODEL, "the user's model.x was replaced")
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Return"))
            wait_for_file(os.path.join(self.work, SAVE_FOLDER, "0.bmp"), timeout=15)
            server.xdotool("windowfocus", "--sync", window)
            server.tap(server.keycode_of("Escape"))
            app.wait(20)
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)

        self.assertEqual(self.wine("msiexec", "/x", msi, "/qn").returncode, 0, "msiexec /x failed")
        self.assertFalse(os.path.exists(program), f"left behind: {os.listdir(program) if os.path.isdir(program) else program}")
        self.assertFalse(os.path.exists(shortcut), "the shortcut was left behind")
        left = sorted(os.listdir(self.work))
        self.assertIn("model.x", left)
        self.assertIn("0.bmp", os.listdir(os.path.join(self.work, SAVE_FOLDER)))


if __name__ == "__main__":
    unittest.main()
