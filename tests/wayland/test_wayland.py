"""nukitori on a Wayland desktop (headless sway, XWayland, the real desktop portal): the grab and
the capture read the screen through the portal's ScreenCast stream or its Screenshot, and the
files must hold exactly the pixels the compositor shows, as grim sees them.

sway puts a floating X window that moves itself back in the middle of the output, so the frame
cannot be dragged there: the tests place the windows through sway, and a press and release on
the frame's face is the drop that grabs."""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../e2e"))
from harness import (ASSETS, BIN, CLEAR_COLOUR, SAMPLES, SAVE_FOLDER, click_at, crop, file_stamp,  # noqa: E402
                     load_bmp, near, stop, wait_for_file, wait_until)
from test_capture import (FACE, FACE_COLOUR, GRAB_FILE, GRAB_FILE_SIZE, HOLE, OVERLAY,  # noqa: E402
                          OVERLAY_FILE_SIZE, difference, same_pixels, unique_picture)
from rig import PICTURE_AREA, Desktop  # noqa: E402

PICTURE_AT = (0, 0)
FRAME_AT = (100, 80)        # the hole lies on the picture
VIEWER_AT = (430, 190)      # beside the picture, within the 1024x768 output
FORMATS = ["BGRx", "RGBx", "BGRA", "RGBA", "xRGB"]


class App:
    """nukitori run as the desktop's user in a working folder of its own with the sample files."""

    def __init__(self, desktop):
        self.desktop = desktop
        self.closed = False
        self.workdir = tempfile.mkdtemp(prefix="app-", dir=desktop.path("work"))
        for name in SAMPLES:
            shutil.copy(os.path.join(ASSETS, name), self.workdir)
        os.mkdir(self.path(SAVE_FOLDER))
        for folder, names, files in os.walk(self.workdir):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                os.chown(name, desktop.user.pw_uid, desktop.user.pw_gid)
        self._stderr = open(self.path("stderr.txt"), "wb")
        self.process = desktop.spawn([desktop.install(BIN)], "nukitori", cwd=self.workdir, stderr=self._stderr,
                                     env=self.sanitizer_options())
        self.frame = self.window("com")
        self.viewer = self.window("ビューア")

    def sanitizer_options(self):
        """The test run's sanitizer settings (a sanitizer build's tests give them), with the reports
        written where the desktop's user may write; close() copies them to the run's folder."""
        options, self.reports = {}, {}
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            settings = [s for s in os.environ.get(name, "").split(":") if s]
            for i, setting in enumerate(settings):
                if setting.startswith("log_path="):
                    self.reports[self.path("reports", name)] = setting[len("log_path="):]
                    settings[i] = "log_path=" + self.path("reports", name)
            if settings:
                options[name] = ":".join(settings)
        if self.reports:
            os.mkdir(self.path("reports"))
            os.chown(self.path("reports"), self.desktop.user.pw_uid, self.desktop.user.pw_gid)
        return options

    def window(self, title):
        def find():
            if self.process.poll() is not None:
                raise RuntimeError(f"nukitori ended ({self.process.returncode}): {self.stderr()}")
            return self.desktop.xdotool("search", "--all", "--onlyvisible", "--pid", self.process.pid,
                                        "--name", f"^{title}$").split()[:1]
        return wait_until(find, timeout=30, what=f"the window {title!r}")[0]

    def path(self, *parts):
        return os.path.join(self.workdir, *parts)

    def stderr(self):
        with open(self.path("stderr.txt"), encoding="utf-8", errors="replace") as f:
            return f.read()

    def saved_files(self):
        return sorted(os.listdir(self.path(SAVE_FOLDER)))

    def close(self):
        if self.closed:
            return
        self.closed = True
        stop(self.process)
        self._stderr.close()
        for report in os.listdir(self.path("reports")) if self.reports else []:
            # Named after the setting's file and the process id: the same under the run's name.
            setting = next(n for n in self.reports if report.startswith(os.path.basename(n) + "."))
            shutil.copy(self.path("reports", report), self.reports[setting] + report[len(os.path.basename(setting)):])
        shutil.rmtree(self.workdir, ignore_errors=True)


class ScreenChecks:
    """What the tests of both desktops check on the screen their desktop's screenshots show."""

    def stable_screenshot(self, box):
        """The desktop's picture of `box` once two in a row agree: a still screen, not a repaint."""
        previous = [None]

        def settled():
            part = crop(self.desktop.screenshot(), *box)
            same = previous[0] is not None and same_pixels(part, previous[0])
            previous[0] = part
            return part if same else None
        return wait_until(settled, what="the screen to settle")

    def bmp(self, path, width, height):
        picture = load_bmp(path)
        self.assertEqual(picture.size, (width, height), f"{path} has the wrong size")
        return picture

    def assert_same(self, saved, expected, what):
        self.assertTrue(same_pixels(saved, expected), f"{what}: {difference(saved, expected)}")

    def problem_line_yellow(self, viewer):
        """The yellow pixels of the viewer's problem line, the line the program's own troubles
        and the desktop's question take."""
        x, y, _, _ = self.geometry(viewer)
        line = crop(self.desktop.screenshot(), x + 50, y + 78, 320, 14).convert("RGB")
        return sum(1 for r, g, b in line.getdata() if r > 200 and g > 160 and b < 150)


class WaylandTestCase(ScreenChecks, unittest.TestCase):
    """One desktop for the class (it starts in a second); a fresh nukitori for each test."""
    desktop_options = {}

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop(**cls.desktop_options)
        try:
            cls.picture = unique_picture(*PICTURE_AREA)
            cls.desktop.show_picture(cls.picture, *PICTURE_AT)
            cls.picture_origin = cls.find_picture()
        except BaseException:
            cls.desktop.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    @classmethod
    def find_picture(cls):
        """The picture's top-left pixel on the output: weston-image draws it inside its frame."""
        first = cls.picture.getpixel((0, 0))

        def located():
            shot = cls.desktop.screenshot()
            for y in range(PICTURE_AT[1], PICTURE_AT[1] + 60):
                for x in range(PICTURE_AT[0], PICTURE_AT[0] + 60):
                    if shot.getpixel((x, y)) == first and \
                            same_pixels(crop(shot, x, y, *PICTURE_AREA), cls.picture):
                        return x, y
            return None
        return wait_until(located, what="the picture shown 1:1")

    def start_app(self):
        app = App(self.desktop)
        self.addCleanup(app.close)
        self.place(app.frame, *FRAME_AT)
        self.place(app.viewer, *VIEWER_AT)
        # The view's first pictures take a moment: until then the viewer is black.
        wait_until(lambda: near(self.desktop.screenshot().getpixel((VIEWER_AT[0] + 5, VIEWER_AT[1] + 100)),
                                CLEAR_COLOUR), what="the viewer to show the view")
        return app

    def place(self, window, x, y):
        """Moves an X window through sway, which knows it a moment after it shows."""
        def moved():
            answer = self.desktop.swaymsg(f"[id={window}]", "move", "position", str(x), str(y), check=False)
            return answer and answer[0].get("success") and self.geometry(window)[:2] == (x, y)
        wait_until(moved, interval=0.1, what=f"the window at {x},{y}")

    def geometry(self, window):
        values = {}
        for line in self.desktop.run(["xwininfo", "-id", str(window)]).decode().splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def hole_box(self, app):
        x, y, _, _ = self.geometry(app.frame)
        return x + HOLE[0], y + HOLE[1], HOLE[2], HOLE[3]

    def overlay_box(self, app):
        x, y, _, _ = self.geometry(app.viewer)
        return x + OVERLAY[0], y + OVERLAY[1], OVERLAY[2], OVERLAY[3]

    def picture_under(self, box):
        x, y, w, h = box
        return crop(self.picture, x - self.picture_origin[0], y - self.picture_origin[1], w, h)

    def drop_frame(self, app):
        """A press and release on the frame's face, where it is: the drop that grabs."""
        x, y, _, _ = self.geometry(app.frame)
        click_at(self.desktop, x + FACE[0], y + FACE[1])

    def grab(self, app):
        """Drops the frame and returns the grabbed picture, checked for its size."""
        old = file_stamp(app.path(GRAB_FILE))
        self.drop_frame(app)
        wait_for_file(app.path(GRAB_FILE), GRAB_FILE_SIZE, timeout=20, old_stamp=old)
        return self.bmp(app.path(GRAB_FILE), HOLE[2], HOLE[3])

    def press_enter(self, app):
        self.desktop.swaymsg(f"[id={app.viewer}]", "focus")
        wait_until(lambda: self.desktop.xdotool("getwindowfocus") == app.viewer, what="the viewer focused")
        self.desktop.xdotool("keydown", "Return")
        time.sleep(0.15)  # held for a few frames: the program polls the keyboard once a frame
        self.desktop.xdotool("keyup", "Return")

    # The checks every way to the pixels must pass.

    def check_the_hole_and_the_grab(self, app):
        hole = self.hole_box(app)
        expected = self.picture_under(hole)
        shot = self.desktop.screenshot()
        self.assertEqual(shot.getpixel((FRAME_AT[0] + FACE[0], FRAME_AT[1] + FACE[1])), FACE_COLOUR,
                         "the frame's face is not drawn above the picture")
        self.assert_same(crop(shot, *hole), expected, "the hole does not show the window under it")
        self.assert_same(self.grab(app), expected, "the grab is not what the hole shows")

    def check_the_capture(self, app):
        box = self.overlay_box(app)
        before = self.stable_screenshot(box)
        self.press_enter(app)
        saved = app.path(SAVE_FOLDER, "0.bmp")
        wait_for_file(saved, OVERLAY_FILE_SIZE, timeout=20)
        self.assert_same(self.bmp(saved, OVERLAY[2], OVERLAY[3]), before, "0.bmp is not the screen under the overlay")


class ScreenshotPortal(WaylandTestCase):
    """Without ScreenCast every read is a non-interactive portal screenshot (wlr, gtk for Access)."""
    desktop_options = {"portals": "screenshot"}

    def test_the_hole_shows_the_native_window_and_the_drop_grabs_it(self):
        self.check_the_hole_and_the_grab(self.start_app())

    def test_enter_saves_the_screen_under_the_overlay(self):
        self.check_the_capture(self.start_app())


class ScreenCastPortal(WaylandTestCase):
    """ScreenCast from the test backend and no Screenshot: the pixels can come only from the stream."""
    desktop_options = {"portals": "screencast", "screenshot": False}

    def setUp(self):
        self.addCleanup(self.desktop.set_cast, format="BGRx")

    def events(self, name):
        return [event for event in self.desktop.cast_events() if event[0] == name]

    def test_the_grab_and_the_capture_read_the_stream(self):
        app = self.start_app()
        self.check_the_hole_and_the_grab(app)
        self.check_the_capture(app)
        self.assertTrue(self.events("started"), "no screen-cast session was started")

    def test_the_permission_is_kept_so_a_second_start_asks_nothing(self):
        app = self.start_app()
        self.grab(app)
        asked = len(self.events("asked"))
        folder = os.path.join(self.desktop.env["HOME"], ".config", "nukitori")
        kept = os.listdir(folder) if os.path.isdir(folder) else []
        self.assertTrue([f for f in kept if os.path.getsize(os.path.join(folder, f))], f"nothing was kept in {folder}")
        app.close()
        started = len(self.events("started"))
        app = self.start_app()
        self.assert_same(self.grab(app), self.picture_under(self.hole_box(app)), "the grab after the restart")
        self.assertEqual(len(self.events("started")), started + 1, "the second start cast no new session")
        self.assertEqual(len(self.events("asked")), asked, "the second start asked the user again")

    def test_the_stream_stops_when_idle_and_starts_again_at_the_next_grab(self):
        app = self.start_app()
        self.grab(app)
        grabbed = time.monotonic()
        self.assertTrue(self.desktop.cast_consumers(), "no stream is read after the grab")
        wait_until(lambda: not self.desktop.cast_consumers(), timeout=10, interval=0.2, what="the stream to stop")
        idle = time.monotonic() - grabbed
        self.assertGreater(idle, 2, f"the stream stopped {idle:.1f} s after the grab, before it was idle")
        self.assertLess(idle, 6, f"the stream stopped only {idle:.1f} s after the grab")
        self.assert_same(self.grab(app), self.picture_under(self.hole_box(app)), "the grab after the stop")
        self.assertTrue(self.desktop.cast_consumers(), "the next grab did not start the stream again")

    def test_every_pixel_format_gives_the_exact_pixels(self):
        for video_format in FORMATS:
            with self.subTest(video_format):
                self.desktop.set_cast(format=video_format)
                app = self.start_app()
                try:
                    grabbed = self.grab(app)
                    self.assertEqual(self.events("started")[-1][1], video_format, "the session cast another format")
                    self.assert_same(grabbed, self.picture_under(self.hole_box(app)), f"the grab from {video_format}")
                finally:
                    app.close()

    def test_a_stream_of_part_of_the_desktop_is_placed_by_its_position(self):
        # As a second monitor's: the stream starts at 60,40 of the X screen.
        self.desktop.set_cast(format="BGRx", region=[60, 40, 500, 400])
        app = self.start_app()
        self.assert_same(self.grab(app), self.picture_under(self.hole_box(app)), "the grab from the part")

    def test_while_the_desktop_asks_the_viewer_says_so_and_the_grab_then_completes(self):
        self.desktop.set_cast(format="BGRx", answer_after=3)
        app = self.start_app()

        def yellow():
            return self.problem_line_yellow(app.viewer)
        self.assertEqual(yellow(), 0, "the viewer shows a problem line before the grab")
        old = file_stamp(app.path(GRAB_FILE))
        started = len(self.events("started"))
        self.drop_frame(app)
        # Drawn while the grab still waits for Start: the viewer is not stuck in the wait.
        wait_until(lambda: yellow() > 20, timeout=2.5, interval=0.1, what="the viewer to say the desktop asks")
        self.assertEqual(len(self.events("started")), started, "the line came only after the answer")
        wait_for_file(app.path(GRAB_FILE), GRAB_FILE_SIZE, timeout=20, old_stamp=old)
        self.assert_same(self.bmp(app.path(GRAB_FILE), HOLE[2], HOLE[3]), self.picture_under(self.hole_box(app)),
                         "the grab after the question")
        wait_until(lambda: yellow() == 0, timeout=5, what="the line to go after the answer")

    def test_a_refused_cast_is_reported_and_saves_nothing(self):
        self.desktop.set_cast(refuse=True)
        app = self.start_app()
        with open(app.path(GRAB_FILE), "rb") as f:
            texture = f.read()
        self.drop_frame(app)
        self.press_enter(app)
        capture = f"{SAVE_FOLDER}/0.bmp"

        def lines_about(name):
            return [line for line in app.stderr().splitlines() if name in line]
        wait_until(lambda: lines_about(GRAB_FILE) and lines_about(capture), timeout=20,
                   what=f"both failures on stderr; got {app.stderr()!r}")
        time.sleep(0.5)
        for name in (GRAB_FILE, capture):
            lines = lines_about(name)
            self.assertEqual(len(lines), 1, f"one failure, not one line about {name}: {app.stderr()!r}")
            self.assertTrue(any(word in lines[0] for word in ("declined", "refused", "denied", "cancel")),
                            f"the line about {name} does not say the user refused: {lines[0]!r}")
        self.assertTrue(self.events("refused"), "the backend was not asked")
        self.assertIsNone(app.process.poll(), "a refused cast ended the program")
        with open(app.path(GRAB_FILE), "rb") as f:
            self.assertEqual(f.read(), texture, f"{GRAB_FILE} was changed")
        self.assertEqual(app.saved_files(), [], "a capture was saved")


class RefusedScreenCast(WaylandTestCase):
    """A refused cast falls back to the portal's screenshots."""
    desktop_options = {"portals": "screencast"}

    def test_a_refused_cast_falls_back_to_screenshots(self):
        self.desktop.set_cast(refuse=True)
        app = self.start_app()
        self.check_the_hole_and_the_grab(app)
        self.assertIn("refused", [event[0] for event in self.desktop.cast_events()], "the cast was not asked for")


if __name__ == "__main__":
    unittest.main()
