"""The rendered 3D view as it reaches the screen: the overlay, the model with its texture and lighting,
and the grey texts, on the real binary under Xvfb. Points are in the viewer's client pixels."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from PIL import Image

from harness import (CLEAR_COLOUR, SAMPLES, UNDER_WINE, Nukitori, XServer, drag, near, stable_screenshot,
                     wait_until)

OVERLAY_PICTURE = "フィルター画像.jpg"
# Overlay (250, 250, 250) at alpha 200 over the clear colour: 250*200/255 + clear*55/255.
PLAIN_OVERLAY = (209, 231, 236)
OVERLAY_LEFT, OVERLAY_TOP, OVERLAY_SIZE = 20, 20, 50
TEXT_GREY = (200, 200, 200)

# Where each text draws its glyphs: (left, top, right, bottom), right and bottom exclusive.
HELP_BOX = (50, 340, 450, 462)
SECOND_HELP_BOX = (50, 462, 300, 540)
# The legend's row ends where the overlay begins; the values begin right of the overlay, after
# five wide blanks.
LEGEND_BOX = (20, 4, 594, 20)
VALUES_BOX = (72, 22, 594, 42)
# The viewer's capture button sits over the picture in the legend row.
BUTTON_BOX = (262, 2, 334, 24)
# Within the values row: "[赤 250]" first, then green and blue.
RED_VALUE_BOX = (80, 22, 152, 42)
GREEN_AND_BLUE_VALUES_BOX = (152, 22, 300, 42)

# The panel of the model, seen from the default camera, shows its texture's asymmetric markers.
PANEL_WHITE_MARKER = (160, 110)   # texture's top-left corner
PANEL_DARK_MARKER = (424, 305)    # texture's bottom-right corner
PANEL_YELLOW_MARKER = (297, 140)  # texture's top middle
# The orange pedestal: a part of its top face and a part of its front face, clear of the help text.
PEDESTAL_TOP_BOX = (400, 326, 450, 356)
PEDESTAL_FRONT_BOX = (400, 376, 480, 430)
# Orange (1, 0.55, 0.15) under ambient 0.99 plus the directional light (0.2) falling at 45 degrees
# onto both the top and the front: (1.13, 0.62, 0.17) of full scale, red saturated.
LIT_ORANGE = (255, 159, 43)
EMPTY_CORNER_BOX = (480, 450, 594, 578)


def pixels(shot, box):
    left, top, right, bottom = box
    return [shot.getpixel((x, y)) for y in range(top, bottom) for x in range(left, right)]


def inside(point, box):
    return box[0] <= point[0] < box[2] and box[1] <= point[1] < box[3]


def average(colours):
    colours = list(colours)
    return tuple(sum(c[i] for c in colours) / len(colours) for i in range(3))


class ViewerScreen(unittest.TestCase):
    """Starts the program on a private X server; `move_frame_away` drags the capture frame, which
    starts over the viewer's top-left corner, off the viewer by its face."""

    samples = SAMPLES
    move_frame_away = True

    def setUp(self):
        self.server = XServer()
        self.addCleanup(self.server.close)
        self.app = Nukitori(self.server, samples=self.samples)
        self.addCleanup(self.app.close)
        self.viewer = self.app.window("ビューア")
        self.frame = self.app.window("com")
        self.vx, self.vy, w, h = self.app.geometry(self.viewer)
        self.assertEqual((w, h), (594, 578), "the viewer's client area is not the back buffer's size")
        if self.move_frame_away:
            fx, fy, _, _ = self.app.geometry(self.frame)
            def followed():
                return self.app.geometry(self.frame)[:2] == (fx + 700, fy + 600)
            drag(self.server, (fx + 15, fy + 100), (fx + 715, fy + 700), arrived=followed)
            wait_until(followed, what="the frame to follow the drag off the viewer")
        # Left of the overlay (or right of the frame) only the clear colour is drawn.
        probe = (10, 50) if self.move_frame_away else (560, 200)
        wait_until(lambda: near(self.pixel(self.server.screenshot(), *probe), CLEAR_COLOUR),
                   what=f"the clear colour at client {probe}")

    def screen_box(self, box):
        return (self.vx + box[0], self.vy + box[1], self.vx + box[2], self.vy + box[3])

    def view(self):
        """A settled screenshot cut to the viewer's client area, so that points are client pixels."""
        shot = stable_screenshot(self.server, self.screen_box((0, 0, 594, 578)))
        return shot.crop(self.screen_box((0, 0, 594, 578)))

    def pixel(self, shot, x, y):
        return shot.getpixel((self.vx + x, self.vy + y))

    def hold_until(self, keysym, predicate, what, timeout=10.0):
        """Holds a key until the screen shows what `predicate` looks for: the frame rate decides how
        long that takes, not a fixed time. The viewer has the focus, as it would have for a user:
        under Wine, keys reach the program only through one of its windows."""
        self.app.focus(self.viewer)
        code = self.server.keycode_of(keysym)
        self.server.key_down(code)
        try:
            wait_until(lambda: predicate(self.server.screenshot().crop(self.screen_box((0, 0, 594, 578)))),
                       timeout, what=what)
        finally:
            self.server.key_up(code)


class IdleViewer(ViewerScreen):
    def test_an_idle_viewer_keeps_its_picture_and_repaints_what_another_window_uncovers(self):
        before = self.view()
        time.sleep(1.5)
        self.assertEqual(self.view().tobytes(), before.tobytes(), "the picture changed while nothing did")

        # Without a compositor, what a window leaves behind stays on the screen until the viewer
        # draws itself again.
        folder = tempfile.mkdtemp(prefix="nukitori-cover-")
        self.addCleanup(shutil.rmtree, folder, True)
        path = os.path.join(folder, "cover.png")
        Image.new("RGB", (200, 150), (255, 0, 255)).save(path)
        cover = subprocess.Popen(["display", "-geometry", f"+{self.vx + 150}+{self.vy + 150}", path],
                                 env=self.server.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: self.pixel(self.server.screenshot(), 250, 220) == (255, 0, 255),
                       what="the covering window over the model")
        finally:
            cover.terminate()
            cover.wait(5)
        wait_until(lambda: self.view().tobytes() == before.tobytes(),
                   what="the viewer to repaint what the window uncovered")


class OverlayWithoutItsPicture(ViewerScreen):
    samples = [name for name in SAMPLES if name != OVERLAY_PICTURE]

    def test_overlay_without_its_picture_is_the_plain_translucent_colour_with_sharp_edges(self):
        view = self.view()
        box = (OVERLAY_LEFT, OVERLAY_TOP, OVERLAY_LEFT + OVERLAY_SIZE, OVERLAY_TOP + OVERLAY_SIZE)
        wrong = [(x, y, view.getpixel((x, y))) for y in range(box[1], box[3]) for x in range(box[0], box[2])
                 if not near(view.getpixel((x, y)), PLAIN_OVERLAY)]
        self.assertFalse(wrong, f"overlay pixels are not the plain colour {PLAIN_OVERLAY} blended over the "
                                f"clear colour, e.g. {wrong[:5]} ({len(wrong)} of {OVERLAY_SIZE ** 2})")

        # Two pixels out from the sides and the bottom nothing but the clear colour is drawn (the key
        # legend's glyphs reach down to just above the overlay, and the values begin right of it).
        ring = ([(x, y) for x in range(16, 75) for y in (72,)] +
                [(18, y) for y in range(20, 75)] + [(72, y) for y in range(45, 75)])
        dirty = [(p, view.getpixel(p)) for p in ring if not near(view.getpixel(p), CLEAR_COLOUR)]
        self.assertFalse(dirty, f"around the overlay the clear colour is missing at {dirty[:5]}")

        # The edges lie exactly on the corners (20, 20) and (70, 70): the last clear pixel and the
        # first overlay pixel on each side, along rows and columns that no text crosses.
        for y in range(45, 70):
            self.assertTrue(near(view.getpixel((19, y)), CLEAR_COLOUR) and near(view.getpixel((20, y)), PLAIN_OVERLAY),
                            f"the overlay's left edge on row {y} is not between columns 19 and 20: "
                            f"{view.getpixel((19, y))}, {view.getpixel((20, y))}")
            self.assertTrue(near(view.getpixel((69, y)), PLAIN_OVERLAY) and near(view.getpixel((70, y)), CLEAR_COLOUR),
                            f"the overlay's right edge on row {y} is not between columns 69 and 70: "
                            f"{view.getpixel((69, y))}, {view.getpixel((70, y))}")
        for x in range(20, 70):
            self.assertTrue(near(view.getpixel((x, 19)), CLEAR_COLOUR) and near(view.getpixel((x, 20)), PLAIN_OVERLAY),
                            f"the overlay's top edge in column {x} is not between rows 19 and 20: "
                            f"{view.getpixel((x, 19))}, {view.getpixel((x, 20))}")
            self.assertTrue(near(view.getpixel((x, 69)), PLAIN_OVERLAY) and near(view.getpixel((x, 70)), CLEAR_COLOUR),
                            f"the overlay's bottom edge in column {x} is not between rows 69 and 70: "
                            f"{view.getpixel((x, 69))}, {view.getpixel((x, 70))}")

    def test_holding_1_lowers_the_red_value_and_the_overlays_red_and_nothing_else(self):
        before = self.view()
        red_before = average(pixels(before, (25, 45, 65, 65)))
        # Key 1 takes one off the overlay's red each frame; the blend shows it at alpha 200/255.
        self.hold_until("1", lambda v: average(pixels(v, (25, 45, 65, 65)))[0] <= red_before[0] - 12,
                        "the overlay's red to drop with key 1 held")
        after = self.view()
        red_after = average(pixels(after, (25, 45, 65, 65)))
        self.assertLess(red_after[0], red_before[0] - 8, f"the overlay's red did not go down: {red_before} -> {red_after}")
        self.assertTrue(near(red_after[1:], red_before[1:], 2),
                        f"key 1 changed the overlay's green or blue: {red_before} -> {red_after}")

        self.assertNotEqual(pixels(after, RED_VALUE_BOX), pixels(before, RED_VALUE_BOX),
                            "the red value shown did not change while its key lowered it")
        for name, box in (("green and blue values", GREEN_AND_BLUE_VALUES_BOX), ("help text", HELP_BOX),
                          ("second help text", SECOND_HELP_BOX), ("key legend", LEGEND_BOX)):
            self.assertEqual(pixels(after, box), pixels(before, box), f"key 1 changed the {name}")


class OverlayWithItsPicture(ViewerScreen):
    def test_overlay_shows_its_striped_framed_picture_lighter_than_the_scene(self):
        view = self.view()
        inner = pixels(view, (22, 22, 68, 68))
        self.assertTrue(all(p[0] > CLEAR_COLOUR[0] + 60 for p in inner),
                        "parts of the overlay are not lighter than the clear colour under it")
        plain = sum(1 for p in inner if near(p, PLAIN_OVERLAY, 4))
        self.assertLess(plain, len(inner) // 2, "the overlay shows its plain colour, not its picture")
        self.assertGreater(len(set(inner)), 3, "the overlay is flat, its picture's stripes are missing")

        # The picture's darker frame line lies along the overlay's border.
        border = ([(x, y) for x in range(20, 70) for y in (20, 69)] +
                  [(x, y) for y in range(21, 69) for x in (20, 69)])
        border_red = average(view.getpixel(p) for p in border)[0]
        inner_red = average(inner)[0]
        self.assertLess(border_red, inner_red - 20,
                        f"the overlay's border ({border_red:.0f}) is not darker than its inside ({inner_red:.0f})")

        # Its stripes run from bottom-left to top-right: pixels agree along that diagonal, not across it.
        def disagreement(dx, dy):
            pairs = [(view.getpixel((x, y)), view.getpixel((x + dx, y + dy)))
                     for y in range(26, 62) for x in range(26, 62)]
            return sum(abs(a[0] - b[0]) for a, b in pairs) / len(pairs)
        for step in (1, 2):
            along, across = disagreement(step, -step), disagreement(step, step)
            self.assertLess(along * 2, across,
                            f"the overlay's stripes do not run bottom-left to top-right (along {along:.1f}, "
                            f"across {across:.1f} at a step of {step}): the picture is flipped or missing")


class Texts(ViewerScreen):
    def grey(self, colour):
        return near(colour, TEXT_GREY, 10)

    @staticmethod
    def ink(colour):
        """A pixel of a glyph, its edges included: the grey mixed into the clear colour's dark red."""
        return colour[0] >= 110 and max(colour) - min(colour) < 90

    def test_texts_are_grey_at_their_places_and_nowhere_else(self):
        view = self.view()
        found = {}
        for name, box in (("help text", HELP_BOX), ("second help text", SECOND_HELP_BOX),
                          ("key legend", LEGEND_BOX), ("values", VALUES_BOX)):
            ink = [(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2])
                   if not inside((x, y), BUTTON_BOX) and self.ink(view.getpixel((x, y)))]
            self.assertGreater(len(ink), 50, f"the {name} shows only {len(ink)} grey pixels in {box}")
            found[name] = (min(x for x, _ in ink), min(y for _, y in ink), max(y for _, y in ink))

        left, top, _ = found["help text"]
        self.assertTrue(50 <= left <= 55 and 340 <= top <= 346,
                        f"the help text's glyphs start at {left},{top}, not just right of and below 50,340")
        left, top, _ = found["second help text"]
        # Its first line is empty, so its glyphs begin one line below 462.
        self.assertTrue(50 <= left <= 55 and 470 <= top <= 486,
                        f"the second help text's glyphs start at {left},{top}, not one line below 50,462")
        left, top, bottom = found["key legend"]
        self.assertTrue(20 <= left <= 26 and top >= 6 and bottom <= 19,
                        f"the key legend's glyphs start at x {left} and span rows {top}..{bottom}, not from 20,6")
        left, top, bottom = found["values"]
        self.assertTrue(top >= 24 and bottom <= 41,
                        f"the values' glyphs span rows {top}..{bottom}, not a line from y 24")

        # Every label of the legend and every value is whole: inside the viewer, clear of the button.
        # The Windows program draws with the system's MS P Gothic, for which Wine puts a face of its own.
        for name, box, count in () if UNDER_WINE else (("key legend", LEGEND_BOX, 8), ("values", VALUES_BOX, 7)):
            columns = sorted({x for y in range(box[1], box[3]) for x in range(box[0], box[2])
                              if not inside((x, y), BUTTON_BOX) and self.ink(view.getpixel((x, y)))})
            groups = [[columns[0], columns[0]]]
            for x in columns[1:]:
                if x - groups[-1][1] > 8:
                    groups.append([x, x])
                groups[-1][1] = x
            self.assertEqual(len(groups), count, f"the {name} shows {len(groups)} words, at {groups}")
            self.assertTrue(all(g[1] < BUTTON_BOX[0] - 2 or g[0] > BUTTON_BOX[2] + 2 for g in groups),
                            f"a word of the {name} runs under the button: {groups}")
            self.assertLess(groups[-1][1], 590, f"the {name} runs to the viewer's edge: {groups}")

        stray = [(x, y) for y in range(578) for x in range(594)
                 if self.grey(view.getpixel((x, y)))
                 and not any(inside((x, y), box) for box in
                             (HELP_BOX, SECOND_HELP_BOX, LEGEND_BOX, VALUES_BOX, BUTTON_BOX))]
        self.assertFalse(stray, f"text-grey pixels outside the texts' places, e.g. {stray[:8]}")
        self.assertFalse(any(self.grey(p) for p in pixels(view, EMPTY_CORNER_BOX)),
                         "grey text in the empty bottom-right corner")


class ModelAsStarted(ViewerScreen):
    """The frame stays where it starts: dragging it would grab the desktop into the panel's texture."""
    move_frame_away = False

    def test_model_covers_the_centre_with_its_texture_upright_on_a_lit_orange_pedestal(self):
        view = self.view()
        centre = pixels(view, (277, 230, 318, 271))
        self.assertFalse(any(near(p, CLEAR_COLOUR) for p in centre), "the clear colour shows at the view's centre")

        def block(x, y):
            return pixels(view, (x - 2, y - 2, x + 3, y + 3))
        self.assertTrue(all(min(p) >= 240 for p in block(*PANEL_WHITE_MARKER)),
                        f"the panel's top-left does not show the texture's white marker: {block(*PANEL_WHITE_MARKER)[:3]}")
        self.assertTrue(all(max(p) <= 40 for p in block(*PANEL_DARK_MARKER)),
                        f"the panel's bottom-right does not show the texture's dark marker: {block(*PANEL_DARK_MARKER)[:3]}")
        self.assertTrue(all(p[0] >= 230 and p[1] >= 220 and p[2] <= 120 for p in block(*PANEL_YELLOW_MARKER)),
                        f"the panel's top middle does not show the texture's yellow marker: {block(*PANEL_YELLOW_MARKER)[:3]}")
        self.assertGreater(len(set(pixels(view, (170, 130, 420, 290)))), 100,
                           "the panel does not show the texture's gradient")

        for name, box in (("top", PEDESTAL_TOP_BOX), ("front", PEDESTAL_FRONT_BOX)):
            off = [p for p in pixels(view, box) if not near(p, LIT_ORANGE)]
            self.assertFalse(off, f"the pedestal's {name} is not orange lit by the ambient and the directional "
                                  f"light {LIT_ORANGE}: e.g. {off[:5]}")
        self.assertTrue(all(near(p, CLEAR_COLOUR) for p in pixels(view, EMPTY_CORNER_BOX)),
                        "the empty bottom-right corner is not the clear colour")

    def test_lowering_the_ambient_green_darkens_the_model_in_green_only(self):
        before = self.view()
        top, front = average(pixels(before, PEDESTAL_TOP_BOX)), average(pixels(before, PEDESTAL_FRONT_BOX))
        # Key 9 takes 0.01 off the ambient green each frame: the orange's green falls 1.4 a frame.
        self.hold_until("9", lambda v: average(pixels(v, PEDESTAL_FRONT_BOX))[1] <= front[1] - 20,
                        "the pedestal's green to fall with key 9 held")
        after = self.view()
        top_after, front_after = average(pixels(after, PEDESTAL_TOP_BOX)), average(pixels(after, PEDESTAL_FRONT_BOX))
        for name, was, now in (("top", top, top_after), ("front", front, front_after)):
            self.assertLess(now[1], was[1] - 16, f"the pedestal's {name} kept its green: {was} -> {now}")
            self.assertTrue(near((now[0], now[2]), (was[0], was[2]), 2),
                            f"lowering the ambient green changed the pedestal's {name} red or blue: {was} -> {now}")
        self.assertTrue(near(top_after, front_after, 4),
                        f"the top and the front, lit alike, now differ: {top_after} and {front_after}")
        self.assertTrue(all(near(p, CLEAR_COLOUR) for p in pixels(after, EMPTY_CORNER_BOX)),
                        "lowering the ambient light changed the clear colour")


if __name__ == "__main__":
    unittest.main()
