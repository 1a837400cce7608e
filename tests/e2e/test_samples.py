"""The sample record on the real binary under Xvfb: every numbered file gets a line saying where
the framed picture lies in it, and F9 takes the last saves back."""
import json
import os
import subprocess
import time
import unittest

from PIL import Image

import test_capture
from harness import BIN, RECORD, SAVE_FOLDER, UNDER_WINE, click_at, file_stamp, hold, load_bmp, wait_for_file, wait_until, wine_env
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


def grab_magenta_picture(case):
    """Shows the magenta picture and drags the frame over it, so that the model wears it."""
    original = test_capture.unique_picture
    test_capture.unique_picture = magenta_picture
    try:
        case.show_picture(650, 420)
    finally:
        test_capture.unique_picture = original
    grab_file = case.app.path(GRAB_FILE)
    old = file_stamp(grab_file)
    case.move_frame(700, 470)
    wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)


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
        grab_magenta_picture(self)
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
        self.exports_read_back(["0.bmp", "1.bmp", "2.bmp"])

    def samples_program(self, *arguments):
        """nukitori-samples beside the program under test, in its working folder."""
        name = "nukitori-samples.exe" if UNDER_WINE else "nukitori-samples"
        command = [os.path.join(os.path.dirname(os.path.abspath(os.environ.get("NUKITORI_BIN", BIN))), name),
                   *arguments]
        env = dict(os.environ)
        if UNDER_WINE:
            command, env = ["wine", *command], wine_env(env)
        done = subprocess.run(command, cwd=self.app.workdir, env=env, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, f"{arguments}: {done.stderr.decode('utf-8', 'replace')}")
        return os.path.join(self.app.workdir, arguments[arguments.index("--out") + 1])

    def exports_read_back(self, live):
        """Each export of the session, read back as its trainer reads it; every image opens whole."""
        def opened(path):
            with Image.open(path) as image:
                image.load()
                return image.size

        out = self.samples_program("export", "--format", "opencv", SAVE_FOLDER, "--out", "opencv")
        with open(os.path.join(out, "info.dat"), encoding="utf-8") as f:
            entries = [line.split() for line in f if line.strip()]
        self.assertEqual(sorted(os.path.basename(e[0]) for e in entries), live)
        for path, count, x, y, w, h in entries:
            width, height = opened(os.path.join(out, path))
            x, y, w, h = map(int, (x, y, w, h))
            self.assertEqual(count, "1")
            self.assertTrue(0 <= x and 0 <= y and w > 0 and h > 0 and x + w <= width and y + h <= height,
                            f"{path}: box {x, y, w, h} not inside its {width} x {height} image")

        out = self.samples_program("export", "--format", "yolo", SAVE_FOLDER, "--out", "yolo")
        self.assertTrue(os.path.exists(os.path.join(out, "data.yaml")))
        images = sorted(os.listdir(os.path.join(out, "images")))
        self.assertEqual(images, live)
        for image in images:
            opened(os.path.join(out, "images", image))
            with open(os.path.join(out, "labels", os.path.splitext(image)[0] + ".txt")) as f:
                rows = [line.split() for line in f if line.strip()]
            self.assertEqual(len(rows), 1, f"{image}: {rows}")
            klass, cx, cy, w, h = rows[0][0], *map(float, rows[0][1:])
            self.assertEqual(klass, "0")
            self.assertTrue(0 < w <= 1 and 0 < h <= 1 and 0 <= cx - w / 2 - 1e-6 and cx + w / 2 <= 1 + 1e-6 and
                            0 <= cy - h / 2 + 1e-6 and cy + h / 2 <= 1 + 1e-6, f"{image}: {rows[0]}")

        out = self.samples_program("export", "--format", "coco", SAVE_FOLDER, "--out", "coco")
        with open(os.path.join(out, "annotations.json"), encoding="utf-8") as f:
            coco = json.load(f)
        images = {image["id"]: image for image in coco["images"]}
        self.assertEqual(len(images), len(coco["images"]), "image ids repeat")
        self.assertEqual(sorted(os.path.basename(i["file_name"]) for i in images.values()), live)
        categories = {c["id"] for c in coco["categories"]}
        ids = [a["id"] for a in coco["annotations"]]
        self.assertEqual(len(set(ids)), len(ids), "annotation ids repeat")
        self.assertEqual(len(ids), len(live))
        for annotation in coco["annotations"]:
            image = images[annotation["image_id"]]
            self.assertIn(annotation["category_id"], categories)
            self.assertEqual(opened(os.path.join(out, "images", image["file_name"])), (image["width"], image["height"]))
            x, y, w, h = annotation["bbox"]
            self.assertTrue(0 <= x and 0 <= y and x + w <= image["width"] and y + h <= image["height"], annotation)
            polygon = annotation["segmentation"][0]
            self.assertGreaterEqual(len(polygon), 6)
            self.assertTrue(all(x - 1e-6 <= px <= x + w + 1e-6 for px in polygon[0::2]), annotation)
            self.assertTrue(all(y - 1e-6 <= py <= y + h + 1e-6 for py in polygon[1::2]), annotation)


if __name__ == "__main__":
    unittest.main()
