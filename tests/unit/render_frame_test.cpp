#include "render/render_frame.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/app_state.h"
#include "backends/fake/fake_image_decoder.h"
#include "backends/fake/recording_device.h"
#include "fresh_directory.h"
#include "render/matrix.h"
#include "render/texts.h"

namespace {

using backends::fake::RecordingDevice;
using device::RenderState;
using device::TransformState;

class RenderFrameOnRecordingDevice : public InFreshDirectory {
protected:
    void SetUp() override {
        InFreshDirectory::SetUp();
        writeFile("model.x", R"(xof 0303txt 0032
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 2; 1; 1;
  Material { 1;1;1;1;; 5; 0;0;0;; 0;0;0;; }
  Material { 0.5;0.5;0.5;1;; 5; 0;0;0;; 0;0;0;; TextureFilename { "tex.bmp"; } } } }
)");
        writePicture("tex.bmp", 2, 2);
        font = device.createTextFont(14);
        model = std::make_unique<render::ModelObject>("model.x", device, decoder);
        overlay = std::make_unique<render::OverlayQuad>(device);
        device.calls.clear();
    }
    void frame() {
        render::Scene scene{device, font.get(), model.get(), overlay.get()};
        render::renderFrame(state.view, state.save, scene);
    }

    RecordingDevice device;
    backends::fake::FakeImageDecoder decoder;
    std::unique_ptr<device::TextFont> font;
    std::unique_ptr<render::ModelObject> model;
    std::unique_ptr<render::OverlayQuad> overlay;
    app::AppState state;
};

TEST_F(RenderFrameOnRecordingDevice, DefaultFrameSetsLightDrawsModelThenOverlayThenCameraThenTexts) {
    frame();
    const int light = device.find("setLight 2");
    const int lighting = device.find("setRenderState 137 1");
    const int world = device.find("setTransform 256");
    const int subset = device.find("drawSubset 0");
    const int overlayDraw = device.find("drawPrimitive 5 0 2");
    const int view = device.find("setTransform 2");
    const int projection = device.find("setTransform 3");
    const int firstText = device.find("drawText");
    EXPECT_EQ(light, 0) << "the light comes first";
    EXPECT_EQ(device.find("lightEnable 2 1"), 1);
    EXPECT_EQ(device.find("setRenderState 29 1"), 2) << "specular on";
    EXPECT_EQ(lighting, 3);
    EXPECT_LT(lighting, world);
    EXPECT_LT(world, subset);
    EXPECT_LT(subset, overlayDraw);
    EXPECT_LT(overlayDraw, view) << "the view is set after the model and overlay";
    EXPECT_LT(view, projection);
    EXPECT_LT(projection, firstText);

    const device::Light& l = device.lights[2];
    EXPECT_EQ(l.type, device::LightType::Directional);
    EXPECT_EQ(l.diffuse, (base::ColourValue{0.2f, 0.2f, 0.2f, 0.2f}));
    EXPECT_EQ(l.specular, (base::ColourValue{0.3f, 0.3f, 0.3f, 0.3f}));
    EXPECT_EQ(l.ambient, (base::ColourValue{0.99f, 0.99f, 0.99f, 1.0f}));
    EXPECT_EQ(l.direction[1], -1.0f);
    EXPECT_EQ(l.direction[2], 1.0f);
    EXPECT_EQ(device.renderStates[RenderState::AlphaBlendEnable], 0u) << "blending is off after the frame";
}

TEST_F(RenderFrameOnRecordingDevice, TextsAreExactAndPlacedWithTheSavedMessageOnlyAfterASave) {
    frame();
    ASSERT_EQ(device.texts.size(), 4u) << "a saved message before any save";
    EXPECT_EQ(device.texts[0].x, 50);
    EXPECT_EQ(device.texts[0].y, 340);
    EXPECT_EQ(device.texts[0].text,
              "使用キー\nESCキー 　　　　終了\nテンキー　　　　2,4,6,8  1,3,7,9 \nPageUp,PageDown　(移動)\n"
              "テンキー　+(連写）\nテンキー　-(連キャプチャ）\n"
              "　　　テンキー  *,/   Shift 左右　Ctrl 左右   (物体回転)\n　　　←,↑,→,↓  (視点変化)");
    EXPECT_EQ(device.texts[1].y, 462) << "four fifths of 578, truncated";
    EXPECT_EQ(device.texts[1].text,
              "\nA S D W  (フィルタ移動)\nQ E Z C  (フィルタ拡大縮小)\nEnter     (キャプチャ)");
    EXPECT_EQ(device.texts[2].x, 20);
    EXPECT_EQ(device.texts[2].y, 6);
    EXPECT_EQ(device.texts[2].text,
              "キーボード:　1 2　　　　3 4　　　　5 6　　　　　　　　　　　　　　　　　　7 U 　 　　8 I 　 9 "
              "O　  0 P");
    EXPECT_EQ(device.texts[3].y, 24);
    EXPECT_EQ(
        device.texts[3].text,
        "　　　　　[赤 250]　[緑 250]　[青 250]　　　　　　　　　　　　　　 [透明 200]　　99 　 99 　 99");
    for (const auto& t : device.texts) EXPECT_EQ(t.colour, 0xFFC8C8C8u);

    device.texts.clear();
    state.save.saveCounter = 1;
    state.save.savedSincePrefixChange = true;
    state.save.lastSavedNumber = 0;
    frame();
    ASSERT_EQ(device.texts.size(), 5u);
    EXPECT_EQ(device.texts[4].x, 50);
    EXPECT_EQ(device.texts[4].y, 60);
    EXPECT_EQ(device.texts[4].text, "0 で保存しました") << "an empty prefix begins with the number";

    device.texts.clear();
    state.save.lastSavedPrefix = "cut";
    state.save.lastSavedNumber = 7;
    state.save.lastSaveFailed = true;
    frame();
    EXPECT_EQ(device.texts.back().text, "cut7 の保存に失敗しました") << "a failed save never says saved";
}

TEST_F(RenderFrameOnRecordingDevice, SpinsAndWalkApplyInOrderAndTheModelSeesLastFramesCamera) {
    state.view.yaw = 0.5f;
    state.view.modelWalkStep = 0.03f;
    state.view.modelSpinX = 0.02f;
    state.view.modelSpinY = -0.02f;
    state.view.modelSpinZ = 0.02f;
    frame();
    EXPECT_FLOAT_EQ(state.view.modelRotation.x, 0.02f);
    EXPECT_FLOAT_EQ(state.view.modelRotation.y, -0.02f);
    EXPECT_FLOAT_EQ(state.view.modelRotation.z, 0.02f);
    EXPECT_FLOAT_EQ(state.view.modelPosition.x, static_cast<float>(std::sin(0.5) * 0.03));
    EXPECT_FLOAT_EQ(state.view.modelPosition.z, static_cast<float>(std::cos(0.5) * 0.03));
    EXPECT_FLOAT_EQ(state.view.lookAtPoint.x, static_cast<float>(2.0 * std::sin(0.5)));
    EXPECT_FLOAT_EQ(state.view.lookAtPoint.y, 2.4f);
    EXPECT_FLOAT_EQ(state.view.lookAtPoint.z, static_cast<float>(-3.0 + 2.0 * std::cos(0.5)));

    // The view of this frame is what the next frame's model is drawn under.
    const base::Matrix firstView = device.transforms[TransformState::View];
    state.view.yaw = 1.0f;
    device.calls.clear();
    frame();
    EXPECT_LT(device.find("drawSubset"), device.find("setTransform 2"));
    EXPECT_FALSE(firstView == device.transforms[TransformState::View]) << "the camera follows the yaw";
    EXPECT_EQ(device.transforms[TransformState::Projection],
              render::matrixPerspectiveFovLH(1.0471976f, 1.0f, 0.01f, 2000.0f));
}

TEST_F(RenderFrameOnRecordingDevice, OverlayColourTakesTheLowByteOfEachChannel) {
    state.view.overlayAlpha = 200;
    state.view.overlayRed = 256;
    state.view.overlayGreen = 511;
    state.view.overlayBlue = 250;
    frame();
    EXPECT_EQ(overlay->vertices()[0].colour, 0xC800FFFAu);
    EXPECT_EQ(overlay->vertices()[3].colour, 0xC800FFFAu);
}

}  // namespace
