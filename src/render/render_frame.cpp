#include "render/render_frame.h"

#include <cmath>
#include <optional>
#include <string>

#include "render/matrix.h"
#include "render/texts.h"

namespace render {

void setLight(const state::ViewState& view, device::GraphicsDevice& device) {
    device::Light light;
    light.type = device::LightType::Directional;
    light.diffuse = {0.2f, 0.2f, 0.2f, 0.2f};
    light.specular = {0.3f, 0.3f, 0.3f, 0.3f};
    light.ambient = {view.ambientRed, view.ambientGreen, view.ambientBlue, 1.0f};
    light.direction[0] = 0.0f;
    light.direction[1] = -1.0f;
    light.direction[2] = 1.0f;
    device.setLight(2, light);
    device.lightEnable(2, true);
    device.setRenderState(device::RenderState::SpecularEnable, 1);
    device.setRenderState(device::RenderState::Lighting, 1);
}

namespace {

std::uint32_t overlayColour(const state::ViewState& s) {
    return (static_cast<std::uint32_t>(s.overlayAlpha & 0xFF) << 24) |
           (static_cast<std::uint32_t>(s.overlayRed & 0xFF) << 16) |
           (static_cast<std::uint32_t>(s.overlayGreen & 0xFF) << 8) |
           static_cast<std::uint32_t>(s.overlayBlue & 0xFF);
}

}  // namespace

std::optional<std::string> savedLine(const state::SaveState& save) {
    if (!state::showsSavedLine(save)) return std::nullopt;
    return !save.lastUndone.empty()
               ? (save.lastUndoRefused ? texts::undoRefused(save.lastUndone) : texts::undone(save.lastUndone))
           : save.lastSaveFailed ? texts::saveFailed(save.lastSavedPrefix, save.lastSavedNumber)
                                 : texts::saved(save.lastSavedPrefix, save.lastSavedNumber);
}

void drawTexts(const state::ViewState& s, const std::optional<std::string>& savedLine,
               const std::optional<std::string>& problemLine, device::TextFont& font) {
    font.drawText(50, 340, texts::kHelpKeys, texts::kTextColour);
    // Four fifths of the back-buffer height, divided in floating point and truncated.
    const int helpY = static_cast<int>(static_cast<double>(s.backBufferHeight * 4) / 5.0);
    font.drawText(50, helpY, texts::kHelpFilter, texts::kTextColour);
    font.drawText(20, 6, texts::kKeyLegend, texts::kTextColour);
    font.drawText(20, 24,
                  texts::values(s.overlayRed, s.overlayGreen, s.overlayBlue, s.overlayAlpha,
                                s.ambientRedPercent, s.ambientGreenPercent, s.ambientBluePercent),
                  texts::kTextColour);
    if (savedLine) font.drawText(50, 60, *savedLine, texts::kTextColour);
    if (problemLine) font.drawText(50, 78, *problemLine, texts::kProblemColour);
}

Camera cameraOf(state::ViewState& view) {
    view.lookAtPoint.y = view.lookHeight;
    view.lookAtPoint.x = static_cast<float>(view.eyePosition.x + 2.0 * std::sin(double{view.yaw}));
    view.lookAtPoint.z = static_cast<float>(view.eyePosition.z + 2.0 * std::cos(double{view.yaw}));
    return {matrixLookAtLH(view.eyePosition, view.lookAtPoint, base::Vec3{0.0f, 1.0f, 0.0f}),
            matrixPerspectiveFovLH(1.0471976f, 1.0f, 0.01f, 2000.0f)};
}

Camera renderFrame(state::ViewState& view, const state::SaveState& save, Scene& scene,
                   const std::string& problemLine) {
    setLight(view, scene.device);

    view.modelRotation.z += view.modelSpinZ;
    view.modelRotation.x += view.modelSpinX;
    base::moveAlong(view.modelPosition, view.modelWalkStep, view.yaw);
    view.modelRotation.y += view.modelSpinY;

    if (scene.model) scene.model->draw(view.modelPosition, view.modelRotation);

    if (scene.overlay) {
        scene.overlay->setColour(overlayColour(view));
        scene.overlay->placeAndDraw(static_cast<float>(view.overlayX), static_cast<float>(view.overlayY),
                                    static_cast<float>(view.overlayWidth),
                                    static_cast<float>(view.overlayHeight));
    }

    // The camera is placed after the model is drawn, so the model shows last frame's camera.
    const Camera camera = cameraOf(view);
    scene.device.setTransform(device::TransformState::View, camera.view);
    scene.device.setTransform(device::TransformState::Projection, camera.projection);

    if (scene.textFont) {
        drawTexts(view, savedLine(save),
                  problemLine.empty() ? std::nullopt : std::optional<std::string>(problemLine), *scene.textFont);
    }
    return camera;
}

void renderRecordedFrame(const RecordedFrame& frame, Scene& scene) {
    scene.device.setTransform(device::TransformState::View, frame.viewMatrix);
    scene.device.setTransform(device::TransformState::Projection, frame.projection);
    setLight(frame.view, scene.device);
    if (scene.model) scene.model->drawWithWorld(frame.world);
    if (frame.clean) return;
    if (scene.overlay) {
        const state::ViewState& view = frame.view;
        scene.overlay->setColour(overlayColour(view));
        scene.overlay->placeAndDraw(static_cast<float>(view.overlayX), static_cast<float>(view.overlayY),
                                    static_cast<float>(view.overlayWidth),
                                    static_cast<float>(view.overlayHeight));
    }
    if (scene.textFont) drawTexts(frame.view, frame.savedLine, frame.problemLine, *scene.textFont);
}

}  // namespace render
