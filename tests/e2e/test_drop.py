"""Files dropped on the viewer through the X drag-and-drop protocol, on the real binary under Xvfb."""
import json
import os
import shutil
import struct
import tempfile
import unittest
import urllib.parse

from harness import ASSETS, UNDER_WINE, Nukitori, XServer, drag, file_stamp, near, program_path, wait_for_file, wait_until, xdnd_drop
from test_capture import FACE, GRAB_FILE, GRAB_FILE_SIZE
from test_rendering import (LIT_ORANGE, PANEL_WHITE_MARKER, PEDESTAL_FRONT_BOX,
                            PEDESTAL_TOP_BOX, pixels)

ORANGE_MATERIAL = b"1.000000;0.550000;0.150000;1.000000;;"
BLUE_MATERIAL = b"0.200000;0.500000;0.800000;1.000000;;"
# The same colours as the other formats write them (of equal length, so a GLB's chunks keep
# their sizes).
ORANGE_IN = {".glb": b"[1.0,0.55,0.15,1.0]", ".mtl": b"Kd 1.000000 0.550000 0.150000"}
BLUE_IN = {".glb": b"[0.2,0.50,0.80,1.0]", ".mtl": b"Kd 0.200000 0.500000 0.800000"}
GRAB_TEXTURE = "フィルター.bmp"
# Blue (0.2, 0.5, 0.8) under the same light as the orange: 1.13 of full scale.
LIT_BLUE = (58, 144, 231)
PANEL_BOX = (170, 120, 414, 295)   # inside the textured panel
PROBLEM_BOX = (50, 78, 594, 96)    # the line that tells what went wrong with a load
PROBLEM_COLOUR = (255, 215, 90)


def box_around(point, reach=2):
    return (point[0] - reach, point[1] - reach, point[0] + reach + 1, point[1] + reach + 1)


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
        client = self.client()
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

    def test_glb_and_obj_models_from_another_folder_load_and_wear_the_grab(self):
        wait_until(lambda: all(near(p, LIT_ORANGE) for p in self.pedestal()), what="the sample's orange pedestal")
        # Beside the dropped models, a texture of the grab texture's name with the sample's markers:
        # the grab texture is the one the drop's grab writes into the working directory, not this.
        shutil.copy(os.path.join(ASSETS, GRAB_TEXTURE), self.folder)
        # The hole away from the viewer, so that every grab is the same picture.
        frame = self.app.window("com")
        fx, fy, _, _ = self.app.geometry(frame)
        drag(self.server, (fx + FACE[0], fy + FACE[1]), (1000 + FACE[0], 800 + FACE[1]),
             arrived=lambda: self.app.geometry(frame)[:2] == (1000, 800))
        self.write_gltf_from_glb(os.path.join(ASSETS, "model.glb"), os.path.join(self.folder, "立つ 台.gltf"))
        for name, files in (("立つ 台.glb", ["model.glb"]), ("立つ 台.gltf", []),
                            ("立つ 台.obj", ["model.obj", "model.mtl"])):
            with self.subTest(format=os.path.splitext(name)[1]):
                for sample in files:
                    with open(os.path.join(ASSETS, sample), "rb") as f:
                        content = f.read()
                    kind = os.path.splitext(sample)[1]
                    if kind in ORANGE_IN:
                        self.assertEqual(content.count(ORANGE_IN[kind]), 1, f"no orange material in {sample}")
                        content = content.replace(ORANGE_IN[kind], BLUE_IN[kind])
                    target = name if kind != ".mtl" else sample
                    with open(os.path.join(self.folder, target), "wb") as f:
                        f.write(content)
                xdnd_drop(self.server, self.viewer, os.path.join(self.folder, name))
                wait_until(lambda: all(near(p, LIT_BLUE) for p in self.pedestal()),
                           what=f"the dropped {name}'s blue pedestal; stderr: {self.app.stderr()!r}")
                dropped = self.panel()
                self.assertFalse(all(min(p) >= 240 for p in pixels(self.client(), box_around(PANEL_WHITE_MARKER))),
                                 f"{name}: the panel wears the texture beside the model, not the grab")
                # Back to the sample, which wears the same grab: the panels are alike (the formats'
                # normals differ in the last bit, and so may the light).
                xdnd_drop(self.server, self.viewer, os.path.join(ASSETS, "model.x"))
                wait_until(lambda: all(near(p, LIT_ORANGE) for p in self.pedestal()), what="the orange sample again")
                sample = self.panel()
                differ = sum(1 for p, q in zip(dropped, sample) if not near(p, q, 4))
                self.assertEqual(differ, 0, f"{name}: {differ} of {len(sample)} panel pixels differ from the sample's")
        self.assertNotIn("not loaded", self.app.stderr())

    def client(self):
        return self.server.screenshot().crop((self.vx, self.vy, self.vx + 594, self.vy + 578))

    def panel(self):
        return pixels(self.client(), PANEL_BOX)

    @staticmethod
    def write_gltf_from_glb(glb, gltf):
        """The GLB's model in the JSON form, blue, its buffer in a file beside it named by a
        percent-encoded URI."""
        with open(glb, "rb") as f:
            data = f.read()
        json_length = struct.unpack_from("<I", data, 12)[0]
        document = json.loads(data[20:20 + json_length])
        binary = data[20 + json_length + 8:]
        buffer_name = os.path.splitext(os.path.basename(gltf))[0] + ".bin"
        document["buffers"][0]["uri"] = urllib.parse.quote(buffer_name)
        text = json.dumps(document).encode("utf-8")
        assert text.count(b"[1.0, 0.55, 0.15, 1.0]") == 1, "no orange material in the GLB"
        with open(gltf, "wb") as f:
            f.write(text.replace(b"[1.0, 0.55, 0.15, 1.0]", b"[0.2, 0.5, 0.8, 1.0]"))
        with open(os.path.join(os.path.dirname(gltf), buffer_name), "wb") as f:
            f.write(binary)

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
        paths = [self.folder, text]
        if not UNDER_WINE:
            # Opened to be read, a FIFO nobody writes would hold the program for good.
            fifo = os.path.join(self.folder, "管.x")
            os.mkfifo(fifo)
            paths.append(fifo)
        for path in paths:
            xdnd_drop(self.server, self.viewer, path)
            line = f'model "{program_path(path)}" not loaded'
            wait_until(lambda: line in self.app.stderr(), what=f"{line!r} on stderr; got {self.app.stderr()!r}")
            if path != text:
                self.assertIn("a folder" if path == self.folder else "a FIFO", self.app.stderr())
            self.assertIsNone(self.app.process.poll(), f"a drop of {path} ended the program")
            # The model shown stays, and the viewer says why the drop was refused.
            wait_until(lambda: all(near(p, LIT_ORANGE) for p in self.pedestal()), what="the sample's pedestal kept")
            wait_until(lambda: sum(near(p, PROBLEM_COLOUR, 24) for p in pixels(self.client(), PROBLEM_BOX)) > 20,
                       what="the problem line in the viewer")
        self.app.focus(self.viewer)
        self.server.tap(self.server.keycode_of("Escape"))
        self.assertEqual(self.app.wait_exit(), 0, f"Esc after the drops did not end the program: {self.app.stderr()}")


if __name__ == "__main__":
    unittest.main()
