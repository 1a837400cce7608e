#include "render/overlay_quad.h"

#include <gtest/gtest.h>

#include <cstring>

#include "backends/fake/fake_image_decoder.h"
#include "backends/fake/recording_device.h"
#include "fresh_directory.h"

namespace {

using backends::fake::RecordingDevice;
using device::TextureStageState;

TEST(OverlayQuad, PlaceAndDrawUploadsTheFourCornersAndSetsTheBlendStates) {
    RecordingDevice device;
    render::OverlayQuad quad(device);
    EXPECT_EQ(device.find("createVertexBuffer 112 324"), 0) << "four 28-byte pre-transformed vertices";
    quad.setColour(0xC8FAFAFA);
    device.calls.clear();
    quad.placeAndDraw(20, 20, 50, 50);

    ASSERT_EQ(device.lastVertexUpload.size(), 112u);
    render::OverlayVertex v[4];
    std::memcpy(v, device.lastVertexUpload.data(), sizeof v);
    const float expected[4][4] = {{20, 20, 0, 0}, {70, 20, 1, 0}, {20, 70, 0, 1}, {70, 70, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].x, expected[i][0]) << "corner " << i;
        EXPECT_EQ(v[i].y, expected[i][1]) << "corner " << i;
        EXPECT_EQ(v[i].u, expected[i][2]) << "corner " << i;
        EXPECT_EQ(v[i].v, expected[i][3]) << "corner " << i;
        EXPECT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].rhw, 1.0f);
        EXPECT_EQ(v[i].colour, 0xC8FAFAFAu);
    }
    const std::vector<std::string> expectedCalls = {"lock",
                                                    "unlock",
                                                    "setTextureStageState 0 4 4",
                                                    "setTextureStageState 0 2 2",
                                                    "setTextureStageState 0 3 0",
                                                    "setRenderState 27 1",
                                                    "setRenderState 19 5",
                                                    "setRenderState 20 6",
                                                    "setTexture 0 none",
                                                    "setStreamSource 0 buffer 0 28",
                                                    "setFvf 324",
                                                    "drawPrimitive 5 0 2",
                                                    "setRenderState 27 0"};
    EXPECT_EQ(device.calls, expectedCalls);
}

using OverlayQuadInFreshDirectory = InFreshDirectory;

TEST_F(OverlayQuadInFreshDirectory, MissingTextureOrBufferDrawsPlainOrNothing) {
    RecordingDevice device;
    backends::fake::FakeImageDecoder decoder;
    render::OverlayQuad quad(device);
    EXPECT_EQ(quad.loadTexture(decoder, "フィルター画像.jpg"), 0) << "a missing picture is reported as 0";
    EXPECT_EQ(quad.texture(), nullptr);
    writePicture("フィルター画像.jpg", 4, 4);
    EXPECT_EQ(quad.loadTexture(decoder, "フィルター画像.jpg"), 1);
    ASSERT_NE(quad.texture(), nullptr);

    device.failVertexBufferLock = true;
    device.calls.clear();
    quad.placeAndDraw(1, 2, 3, 4);
    EXPECT_TRUE(device.calls.empty()) << "a failed lock skips the frame's rectangle without state changes";
    EXPECT_EQ(quad.vertices()[3].x, 4.0f) << "the corners are still placed";

    RecordingDevice noBuffers;
    noBuffers.failVertexBufferCreation = true;
    render::OverlayQuad without(noBuffers);
    noBuffers.calls.clear();
    without.placeAndDraw(1, 2, 3, 4);
    EXPECT_EQ(noBuffers.count("drawPrimitive"), 0) << "no buffer, no draw";
}

}  // namespace
