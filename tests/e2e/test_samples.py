"""The sample record on the real binary under Xvfb: every numbered file gets a line saying where
the framed picture lies in it, and F9 takes the last saves back."""
import json
import os
import time
import unittest

from PIL import Image

import test_capture
from harness import RECORD, click_at, file_stamp, hold, load_bmp, wait_for_file, wait_until
from test_capture import GRAB_FILE, GRAB_FILE_SIZE, SHOOT_BUTTON, CaptureTestCase

MAGENTA = (255, 0, 255)


def magenta_picture(width=400, height=300):
    """One colour no other part of the model or the scene has, so its pixels can be told apart
    in a sample whatever the light makes of them."""
    return Image.new("RGB", (width, height), MAGENTA)


def is_picture(pixel):
    """Magenta under the light and the faint overlay; nothing else in the scene is."""
    r, g, b = pixel[:3]
    return r > 200 and b > 200 and abs(r - b) <= 25 and g < 170


class SampleRecord(CaptureTestCase):
    def record(self):
        path = self.saved(RECORD)
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def key(self, name):
        return self.server.keycode_of(name)

    def test_saves_are_recorded_with_the_box_of_the_picture_and_f9_takes_the_last_ones_back(self):
        original = test_capture.unique_picture
        test_capture.unique_picture = magenta_picture
        try:
            self.show_picture(650, 420)
        finally:
            test_capture.unique_picture = original
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        self.move_frame(700, 470)
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        self.clear_the_overlay()

        # An overlay over most of the view, nearly transparent, so the samples show the model.
        self.app.focus(self.viewer)
        for name, seconds in (("e", 2.2), ("c", 2.2), ("7", 3.8)):
            hold(self.server, self.key(name), seconds)
        time.sleep(0.3)

        for turn in range(3):
            if turn:
                hold(self.server, self.key("KP_Divide"), 0.25)
                time.sleep(0.3)
            self.press_enter()
            wait_for_file(self.saved(f"{turn}.bmp"))
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_for_file(self.saved("3.bmp"))
        wait_until(lambda: len(self.record()) == 4, what=f"four record lines; got {self.record()}")

        lines = self.record()
        self.assertEqual([line["file"] for line in lines], ["0.bmp", "1.bmp", "2.bmp", "3.bmp"])
        self.assertEqual([line["kind"] for line in lines], ["capture"] * 3 + ["grab"])
        for line in lines[:3]:
            sample = load_bmp(self.saved(line["file"]))
            self.assertEqual([line["width"], line["height"]], list(sample.size))
            box = line["object_box"]
            self.assertIsNotNone(box, f"{line['file']}: the picture is in the sample, yet no box: {line}")
            x, y, w, h = box
            self.assertTrue(0 <= x and 0 <= y and x + w <= sample.width and y + h <= sample.height, box)
            inside = outside = 0
            for py in range(sample.height):
                for px in range(sample.width):
                    if is_picture(sample.getpixel((px, py))):
                        if x - 1 <= px <= x + w and y - 1 <= py <= y + h:
                            inside += 1
                        else:
                            outside += 1
            self.assertGreater(inside, 200, f"{line['file']}: hardly any of the picture inside {box}")
            self.assertEqual(outside, 0, f"{line['file']}: {outside} pixels of the picture outside {box}")
        self.assertEqual(lines[3]["object_box"], [0, 0, lines[3]["width"], lines[3]["height"]])

        # F9 twice takes the grab and the last capture back; their numbers are used again.
        self.app.focus(self.viewer)
        for _ in range(2):
            self.server.tap(self.key("F9"))
            time.sleep(0.3)
        wait_until(lambda: not os.path.exists(self.saved("3.bmp")) and not os.path.exists(self.saved("2.bmp")),
                   what="F9 twice to take 3.bmp and 2.bmp back")
        self.assertTrue(os.path.exists(self.saved("1.bmp")), "F9 took more than two saves back")
        removed = [line["removed"] for line in self.record() if "removed" in line]
        self.assertEqual(removed, ["3.bmp", "2.bmp"])
        self.press_enter()
        wait_for_file(self.saved("2.bmp"))
        self.assertEqual(self.record()[-1]["file"], "2.bmp", "the number taken back was not used again")


if __name__ == "__main__":
    unittest.main()
