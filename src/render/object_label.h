#pragma once
// Where the grab-textured part of the model shows inside a saved cut of the viewer: the label a
// capture's record holds. The corners go through World * View * Projection as Direct3D 9 takes
// row vectors, and the viewport is the whole back buffer. What the label does not know:
// - occlusion: other parts of the model in front of the textured triangles are ignored, so the
//   label covers where the triangles project, seen or hidden;
// - concavity: the outline is the convex hull of the projected triangles, gaps included.
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "base/geometry.h"
#include "base/matrix.h"

namespace render {

struct ObjectLabel {
    std::optional<std::array<int, 4>> box;       // [x, y, width, height] in the cut's pixels, or nothing
    std::vector<std::array<double, 2>> polygon;  // convex outline in the cut's pixels; empty with no box
};

// `corners`: model-space positions, three per triangle (a last incomplete triangle is ignored), of
// the triangles that wear the grab texture. `cut` is the saved rectangle in back-buffer (viewer
// client) pixels; the label is in the cut's own pixels, its origin at the cut's top-left.
//
// Triangles are clipped as Direct3D clips them in depth, to 0 <= z <= w: a triangle partly behind
// the camera keeps its visible part, one wholly behind it (or past the far plane) is ignored, and
// no point with w <= 0 is ever divided. The convex hull of the projected points is clipped to the
// cut and to the back buffer (the device draws nothing outside it, while a cut may reach past the
// viewer's edge); the polygon lists that outline's vertices clockwise as seen on the screen, and
// the box bounds it (floor of the minima, ceiling of the maxima). No box and no polygon when the
// outline is empty or has no area.
ObjectLabel labelObject(std::span<const std::array<float, 3>> corners, const base::Matrix& world,
                        const base::Matrix& view, const base::Matrix& projection, int backBufferWidth,
                        int backBufferHeight, const base::Rect& cut);

}  // namespace render
