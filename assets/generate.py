#!/usr/bin/env python3
"""Generate nukitori's sample input files.

Writes model.x (also as model.glb and model.obj with model.mtl), フィルター画像.jpg,
フィルター.bmp and 枠.bmp (and the icon) into the folder
given as the first argument, or next to this script when none is given.
Needs Python 3 and Pillow only; the output is deterministic.
"""

import math
import os
import sys

from PIL import Image, ImageDraw

# --- names (the program opens them by their Shift-JIS bytes) ---------------
MODEL_NAME = "model.x"
OVERLAY_NAME = "フィルター画像.jpg"
GRAB_NAME = "フィルター.bmp"
FRAME_NAME = "枠.bmp"

# --- viewer set-up the model is sized for --------------------------------
VIEW_W, VIEW_H = 594, 578
EYE = (0.0, 3.0, -3.0)
LOOK_AT = (0.0, 2.4, -1.0)
FOV_Y = 1.0471976
ASPECT = 1.0
MODEL_POS = (0.0, 2.58, 0.0)

# --- capture frame geometry ---------------------------------------------------
FRAME_W, FRAME_H = 177, 152
HOLE = (35, 37, 173, 148)          # left, top, right, bottom (exclusive)
CORNER_CUT = 3                     # outer corners: pixels with dx + dy < 3 are key
KEY = (255, 0, 255)
FACE = (70, 90, 120)
EDGE_LIGHT = (225, 232, 242)
EDGE_DARK = (28, 36, 52)

GRAB_W, GRAB_H = HOLE[2] - HOLE[0], HOLE[3] - HOLE[1]   # 138 x 111


# ===========================================================================
# small vector helpers
def add(a, b):
    return tuple(x + y for x, y in zip(a, b))


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def scale(a, s):
    return tuple(x * s for x in a)


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1],
            a[2] * b[0] - a[0] * b[2],
            a[0] * b[1] - a[1] * b[0])


def normalize(a):
    n = math.sqrt(dot(a, a))
    return scale(a, 1.0 / n)


# ===========================================================================
# model
class MeshBuilder:
    def __init__(self):
        self.positions = []
        self.normals = []
        self.uvs = []
        self.faces = []       # tuples of vertex indices
        self.material = []    # material index per face

    def quad(self, centre, normal, up, half_w, half_h, material, as_triangles=False):
        """Add one rectangle seen from outside with `up` pointing up.

        right = normal x up makes TL, TR, BR, BL clockwise for a viewer
        outside (Direct3D's default front face in a left-handed frame).
        """
        right = cross(normal, up)
        corners = [
            (add(add(centre, scale(right, -half_w)), scale(up, half_h)), (0.0, 0.0)),
            (add(add(centre, scale(right, half_w)), scale(up, half_h)), (1.0, 0.0)),
            (add(add(centre, scale(right, half_w)), scale(up, -half_h)), (1.0, 1.0)),
            (add(add(centre, scale(right, -half_w)), scale(up, -half_h)), (0.0, 1.0)),
        ]
        base = len(self.positions)
        for pos, uv in corners:
            self.positions.append(pos)
            self.normals.append(normal)
            self.uvs.append(uv)
        # the winding rule: (v1 - v0) x (v2 - v0) must point outwards
        p = self.positions
        assert dot(cross(sub(p[base + 1], p[base]), sub(p[base + 2], p[base])), normal) > 0
        if as_triangles:
            self.faces += [(base, base + 1, base + 2), (base, base + 2, base + 3)]
            self.material += [material, material]
        else:
            self.faces.append((base, base + 1, base + 2, base + 3))
            self.material.append(material)

    def box(self, lo, hi, materials, triangle_sides=()):
        """Axis-aligned box; `materials` maps side name -> material index."""
        c = scale(add(lo, hi), 0.5)
        h = scale(sub(hi, lo), 0.5)
        sides = [
            ("front", (0, 0, -1), (0, 1, 0), h[0], h[1], (c[0], c[1], lo[2])),
            ("back", (0, 0, 1), (0, 1, 0), h[0], h[1], (c[0], c[1], hi[2])),
            ("left", (-1, 0, 0), (0, 1, 0), h[2], h[1], (lo[0], c[1], c[2])),
            ("right", (1, 0, 0), (0, 1, 0), h[2], h[1], (hi[0], c[1], c[2])),
            ("top", (0, 1, 0), (0, 0, 1), h[0], h[2], (c[0], hi[1], c[2])),
            ("bottom", (0, -1, 0), (0, 0, -1), h[0], h[2], (c[0], lo[1], c[2])),
        ]
        for name, n, up, hw, hh, centre in sides:
            self.quad(centre, n, up, hw, hh, materials[name], name in triangle_sides)


# Material: name, diffuse rgba, power, specular rgb, emissive rgb, texture
MATERIALS = [
    ("Picture", (1.0, 1.0, 1.0, 1.0), 20.0, (0.30, 0.30, 0.30), (0.0, 0.0, 0.0), GRAB_NAME),
    ("Orange", (1.0, 0.55, 0.15, 1.0), 20.0, (0.50, 0.50, 0.50), (0.0, 0.0, 0.0), None),
    ("Slate", (0.35, 0.42, 0.55, 1.0), 10.0, (0.20, 0.20, 0.20), (0.0, 0.0, 0.0), None),
]


def build_model():
    """A display stand: a picture panel (textured front) on an orange pedestal.

    The pedestal's top lies below the eye, so its lit top shows from the
    default camera; the panel's top is above the eye and stays hidden.
    """
    m = MeshBuilder()
    base = {side: 1 for side in ("front", "back", "left", "right", "top", "bottom")}
    # the pedestal's underside as two triangles, to exercise 3-index faces
    m.box((-1.00, -1.05, -0.75), (1.00, -0.65, 0.75), base, triangle_sides=("bottom",))
    panel = {"front": 0, "back": 2, "left": 2, "right": 2, "top": 2, "bottom": 2}
    m.box((-0.85, -0.65, -0.12), (0.85, 0.70, 0.12), panel)
    return m


def fmt(v):
    return "%.6f" % v


def model_bytes(m):
    out = []
    w = out.append
    w(b"xof 0303txt 0032\n\n")
    w(b"Frame Stand {\n")
    w(b"  FrameTransformMatrix {\n")
    ident = [[1.0 if r == c else 0.0 for c in range(4)] for r in range(4)]
    rows = [",".join(fmt(x) for x in row) for row in ident]
    w(("    " + ",\n    ".join(rows) + ";;\n").encode("ascii"))
    w(b"  }\n\n")
    w(b"  Mesh StandMesh {\n")

    def vec_list(items, indent):
        lines = [indent + ";".join(fmt(x) for x in it) + ";" for it in items]
        return (",\n".join(lines) + ";\n").encode("ascii")

    def face_list(faces, indent):
        lines = ["%s%d;%s;" % (indent, len(f), ",".join(str(i) for i in f)) for f in faces]
        return (",\n".join(lines) + ";\n").encode("ascii")

    w(("    %d;\n" % len(m.positions)).encode("ascii"))
    w(vec_list(m.positions, "    "))
    w(("    %d;\n" % len(m.faces)).encode("ascii"))
    w(face_list(m.faces, "    "))

    w(b"\n    MeshNormals {\n")
    w(("      %d;\n" % len(m.normals)).encode("ascii"))
    w(vec_list([tuple(float(x) for x in n) for n in m.normals], "      "))
    w(("      %d;\n" % len(m.faces)).encode("ascii"))
    w(face_list(m.faces, "      "))
    w(b"    }\n")

    w(b"\n    MeshTextureCoords {\n")
    w(("      %d;\n" % len(m.uvs)).encode("ascii"))
    w(vec_list(m.uvs, "      "))
    w(b"    }\n")

    w(b"\n    MeshMaterialList {\n")
    w(("      %d;\n" % len(MATERIALS)).encode("ascii"))
    w(("      %d;\n" % len(m.material)).encode("ascii"))
    w((",\n".join("      %d" % i for i in m.material) + ";\n").encode("ascii"))
    for name, diff, power, specular, emis, tex in MATERIALS:
        w(("\n      Material %s {\n" % name).encode("ascii"))
        w(("        " + ";".join(fmt(x) for x in diff) + ";;\n").encode("ascii"))
        w(("        %s;\n" % fmt(power)).encode("ascii"))
        w(("        " + ";".join(fmt(x) for x in specular) + ";;\n").encode("ascii"))
        w(("        " + ";".join(fmt(x) for x in emis) + ";;\n").encode("ascii"))
        if tex is not None:
            # older tools store texture names in the ANSI code page (Shift-JIS)
            w(b"        TextureFilename {\n          \"" + tex.encode("cp932") + b"\";\n        }\n")
        w(b"      }\n")
    w(b"    }\n")
    w(b"  }\n")
    w(b"}\n")
    return b"".join(out)


# ---------------------------------------------------------------------------
# the same model as glTF (binary) and OBJ, for the readers' tests: both formats are
# right-handed, so z turns round and so does every face's winding
GLB_NAME = "model.glb"
OBJ_NAME = "model.obj"
MTL_NAME = "model.mtl"


def right_handed(v):
    return (v[0], v[1], -v[2])


def triangles_of(face):
    return [(face[0], face[i], face[i + 1]) for i in range(1, len(face) - 1)]


def glb_bytes(m):
    """One mesh with a primitive per material, placed by two nodes whose moves cancel out."""
    import json
    import struct

    def pad(data, filler=b"\0"):
        return data + filler * (-len(data) % 4)

    blob = bytearray()
    views, accessors = [], []

    def add_view(data, target):
        views.append({"buffer": 0, "byteOffset": len(blob), "byteLength": len(data), "target": target})
        blob.extend(pad(data))
        return len(views) - 1

    def add_floats(items, kind):
        data = b"".join(struct.pack("<%df" % len(it), *it) for it in items)
        accessor = {"bufferView": add_view(data, 34962), "componentType": 5126, "count": len(items), "type": kind}
        if kind == "VEC3":
            accessor["min"] = [min(it[k] for it in items) for k in range(3)]
            accessor["max"] = [max(it[k] for it in items) for k in range(3)]
        accessors.append(accessor)
        return len(accessors) - 1

    attributes = {
        "POSITION": add_floats([right_handed(p) for p in m.positions], "VEC3"),
        "NORMAL": add_floats([right_handed(tuple(float(x) for x in n)) for n in m.normals], "VEC3"),
        "TEXCOORD_0": add_floats(m.uvs, "VEC2"),
    }
    primitives = []
    for material in range(len(MATERIALS)):
        indices = []
        for face, used in zip(m.faces, m.material):
            if used == material:
                for a, b, c in triangles_of(face):
                    indices += [a, c, b]
        data = struct.pack("<%dH" % len(indices), *indices)
        accessors.append({"bufferView": add_view(data, 34963), "componentType": 5123,
                          "count": len(indices), "type": "SCALAR"})
        primitives.append({"attributes": attributes, "indices": len(accessors) - 1, "material": material})

    materials = []
    for name, diffuse, _power, _specular, emissive, texture in MATERIALS:
        material = {"name": name, "pbrMetallicRoughness": {"baseColorFactor": list(diffuse),
                                                           "metallicFactor": 0.0}}
        if any(emissive):
            material["emissiveFactor"] = list(emissive)
        if texture is not None:
            material["pbrMetallicRoughness"]["baseColorTexture"] = {"index": 0}
        materials.append(material)
    from urllib.parse import quote
    document = {
        "asset": {"version": "2.0", "generator": "nukitori assets/generate.py"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "Stand", "translation": [0.0, 1.0, 0.0], "children": [1]},
                  {"name": "StandMesh", "translation": [0.0, -1.0, 0.0], "mesh": 0}],
        "meshes": [{"name": "StandMesh", "primitives": primitives}],
        "materials": materials,
        "textures": [{"source": 0}],
        "images": [{"uri": quote(GRAB_NAME)}],
        "accessors": accessors,
        "bufferViews": views,
        "buffers": [{"byteLength": len(blob)}],
    }
    text = pad(json.dumps(document, separators=(",", ":")).encode("utf-8"), b" ")
    binary = pad(bytes(blob))
    total = 12 + 8 + len(text) + 8 + len(binary)
    return (b"glTF" + struct.pack("<II", 2, total) + struct.pack("<I", len(text)) + b"JSON" + text
            + struct.pack("<I", len(binary)) + b"BIN\0" + binary)


def obj_files(m):
    """The OBJ (faces as the X file has them, quads included) and its material library."""
    obj = ["# nukitori's sample model: a display stand", "mtllib " + MTL_NAME, "o Stand"]
    obj += ["v %s %s %s" % tuple(fmt(x) for x in right_handed(p)) for p in m.positions]
    # OBJ's pictures start at the bottom.
    obj += ["vt %s %s" % (fmt(u), fmt(1.0 - v)) for u, v in m.uvs]
    obj += ["vn %s %s %s" % tuple(fmt(float(x)) for x in right_handed(n)) for n in m.normals]
    current = None
    for face, material in zip(m.faces, m.material):
        if material != current:
            obj.append("usemtl " + MATERIALS[material][0])
            current = material
        obj.append("f " + " ".join("%d/%d/%d" % (i + 1, i + 1, i + 1) for i in reversed(face)))
    mtl = ["# materials of " + OBJ_NAME]
    for name, diffuse, power, specular, emissive, texture in MATERIALS:
        mtl += ["", "newmtl " + name,
                "Kd %s %s %s" % tuple(fmt(x) for x in diffuse[:3]),
                "d %s" % fmt(diffuse[3]),
                "Ks %s %s %s" % tuple(fmt(x) for x in specular),
                "Ke %s %s %s" % tuple(fmt(x) for x in emissive),
                "Ns %s" % fmt(power)]
        if texture is not None:
            mtl.append("map_Kd " + texture)
    return ("\n".join(obj) + "\n").encode("utf-8"), ("\n".join(mtl) + "\n").encode("utf-8")


# ---------------------------------------------------------------------------
# projection with the viewer's camera (LookAtLH + PerspectiveFovLH)
def camera_project(p):
    """World point -> (screen x, screen y, view depth)."""
    zaxis = normalize(sub(LOOK_AT, EYE))
    xaxis = normalize(cross((0.0, 1.0, 0.0), zaxis))
    yaxis = cross(zaxis, xaxis)
    d = sub(p, EYE)
    vx, vy, vz = dot(d, xaxis), dot(d, yaxis), dot(d, zaxis)
    ys = 1.0 / math.tan(FOV_Y / 2.0)
    xs = ys / ASPECT
    nx, ny = xs * vx / vz, ys * vy / vz
    return ((nx + 1.0) * 0.5 * VIEW_W, (1.0 - ny) * 0.5 * VIEW_H, vz)


def view_coverage(positions, faces):
    """Fraction of the back buffer covered by the camera-facing faces.

    Faces are culled as Direct3D does by default: counter-clockwise on
    screen (y down) means back-facing.
    """
    mask = Image.new("1", (VIEW_W, VIEW_H), 0)
    draw = ImageDraw.Draw(mask)
    front = 0
    for f in faces:
        pts = [camera_project(add(positions[i], MODEL_POS)) for i in f]
        if any(z <= 0.01 for _, _, z in pts):
            raise ValueError("model reaches behind the near plane")
        area2 = sum(pts[k][0] * pts[(k + 1) % len(pts)][1] - pts[(k + 1) % len(pts)][0] * pts[k][1]
                    for k in range(len(pts)))
        if area2 > 0:      # clockwise on screen: drawn
            front += 1
            draw.polygon([(x, y) for x, y, _ in pts], fill=1)
    covered = sum(1 for v in mask.getdata() if v)
    return covered / float(VIEW_W * VIEW_H), front


# ===========================================================================
# images
def make_frame():
    """Outline of the capture frame; magenta marks what is cut away."""
    l, t, r, b = HOLE
    img = Image.new("RGB", (FRAME_W, FRAME_H), FACE)
    px = img.load()

    def outer_cut(x, y):
        dx = min(x, FRAME_W - 1 - x)
        dy = min(y, FRAME_H - 1 - y)
        return dx + dy < CORNER_CUT and dx < CORNER_CUT and dy < CORNER_CUT

    def in_hole(x, y):
        return l <= x < r and t <= y < b

    def solid(x, y):
        return 0 <= x < FRAME_W and 0 <= y < FRAME_H and not outer_cut(x, y) and not in_hole(x, y)

    for y in range(FRAME_H):
        for x in range(FRAME_W):
            if not solid(x, y):
                px[x, y] = KEY
                continue
            # distance (in 8-neighbour steps) to the hole edge
            hx = max(l - 1 - x, x - r, 0)
            hy = max(t - 1 - y, y - b, 0)
            hole_ring = max(hx, hy) + 1
            # outer outline follows the cut corners too
            rim = any(not solid(x + ddx, y + ddy) and not in_hole(x + ddx, y + ddy)
                      for ddx, ddy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if rim:
                px[x, y] = EDGE_LIGHT
            elif hole_ring == 1:
                px[x, y] = EDGE_LIGHT
            elif hole_ring == 2:
                px[x, y] = EDGE_DARK
    # the bottom-left pixel carries the key; make sure the cut kept it so
    assert px[0, FRAME_H - 1] == KEY
    return img


def make_grab_texture():
    """Stand-in for the first grab: gradient, grid and corner markers."""
    img = Image.new("RGB", (GRAB_W, GRAB_H))
    px = img.load()
    for y in range(GRAB_H):
        for x in range(GRAB_W):
            r = 60 + int(180 * x / (GRAB_W - 1))
            g = 70 + int(150 * y / (GRAB_H - 1))
            bl = 200 - int(120 * x / (GRAB_W - 1))
            if x % 23 == 0 or y % 22 == 0:
                r, g, bl = (r + 255) // 2, (g + 255) // 2, (bl + 255) // 2
            px[x, y] = (r, g, bl)
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, GRAB_W - 1, GRAB_H - 1), outline=(255, 255, 255))
    # asymmetric markers so a mirrored or flipped texture is easy to spot
    d.rectangle((4, 4, 17, 17), fill=(255, 255, 255))
    d.rectangle((GRAB_W - 12, GRAB_H - 12, GRAB_W - 5, GRAB_H - 5), fill=(20, 20, 20))
    d.polygon([(GRAB_W // 2 - 10, 30), (GRAB_W // 2 + 10, 30), (GRAB_W // 2, 14)],
              fill=(255, 240, 80))
    return img


def make_overlay_texture():
    """Light stripes and a frame line; the overlay's tint multiplies it."""
    size = 128
    img = Image.new("RGB", (size, size), (246, 246, 246))
    px = img.load()
    for y in range(size):
        for x in range(size):
            if (x + y) % 16 < 5:
                px[x, y] = (214, 222, 232)
            elif ((x // 32) + (y // 32)) % 2 == 0:
                px[x, y] = (236, 238, 242)
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, size - 1, size - 1), outline=(170, 180, 196), width=3)
    d.rectangle((6, 6, size - 7, size - 7), outline=(200, 206, 216), width=1)
    return img


# ===========================================================================
# icon: the capture frame with its hole over a picture, as a PNG for menus and as SVG
ICON_PNG_NAME = "nukitori.png"
ICON_SVG_NAME = "nukitori.svg"
ICON_SIZE = 256
ICON_SUPERSAMPLE = 4                      # the PNG is drawn larger, then scaled down smoothly
ICON_PICTURE = (16, 16, 240, 240)         # left, top, right, bottom; corners rounded
ICON_PICTURE_RADIUS = 28
ICON_SKY = ((92, 172, 230), (206, 236, 250))  # top and bottom of the sky
ICON_SUN = (124, 136, 16, (255, 214, 90))     # centre x, y, radius, colour: seen through the hole
ICON_HILLS = (
    ([(16, 186), (70, 144), (122, 176), (178, 132), (240, 178), (240, 240), (16, 240)], (96, 168, 100)),
    ([(16, 214), (104, 180), (240, 220), (240, 240), (16, 240)], (56, 124, 72)),
)
ICON_FRAME = (36, 60, 220, 224)           # outer edge of the frame
ICON_FRAME_RADIUS = 8
ICON_HOLE = (78, 104, 206, 210)           # the hole: wide bands left and top, as on 枠.bmp
ICON_SHADOW = (6, 6, 70)                  # offset x, y and alpha of the frame's shadow
ICON_BUTTONS = ((46, 70, 70, 92), (78, 70, 102, 92))
ICON_EDIT_BOX = (110, 72, 208, 90)
ICON_EDIT_COLOUR = (250, 250, 252)


def icon_hole_rings():
    """The rings around the hole, outermost first: dark, then light next to the hole."""
    l, t, r, b = ICON_HOLE
    return (((l - 6, t - 6, r + 6, b + 6), EDGE_DARK), ((l - 3, t - 3, r + 3, b + 3), EDGE_LIGHT))


def make_icon():
    s = ICON_SUPERSAMPLE
    size = ICON_SIZE * s

    def box(b, dx=0, dy=0):
        return [(b[0] + dx) * s, (b[1] + dy) * s, (b[2] + dx) * s - 1, (b[3] + dy) * s - 1]

    picture = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(picture)
    l, t, r, b = ICON_PICTURE
    (r0, g0, b0), (r1, g1, b1) = ICON_SKY
    for y in range(t * s, b * s):
        f = (y - t * s) / float((b - t) * s - 1)
        d.line([(l * s, y), (r * s - 1, y)],
               fill=(round(r0 + (r1 - r0) * f), round(g0 + (g1 - g0) * f), round(b0 + (b1 - b0) * f), 255))
    cx, cy, radius, colour = ICON_SUN
    d.ellipse([(cx - radius) * s, (cy - radius) * s, (cx + radius) * s - 1, (cy + radius) * s - 1], fill=colour)
    for points, colour in ICON_HILLS:
        d.polygon([(x * s, y * s) for x, y in points], fill=colour)
    mask = Image.new("L", (size, size), 0)
    ImageDraw.Draw(mask).rounded_rectangle(box(ICON_PICTURE), ICON_PICTURE_RADIUS * s, fill=255)
    icon = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    icon.paste(picture, (0, 0), mask)

    # Drawing with a transparent fill replaces pixels, so the hole is cut out of each layer.
    dx, dy, alpha = ICON_SHADOW
    shadow = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(shadow)
    d.rounded_rectangle(box(ICON_FRAME, dx, dy), ICON_FRAME_RADIUS * s, fill=(0, 0, 0, alpha))
    d.rectangle(box(ICON_HOLE, dx, dy), fill=(0, 0, 0, 0))
    icon.alpha_composite(shadow)

    frame = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(frame)
    d.rounded_rectangle(box(ICON_FRAME), ICON_FRAME_RADIUS * s, fill=FACE + (255,),
                        outline=EDGE_LIGHT + (255,), width=3 * s)
    for ring, colour in icon_hole_rings():
        d.rectangle(box(ring), fill=colour + (255,))
    d.rectangle(box(ICON_HOLE), fill=(0, 0, 0, 0))
    for button in ICON_BUTTONS:
        d.rectangle(box(button), fill=EDGE_LIGHT + (255,), outline=EDGE_DARK + (255,), width=s)
    d.rectangle(box(ICON_EDIT_BOX), fill=ICON_EDIT_COLOUR + (255,), outline=EDGE_DARK + (255,), width=s)
    icon.alpha_composite(frame)

    # Scaled with premultiplied alpha, so that edges against transparency do not darken.
    lanczos = getattr(Image, "Resampling", Image).LANCZOS
    return icon.convert("RGBa").resize((ICON_SIZE, ICON_SIZE), lanczos).convert("RGBA")


def icon_svg():
    """The same drawing as make_icon, in SVG."""
    def hexc(c):
        return "#%02x%02x%02x" % c

    def rect(b, **attrs):
        extra = "".join(' %s="%s"' % (k.replace("_", "-"), v) for k, v in attrs.items())
        return '<rect x="%g" y="%g" width="%g" height="%g"%s/>' % (b[0], b[1], b[2] - b[0], b[3] - b[1], extra)

    def rect_path(b):
        return "M%g %gH%gV%gH%gZ" % (b[0], b[1], b[2], b[3], b[0])

    def rounded_path(b, r):
        l, t, rt, bt = b
        return ("M%g %gH%gA%g %g 0 0 1 %g %gV%gA%g %g 0 0 1 %g %gH%gA%g %g 0 0 1 %g %gV%gA%g %g 0 0 1 %g %gZ"
                % (l + r, t, rt - r, r, r, rt, t + r, bt - r, r, r, rt - r, bt, l + r, r, r, l, bt - r,
                   t + r, r, r, l + r, t))

    def ring(outer, inner, colour):
        return '<path fill-rule="evenodd" fill="%s" d="%s%s"/>' % (hexc(colour), rect_path(outer), rect_path(inner))

    l, t, r, b = ICON_PICTURE
    cx, cy, radius, sun = ICON_SUN
    dx, dy, alpha = ICON_SHADOW
    outline = 1.5  # half the outline's width: an SVG stroke is centred on its path
    lines = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
        % (ICON_SIZE, ICON_SIZE, ICON_SIZE, ICON_SIZE),
        '  <title>nukitori</title>',
        '  <defs>',
        '    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">',
        '      <stop offset="0" stop-color="%s"/>' % hexc(ICON_SKY[0]),
        '      <stop offset="1" stop-color="%s"/>' % hexc(ICON_SKY[1]),
        '    </linearGradient>',
        '    <clipPath id="picture">%s</clipPath>' % rect(ICON_PICTURE, rx=ICON_PICTURE_RADIUS),
        '  </defs>',
        '  <g clip-path="url(#picture)">',
        '    %s' % rect(ICON_PICTURE, fill="url(#sky)"),
        '    <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (cx, cy, radius, hexc(sun)),
    ]
    for points, colour in ICON_HILLS:
        lines.append('    <polygon fill="%s" points="%s"/>'
                     % (hexc(colour), " ".join("%g,%g" % p for p in points)))
    lines.append('  </g>')
    shadow = tuple(v + o for v, o in zip(ICON_FRAME, (dx, dy, dx, dy)))
    hole = tuple(v + o for v, o in zip(ICON_HOLE, (dx, dy, dx, dy)))
    lines.append('  <path fill-rule="evenodd" fill="#000000" fill-opacity="%.3f" d="%s%s"/>'
                 % (alpha / 255.0, rounded_path(shadow, ICON_FRAME_RADIUS), rect_path(hole)))
    lines.append('  <path fill-rule="evenodd" fill="%s" d="%s%s"/>'
                 % (hexc(FACE), rounded_path(ICON_FRAME, ICON_FRAME_RADIUS), rect_path(ICON_HOLE)))
    inset = tuple(v + o for v, o in zip(ICON_FRAME, (outline, outline, -outline, -outline)))
    lines.append('  %s' % rect(inset, rx=ICON_FRAME_RADIUS - outline, fill="none",
                               stroke=hexc(EDGE_LIGHT), stroke_width=2 * outline))
    rings = [ring_box for ring_box, _ in icon_hole_rings()] + [ICON_HOLE]
    for (outer, colour), inner in zip(icon_hole_rings(), rings[1:]):
        lines.append('  %s' % ring(outer, inner, colour))
    for button in ICON_BUTTONS:
        lines.append('  %s' % rect(tuple(v + o for v, o in zip(button, (0.5, 0.5, -0.5, -0.5))),
                                   fill=hexc(EDGE_LIGHT), stroke=hexc(EDGE_DARK), stroke_width=1))
    lines.append('  %s' % rect(tuple(v + o for v, o in zip(ICON_EDIT_BOX, (0.5, 0.5, -0.5, -0.5))),
                               fill=hexc(ICON_EDIT_COLOUR), stroke=hexc(EDGE_DARK), stroke_width=1))
    lines.append('</svg>')
    return "\n".join(lines) + "\n"


# ===========================================================================
def main(argv):
    out_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out_dir, exist_ok=True)

    model = build_model()
    data = model_bytes(model)
    with open(os.path.join(out_dir, MODEL_NAME), "wb") as f:
        f.write(data)
    coverage, front = view_coverage(model.positions, model.faces)
    obj, mtl = obj_files(model)
    for name, content in ((GLB_NAME, glb_bytes(model)), (OBJ_NAME, obj), (MTL_NAME, mtl)):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(content)

    make_overlay_texture().save(os.path.join(out_dir, OVERLAY_NAME), "JPEG", quality=90)
    make_grab_texture().save(os.path.join(out_dir, GRAB_NAME), "BMP")
    make_frame().save(os.path.join(out_dir, FRAME_NAME), "BMP")
    make_icon().save(os.path.join(out_dir, ICON_PNG_NAME), "PNG", optimize=True)
    with open(os.path.join(out_dir, ICON_SVG_NAME), "w", encoding="utf-8", newline="\n") as f:
        f.write(icon_svg())

    print("wrote %s: %d vertices, %d faces, %d materials; %d faces drawn, %.1f%% of the view"
          % (MODEL_NAME, len(model.positions), len(model.faces), len(MATERIALS),
             front, 100.0 * coverage))
    for name in (GLB_NAME, OBJ_NAME, MTL_NAME, OVERLAY_NAME, GRAB_NAME, FRAME_NAME, ICON_PNG_NAME, ICON_SVG_NAME):
        print("wrote %s" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
