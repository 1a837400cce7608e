#!/usr/bin/env python3
"""Check the sample files in assets/ (or in the folder given as argv[1]).

Exits 1 and lists every problem when a file is missing or wrong.
Needs Python 3 and Pillow only.
"""

import math
import os
import re
import struct
import sys

from PIL import Image, ImageDraw

FRAME_SIZE = (177, 152)
HOLE = (35, 37, 173, 148)              # left, top, right, bottom (exclusive)
CORNER_CUT = 3                         # key triangle in each outer corner
CONTROLS = [(9, 8, 35, 19), (50, 8, 20, 19), (78, 7, 85, 21)]
GRAB_SIZE = (138, 111)

VIEW_W, VIEW_H = 594, 578
EYE = (0.0, 3.0, -3.0)
LOOK_AT = (0.0, 2.4, -1.0)
FOV_Y = 1.0471976
MODEL_POS = (0.0, 2.58, 0.0)
COVERAGE_RANGE = (0.30, 0.60)

problems = []


def fail(msg):
    problems.append(msg)


def bmp_header(path):
    """(bit count, compression) from a BMP file's info header."""
    with open(path, "rb") as f:
        head = f.read(54)
    if len(head) < 54 or head[:2] != b"BM":
        return None
    return struct.unpack_from("<H", head, 28)[0], struct.unpack_from("<I", head, 30)[0]


def check_24bit_bmp(path, size):
    hdr = bmp_header(path)
    if hdr is None:
        fail("%s: not a BMP file" % path)
        return None
    if hdr != (24, 0):
        fail("%s: %d bits per pixel, compression %d; want 24-bit BI_RGB" % ((path,) + hdr))
    img = Image.open(path)
    img.load()
    if img.size != size:
        fail("%s: size %dx%d, want %dx%d" % ((path,) + img.size + size))
        return None
    return img.convert("RGB")


# ---------------------------------------------------------------------------
def expected_key(x, y):
    w, h = FRAME_SIZE
    l, t, r, b = HOLE
    if l <= x < r and t <= y < b:
        return True
    dx, dy = min(x, w - 1 - x), min(y, h - 1 - y)
    return dx + dy < CORNER_CUT


def check_frame(folder):
    path = os.path.join(folder, "枠.bmp")
    img = check_24bit_bmp(path, FRAME_SIZE)
    if img is None:
        return
    px = img.load()
    w, h = FRAME_SIZE
    key = px[0, h - 1]
    l, t, r, b = HOLE
    if px[l, t] != key:
        fail("枠.bmp: hole pixel (%d,%d) is not the key colour %s" % (l, t, key))
    wrong = [(x, y) for y in range(h) for x in range(w)
             if (px[x, y] == key) != expected_key(x, y)]
    if wrong:
        fail("枠.bmp: %d pixels disagree with the hole/corner layout, first %s"
             % (len(wrong), wrong[:5]))
    # the ring just outside the hole must be solid, or the hole would grow
    ring = [(x, t - 1) for x in range(l - 1, r + 1)] + [(x, b) for x in range(l - 1, r + 1)]
    ring += [(l - 1, y) for y in range(t, b)] + [(r, y) for y in range(t, b)]
    if any(px[p] == key for p in ring):
        fail("枠.bmp: key colour on the ring around the hole")
    # the controls sit on a plain face
    for cx, cy, cw, ch in CONTROLS:
        colours = {px[x, y] for x in range(cx, cx + cw) for y in range(cy, cy + ch)}
        if len(colours) != 1 or key in colours:
            fail("枠.bmp: area under control at (%d,%d) is not one plain face colour" % (cx, cy))


def check_grab(folder):
    path = os.path.join(folder, "フィルター.bmp")
    img = check_24bit_bmp(path, GRAB_SIZE)
    if img is None:
        return
    # same layout as a grab writes: 54-byte header + rows padded to 4 bytes
    row = (GRAB_SIZE[0] * 3 + 3) // 4 * 4
    if os.path.getsize(path) != 54 + row * GRAB_SIZE[1]:
        fail("フィルター.bmp: file length %d, want %d"
             % (os.path.getsize(path), 54 + row * GRAB_SIZE[1]))
    if len(set(img.getdata())) < 16:
        fail("フィルター.bmp: hardly any pattern")


def check_overlay(folder):
    path = os.path.join(folder, "フィルター画像.jpg")
    img = Image.open(path)
    img.load()
    if img.format != "JPEG":
        fail("フィルター画像.jpg: format %s" % img.format)
    if img.info.get("progressive") or img.info.get("progression"):
        fail("フィルター画像.jpg: progressive JPEG")
    grey = img.convert("L")
    mean = sum(grey.getdata()) / float(img.size[0] * img.size[1])
    if mean < 180:
        fail("フィルター画像.jpg: mean brightness %.0f, want a light picture" % mean)


# ---------------------------------------------------------------------------
NUM = re.compile(r"-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?")


def block_numbers(text, name):
    """Numbers from the start of block `name` up to its first nested block."""
    m = re.search(r"\b%s\b[^{]*\{" % name, text)
    if not m:
        fail("model.x: no %s block" % name)
        return []
    body = text[m.end():]
    stop = re.search(r"[A-Za-z_]\w*\s*(?:\w+\s*)?\{|\}", body)
    return [float(v) for v in NUM.findall(body[:stop.start() if stop else len(body)])]


def take(nums, count):
    head, rest = nums[:count], nums[count:]
    if len(head) != count:
        raise ValueError("short list")
    return head, rest


def parse_faces(nums, nfaces):
    faces = []
    for _ in range(nfaces):
        (n,), nums = take(nums, 1)
        idx, nums = take(nums, int(n))
        faces.append([int(i) for i in idx])
    return faces, nums


def vectors_and_faces(nums):
    """A counted list of 3-vectors followed by a counted face list, as Mesh and MeshNormals hold."""
    (count,), nums = take(nums, 1)
    flat, nums = take(nums, 3 * int(count))
    vectors = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    (face_count,), nums = take(nums, 1)
    faces, _ = parse_faces(nums, int(face_count))
    return vectors, faces


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def project(p):
    """Left-handed look-at camera and perspective, to back-buffer pixels."""
    f = sub(LOOK_AT, EYE)
    f = tuple(c / math.sqrt(dot(f, f)) for c in f)
    r = cross((0.0, 1.0, 0.0), f)
    r = tuple(c / math.sqrt(dot(r, r)) for c in r)
    u = cross(f, r)
    d = sub(p, EYE)
    x, y, z = dot(d, r), dot(d, u), dot(d, f)
    s = 1.0 / math.tan(FOV_Y / 2)
    return ((s * x / z + 1) * VIEW_W / 2, (1 - s * y / z) * VIEW_H / 2, z)


def check_model(folder):
    path = os.path.join(folder, "model.x")
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"xof 0303txt 0032"):
        fail("model.x: header is %r" % data[:16])
    if b'"' + "フィルター.bmp".encode("cp932") + b'"' not in data:
        fail("model.x: no Shift-JIS texture name フィルター.bmp")
    try:
        data.decode("utf-8")
        fail("model.x: decodes as UTF-8; the texture name should be Shift-JIS")
    except UnicodeDecodeError:
        pass
    text = data.decode("cp932")
    if text.count("{") != text.count("}"):
        fail("model.x: unbalanced braces")
    if not re.search(r"\bFrame\b[^{]*\{\s*FrameTransformMatrix\s*\{", text):
        fail("model.x: no Frame starting with a FrameTransformMatrix")
    try:
        verts, faces = vectors_and_faces(block_numbers(text, "Mesh"))
        normals, nfaces = vectors_and_faces(block_numbers(text, "MeshNormals"))
        nv, nf, nn = len(verts), len(faces), len(normals)

        nums = block_numbers(text, "MeshTextureCoords")
        (nt,), nums = take(nums, 1)
        uv, nums = take(nums, 2 * int(nt))

        nums = block_numbers(text, "MeshMaterialList")
        (nmat, nfi), nums = take(nums, 2)
        attrs, nums = take(nums, int(nfi))
    except ValueError as e:
        fail("model.x: mesh lists too short (%s)" % e)
        return

    if any(i >= nv for f in faces for i in f) or any(len(f) < 3 for f in faces):
        fail("model.x: bad face")
        return
    if (nn != nv or [len(f) for f in nfaces] != [len(f) for f in faces]
            or any(i >= nn for f in nfaces for i in f)):
        fail("model.x: normals do not match the vertices/faces")
        return
    if nt != nv or any(not 0.0 <= c <= 1.0 for c in uv):
        fail("model.x: texture coordinates missing or outside 0..1")
    if nfi != nf or any(a != int(a) or not 0 <= a < nmat for a in attrs):
        fail("model.x: material list does not match the faces")
    if nmat < 2 or len(set(attrs)) < 2:
        fail("model.x: fewer than two materials in use")
    if len(re.findall(r"\bMaterial\s+\w*\s*\{", text)) != nmat:
        fail("model.x: %d materials announced, other number of Material blocks" % nmat)
    if not any(len(f) == 4 for f in faces):
        fail("model.x: no quad faces")

    # clockwise seen from outside: (v1 - v0) x (v2 - v0) along the normal
    for k, (f, nf_) in enumerate(zip(faces, nfaces)):
        v0, v1, v2 = verts[f[0]], verts[f[1]], verts[f[2]]
        if dot(cross(sub(v1, v0), sub(v2, v0)), normals[nf_[0]]) <= 0:
            fail("model.x: face %d is wound against its normal" % k)

    # from the default camera: on screen, filling a fair part of the view
    mask = Image.new("1", (VIEW_W, VIEW_H), 0)
    draw = ImageDraw.Draw(mask)
    drawn = 0
    for f in faces:
        pts = [project(tuple(a + b for a, b in zip(verts[i], MODEL_POS))) for i in f]
        if any(z <= 0.01 for _, _, z in pts):
            fail("model.x: part of the model lies behind the near plane")
            return
        area2 = sum(pts[i][0] * pts[(i + 1) % len(pts)][1] - pts[(i + 1) % len(pts)][0] * pts[i][1]
                    for i in range(len(pts)))
        if area2 > 0:
            drawn += 1
            draw.polygon([(x, y) for x, y, _ in pts], fill=1)
    if any(not (0 <= x < VIEW_W and 0 <= y < VIEW_H)
           for x, y, _ in (project(tuple(a + b for a, b in zip(v, MODEL_POS))) for v in verts)):
        fail("model.x: the model reaches outside the default view")
    cover = sum(1 for v in mask.getdata() if v) / float(VIEW_W * VIEW_H)
    if not COVERAGE_RANGE[0] <= cover <= COVERAGE_RANGE[1]:
        fail("model.x: covers %.1f%% of the view" % (100 * cover))
    print("model.x: %d vertices, %d faces, %d materials, %d faces toward the camera, "
          "%.1f%% of the view" % (nv, nf, nmat, drawn, 100 * cover))


def main(argv):
    folder = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for check in (check_frame, check_grab, check_overlay, check_model):
        try:
            check(folder)
        except (OSError, ValueError) as e:     # missing or unreadable file
            fail("%s: %s" % (check.__name__, e))
    for p in problems:
        print("FAIL " + p)
    if problems:
        return 1
    print("all assets OK")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
