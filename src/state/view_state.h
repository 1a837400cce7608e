#pragma once
// What the viewer shows: the overlay rectangle, the light, the model and the camera. The key
// poll changes these values and the frame draws them. Widths and signedness are part of the
// behaviour: 16-bit fields keep only the low 16 bits of every result stored into them (C++20
// conversion to a narrower integer is modular).
#include <cstdint>

#include "base/vec3.h"

namespace state {

// The back buffer is the viewer's client area: one back-buffer pixel is one screen pixel.
inline constexpr std::int32_t kBackBufferWidth = 594;
inline constexpr std::int32_t kBackBufferHeight = 578;

struct ViewState {
    // Overlay rectangle, in viewer client pixels.
    std::int16_t overlayX = 20;
    std::int16_t overlayY = 20;
    std::uint16_t overlayWidth = 50;
    std::uint16_t overlayHeight = 50;
    std::uint16_t overlayRed = 250;
    std::uint16_t overlayGreen = 250;
    std::uint16_t overlayBlue = 250;
    std::uint16_t overlayAlpha = 200;

    // Ambient light.
    float ambientRed = 0.99f;
    float ambientGreen = 0.99f;
    float ambientBlue = 0.99f;
    std::uint16_t ambientRedPercent = 99;
    std::uint16_t ambientGreenPercent = 99;
    std::uint16_t ambientBluePercent = 99;

    // Model and camera; angles in radians.
    base::Vec3 modelPosition{0.0f, 2.58f, 0.0f};
    base::Vec3 modelRotation{0.0f, 0.0f, 0.0f};
    base::Vec3 eyePosition{0.0f, 3.0f, -3.0f};
    float yaw = 0.0f;
    float lookHeight = 2.4f;
    base::Vec3 lookAtPoint{0.0f, 6.0f, 0.0f};

    // Per-pass steps: reset by every key poll, used by the same pass's frame.
    float modelSpinX = 0.0f;
    float modelSpinY = 0.0f;
    float modelSpinZ = 0.0f;
    float modelWalkStep = 0.0f;
    float eyeWalkStep = 0.0f;

    std::int32_t backBufferWidth = kBackBufferWidth;
    std::int32_t backBufferHeight = kBackBufferHeight;

    friend bool operator==(const ViewState&, const ViewState&) = default;
};

}  // namespace state
