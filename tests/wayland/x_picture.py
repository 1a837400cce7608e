"""Shows a picture 1:1 in an X11 window of its own, titled TITLE, asking to be placed at X, Y:

    x_picture.py PICTURE TITLE X Y

Each line on stdin names another picture (of the same size) to show instead; the window is
redrawn at once, and "shown" is written back when the X server has it."""
import select
import sys

from PIL import Image
from Xlib import X, Xatom, Xutil, display


def pixels(path):
    with Image.open(path) as picture:
        return picture.convert("RGB").size, picture.convert("RGBX").tobytes("raw", "BGRX")


def main():
    path, title, x, y = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    (width, height), data = pixels(path)
    screen = display.Display()
    root = screen.screen().root
    window = root.create_window(x, y, width, height, 0, 24, X.InputOutput, X.CopyFromParent,
                                event_mask=X.ExposureMask, background_pixel=0)
    window.set_wm_name(title)
    window.change_property(screen.intern_atom("_NET_WM_NAME"), screen.intern_atom("UTF8_STRING"), 8,
                           title.encode())
    # A position the program asks for: the window manager keeps it instead of placing the window.
    window.set_wm_normal_hints(flags=Xutil.USPosition | Xutil.PPosition | Xutil.PMinSize | Xutil.PMaxSize,
                               x=x, y=y, min_width=width, min_height=height, max_width=width, max_height=height)
    window.change_property(Xatom.WM_CLASS, Xatom.STRING, 8, b"x-picture\0x-picture\0")
    gc = window.create_gc()
    window.map()

    def draw():
        # One request carries at most about 256 kB: the picture goes in bands.
        rows = max(1, 200000 // (width * 4))
        for top in range(0, height, rows):
            band = min(rows, height - top)
            window.put_image(gc, 0, top, width, band, X.ZPixmap, 24, 0, data[top * width * 4:(top + band) * width * 4])
        screen.sync()
    while True:
        readable, _, _ = select.select([screen.fileno(), sys.stdin], [], [], 1.0)
        if sys.stdin in readable:
            line = sys.stdin.readline()
            if not line:
                return
            size, data = pixels(line.strip())
            if size != (width, height):
                raise SystemExit(f"{line.strip()} is {size}, not {(width, height)}")
            draw()
            print("shown", flush=True)
        while screen.pending_events():
            if screen.next_event().type == X.Expose:
                draw()


if __name__ == "__main__":
    main()
