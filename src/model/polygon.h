#pragma once
// Polygons into triangles that cover exactly the polygon, concave ones included.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace model {

// Appends to `out` three corner numbers (0 .. corners.size()-1) per triangle, each triangle
// turning the way the polygon does. Simple polygons are split by ear clipping in the plane
// they lie in; self-crossing, flat or very large ones (more than kMaxClippedCorners corners),
// and any whose clipping takes too long, fall back to a fan for what is left, so that a hostile
// file costs time in proportion to its size.
inline constexpr std::size_t kMaxClippedCorners = 128;
void triangulatePolygon(std::span<const std::array<float, 3>> corners, std::vector<std::uint32_t>& out);

}  // namespace model
