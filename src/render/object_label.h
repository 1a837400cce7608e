#pragma once
// Where the grab-textured part of the model shows inside a saved cut of the viewer: the label a
// capture's record holds. The corners go through World * View * Projection as Direct3D 9 takes
// row vectors, and the viewport is the whole back buffer. What the label does not know:
// - occlusion: other parts of the model in front of the textured triangles are ignored, so the
//   label covers where the triangles project, seen or hidden;
// - concavity: the outline is the convex hull of the projected triangles, gaps included.
#include <array>
#include <cstdint>
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

// The grab-textured triangles of a model, made ready once per load for the labels of its
// captures: each run of triangles the label looks at together (a chunk) keeps its model-space
// box and its distinct corners, so that a capture neither reads every corner to bound the chunks
// nor projects a corner shared by six triangles six times.
class LabelShape {
public:
    LabelShape() = default;
    // Three corners per triangle; a last incomplete triangle is dropped.
    explicit LabelShape(std::vector<std::array<float, 3>> corners);

    std::span<const std::array<float, 3>> corners() const { return corners_; }
    bool empty() const { return corners_.empty(); }

private:
    friend ObjectLabel labelObject(const LabelShape&, const base::Matrix&, const base::Matrix&,
                                   const base::Matrix&, int, int, const base::Rect&);
    std::vector<std::array<float, 3>> corners_;
    std::vector<float> boxes_;                   // per chunk: its lowest x y z, then its highest
    std::vector<std::array<float, 3>> points_;   // per chunk: its distinct corners, whole triples
    std::vector<std::uint32_t> pointStarts_;     // chunk i's points begin at pointStarts_[i]
    std::vector<std::array<float, 3>> samples_;  // a sparse sample of the corners, side by side
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
// The same from a shape made ready beforehand: what a capture uses.
ObjectLabel labelObject(const LabelShape& shape, const base::Matrix& world, const base::Matrix& view,
                        const base::Matrix& projection, int backBufferWidth, int backBufferHeight,
                        const base::Rect& cut);

}  // namespace render
