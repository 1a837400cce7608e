"""Keyboard control of the overlay and the model, on the real binary under Xvfb."""
import time
import unittest

from harness import (CLEAR_COLOUR, Nukitori, OtherProgram, XServer, click_at, drag, hold, near, stable_screenshot,
                     wait_until)

OVERLAY_WIDTH = 50
# A client row through the overlay where nothing else is drawn: the texts sit above and below.
OVERLAY_ROW = 50
# The model sits in the middle of the view; this corner holds nothing but the clear colour.
MODEL_BOX = (100, 70, 500, 430)
EMPTY_BOX = (500, 450, 590, 575)


class OverlayAndModelKeys(unittest.TestCase):
    """Without a window manager the frame starts at 0,0 on top of the overlay, so each test
    first drags it away by its face."""

    def setUp(self):
        self.server = XServer()
        self.app = Nukitori(self.server)
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")
        self.vx, self.vy, _, _ = self.app.geometry(self.viewer)
        fx, fy, _, _ = self.app.geometry(self.frame)
        def followed():
            return self.app.geometry(self.frame)[:2] == (fx + 700, fy + 600)
        drag(self.server, (fx + 15, fy + 100), (fx + 715, fy + 700), arrived=followed)
        wait_until(followed, what="the frame to follow the drag")
        # The overlay's row is now uncovered and shows the clear colour left of the overlay.
        wait_until(lambda: near(self.server.screenshot().getpixel((self.vx + 10, self.vy + OVERLAY_ROW)),
                                CLEAR_COLOUR), what="the clear colour left of the overlay")

    def tearDown(self):
        self.app.close()
        self.server.close()

    def key(self, keysym):
        return self.server.keycode_of(keysym)

    def overlay_left(self, shot):
        """Left edge of the overlay in client pixels, read along OVERLAY_ROW, after checking that
        the row shows one overlay-wide run of non-background pixels and the clear colour around it."""
        row = [shot.getpixel((self.vx + cx, self.vy + OVERLAY_ROW)) for cx in range(594)]
        covered = [not near(p, CLEAR_COLOUR, 20) for p in row]
        self.assertIn(True, covered, f"no overlay on client row {OVERLAY_ROW}")
        left = covered.index(True)
        right = min(left + OVERLAY_WIDTH, 594)
        self.assertTrue(all(covered[left:right]),
                        f"the overlay at x={left} is not {OVERLAY_WIDTH} px of tinted picture: "
                        f"{[cx for cx in range(left, right) if not covered[cx]]} show the background")
        self.assertFalse(any(covered[right:]), f"something besides the overlay on the row right of x={right}")
        return left

    def settled_left(self):
        shot = stable_screenshot(self.server, (self.vx, self.vy + OVERLAY_ROW, self.vx + 594, self.vy + OVERLAY_ROW + 1))
        return self.overlay_left(shot)

    def hold_until_left(self, keysym, target, timeout=15.0):
        """Holds a key until the overlay's left edge reaches `target`, then a few frames more."""
        code = self.key(keysym)
        self.server.key_down(code)
        try:
            wait_until(lambda: self.overlay_left(self.server.screenshot()) == target, timeout,
                       what=f"the overlay's left edge to reach {target} with {keysym} held")
            time.sleep(0.3)  # ~18 more frames pushing against the limit
        finally:
            self.server.key_up(code)

    def test_d_and_a_move_the_overlay_in_steps_of_3_and_stop_at_4_and_560(self):
        start = self.settled_left()
        self.assertEqual(start, 20, "the overlay does not start at client x 20")

        hold(self.server, self.key("d"), 0.5)
        moved = self.settled_left()
        # The keys are polled every display period whether or not anything is drawn: at least
        # 10 steps in half a second, even on a slow machine.
        self.assertGreaterEqual(moved - start, 30, f"holding D for 0.5 s moved the overlay only {start} -> {moved}")
        self.assertEqual((moved - start) % 3, 0, f"D moved the overlay {moved - start} px, not a multiple of 3")
        self.assertLessEqual(moved, 560)

        hold(self.server, self.key("a"), 0.2)
        back = self.settled_left()
        self.assertLess(back, moved, f"holding A did not move the overlay left ({moved} -> {back})")
        self.assertEqual((moved - back) % 3, 0, f"A moved the overlay {moved - back} px, not a multiple of 3")

        self.hold_until_left("a", 4)
        self.assertEqual(self.settled_left(), 4, "holding A pushed the overlay past its left limit 4")
        self.hold_until_left("d", 560)
        self.assertEqual(self.settled_left(), 560, "holding D pushed the overlay past its right limit 560")

    def test_keypad_divide_turns_the_model_and_leaves_the_background_alone(self):
        self.app.focus(self.viewer)
        model = (self.vx + MODEL_BOX[0], self.vy + MODEL_BOX[1], self.vx + MODEL_BOX[2], self.vy + MODEL_BOX[3])
        empty = (self.vx + EMPTY_BOX[0], self.vy + EMPTY_BOX[1], self.vx + EMPTY_BOX[2], self.vy + EMPTY_BOX[3])
        before = stable_screenshot(self.server, model)
        time.sleep(0.3)
        still = self.server.screenshot()
        self.assertEqual(still.crop(model).tobytes(), before.crop(model).tobytes(),
                         "the model moves with no key held, so a change would prove nothing")

        hold(self.server, self.key("KP_Divide"), 0.5)
        after = stable_screenshot(self.server, model)
        a, b = before.crop(model), after.crop(model)
        changed = sum(1 for p, q in zip(a.getdata(), b.getdata()) if not near(p, q, 8))
        self.assertGreater(changed, a.width * a.height // 50,
                           f"keypad / held for 0.5 s changed only {changed} pixels of the model's place")

        self.assertEqual(after.crop(empty).tobytes(), before.crop(empty).tobytes(),
                         "turning the model changed the empty corner of the view")
        corner = after.crop(empty)
        self.assertTrue(all(near(p, CLEAR_COLOUR) for p in corner.getdata()),
                        "the empty corner of the view is not the clear colour")

    def test_escape_after_moving_the_overlay_and_turning_the_model_quits_with_0(self):
        self.app.focus(self.viewer)
        hold(self.server, self.key("d"), 0.2)
        hold(self.server, self.key("KP_Divide"), 0.2)
        self.assertIsNone(self.app.process.poll(), f"the program ended early: {self.app.stderr()}")
        self.server.tap(self.key("Escape"))
        self.assertEqual(self.app.wait_exit(), 0, f"Escape did not end the program with 0: {self.app.stderr()}")

    def test_f1_opens_and_closes_the_key_window_and_escape_still_quits(self):
        def key_window():
            return self.server.xdotool("search", "--onlyvisible", "--name", r"^キー一覧 \(Keys\)$")
        self.app.focus(self.viewer)
        self.server.tap(self.key("F1"))
        keys = wait_until(key_window, what="the key window after F1")
        self.server.tap(self.key("F1"))
        wait_until(lambda: not key_window(), what="the key window to close on F1 again")
        self.app.focus(self.viewer)
        self.server.tap(self.key("F1"))
        keys = wait_until(key_window, what="the key window after F1 once more").split()[0]
        x, y, w, h = self.app.geometry(keys)
        click_at(self.server, x + w - 40, y + h - 20)  # its close button, bottom right
        wait_until(lambda: not key_window(), what="the key window to close on its button")
        time.sleep(0.3)
        self.assertIsNone(self.app.process.poll(), f"closing the key window ended the program: {self.app.stderr()}")
        self.app.focus(self.viewer)
        self.server.tap(self.key("Escape"))
        self.assertEqual(self.app.wait_exit(), 0, f"Escape did not end the program with 0: {self.app.stderr()}")

    def test_d_typed_into_the_frames_edit_box_also_moves_the_overlay(self):
        fx, fy, _, _ = self.app.geometry(self.frame)
        start = self.settled_left()
        click_at(self.server, fx + 120, fy + 17)
        wait_until(lambda: self.app.keys_reach(self.frame),
                   what="the frame to take the focus from the click into its edit box")
        hold(self.server, self.key("d"), 0.3)
        moved = self.settled_left()
        self.assertGreater(moved, start, "a d typed into the edit box did not move the overlay")
        self.assertEqual((moved - start) % 3, 0, f"the overlay moved {moved - start} px, not a multiple of 3")

    def test_keypad_keys_act_only_with_our_focus_while_letters_act_anyway(self):
        other = OtherProgram(self.app, 700, 100)
        try:
            window = other.window
            self.server.xdotool("windowfocus", "--sync", window)
            self.assertEqual(self.server.xdotool("getwindowfocus"), window, "the other program did not get the focus")
            model = (self.vx + MODEL_BOX[0], self.vy + MODEL_BOX[1], self.vx + MODEL_BOX[2], self.vy + MODEL_BOX[3])
            before = stable_screenshot(self.server, model)
            start = self.overlay_left(before)
            hold(self.server, self.key("KP_Divide"), 0.4)
            hold(self.server, self.key("d"), 0.3)
            after = stable_screenshot(self.server, model)
            self.assertEqual(after.crop(model).tobytes(), before.crop(model).tobytes(),
                             "keypad / turned the model while another program had the focus")
            self.assertGreater(self.overlay_left(after), start,
                               "D did not move the overlay while another program had the focus")
        finally:
            other.close()


if __name__ == "__main__":
    unittest.main()
