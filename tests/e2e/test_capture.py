"""Frame grab, shoot button and overlay capture on the real binary under Xvfb: the files they
write must hold exactly the desktop pixels they were aimed at."""
import errno
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

from PIL import Image

from harness import (CLEAR_COLOUR, SAVE_FOLDER, UNDER_WINE, Nukitori, XServer, click_at, crop, drag, file_stamp, hold, load_bmp, near,
                     screen_geometry, stable_screenshot, wait_for_file, wait_until)

HOLE = (35, 37, 138, 111)          # left, top, width, height within the frame
GRAB_FILE = "フィルター.bmp"
GRAB_FILE_SIZE = 54 + 416 * 111    # rows of 138 pixels padded to 416 bytes
OVERLAY = (20, 20, 50, 50)         # the overlay's place and size in the viewer's client area
OVERLAY_FILE_SIZE = 54 + 152 * 50
FACE = (15, 100)                   # a point of the frame's face: no control, not the hole
FACE_COLOUR = (70, 90, 120)
EXIT_BUTTON = (26, 17)
SHOOT_BUTTON = (60, 17)
EDIT_BOX = (120, 17)
CAPTURE_BUTTON = (298, 13)         # in the viewer's client area
MESSAGE_BOX = (50, 58, 260, 80)    # where the viewer reports the last save


def unique_picture(width=400, height=300):
    """Every pixel a colour of its own, so a copy taken from the wrong place cannot match."""
    picture = Image.new("RGB", (width, height))
    picture.putdata([(x % 256, y % 256, 64 + (x // 256) * 2 + y // 256)
                     for y in range(height) for x in range(width)])
    return picture


def same_pixels(a, b):
    return a.size == b.size and a.tobytes() == b.tobytes()


def difference(a, b):
    """How two equally sized pictures differ, for failure messages."""
    if a.size != b.size:
        return f"sizes {a.size} and {b.size}"
    bad = [(i % a.width, i // a.width, p, q) for i, (p, q) in enumerate(zip(a.getdata(), b.getdata())) if p != q]
    return f"{len(bad)} of {a.width * a.height} pixels differ, first {bad[:3]}"


class CaptureTestCase(unittest.TestCase):
    window_manager = False

    def setUp(self):
        self.server = XServer(window_manager=self.window_manager)
        self.addCleanup(self.server.close)
        self.app = self.start_app()
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")

    def start_app(self, **options):
        app = Nukitori(self.server, **options)
        self.addCleanup(app.close)
        return app

    def geometry(self, window):
        return screen_geometry(self.server, window)

    def frame_on_top_of(self, window):
        """Without a window manager a new window opens above the frame until the program raises
        the frame again; the root's children are listed topmost first."""
        if self.window_manager:
            return True
        order = [line.split()[0] for line in self.server.run(["xwininfo", "-root", "-children"]).splitlines()
                 if line.strip().startswith("0x")]
        ids = [int(w, 16) for w in order]
        return int(self.frame) in ids and ids.index(int(self.frame)) < ids.index(int(window))

    def show_picture(self, x, y):
        """Shows the unique picture with ImageMagick near x, y; returns the picture and the screen
        position of its top-left pixel, found on the screen (ImageMagick draws a border around it)."""
        picture = unique_picture()
        folder = tempfile.mkdtemp(prefix="nukitori-picture-")
        self.addCleanup(shutil.rmtree, folder, True)
        path = os.path.join(folder, "picture.png")
        picture.save(path)
        shower = subprocess.Popen(["display", "-geometry", f"+{x}+{y}", path], env=self.server.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(shower.wait, 5)
        self.addCleanup(shower.terminate)
        window = self.app.window("ImageMagick: picture.png")
        wx, wy, _, _ = self.geometry(window)
        first = picture.getpixel((0, 0))

        def located():
            shot = self.server.screenshot()
            for sy in range(max(wy - 5, 0), wy + 40):
                for sx in range(max(wx - 5, 0), wx + 40):
                    if shot.getpixel((sx, sy)) == first and \
                            same_pixels(crop(shot, sx, sy, *picture.size), picture):
                        return sx, sy
            return None
        origin = wait_until(located, what="the whole picture on the screen")
        wait_until(lambda: self.frame_on_top_of(window), what="the frame above the picture's window")
        return picture, origin

    def move_frame(self, x, y):
        """Drags the frame by its face until its top-left corner is at x, y."""
        fx, fy, _, _ = self.geometry(self.frame)
        def arrived():
            return self.geometry(self.frame)[:2] == (x, y)
        drag(self.server, (fx + FACE[0], fy + FACE[1]), (x + FACE[0], y + FACE[1]), arrived=arrived)
        wait_until(arrived, what=f"the frame to reach {x},{y}")

    def frame_point(self, point):
        fx, fy, _, _ = self.geometry(self.frame)
        return fx + point[0], fy + point[1]

    def hole_box(self):
        fx, fy, _, _ = self.geometry(self.frame)
        return fx + HOLE[0], fy + HOLE[1], HOLE[2], HOLE[3]

    def picture_under_hole(self, picture, origin):
        hx, hy, w, h = self.hole_box()
        return crop(picture, hx - origin[0], hy - origin[1], w, h)

    def type_prefix(self, text):
        """Clicks into the frame's edit box, clears it and types `text`."""
        click_at(self.server, *self.frame_point(EDIT_BOX))
        wait_until(lambda: self.app.keys_reach(self.frame),
                   what="the focus in the frame after the click into its edit box")
        self.server.xdotool("key", "--delay", "30", "End", *["BackSpace"] * 8)
        if text:
            self.server.xdotool("type", "--delay", "30", text)

    def viewer_origin(self):
        x, y, _, _ = self.geometry(self.viewer)
        return x, y

    def overlay_box_on_screen(self):
        x, y = self.viewer_origin()
        return x + OVERLAY[0], y + OVERLAY[1], x + OVERLAY[0] + OVERLAY[2], y + OVERLAY[1] + OVERLAY[3]

    def clear_the_overlay(self):
        """Moves the frame off the viewer so that the overlay shows the view, not the frame."""
        vx, vy, vw, vh = self.geometry(self.viewer)
        self.move_frame(vx + vw + 60, vy + vh - 100)
        # A busy program (first start on a fresh machine) repaints late, and a still screen is
        # not yet a repainted one: wait until the frame's old place shows the view again.
        wait_until(lambda: near(self.server.screenshot().getpixel((vx + 5, vy + 100)), CLEAR_COLOUR),
                   what="the viewer to repaint where the frame was")

    def assert_snapshot(self, path, width, height):
        """Checks the 24-bit bottom-up BMP layout byte by byte and returns the picture."""
        with open(path, "rb") as f:
            data = f.read()
        magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
        info, w, h, planes, bits, compression, image_size = struct.unpack_from("<IiiHHII", data, 14)
        row = (width * 3 + 3) // 4 * 4
        self.assertEqual((magic, offset, info, planes, bits, compression), (b"BM", 54, 40, 1, 24, 0),
                         f"{path} is not a plain 24-bit BMP")
        self.assertEqual((w, h), (width, height), f"{path} has the wrong size (a negative height is top-down)")
        self.assertEqual((file_size, image_size, len(data)), (54 + row * height, row * height, 54 + row * height),
                         f"{path}: header sizes or file length do not fit rows of {row} bytes")
        padding = {data[54 + r * row + width * 3:54 + (r + 1) * row] for r in range(height)}
        self.assertLessEqual(padding, {bytes(row - width * 3)}, f"{path}: row padding is not zero bytes")
        return load_bmp(path)

    def press_enter(self):
        self.app.focus(self.viewer)
        self.server.tap(self.server.keycode_of("Return"))

    def saved(self, name):
        return self.app.path(SAVE_FOLDER, name)

    def assert_hole_shows(self, expected):
        shot = self.server.screenshot()
        on_screen = crop(shot, *self.hole_box())
        self.assertTrue(same_pixels(on_screen, expected),
                        f"the hole does not show the desktop: {difference(on_screen, expected)}")
        self.assertTrue(near(shot.getpixel(self.frame_point(FACE)), FACE_COLOUR, 0),
                        "the frame's face is not drawn around the hole")
        if not UNDER_WINE:
            # Alpha keeps the hole open where a compositor ignores the shape.
            self.assertIn("Depth: 32", self.server.run(["xwininfo", "-id", str(self.frame)]),
                          "the frame has no visual with alpha")


class WithoutWindowManager(CaptureTestCase):
    def test_dragging_the_frame_grabs_the_desktop_in_its_hole_into_the_texture_file(self):
        picture, origin = self.show_picture(650, 420)
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        vx, vy = self.viewer_origin()
        model_box = (vx + 150, vy + 90, vx + 440, vy + 300)
        model_before = stable_screenshot(self.server, model_box).crop(model_box)

        self.move_frame(700, 470)
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        grabbed = self.assert_snapshot(grab_file, HOLE[2], HOLE[3])
        expected = self.picture_under_hole(picture, origin)
        self.assertTrue(same_pixels(grabbed, expected),
                        f"the grab is not the picture under the hole: {difference(grabbed, expected)}")
        self.assert_hole_shows(expected)
        self.assertEqual(self.app.saved_files(), [], "a plain drag wrote a numbered file")

        # The model is reloaded with the grabbed picture as its texture.
        def model_changed():
            now = self.server.screenshot().crop(model_box)
            changed = sum(1 for p, q in zip(now.getdata(), model_before.getdata()) if not near(p, q, 16))
            return changed > 1000
        wait_until(model_changed, what="the model to show the grabbed picture after the reload")

    @unittest.skipIf(UNDER_WINE, "Windows composes its windows; the Direct3D 9 viewer keeps no frame to show again")
    def test_a_frame_dragged_across_the_viewer_leaves_no_copies_of_itself_for_the_grab(self):
        # Without a compositor nothing but the viewer itself repaints what the moving frame uncovers.
        vx, vy = self.viewer_origin()
        # The viewer's first frame is on the screen (a sanitizer build takes its time).
        wait_until(lambda: near(self.server.screenshot().getpixel((vx + 585, vy + 570)), CLEAR_COLOUR),
                   what="the viewer's first frame")
        target = (vx + 200, vy + 240)
        fx, fy, fw, fh = self.geometry(self.frame)
        hole = (target[0] + HOLE[0], target[1] + HOLE[1], HOLE[2], HOLE[3])
        self.assertFalse(hole[0] < fx + fw and fx < hole[0] + hole[2] and hole[1] < fy + fh and fy < hole[1] + hole[3],
                         "the frame starts over the place its hole is dragged to")
        before = crop(stable_screenshot(self.server), *hole)
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        drag(self.server, (fx + FACE[0], fy + FACE[1]), (target[0] + FACE[0], target[1] + FACE[1]), steps=40,
             settle=0.05, arrived=lambda: self.geometry(self.frame)[:2] == target)
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        grabbed = self.assert_snapshot(grab_file, HOLE[2], HOLE[3])
        self.assertTrue(same_pixels(grabbed, before),
                        f"the grab is not the viewer's picture from before the drag: {difference(grabbed, before)}")

    def test_the_part_of_the_hole_beyond_the_screen_is_saved_black(self):
        self.show_picture(850, 420)
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        self.move_frame(1200, 470)
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        grabbed = self.assert_snapshot(grab_file, HOLE[2], HOLE[3])
        hx, hy, w, h = self.hole_box()
        shot = self.server.screenshot()
        on_screen = shot.width - hx
        self.assertTrue(0 < on_screen < w, f"the hole at x={hx} does not hang off the screen")
        expected = crop(shot, hx, hy, on_screen, h)
        self.assertTrue(same_pixels(crop(grabbed, 0, 0, on_screen, h), expected),
                        f"the hole's part on the screen: {difference(crop(grabbed, 0, 0, on_screen, h), expected)}")
        beyond = list(crop(grabbed, on_screen, 0, w - on_screen, h).getdata())
        self.assertEqual(set(beyond), {(0, 0, 0)}, "the hole's part beyond the screen is not black")

    def test_a_press_in_the_hole_passes_through_while_a_click_on_the_face_grabs(self):
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        place = self.geometry(self.frame)[:2]
        hx, hy, w, h = self.hole_box()
        drag(self.server, (hx + w // 2, hy + h // 2), (hx + w // 2 + 200, hy + h // 2 + 150))
        time.sleep(0.5)
        self.assertEqual(self.geometry(self.frame)[:2], place, "a drag started in the hole moved the frame")
        self.assertEqual(file_stamp(grab_file), old, "a press in the hole ran a grab")

        click_at(self.server, *self.frame_point(FACE))
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        self.assertEqual(self.geometry(self.frame)[:2], place, "a click without moving moved the frame")

    def test_shoot_button_writes_numbered_files_that_are_never_replaced(self):
        picture, origin = self.show_picture(650, 420)
        self.move_frame(700, 470)
        first_place = self.picture_under_hole(picture, origin)
        self.type_prefix("cut")
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_for_file(self.saved("cut0.bmp"), GRAB_FILE_SIZE)
        cut0 = self.assert_snapshot(self.saved("cut0.bmp"), HOLE[2], HOLE[3])
        self.assertTrue(same_pixels(cut0, first_place), f"cut0.bmp is not the hole: {difference(cut0, first_place)}")
        with open(self.saved("cut0.bmp"), "rb") as f:
            cut0_bytes = f.read()
        # The clicked button took the keyboard: an overlay key pressed now is not typed into the prefix.
        self.server.xdotool("key", "--delay", "30", "u", "w")
        time.sleep(0.2)
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_for_file(self.saved("cut1.bmp"), GRAB_FILE_SIZE)
        self.assertEqual(self.app.saved_files(), ["cut0.bmp", "cut1.bmp"])

        # A new prefix starts the numbering again.
        self.type_prefix("sub")
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_for_file(self.saved("sub0.bmp"), GRAB_FILE_SIZE)

        # Back to the old prefix somewhere else: the number restarts at 0, yet the files
        # already there are kept and the next free number is taken.
        self.move_frame(740, 500)
        second_place = self.picture_under_hole(picture, origin)
        self.assertFalse(same_pixels(first_place, second_place), "the second place must look different")
        self.type_prefix("cut")
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        wait_for_file(self.saved("cut2.bmp"), GRAB_FILE_SIZE)
        cut2 = self.assert_snapshot(self.saved("cut2.bmp"), HOLE[2], HOLE[3])
        self.assertTrue(same_pixels(cut2, second_place), f"cut2.bmp is not the hole: {difference(cut2, second_place)}")
        with open(self.saved("cut0.bmp"), "rb") as f:
            self.assertEqual(f.read(), cut0_bytes, "shooting under the same prefix again replaced cut0.bmp")
        time.sleep(0.3)
        self.assertEqual(self.app.saved_files(), ["cut0.bmp", "cut1.bmp", "cut2.bmp", "sub0.bmp"])

    def test_prefixes_that_name_other_folders_still_save_inside_the_save_folder(self):
        before = set(os.listdir(self.app.workdir))
        parent = os.path.dirname(self.app.workdir)
        parent_before = set(os.listdir(parent))
        for prefix in ("../up", ".."):
            self.type_prefix(prefix)
            count = len(self.app.saved_files())
            click_at(self.server, *self.frame_point(SHOOT_BUTTON))
            wait_until(lambda: len(self.app.saved_files()) > count, what=f"a file for the prefix {prefix!r}")
        time.sleep(0.3)
        self.assertEqual(self.app.saved_files(), [".._up0.bmp", "_0.bmp"],
                         "a / in the prefix or the prefix .. was not replaced by _")
        self.assertEqual(set(os.listdir(self.app.workdir)), before, "a shot wrote beside the save folder")
        # The parent is shared with other programs: only what a shot could have written counts.
        written = {n for n in set(os.listdir(parent)) - parent_before if n.endswith(".bmp") or n.startswith(".nukitori")}
        self.assertEqual(written, set(), "a shot wrote above the working folder")

    def test_the_prefix_box_takes_only_what_fits_of_a_prefix_wider_than_itself(self):
        typed = "longprefix" * 4
        self.type_prefix(typed)
        click_at(self.server, *self.frame_point(SHOOT_BUTTON))
        # The file appears under a temporary name first.
        files = wait_until(lambda: [n for n in self.app.saved_files() if n.endswith(".bmp")], what="the shot's file")
        self.assertEqual(len(files), 1, files)
        self.assertTrue(files[0].endswith("0.bmp"), files)
        kept = files[0][:-len("0.bmp")]
        # Each character is taken while it still fits, so with a proportional font a narrow one
        # may follow a wider one that was left out: the box keeps the typed characters in order.
        rest = iter(typed)
        self.assertTrue(kept and len(kept) < len(typed) and kept[0] == typed[0] and all(c in rest for c in kept),
                        f"the box kept {kept!r} of {typed!r}, not fewer of its characters, in order, from the first")

    def test_keypad_5_grabs_and_keypad_plus_and_minus_save_a_numbered_file_every_frame_while_held(self):
        picture, origin = self.show_picture(650, 420)
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        self.move_frame(700, 470)
        expected = self.picture_under_hole(picture, origin)
        old = wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)  # the drag's own grab
        self.app.focus(self.viewer)
        self.server.tap(self.server.keycode_of("KP_Begin"))
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        grabbed = self.assert_snapshot(grab_file, HOLE[2], HOLE[3])
        self.assertTrue(same_pixels(grabbed, expected), f"keypad 5 did not grab the hole: {difference(grabbed, expected)}")
        self.assertEqual(self.app.saved_files(), [], "keypad 5 wrote a numbered file")

        hold(self.server, self.server.keycode_of("KP_Add"), 0.3)
        time.sleep(0.3)
        grabs = self.app.saved_files()
        self.assertGreaterEqual(len(grabs), 3, f"keypad + held for 0.3 s wrote only {grabs}")
        self.assertEqual(sorted(grabs), sorted(f"{n}.bmp" for n in range(len(grabs))), "grab numbers are not 0, 1, 2, ...")
        for name in grabs:
            shot = self.assert_snapshot(self.saved(name), HOLE[2], HOLE[3])
            self.assertTrue(same_pixels(shot, expected), f"{name} is not the hole: {difference(shot, expected)}")

        hold(self.server, self.server.keycode_of("KP_Subtract"), 0.3)
        time.sleep(0.3)
        captures = sorted(set(self.app.saved_files()) - set(grabs), key=lambda n: int(n[:-4]))
        self.assertGreaterEqual(len(captures), 3, f"keypad - held for 0.3 s wrote only {captures}")
        self.assertEqual(captures, [f"{n}.bmp" for n in range(len(grabs), len(grabs) + len(captures))],
                         "captures do not continue the grabs' numbering")
        for name in captures:
            self.assert_snapshot(self.saved(name), OVERLAY[2], OVERLAY[3])
        time.sleep(0.3)
        self.assertEqual(len(self.app.saved_files()), len(grabs) + len(captures), "files kept coming after the release")

    def test_enter_captures_the_screen_under_the_overlay_once_per_press(self):
        self.clear_the_overlay()
        box = self.overlay_box_on_screen()
        vx, vy = self.viewer_origin()
        message = (vx + MESSAGE_BOX[0], vy + MESSAGE_BOX[1], vx + MESSAGE_BOX[2], vy + MESSAGE_BOX[3])
        before = stable_screenshot(self.server, box)
        self.press_enter()
        wait_for_file(self.saved("0.bmp"), OVERLAY_FILE_SIZE)
        captured = self.assert_snapshot(self.saved("0.bmp"), OVERLAY[2], OVERLAY[3])
        expected = before.crop(box)
        self.assertTrue(same_pixels(captured, expected),
                        f"0.bmp is not the screen under the overlay: {difference(captured, expected)}")
        time.sleep(0.3)
        self.assertEqual(self.app.saved_files(), ["0.bmp"], "one press of Enter wrote more than one file")

        # The viewer reports the save where nothing was written before.
        after = stable_screenshot(self.server, message)
        changed = sum(1 for p, q in zip(before.crop(message).getdata(), after.crop(message).getdata())
                      if not near(p, q, 16))
        self.assertGreater(changed, 30, "the viewer shows no message after the save")

        self.press_enter()
        wait_for_file(self.saved("1.bmp"), OVERLAY_FILE_SIZE)
        time.sleep(0.3)
        self.assertEqual(self.app.saved_files(), ["0.bmp", "1.bmp"], "the second press did not write one more file")

    def test_capture_button_writes_the_next_numbered_capture(self):
        self.clear_the_overlay()
        box = self.overlay_box_on_screen()
        vx, vy = self.viewer_origin()
        button = (vx + CAPTURE_BUTTON[0], vy + CAPTURE_BUTTON[1])
        before = stable_screenshot(self.server, box)
        click_at(self.server, *button)
        wait_for_file(self.saved("0.bmp"), OVERLAY_FILE_SIZE)
        captured = self.assert_snapshot(self.saved("0.bmp"), OVERLAY[2], OVERLAY[3])
        self.assertTrue(same_pixels(captured, before.crop(box)),
                        f"0.bmp is not the screen under the overlay: {difference(captured, before.crop(box))}")
        self.press_enter()
        wait_for_file(self.saved("1.bmp"), OVERLAY_FILE_SIZE)
        click_at(self.server, *button)
        wait_for_file(self.saved("2.bmp"), OVERLAY_FILE_SIZE)
        self.assertEqual(self.app.saved_files(), ["0.bmp", "1.bmp", "2.bmp"],
                         "the button and Enter do not share one numbering")

    def test_enter_creates_a_missing_save_folder(self):
        self.app.close()
        self.app = self.start_app(make_folder=False)
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")
        self.assertFalse(os.path.exists(self.app.path(SAVE_FOLDER)))
        self.press_enter()
        wait_for_file(self.saved("0.bmp"), OVERLAY_FILE_SIZE)
        self.assertTrue(os.path.isdir(self.app.path(SAVE_FOLDER)))
        self.assert_snapshot(self.saved("0.bmp"), OVERLAY[2], OVERLAY[3])

    def test_a_capture_that_cannot_be_written_is_reported_and_leaves_nothing_behind(self):
        self.app.close()
        self.app = self.start_app(make_folder=False)
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")
        # The tests run as root, for whom permissions do not stop a write; a file in the
        # folder's place does.
        blocker = self.app.path(SAVE_FOLDER)
        with open(blocker, "wb") as f:
            f.write(b"not a folder")
        listing = sorted(os.listdir(self.app.workdir))
        self.press_enter()
        reasons = (os.strerror(errno.ENOTDIR), os.strerror(errno.EEXIST))

        def reported():
            lines = [line for line in self.app.stderr().splitlines() if SAVE_FOLDER in line]
            return [line for line in lines if any(r in line for r in reasons)]
        wait_until(reported, what=f"a line on stderr naming the folder and the reason; got {self.app.stderr()!r}")
        time.sleep(0.5)
        self.assertIsNone(self.app.process.poll(), f"a failed save ended the program: {self.app.stderr()}")
        unnamed = [line for line in self.app.stderr().splitlines()
                   if SAVE_FOLDER in line and not line.startswith("nukitori: ")]
        self.assertEqual(unnamed, [], "save failures on stderr that do not name the program")
        self.assertEqual(sorted(os.listdir(self.app.workdir)), listing, "a failed save left files behind")
        with open(blocker, "rb") as f:
            self.assertEqual(f.read(), b"not a folder", "the file in the folder's place was changed")

        # Once the folder can be made the next capture is saved. A press can go unseen when the
        # machine is too busy to poll within it (Wine's key state goes through its server): a
        # missed one is pressed again.
        os.remove(blocker)
        for attempt in range(3):
            self.press_enter()
            try:
                wait_until(lambda: self.app.saved_files(), timeout=6.0, what="a capture after the folder became possible")
                break
            except TimeoutError:
                if attempt == 2:
                    raise

    def test_exit_button_ends_the_program_with_exit_code_0(self):
        click_at(self.server, *self.frame_point(EXIT_BUTTON))
        self.assertEqual(self.app.wait_exit(), 0, f"the exit button did not end the program with 0: {self.app.stderr()}")

    def test_the_frame_comes_back_on_top_of_a_raised_viewer(self):
        vx, vy, _, _ = self.geometry(self.viewer)
        self.move_frame(vx + 200, vy + 200)
        self.server.xdotool("windowraise", self.viewer)
        face = self.frame_point(FACE)
        wait_until(lambda: near(self.server.screenshot().getpixel(face), FACE_COLOUR, 0), timeout=3,
                   what="the frame's face on top of the raised viewer")


class WithWindowManager(CaptureTestCase):
    window_manager = True

    def test_dragging_the_frame_grabs_the_desktop_in_its_hole_into_the_texture_file(self):
        picture, origin = self.show_picture(650, 420)
        grab_file = self.app.path(GRAB_FILE)
        old = file_stamp(grab_file)
        self.move_frame(origin[0] + 50, origin[1] + 50)
        wait_for_file(grab_file, GRAB_FILE_SIZE, old_stamp=old)
        grabbed = self.assert_snapshot(grab_file, HOLE[2], HOLE[3])
        expected = self.picture_under_hole(picture, origin)
        self.assertTrue(same_pixels(grabbed, expected),
                        f"the grab is not the picture under the hole: {difference(grabbed, expected)}")
        self.assert_hole_shows(expected)

    def test_enter_captures_the_screen_under_the_overlay_inside_the_decorated_viewer(self):
        self.clear_the_overlay()
        box = self.overlay_box_on_screen()
        before = stable_screenshot(self.server, box)
        self.press_enter()
        wait_for_file(self.saved("0.bmp"), OVERLAY_FILE_SIZE)
        captured = self.assert_snapshot(self.saved("0.bmp"), OVERLAY[2], OVERLAY[3])
        self.assertTrue(same_pixels(captured, before.crop(box)),
                        f"0.bmp is not the screen under the overlay: {difference(captured, before.crop(box))}")

    def test_the_frame_stays_above_the_active_viewer(self):
        vx, vy, _, _ = self.geometry(self.viewer)
        self.move_frame(vx + 200, vy + 200)
        self.server.xdotool("windowactivate", "--sync", self.viewer)
        wait_until(lambda: self.server.xdotool("getactivewindow") == self.viewer, what="the viewer to be active")
        time.sleep(0.3)  # a few frames for any restacking to show
        face = self.frame_point(FACE)
        colour = self.server.screenshot().getpixel(face)
        self.assertTrue(near(colour, FACE_COLOUR, 0),
                        f"the frame's face at {face} shows {colour}: the active viewer covers the frame")

    @unittest.skipIf(UNDER_WINE, "Wine sets the Windows program's hints from its window styles")
    def test_the_viewer_is_a_fixed_size_window_with_no_maximize(self):
        hints = self.server.run(["xprop", "-id", str(self.viewer), "_MOTIF_WM_HINTS", "WM_NORMAL_HINTS",
                                 "_NET_WM_ALLOWED_ACTIONS"])
        self.assertIn("program specified minimum size: 594 by 578", hints)
        self.assertIn("program specified maximum size: 594 by 578", hints)
        motif = [int(v, 16) for v in hints.split("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = ")[1].splitlines()[0].split(", ")]
        self.assertEqual(motif[1] & (2 | 16), 0, f"the viewer offers resizing or maximizing: {hints}")
        self.assertNotIn("MAXIMIZE", hints.split("_NET_WM_ALLOWED_ACTIONS")[1], "the window manager offers maximizing")


@unittest.skipIf(UNDER_WINE, "MIT-SHM and plain XGetImage reads are the X11 program's; Windows reads with BitBlt")
class PlainScreenReads(CaptureTestCase):
    """Displays without shared memory (remote X, a refused segment) are read with plain
    XGetImage; the files hold the same pixels."""

    def start_app(self, **options):
        return super().start_app(env=dict(self.server.env, NUKITORI_X11_NO_SHM="1"), **options)

    test_the_grab_reads_the_hole = WithWindowManager.test_dragging_the_frame_grabs_the_desktop_in_its_hole_into_the_texture_file
    test_enter_reads_the_overlay = WithWindowManager.test_enter_captures_the_screen_under_the_overlay_inside_the_decorated_viewer


@unittest.skipIf(UNDER_WINE, "Qt's scaling settings are the Linux program's")
class QtScalingSettings(CaptureTestCase):
    """Users of high-resolution screens set Qt's scaling in their environment or raise Xft.dpi:
    the windows keep one pixel per screen pixel, and every saved pixel is a framed one."""

    def start_app(self, **options):
        subprocess.run(["xrdb", "-merge"], input="Xft.dpi: 192\n", text=True, env=self.server.env, check=True)
        env = dict(self.server.env, QT_SCALE_FACTOR="2", QT_SCREEN_SCALE_FACTORS="2", QT_ENABLE_HIGHDPI_SCALING="1")
        return super().start_app(env=env, **options)

    def test_the_windows_keep_their_sizes_in_screen_pixels(self):
        self.assertEqual(self.app.geometry(self.viewer)[2:], (594, 578))
        self.assertEqual(self.app.geometry(self.frame)[2:], (177, 152))

    test_the_grab_reads_the_hole = WithoutWindowManager.test_dragging_the_frame_grabs_the_desktop_in_its_hole_into_the_texture_file
    test_enter_reads_the_overlay = WithoutWindowManager.test_enter_captures_the_screen_under_the_overlay_once_per_press


if __name__ == "__main__":
    unittest.main()
