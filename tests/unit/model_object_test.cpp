#include "render/model_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "backends/fake/fake_image_decoder.h"
#include "backends/fake/recording_device.h"
#include "base/file_names.h"
#include "fresh_directory.h"
#include "render/matrix.h"

namespace {

using backends::fake::RecordingDevice;

class ModelObjectOnDoubles : public InFreshDirectory {
protected:
    RecordingDevice device;
    backends::fake::FakeImageDecoder decoder;
};

TEST_F(ModelObjectOnDoubles, AmbientBecomesDiffuseAndEachMaterialGetsItsTextureOrNone) {
    writeFile("m.x", R"(xof 0303txt 0032
Mesh { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;; 2; 3;0,1,2;, 3;1,3,2;;
 MeshMaterialList { 3; 2; 0, 2;;
  Material { 0.25;0.5;0.75;0.5;; 8; 0.1;0.2;0.3;; 0;0;0;; TextureFilename { "here.bmp"; } }
  Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "missing.bmp"; } }
  Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; } } }
)");
    writePicture("here.bmp", 2, 2);
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
    EXPECT_EQ(device.transforms[device::TransformState::World], render::matrixTranslation(1, 2, 3));
}

// A point turned about one axis by `angle`, as a left-handed turn looking down that axis.
base::Vec3 turned(base::Vec3 p, char axis, float angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    switch (axis) {
        case 'x':
            return {p.x, static_cast<float>(p.y * c - p.z * s), static_cast<float>(p.y * s + p.z * c)};
        case 'y':
            return {static_cast<float>(p.x * c + p.z * s), p.y, static_cast<float>(-p.x * s + p.z * c)};
        default:
            return {static_cast<float>(p.x * c - p.y * s), static_cast<float>(p.x * s + p.y * c), p.z};
    }
}

TEST_F(ModelObjectOnDoubles, TheModelTurnsAboutZThenXThenYAndThenMovesToItsPlace) {
    writeFile("m.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n");
    render::ModelObject model("m.x", device, decoder);
    const base::Vec3 place{1.5f, -2.0f, 3.0f}, rotation{0.3f, 0.5f, 0.7f};
    model.draw(place, rotation);
    const base::Matrix& world = device.transforms[device::TransformState::World];
    for (const base::Vec3 p :
         {base::Vec3{1, 0, 0}, base::Vec3{0, 1, 0}, base::Vec3{0, 0, 1}, base::Vec3{0.2f, -0.4f, 0.9f}}) {
        base::Vec3 expected = turned(turned(turned(p, 'z', rotation.z), 'x', rotation.x), 'y', rotation.y);
        expected = {expected.x + place.x, expected.y + place.y, expected.z + place.z};
        const float got[3] = {
            p.x * world.m[0][0] + p.y * world.m[1][0] + p.z * world.m[2][0] + world.m[3][0],
            p.x * world.m[0][1] + p.y * world.m[1][1] + p.z * world.m[2][1] + world.m[3][1],
            p.x * world.m[0][2] + p.y * world.m[1][2] + p.z * world.m[2][2] + world.m[3][2]};
        EXPECT_NEAR(got[0], expected.x, 1e-5) << "x of (" << p.x << "," << p.y << "," << p.z << ")";
        EXPECT_NEAR(got[1], expected.y, 1e-5) << "y of (" << p.x << "," << p.y << "," << p.z << ")";
        EXPECT_NEAR(got[2], expected.z, 1e-5) << "z of (" << p.x << "," << p.y << "," << p.z << ")";
    }
}

TEST_F(ModelObjectOnDoubles,
       OnlyTheTrianglesWearingTheGrabTextureAreKeptForLabelsAndLastWorldIsWhatWasDrawn) {
    // Four triangles: the first and third wear the grab texture file, the second a picture whose
    // name only begins alike, the fourth none.
    const std::string grab(base::kGrabTextureFile);
    auto textured = [](const std::string& texture) {
        return "  Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"" + texture + "\"; } }\n";
    };
    writeFile("m.x",
              "xof 0303txt 0032\n"
              "Mesh { 6; 0;0;0;, 1;0;0;, 0;1;0;, 2;0;0;, 2;1;0;, 3;1;0;;\n"
              " 4; 3;0,1,2;, 3;1,3,4;, 3;3,5,4;, 3;0,2,4;;\n"
              " MeshMaterialList { 3; 4; 0, 1, 0, 2;;\n" +
                  textured(grab) + textured(grab + ".png") +
                  "  Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; } } }\n");
    render::ModelObject model("m.x", device, decoder);
    ASSERT_TRUE(model.hasMesh());
    const std::vector<std::array<float, 3>> kept(model.grabTexturedCorners().begin(),
                                                 model.grabTexturedCorners().end());
    const std::vector<std::array<float, 3>> expected = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},
                                                        {2, 0, 0}, {3, 1, 0}, {2, 1, 0}};
    EXPECT_EQ(kept, expected) << "the corners of triangles 0 and 2, in order, and no others";

    EXPECT_EQ(model.lastWorld(), base::Matrix::identity()) << "before any draw";
    model.draw({1.5f, -2.0f, 3.0f}, {0.3f, 0.5f, 0.7f});
    EXPECT_EQ(model.lastWorld(), device.transforms[device::TransformState::World]);
    EXPECT_NE(model.lastWorld(), base::Matrix::identity());

    // A model that does not wear the grab texture keeps nothing for a label.
    writeFile("plain.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n");
    render::ModelObject plain("plain.x", device, decoder);
    ASSERT_TRUE(plain.hasMesh());
    EXPECT_TRUE(plain.grabTexturedCorners().empty());
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

TEST_F(ModelObjectOnDoubles, AModelRewrittenInPlaceAMomentLaterIsSeenAsChanged) {
    // Same size, same file, within the same second: only a fine write time tells the two apart.
    const std::string mesh = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
    writeFile("m.x", mesh);
    render::ModelObject model("m.x", device, decoder);
    ASSERT_TRUE(model.hasMesh());
    EXPECT_TRUE(model.fileUnchanged());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::FILE* file = std::fopen("m.x", "r+b");
        ASSERT_NE(file, nullptr);
        std::fputs("xof 0303txt 0032\nMesh { 3; 0;0;0;, 2;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n", file);
        std::fclose(file);
    }
    EXPECT_FALSE(model.fileUnchanged());
}

TEST_F(ModelObjectOnDoubles, TexturesAreReleasedWithTheModel) {
    writeFile("m.x", R"(xof 0302txt 0064
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "t.bmp"; } } } }
)");
    writePicture("t.bmp", 4, 2);
    {
        render::ModelObject model("m.x", device, decoder);
        EXPECT_EQ(model.materialCount(), 1u);
    }
    EXPECT_EQ(device.count("releaseTexture 4x2"), 1);
    EXPECT_EQ(device.count("releaseMesh"), 1);
}

TEST_F(ModelObjectOnDoubles, APictureTheModelFileHoldsIsDecodedFromMemoryAndAFileOneBesideTheModel) {
    // Three floats per corner, base64: (0,0,0) (1,0,0) (0,1,0). The first material's picture is
    // embedded (a 3 x 1 BMP), the second's a file beside the model, in a folder of its own.
    const std::string gltf = R"({"asset":{"version":"2.0"},
      "buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}],
      "bufferViews":[{"buffer":0,"byteLength":36}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],
      "images":[{"uri":"data:image/bmp;base64,Qk1CAAAAAAAAADYAAAAoAAAAAwAAAAEAAAABABgAAAAAAAwAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
                {"uri":"side%20by%20side.png"}],
      "textures":[{"source":0},{"source":1}],
      "materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}},
                   {"pbrMetallicRoughness":{"baseColorTexture":{"index":1}}}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0},"material":0},
                               {"attributes":{"POSITION":0},"material":1}]}],
      "nodes":[{"mesh":0}]})";
    std::filesystem::create_directory("models");
    writeFile("models/m.gltf", gltf);
    writePicture("models/side by side.png", 5, 1);
    render::ModelObject model("models/m.gltf", device, decoder);
    ASSERT_EQ(model.materialCount(), 2u);
    EXPECT_NE(model.texture(0), nullptr);
    EXPECT_NE(model.texture(1), nullptr);
    EXPECT_EQ(device.count("createTexture 3x1"), 1);
    EXPECT_EQ(device.count("createTexture 5x1"), 1);
}

}  // namespace
