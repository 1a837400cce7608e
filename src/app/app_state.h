#pragma once
// The process-wide state of nukitori: every value the keys, the grabs and the frame change.
// Widths and signedness are part of the behaviour: 16-bit fields keep only the low 16 bits
// of every result stored into them (C++20 conversion to a narrower integer is modular).
#include <cstdint>
#include <string>

namespace app {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct AppState {
    // File naming and model source.
    std::uint16_t numberedSave = 0;
    std::int32_t saveCounter = 0;
    std::string filePrefix;  // last prefix read from the frame's edit box
    std::string modelPath = "model.x";

    // What the viewer reports about the last numbered file (the number actually used may
    // differ from saveCounter - 1 because an existing file is never replaced).
    std::string lastSavedPrefix;
    std::int32_t lastSavedNumber = 0;
    bool lastSaveFailed = false;

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
    Vec3 modelPosition{0.0f, 2.58f, 0.0f};
    Vec3 modelRotation{0.0f, 0.0f, 0.0f};
    Vec3 eyePosition{0.0f, 3.0f, -3.0f};
    float yaw = 0.0f;
    float lookHeight = 2.4f;
    Vec3 lookAtPoint{0.0f, 6.0f, 0.0f};

    // Per-pass steps: reset by every key poll, used by the same pass's frame.
    float modelSpinX = 0.0f;
    float modelSpinY = 0.0f;
    float modelSpinZ = 0.0f;
    float modelWalkStep = 0.0f;
    float eyeWalkStep = 0.0f;

    std::uint16_t enterHoldCount = 0;
    std::int32_t backBufferWidth = 594;
    std::int32_t backBufferHeight = 578;

    std::int32_t frameSizeCount = 0;
};

}  // namespace app
