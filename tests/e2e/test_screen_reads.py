"""Screens other than the usual 24-bit one: a capture of a 16-bit screen holds what the screen's
own tools save, and a screen the X server will not give (XWayland's root window) makes grabs and
captures fail aloud instead of saving black pictures.

No X server at hand refuses its root window as XWayland does, so the program is told by
NUKITORI_X11_READ_UNMAPPED=1 to read a window that is never mapped: the server refuses that with
the same error, and everything after the refusal is the program's own."""
import os
import time
import unittest

from harness import (SAMPLES, SAVE_FOLDER, UNDER_WINE, XServer, click_at, file_stamp, stable_screenshot,
                     wait_for_file, wait_until)
from test_capture import GRAB_FILE, OVERLAY, OVERLAY_FILE_SIZE, SHOOT_BUTTON, CaptureTestCase, difference

# Where X refuses the screen, the desktop portal is asked instead; the tests give no session bus.
PORTAL_REASON = "the desktop portal cannot be reached"
NO_BUS = "unix:path=/nonexistent/nukitori-test-bus"


class SixteenBitScreen(CaptureTestCase):
    """Under Wine too: GDI widens a 16-bit screen as X tools do, and so must the program."""

    def setUp(self):
        self.server = XServer(depth=16)
        self.addCleanup(self.server.close)
        self.app = self.start_app()
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")

    def test_a_capture_holds_the_pixels_a_screenshot_of_the_screen_holds(self):
        self.clear_the_overlay()
        box = self.overlay_box_on_screen()
        expected = stable_screenshot(self.server, box).crop(box)
        # Rounding would save 5-bit red 7 as 58 and 6-bit green 14 as 57, where a screenshot
        # has 57 and 56: without such levels under the overlay the comparison would prove nothing.
        levels = {(r, g) for r, g, _ in expected.getdata()}
        self.assertTrue(any(r in (24, 57, 198, 231) or g in (44, 48, 52, 56, 60, 195, 199, 203, 207, 211)
                            for r, g in levels), f"no level that rounding changes under the overlay: {levels}")
        self.press_enter()
        wait_for_file(self.saved("0.bmp"), OVERLAY_FILE_SIZE)
        captured = self.assert_snapshot(self.saved("0.bmp"), OVERLAY[2], OVERLAY[3])
        self.assertEqual(captured.tobytes(), expected.tobytes(),
                         f"0.bmp is not what a screenshot shows: {difference(captured, expected)}")


@unittest.skipIf(UNDER_WINE, "the failed reads are made through the X11 program's reader")
class UnreadableScreen(CaptureTestCase):
    wayland = True

    def start_app(self, **options):
        env = dict(self.server.env, NUKITORI_X11_READ_UNMAPPED="1", DBUS_SESSION_BUS_ADDRESS=NO_BUS)
        if self.wayland:
            # Nothing listens there: the windows stay on X, as they do under Wayland.
            env["WAYLAND_DISPLAY"] = "wayland-nukitori-test"
        return super().start_app(env=env, **options)

    def lines_with(self, text):
        return [line for line in self.app.stderr().splitlines() if text in line]

    def test_grabs_and_captures_fail_aloud_take_their_numbers_and_write_nothing(self):
        # A Wayland session goes straight to the portal: X is not even asked.
        self.assertEqual(self.lines_with("BadMatch"), [], self.app.stderr())
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)

        self.press_enter()
        wait_until(lambda: self.lines_with(f"{SAVE_FOLDER}/0.bmp: {PORTAL_REASON}"),
                   what=f"the failed capture on stderr; got {self.app.stderr()!r}")
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_until(lambda: self.lines_with(f"{SAVE_FOLDER}/1.bmp: {PORTAL_REASON}"),
                   what=f"the failed numbered grab, numbered after the capture; got {self.app.stderr()!r}")
        fx, fy, _, _ = self.geometry(self.frame)
        self.move_frame(fx + 300, fy + 200)
        wait_until(lambda: self.lines_with(f"{GRAB_FILE}: {PORTAL_REASON}"),
                   what=f"the failed grab on stderr; got {self.app.stderr()!r}")
        time.sleep(0.3)
        self.assertIsNone(self.app.process.poll(), f"a failed read ended the program: {self.app.stderr()}")
        self.assertEqual(self.app.saved_files(), [], "a failed read was saved")
        self.assertEqual(file_stamp(grab_file), old, "a failed grab replaced the grab texture")
        self.assertEqual(sorted(os.listdir(self.app.workdir)), sorted(SAMPLES + [SAVE_FOLDER, "stderr.txt"]),
                         "a failed read left files behind")


@unittest.skipIf(UNDER_WINE, "the failed reads are made through the X11 program's reader")
class UnreadableScreenOutsideWayland(UnreadableScreen):
    """Away from Wayland, an X server that refuses its screen is named once at start-up, and the
    portal is asked instead."""
    wayland = False

    def test_grabs_and_captures_fail_aloud_take_their_numbers_and_write_nothing(self):
        started = self.lines_with("BadMatch")
        self.assertEqual(len(started), 1, f"start-up does not name the X error once: {self.app.stderr()!r}")
        self.assertIn("desktop portal", started[0])
        self.press_enter()
        wait_until(lambda: self.lines_with(f"{SAVE_FOLDER}/0.bmp: {PORTAL_REASON}"),
                   what=f"the failed capture on stderr; got {self.app.stderr()!r}")
        self.assertEqual(self.app.saved_files(), [], "a failed read was saved")


if __name__ == "__main__":
    unittest.main()
