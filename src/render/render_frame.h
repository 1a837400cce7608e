#pragma once
// One frame of the viewer: light, model motion, model, overlay, camera, texts.
#include <optional>
#include <string>

#include "device/graphics_device.h"
#include "render/model_object.h"
#include "render/overlay_quad.h"
#include "state/save_state.h"
#include "state/view_state.h"

namespace render {

struct Scene {
    device::GraphicsDevice& device;
    device::TextFont* textFont;  // may be null: no texts
    ModelObject* model;          // may be null
    OverlayQuad* overlay;        // may be null
};

void setLight(const state::ViewState& view, device::GraphicsDevice& device);
// Moves the model and the camera by the steps of this pass's key poll, then draws; the saved
// file line comes from `save`.
// The camera a frame leaves on the device for the next one: the model of each frame is drawn
// with the camera the frame before it set.
struct Camera {
    base::Matrix view = base::Matrix::identity();
    base::Matrix projection = base::Matrix::identity();
};

// `problemLine`: what went wrong with the last load, drawn under the saved line; empty: nothing.
Camera renderFrame(state::ViewState& view, const state::SaveState& save, Scene& scene,
                   const std::string& problemLine = {});
// The camera of `view`'s eye, heading and look height (which also sets its look-at point).
Camera cameraOf(state::ViewState& view);

// The line under the texts that tells of the last save or take-back, when the frame shows one.
std::optional<std::string> savedLine(const state::SaveState& save);
void drawTexts(const state::ViewState& view, const std::optional<std::string>& savedLine,
               const std::optional<std::string>& problemLine, device::TextFont& font);

// A frame drawn again from its record: the device gets the matrices it got then, the light,
// overlay and texts come from `view`, and the model is drawn with the recorded world matrix.
// Clean: the model alone on the cleared frame.
struct RecordedFrame {
    state::ViewState view;
    base::Matrix world = base::Matrix::identity();
    base::Matrix viewMatrix = base::Matrix::identity();
    base::Matrix projection = base::Matrix::identity();
    std::optional<std::string> savedLine;
    bool clean = false;
    std::optional<std::string> problemLine;
};
void renderRecordedFrame(const RecordedFrame& frame, Scene& scene);

}  // namespace render
