#pragma once
#include <cmath>

namespace base {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    friend bool operator==(const Vec3&, const Vec3&) = default;
};

// A step along a heading on the ground plane (angle from +z towards +x): the product and the
// sum are taken in double and stored back as float, so both walks round alike.
inline void moveAlong(Vec3& position, float step, double angle) {
    position.x = static_cast<float>(position.x + step * std::sin(angle));
    position.z = static_cast<float>(position.z + step * std::cos(angle));
}

}  // namespace base
