"""Start-up, the viewer's picture and the ways to quit, on the real binary under Xvfb."""
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import CLEAR_COLOUR, BIN, UNDER_WINE, Nukitori, XServer, near, program_path, wait_until, wine_env


class WithoutWindowManager(unittest.TestCase):
    def setUp(self):
        self.server = XServer()
        self.app = Nukitori(self.server)

    def tearDown(self):
        self.app.close()
        self.server.close()

    def test_both_windows_appear_and_the_viewer_shows_the_clear_colour_and_the_button(self):
        viewer = self.app.window("ビューア")
        frame = self.app.window("com")
        x, y, w, h = self.app.geometry(viewer)
        self.assertEqual((w, h), (594, 578), "the viewer's client area is the back buffer")
        fx, fy, fw, fh = self.app.geometry(frame)
        self.assertEqual((fx, fy, fw, fh), (0, 0, 177, 152), "the frame starts at the top-left corner")

        def shows_picture():
            shot = self.server.screenshot()
            return shot if near(shot.getpixel((x + 585, y + 570)), CLEAR_COLOUR) else None
        shot = wait_until(shows_picture, what="the clear colour in the viewer's bottom-right corner")
        # Bottom rows are cleared and left alone by the model, overlay and texts.
        for px in (x + 300, x + 590):
            self.assertTrue(near(shot.getpixel((px, y + 576)), CLEAR_COLOUR),
                            f"pixel {px},{y + 576} is {shot.getpixel((px, y + 576))}")
        # The capture button sits over the picture at (264, 4), 68 x 18: its face is not the clear colour.
        button = [shot.getpixel((x + bx, y + by)) for bx in range(268, 328, 6) for by in (8, 12, 16)]
        covered = sum(1 for p in button if not near(p, CLEAR_COLOUR, 20))
        self.assertGreater(covered, len(button) * 0.8, "the capture button is not visible over the picture")
        self.assertTrue(near(shot.getpixel((x + 263, y + 12)), CLEAR_COLOUR, 40) or
                        not near(shot.getpixel((x + 263, y + 12)), shot.getpixel((x + 300, y + 12)), 5),
                        "the button is no wider than its place")

    def test_escape_ends_the_program_with_exit_code_0(self):
        viewer = self.app.window("ビューア")
        self.app.focus(viewer)
        self.server.tap(self.server.keycode_of("Escape"))
        self.assertEqual(self.app.wait_exit(), 0, self.app.stderr())


class WithWindowManager(unittest.TestCase):
    def setUp(self):
        self.server = XServer(window_manager=True)
        self.app = Nukitori(self.server)

    def tearDown(self):
        self.app.close()
        self.server.close()

    def test_closing_the_viewer_ends_the_program_with_exit_code_0(self):
        viewer = self.app.window("ビューア")
        self.app.window("com")
        self.server.close_window(viewer)
        self.assertEqual(self.app.wait_exit(), 0, self.app.stderr())

    def test_closing_the_frame_alone_leaves_the_viewer_running(self):
        self.app.window("ビューア")
        frame = self.app.window("com")
        self.server.close_window(frame)
        wait_until(lambda: not self.server.xdotool("search", "--onlyvisible", "--name", "^com$"),
                   what="the frame to close")
        self.assertIsNone(self.app.wait_exit(1.0), "closing the frame ended the program")
        self.assertTrue(self.server.xdotool("search", "--onlyvisible", "--name", "^ビューア$"))


class CommandLine(unittest.TestCase):
    """The same command line on every system, the Windows program's included."""

    def setUp(self):
        self.server = XServer()
        self.addCleanup(self.server.close)

    def run_program(self, *arguments):
        command, env = [os.path.abspath(os.environ.get("NUKITORI_BIN", BIN)), *arguments], self.server.env
        if UNDER_WINE:
            command, env = ["wine", *command], wine_env(env)
        return subprocess.run(command, env=env, capture_output=True, text=True, timeout=60)

    def test_help_version_and_misuse_print_their_text_and_start_nothing(self):
        version = self.run_program("--version")
        self.assertEqual(version.returncode, 0, version.stderr)
        self.assertRegex(version.stdout, r"^nukitori \d+\.\d+")
        shown = self.run_program("--help")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertTrue(shown.stdout.startswith("usage: nukitori [--workdir DIR | --menu]"), shown.stdout)
        wrong = self.run_program("--no-such-option")
        self.assertEqual(wrong.returncode, 2)
        self.assertIn("nukitori: unknown option --no-such-option; usage: nukitori", wrong.stderr)
        self.assertFalse(self.server.xdotool("search", "--onlyvisible", "--name", "^ビューア$"))

    def test_workdir_names_the_folder_the_program_works_in(self):
        folder = os.path.join(tempfile.mkdtemp(prefix="nukitori-workdir-"), "作業")
        self.addCleanup(shutil.rmtree, os.path.dirname(folder), True)
        app = Nukitori(self.server, arguments=("--workdir", program_path(folder)))
        self.addCleanup(app.close)
        app.window("ビューア")
        self.assertTrue(os.path.isdir(folder), "the named working folder was not made")
        wait_until(lambda: "作業" in app.stderr() and "lacks the sample files" in app.stderr(),
                   what=f"the new folder's missing sample files told; stderr: {app.stderr()!r}")


@unittest.skipIf(UNDER_WINE, "the X display checks and their texts are the Linux program's; Wine itself needs X")
class WithoutDisplay(unittest.TestCase):
    def test_no_display_gives_exit_code_1_and_says_so(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = subprocess.run([os.path.abspath(BIN)], env=env, capture_output=True, text=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertIn("X display", result.stderr)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)

    def test_a_display_that_does_not_exist_gives_exit_code_1_and_makes_no_working_folder(self):
        env = dict(os.environ, DISPLAY=":9999")
        folder = os.path.join(tempfile.mkdtemp(prefix="nukitori-nodisplay-"), "new")
        self.addCleanup(shutil.rmtree, os.path.dirname(folder), True)
        result = subprocess.run([os.path.abspath(BIN), "--workdir", folder], env=env, capture_output=True,
                                text=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot open the X display \":9999\"", result.stderr)
        self.assertFalse(os.path.exists(folder), "the working folder was made for a program that could not start")


if __name__ == "__main__":
    unittest.main()
