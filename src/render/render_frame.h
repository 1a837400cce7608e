#pragma once
// One frame of the viewer: light, model motion, model, overlay, camera, texts.
#include "app/save_state.h"
#include "app/view_state.h"
#include "render/graphics_device.h"
#include "render/model_object.h"
#include "render/overlay_quad.h"

namespace render {

struct Scene {
    GraphicsDevice& device;
    TextFont* textFont;    // may be null: no texts
    ModelObject* model;    // may be null
    OverlayQuad* overlay;  // may be null
};

void setLight(const app::ViewState& view, GraphicsDevice& device);
// Moves the model and the camera by the steps of this pass's key poll, then draws; the saved
// file line comes from `save`.
void renderFrame(app::ViewState& view, const app::SaveState& save, Scene& scene);

}  // namespace render
