#include "render/model_object.h"

#include <gtest/gtest.h>

#include "fresh_directory.h"
#include "platform/fake/fake_image_decoder.h"
#include "platform/fake/recording_device.h"
#include "render/matrix.h"

namespace {

using platform::fake::RecordingDevice;

class ModelObjectOnDoubles : public InFreshDirectory {
protected:
    RecordingDevice device;
    platform::fake::FakeImageDecoder decoder;
};

TEST_F(ModelObjectOnDoubles, AmbientBecomesDiffuseAndEachMaterialGetsItsTextureOrNone) {
    writeFile("m.x", R"(xof 0303txt 0032
Mesh { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;; 2; 3;0,1,2;, 3;1,3,2;;
 MeshMaterialList { 3; 2; 0, 2;;
  Material { 0.25;0.5;0.75;0.5;; 8; 0.1;0.2;0.3;; 0;0;0;; TextureFilename { "here.bmp"; } }
  Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "missing.bmp"; } }
  Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; } } }
)");
    decoder.pictures["here.bmp"] = base::Image(2, 2);
    render::ModelObject model("m.x", device, decoder);
    ASSERT_TRUE(model.hasMesh());
    ASSERT_EQ(model.materialCount(), 3u);
    EXPECT_EQ(model.materials()[0].ambient, (base::ColourValue{0.25f, 0.5f, 0.75f, 0.5f}));
    EXPECT_EQ(model.materials()[0].power, 8.0f);
    EXPECT_NE(model.texture(0), nullptr);
    EXPECT_EQ(model.texture(1), nullptr) << "a missing texture file leaves the subset untextured";
    EXPECT_EQ(model.texture(2), nullptr);

    device.calls.clear();
    model.draw({1, 2, 3}, {0, 0, 0});
    const std::vector<std::string> expected = {
        "setTransform 256",  "setMaterial",  "setTexture 0 texture", "drawSubset 0",      "setMaterial",
        "setTexture 0 none", "drawSubset 1", "setMaterial",          "setTexture 0 none", "drawSubset 2"};
    EXPECT_EQ(device.calls, expected);
    EXPECT_EQ(device.transforms[render::TransformState::World], render::matrixTranslation(1, 2, 3));
}

TEST_F(ModelObjectOnDoubles, AFileThatCannotBeLoadedGivesAModelThatDrawsNothing) {
    writeFile("garbage.x", "this is not a model");
    for (const char* path : {"garbage.x", "absent.x", "."}) {
        render::ModelObject model(path, device, decoder);
        EXPECT_FALSE(model.hasMesh()) << path;
        EXPECT_EQ(model.materialCount(), 0u) << path;
        device.calls.clear();
        model.draw({0, 0, 0}, {0, 0, 0});
        EXPECT_EQ(device.count("drawSubset"), 0) << path;
    }
}

TEST_F(ModelObjectOnDoubles, TexturesAreReleasedWithTheModel) {
    writeFile("m.x", R"(xof 0302txt 0064
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "t.bmp"; } } } }
)");
    decoder.pictures["t.bmp"] = base::Image(4, 2);
    {
        render::ModelObject model("m.x", device, decoder);
        EXPECT_EQ(model.materialCount(), 1u);
    }
    EXPECT_EQ(device.count("releaseTexture 4x2"), 1);
    EXPECT_EQ(device.count("releaseMesh"), 1);
}

}  // namespace
