"""Files dropped on the viewer through the X drag-and-drop protocol, on the real binary under Xvfb."""
import os
import shutil
import tempfile
import unittest

from harness import Nukitori, XServer, file_stamp, near, program_path, wait_for_file, wait_until, xdnd_drop
from test_capture import GRAB_FILE, GRAB_FILE_SIZE
from test_rendering import LIT_ORANGE, PEDESTAL_FRONT_BOX, PEDESTAL_TOP_BOX, pixels

ORANGE_MATERIAL = b"1.000000;0.550000;0.150000;1.000000;;"
BLUE_MATERIAL = b"0.200000;0.500000;0.800000;1.000000;;"
# Blue (0.2, 0.5, 0.8) under the same light as the orange: 1.13 of full scale.
LIT_BLUE = (58, 144, 231)


class Drops(unittest.TestCase):
    def setUp(self):
        self.server = XServer()
        self.addCleanup(self.server.close)
        self.app = Nukitori(self.server)
        self.addCleanup(self.app.close)
        self.viewer = self.app.window("ビューア")
        self.vx, self.vy, _, _ = self.app.geometry(self.viewer)
        # Japanese and blanks in the path: the URL carries them percent-encoded.
        self.folder = os.path.join(tempfile.mkdtemp(prefix="nukitori-drop-"), "落とす ファイル")
        self.addCleanup(shutil.rmtree, os.path.dirname(self.folder), True)
        os.mkdir(self.folder)

    def pedestal(self):
        client = self.server.screenshot().crop((self.vx, self.vy, self.vx + 594, self.vy + 578))
        return pixels(client, PEDESTAL_TOP_BOX) + pixels(client, PEDESTAL_FRONT_BOX)

    def test_a_dropped_model_replaces_the_shown_one_and_the_drop_grabs_the_texture(self):
        with open(self.app.path("model.x"), "rb") as f:
            model = f.read()
        self.assertEqual(model.count(ORANGE_MATERIAL), 1, "the sample model's orange material was not found")
        path = os.path.join(self.folder, "青い 台.x")
        with open(path, "wb") as f:
            f.write(model.replace(ORANGE_MATERIAL, BLUE_MATERIAL))
        wait_until(lambda: all(near(p, LIT_ORANGE) for p in self.pedestal()), what="the sample's orange pedestal")
        grab = self.app.path(GRAB_FILE)
        old = file_stamp(grab)

        result = xdnd_drop(self.server, self.viewer, path)
        self.assertTrue(result.accepted and result.finished, f"the viewer did not take the drop: {result}")
        self.assertIn("text/uri-list", result.conversions)
        wait_for_file(grab, GRAB_FILE_SIZE, old_stamp=old)
        wait_until(lambda: all(near(p, LIT_BLUE) for p in self.pedestal()),
                   what=f"the dropped model's blue pedestal; stderr: {self.app.stderr()!r}")
        self.assertNotIn("not loaded", self.app.stderr())

    def test_a_model_file_rewritten_on_disk_shows_after_the_next_grab(self):
        wait_until(lambda: all(near(p, LIT_ORANGE) for p in self.pedestal()), what="the sample's orange pedestal")
        with open(self.app.path("model.x"), "rb") as f:
            model = f.read()
        # Rewritten in place: same name, and the same size, since only digits change.
        with open(self.app.path("model.x"), "r+b") as f:
            f.write(model.replace(ORANGE_MATERIAL, BLUE_MATERIAL))
        self.app.focus(self.viewer)
        self.server.tap(self.server.keycode_of("KP_Begin"))  # keypad 5: grab and reload
        wait_until(lambda: all(near(p, LIT_BLUE) for p in self.pedestal()),
                   what=f"the rewritten model's blue pedestal; stderr: {self.app.stderr()!r}")

    def test_a_folder_or_a_file_that_is_no_model_is_reported_and_the_program_goes_on(self):
        text = os.path.join(self.folder, "説明 書.txt")
        with open(text, "w") as f:
            f.write("not a model\n")
        for path in (self.folder, text):
            xdnd_drop(self.server, self.viewer, path)
            line = f'model "{program_path(path)}" not loaded'
            wait_until(lambda: line in self.app.stderr(), what=f"{line!r} on stderr; got {self.app.stderr()!r}")
            self.assertIsNone(self.app.process.poll(), f"a drop of {path} ended the program")
        self.app.focus(self.viewer)
        self.server.tap(self.server.keycode_of("Escape"))
        self.assertEqual(self.app.wait_exit(), 0, f"Esc after the drops did not end the program: {self.app.stderr()}")


if __name__ == "__main__":
    unittest.main()
