"""nukitori-replay on a real session: captures made by the real binary under Xvfb, drawn again
headless (no DISPLAY) and compared byte for byte, then with another picture, clean, resized, as
PNG, in shards, in parallel, after a stop, and on bad input."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from PIL import Image

from harness import BIN, RECORD, UNDER_WINE, hold, program_path, wait_for_file, wine_env
from test_capture import CaptureTestCase
from test_samples import grab_magenta_picture

# The viewer's clear colour as its 5-6-5 back buffer holds it.
CLEAR_565 = (58, 162, 181)
WINE_SCREEN_STEPS = 4  # half a 5-bit step


def replay_program():
    name = "nukitori-replay.exe" if UNDER_WINE else "nukitori-replay"
    return os.path.join(os.path.dirname(os.path.abspath(os.environ.get("NUKITORI_BIN", BIN))), name)


def is_clear(pixel):
    """The clear colour as a 5-6-5 back buffer gives it back: OpenGL rounds each channel out to
    8 bits, Direct3D repeats its high bits, one step apart."""
    return all(abs(p - q) <= 1 for p, q in zip(pixel, CLEAR_565))


def pixels(path):
    with Image.open(path) as image:
        return image.convert("RGB")


class Replay(CaptureTestCase):
    def replay(self, *arguments, expect=0):
        # Paths as the program names them (under Wine, on drive Z:).
        arguments = [program_path(a) if a.startswith("/") else a for a in arguments]
        command = [replay_program(), program_path(self.record), *arguments, "--quiet"]
        if UNDER_WINE:
            # Direct3D 9 on a window that is never shown: Wine still wants its X server.
            command, env = ["wine", *command], wine_env(dict(self.server.env))
        else:
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=300)
        self.assertEqual(done.returncode, expect, f"{arguments}: {done.stderr}")
        return done.stderr

    def out(self, name):
        return os.path.join(self.work, name)

    def lines(self, folder):
        with open(os.path.join(folder, RECORD), encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def test_replay_draws_the_captures_again_byte_for_byte_and_with_other_pictures(self):
        grab_magenta_picture(self)
        self.clear_the_overlay()
        # A large overlay, tinted as it starts: the clean replay must lose the tint.
        self.app.focus(self.viewer)
        for name in ("e", "c"):
            hold(self.server, self.server.keycode_of(name), 2.2)
        # Down, off the viewer's capture button, a control of its own that no replay draws.
        hold(self.server, self.server.keycode_of("s"), 0.4)
        time.sleep(0.3)
        for turn in range(3):
            if turn:
                hold(self.server, self.server.keycode_of("KP_Divide"), 0.25)
                time.sleep(0.3)
            self.press_enter()
            wait_for_file(self.saved(f"{turn}.bmp"))
        time.sleep(0.5)
        captures = [f"{n}.bmp" for n in range(3)]
        self.work = tempfile.mkdtemp(prefix="nukitori-replay-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.record = self.saved(RECORD)

        # Its own picture: the same bytes.
        self.replay("--out", self.out("same"), "-j", "1")
        made = {line["source"]: line for line in self.lines(self.out("same"))}
        self.assertEqual(len(made), 3)
        for line in made.values():
            replayed, captured = os.path.join(self.out("same"), line["file"]), self.saved(line["file"].split("_")[-1])
            if UNDER_WINE:
                # Wine shows a 5-6-5 back buffer on the screen through its own blend, a few steps
                # off the back buffer's own values; the same picture, not the same bytes.
                a, b = pixels(replayed), pixels(captured)
                self.assertEqual(a.size, b.size)
                worst = max(abs(p - q) for x, y in zip(a.getdata(), b.getdata()) for p, q in zip(x, y))
                self.assertLessEqual(worst, WINE_SCREEN_STEPS, f"{line['file']} is not the capture it replays")
                continue
            with open(replayed, "rb") as f, open(captured, "rb") as g:
                self.assertEqual(f.read(), g.read(), f"{line['file']} is not the capture it replays")
        self.assertEqual(sorted(line["file"].split("_")[-1] for line in made.values()), captures)

        # Another picture changes only the object's pixels.
        green = os.path.join(self.work, "green.png")
        Image.new("RGB", (300, 200), (20, 220, 40)).save(green)
        self.replay("--out", self.out("green"), "--picture", green)
        for line in self.lines(self.out("green")):
            capture = line["file"].replace("green_", "")
            first = made[line["source"]]["file"]  # its own picture's replay
            a, b = pixels(os.path.join(self.out("same"), first)), pixels(os.path.join(self.out("green"), line["file"]))
            x, y, w, h = line["object_box"]
            changed = [(px, py) for py in range(a.height) for px in range(a.width)
                       if a.getpixel((px, py)) != b.getpixel((px, py))]
            self.assertGreater(len(changed), 500, f"{capture}: the other picture changed nothing")
            self.assertTrue(all(x - 1 <= px <= x + w and y - 1 <= py <= y + h for px, py in changed),
                            f"{capture}: pixels outside the object box {line['object_box']} changed")

        # Clean: the tinted background becomes the plain clear colour.
        self.replay("--out", self.out("clean"), "--clean")
        for line in self.lines(self.out("clean")):
            clean = pixels(os.path.join(self.out("clean"), line["file"]))
            tinted = pixels(os.path.join(self.out("same"), made[line["source"]]["file"]))
            plain = [(px, py) for py in range(clean.height) for px in range(clean.width)
                     if is_clear(clean.getpixel((px, py)))]
            self.assertGreater(len(plain), 5000, f"{line['file']}: hardly any clear background")
            self.assertTrue(all(not is_clear(tinted.getpixel(p)) for p in plain[::97]),
                            f"{line['file']}: the capture was not tinted where the clean replay is clear")

        # Backgrounds in turn behind the model, the labels those of the plain replay.
        backgrounds = os.path.join(self.work, "backgrounds")
        os.makedirs(backgrounds)
        Image.new("RGB", (800, 600), (200, 30, 30)).save(os.path.join(backgrounds, "a.png"))
        Image.new("RGB", (300, 300), (30, 30, 200)).save(os.path.join(backgrounds, "b.png"))
        self.replay("--out", self.out("backed"), "--background", backgrounds)
        boxes = {line["source"]: line["object_box"] for line in self.lines(self.out("same"))}
        for n, line in enumerate(sorted(self.lines(self.out("backed")), key=lambda line: line["source"])):
            self.assertEqual(line["object_box"], boxes[line["source"]], line["file"])
            backed = pixels(os.path.join(self.out("backed"), line["file"]))
            colour = (200, 30, 30) if n % 2 == 0 else (30, 30, 200)
            shown = sum(1 for p in backed.getdata() if p == colour)
            self.assertGreater(shown, 5000, f"{line['file']}: the background {colour} hardly shows")

        # Swept views: every step of every range around each capture, each recorded with its view.
        self.replay("--out", self.out("swept"), "--sweep", "ry=-0.2:0.2:0.1,look=0:0.5:0.5")
        swept = self.lines(self.out("swept"))
        self.assertEqual(len(swept), 3 * 5 * 2)
        turns = sorted({round(line["model_rotation"][1] - made[line["source"]]["model_rotation"][1], 4)
                        for line in swept})
        self.assertEqual(turns, [-0.2, -0.1, 0.0, 0.1, 0.2])
        self.replay("--out", self.out("drawn"), "--sweep", "rx=-0.5:0.5:0.1", "--random", "4", "--seed", "7")
        self.assertEqual(len(self.lines(self.out("drawn"))), 12)

        # Resized, as PNG: the size asked for, the label scaled into it.
        self.replay("--out", self.out("small"), "--png", "--size", "64", "48")
        for line in self.lines(self.out("small")):
            self.assertTrue(line["file"].endswith(".png"))
            self.assertEqual(Image.open(os.path.join(self.out("small"), line["file"])).size, (64, 48))
            x, y, w, h = line["object_box"]
            self.assertTrue(0 <= x and 0 <= y and x + w <= 64 and y + h <= 48, line["object_box"])

        # Shards together are the whole; two workers give what one gives.
        for k in (1, 2):
            self.replay("--out", self.out("shards"), "--shard", f"{k}/2")
        self.replay("--out", self.out("two"), "-j", "2")
        for folder in ("shards", "two"):
            names = sorted(os.listdir(self.out(folder)))
            self.assertEqual(names, sorted(os.listdir(self.out("same"))), folder)
            for name in names:
                if name != RECORD:
                    with open(os.path.join(self.out(folder), name), "rb") as f, \
                            open(os.path.join(self.out("same"), name), "rb") as g:
                        self.assertEqual(f.read(), g.read(), f"{folder}/{name}")

        # After a stop: one file gone, another without its line; the rerun mends both.
        folder = self.out("same")
        files = sorted(line["file"] for line in self.lines(folder))
        os.remove(os.path.join(folder, files[0]))
        with open(os.path.join(folder, RECORD), encoding="utf-8") as f:
            kept = [line for line in f if json.loads(line)["file"] != files[1]]
        with open(os.path.join(folder, RECORD), "w", encoding="utf-8") as f:
            f.writelines(kept)
        self.replay("--out", folder)
        # The remade file gets a line of its own after its old one; a file's latest line counts.
        self.assertEqual(sorted({line["file"] for line in self.lines(folder)}), files)
        self.assertTrue(all(os.path.exists(os.path.join(folder, f)) for f in files))
        count = len(self.lines(folder))
        self.replay("--out", folder)
        self.assertEqual(len(self.lines(folder)), count, "a second run made the samples again")

        # Bad input: a line whose model is gone fails with its number; misuse is exit 2.
        os.rename(self.app.path("model.x"), self.app.path("gone.x"))
        said = self.replay("--out", self.out("bad"), expect=1)
        self.assertIn("line 1 (0.bmp): the model", said)
        self.replay("--out", self.out("bad"), "--shard", "3/2", expect=2)
        self.replay("--out", self.out("bad"), "--picture", self.out("no such picture"), expect=2)


if __name__ == "__main__":
    unittest.main()
