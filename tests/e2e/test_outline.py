"""The capture frame's outline picture 枠.bmp on the real binary under Xvfb: whatever the file
holds, the frame stays visible and usable, and only the part of the picture that covers the
frame shapes it. The shape checked is the one the X server holds for the frame's window."""
import io
import os
import unittest

from PIL import Image
from Xlib import display as xdisplay
from Xlib.ext import shape

from harness import ASSETS, SAMPLES, Nukitori, XServer, click_at, move_pointer, wait_until

OUTLINE = "枠.bmp"
FRAME = (0, 0, 177, 152)  # where the frame starts, and its size
EXIT_BUTTON = (26, 17)


def bmp_bytes(picture):
    data = io.BytesIO()
    picture.save(data, "BMP")
    return data.getvalue()


def checkerboard(size, key):
    """`size` x `size` pixels, every other one of the key colour, the bottom-left one among them."""
    other = bytes(3)
    pair = bytes(key) + other
    starts_with_key = pair * (size // 2), (other + bytes(key)) * (size // 2)
    rows = [starts_with_key[(size - 1 - y) % 2] for y in range(size)]
    return Image.frombytes("RGB", (size, size), b"".join(rows))


def covered_by(picture):
    """The frame pixels an outline keeps: those not of its bottom-left pixel's colour."""
    key = picture.getpixel((0, picture.height - 1))
    _, _, width, height = FRAME
    part = picture.crop((0, 0, width, height))
    return {(i % width, i // width) for i, p in enumerate(part.getdata()) if p != key}


class FrameOutline(unittest.TestCase):
    def setUp(self):
        self.server = XServer()
        self.addCleanup(self.server.close)
        # Away from the frame, so that no control shows a hover state.
        move_pointer(self.server, 900, 900)

    def start(self, outline):
        """nukitori with `outline` as the bytes of 枠.bmp, or without the file for None; returns the
        program and its frame window."""
        samples = [name for name in SAMPLES if name != OUTLINE]
        app = Nukitori(self.server, samples=samples, files={} if outline is None else {OUTLINE: outline})
        self.addCleanup(app.close)
        return app, app.window("com")

    def shape(self, window):
        """The pixels of `window` inside its bounding shape, as the X server holds it."""
        d = xdisplay.Display(self.server.display)
        try:
            target = d.create_resource_object("window", int(window))
            rectangles = target.shape_get_rectangles(shape.SK.Bounding).rectangles
        finally:
            d.close()
        return {(x, y) for r in rectangles
                for y in range(r.y, r.y + r.height) for x in range(r.x, r.x + r.width)}

    def frame_pixels(self):
        x, y, w, h = FRAME
        return self.server.screenshot().crop((x, y, x + w, y + h)).tobytes()

    def outline_lines(self, app):
        return [line for line in app.stderr().splitlines() if OUTLINE in line]

    def test_a_cut_off_outline_gives_the_plain_frame_of_a_missing_one_and_says_so_once(self):
        with open(os.path.join(ASSETS, OUTLINE), "rb") as f:
            whole = f.read()
        missing, frame = self.start(None)
        plain_shape = self.shape(frame)
        self.assertEqual(len(plain_shape), FRAME[2] * FRAME[3], "the frame without an outline is not whole")
        # Painted once two looks a moment apart agree.
        previous = [None]

        def settled():
            pixels = self.frame_pixels()
            same, previous[0] = pixels == previous[0], pixels
            return pixels if same else None
        plain = wait_until(settled, interval=0.2, what="the plain frame to be painted")
        missing.close()

        # A file cut to 100 bytes: its header promises 177 x 152 pixels that are not there.
        app, frame = self.start(whole[:100])
        self.assertEqual(self.shape(frame), plain_shape, "the frame of a cut-off outline is not shaped as a plain one")
        try:
            wait_until(lambda: self.frame_pixels() == plain, timeout=10, what="the plain frame")
        except TimeoutError:
            self.fail("the frame of a cut-off outline does not look as the plain one does")
        lines = self.outline_lines(app)
        self.assertEqual(len(lines), 1, f"not one line naming {OUTLINE}: {app.stderr()!r}")
        click_at(self.server, FRAME[0] + EXIT_BUTTON[0], FRAME[1] + EXIT_BUTTON[1])
        self.assertEqual(app.wait_exit(), 0, f"the exit button did not end the program: {app.stderr()}")

    def test_an_outline_larger_than_the_frame_shapes_it_by_the_part_that_covers_it(self):
        with Image.open(os.path.join(ASSETS, OUTLINE)) as shipped:
            shipped = shipped.convert("RGB")
        key = shipped.getpixel((0, shipped.height - 1))
        framed = checkerboard(400, key)
        framed.paste(shipped, (0, 0))
        for what, picture in (("the shipped outline in a 400 x 400 checkerboard", framed),
                              ("a 1000 x 1000 checkerboard", checkerboard(1000, key))):
            with self.subTest(what):
                app, frame = self.start(bmp_bytes(picture))
                got, expected = self.shape(frame), covered_by(picture)
                self.assertTrue(got, f"{what}: the frame has no shape left: it is invisible")
                self.assertEqual(got, expected, f"{what}: {len(got - expected)} pixels too many, "
                                                f"{len(expected - got)} missing")
                self.assertEqual(self.outline_lines(app), [], app.stderr())
                app.close()


if __name__ == "__main__":
    unittest.main()
