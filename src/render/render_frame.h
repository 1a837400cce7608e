#pragma once
// One frame of the viewer: light, model motion, model, overlay, camera, texts.
#include "app/app_state.h"
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

void setLight(const app::AppState& state, GraphicsDevice& device);
void renderFrame(app::AppState& state, Scene& scene);

}  // namespace render
