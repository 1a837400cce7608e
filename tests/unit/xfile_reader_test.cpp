#include "model/xfile/xfile_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/file_bytes.h"
#include "grid_model.h"
#include "xfile_test_files.h"

namespace {

using base::MeshData;
using model::xfile::XFileResult;
using xfile_test::Bytes;
using xfile_test::bytesOf;

XFileResult parse(const Bytes& data) {
    return model::xfile::parseXFile(data);
}

void expectColour(const base::ColourValue& c, float r, float g, float b, float a, const char* what) {
    EXPECT_FLOAT_EQ(c.r, r) << what;
    EXPECT_FLOAT_EQ(c.g, g) << what;
    EXPECT_FLOAT_EQ(c.b, b) << what;
    EXPECT_FLOAT_EQ(c.a, a) << what;
}

void expectSameMesh(const MeshData& expected, const MeshData& actual, const std::string& form) {
    ASSERT_EQ(actual.vertices.size(), expected.vertices.size()) << form;
    for (std::size_t i = 0; i < expected.vertices.size(); ++i) {
        const auto& e = expected.vertices[i];
        const auto& a = actual.vertices[i];
        EXPECT_TRUE(e.x == a.x && e.y == a.y && e.z == a.z && e.nx == a.nx && e.ny == a.ny && e.nz == a.nz &&
                    e.u == a.u && e.v == a.v)
            << form << ": vertex " << i << " differs from the text form";
    }
    EXPECT_EQ(actual.indices, expected.indices) << form;
    EXPECT_EQ(actual.attributes, expected.attributes) << form;
    ASSERT_EQ(actual.materials.size(), expected.materials.size()) << form;
    for (std::size_t i = 0; i < expected.materials.size(); ++i) {
        EXPECT_TRUE(actual.materials[i].material == expected.materials[i].material)
            << form << ": material " << i;
        EXPECT_EQ(actual.materials[i].textureFilename, expected.materials[i].textureFilename) << form;
    }
    EXPECT_EQ(actual.hasNormals, expected.hasNormals) << form;
    EXPECT_EQ(actual.hasTextureCoords, expected.hasTextureCoords) << form;
}

TEST(XFileReader, ReadsTheCubeFromTextWithFacesNormalsCoordinatesAndMaterials) {
    const XFileResult result = parse(bytesOf(xfile_test::cubeText("xof 0302txt 0032")));
    ASSERT_TRUE(result) << result.error();
    const MeshData& mesh = *result;
    const xfile_test::CubeData cube;

    ASSERT_EQ(mesh.triangleCount(), 12u) << "six quads make twelve triangles";
    ASSERT_EQ(mesh.indices.size(), 36u);
    EXPECT_EQ(mesh.vertices.size(), 24u) << "each corner of each face has its own normal";
    EXPECT_TRUE(mesh.hasNormals);
    EXPECT_TRUE(mesh.hasTextureCoords);
    EXPECT_EQ(mesh.attributes, (std::vector<std::uint32_t>{0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1}))
        << "the first three faces use material 0, the others material 1";

    for (std::size_t t = 0; t < 12; ++t) {
        const std::size_t face = t / 2;
        const std::uint32_t fan[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int k = 0; k < 3; ++k) {
            const auto& v = mesh.vertices[mesh.indices[t * 3 + k]];
            const auto& p = cube.positions[cube.faces[face][fan[t % 2][k]]];
            EXPECT_TRUE(v.x == p[0] && v.y == p[1] && v.z == p[2])
                << "triangle " << t << " corner " << k << " is not the fan corner of face " << face;
            const auto& n = cube.normals[face];
            EXPECT_TRUE(v.nx == n[0] && v.ny == n[1] && v.nz == n[2])
                << "triangle " << t << " has the wrong normal";
            EXPECT_TRUE(v.u == p[0] && v.v == p[1])
                << "triangle " << t << " has the wrong texture coordinates";
        }
    }

    ASSERT_EQ(mesh.materials.size(), 2u);
    const auto& red = mesh.materials[0];
    expectColour(red.material.diffuse, 1, 0, 0, 1, "red diffuse");
    expectColour(red.material.ambient, 0, 0, 0, 0, "ambient is not in the file");
    expectColour(red.material.specular, 0.5f, 0.5f, 0.5f, 1, "red specular");
    expectColour(red.material.emissive, 0, 0, 0, 1, "red emissive");
    EXPECT_FLOAT_EQ(red.material.power, 20.0f);
    EXPECT_EQ(red.textureFilename, "red.bmp");
    const auto& blue = mesh.materials[1];
    expectColour(blue.material.diffuse, 0, 0, 1, 0.5f, "blue diffuse");
    expectColour(blue.material.emissive, 0, 0, 0.25f, 1, "blue emissive");
    EXPECT_FLOAT_EQ(blue.material.power, 5.0f);
    EXPECT_EQ(blue.textureFilename, "") << "a material without TextureFilename names no texture";
}

TEST(XFileReader, EveryEncodingVersionAndFloatSizeGivesTheSameCube) {
    const XFileResult text = parse(bytesOf(xfile_test::cubeText("xof 0302txt 0032")));
    ASSERT_TRUE(text) << text.error();

    const Bytes text0303 = bytesOf(xfile_test::cubeText("xof 0303txt 0032"));
    const Bytes binary32 = xfile_test::cubeBinary("xof 0302bin 0032", 4);
    const Bytes binary64 = xfile_test::cubeBinary("xof 0303bin 0064", 8);
    const struct {
        const char* form;
        Bytes data;
    } forms[] = {
        {"text 0303", text0303},
        {"text with 64-bit floats", bytesOf(xfile_test::cubeText("xof 0303txt 0064"))},
        {"binary", binary32},
        {"binary with 64-bit floats", binary64},
        {"compressed text", xfile_test::mszipCompress(text0303, "tzip")},
        {"compressed text in one block", xfile_test::mszipCompress(text0303, "tzip", 30000)},
        {"compressed binary", xfile_test::mszipCompress(binary32, "bzip", 64)},
        {"compressed binary with 64-bit floats", xfile_test::mszipCompress(binary64, "bzip")},
    };
    for (const auto& [form, data] : forms) {
        const XFileResult result = parse(data);
        ASSERT_TRUE(result) << form << ": " << result.error();
        expectSameMesh(*text, *result, form);
    }
}

TEST(XFileReader, BinaryFloatListsHold64BitNumbersWhenTheHeaderSays0064) {
    // Read with the wrong width, the list would give other numbers and run out early.
    xfile_test::BinaryWriter w("xof 0303bin 0064", 8);
    w.name("Mesh")
        .open()
        .integers({3})
        .floats({0.1, 0, 0, 1, 0, 0, 0, 1, 0})
        .integers({1, 3, 0, 1, 2})
        .close();
    const XFileResult result = parse(w.bytes());
    ASSERT_TRUE(result) << result.error();
    EXPECT_FLOAT_EQ(result->vertices[0].x, 0.1f);
    EXPECT_FLOAT_EQ(result->vertices[1].x, 1.0f);
    EXPECT_FLOAT_EQ(result->vertices[2].y, 1.0f);
}

TEST(XFileReader, FramesApplyTheirTransformsChildFirstToPositionsAndNormals) {
    // Outer frame: move by 10 along x. Inner frame: turn 90 degrees about z, then scale by 2.
    const std::string file = R"(xof 0303txt 0032
Frame Outer {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
  Frame Inner {
    FrameTransformMatrix { 0,2,0,0, -2,0,0,0, 0,0,2,0, 0,0,0,1;; }
    Mesh {
      3; 1;0;0;, 0;1;0;, 0;0;1;;
      1; 3;0,1,2;;
      MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; }
    }
  }
  Mesh Plain { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }
}
Mesh Loose { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }
)";
    const XFileResult result = parse(bytesOf(file));
    ASSERT_TRUE(result) << result.error();
    const auto& v = result->vertices;
    ASSERT_EQ(v.size(), 9u);
    // (1,0,0) turned to (0,1,0), scaled to (0,2,0), moved to (10,2,0); moving first would give (0,22,0)-like
    // results.
    EXPECT_NEAR(v[0].x, 10, 1e-5) << "inner transform must apply before the outer one";
    EXPECT_NEAR(v[0].y, 2, 1e-5);
    EXPECT_NEAR(v[1].x, 8, 1e-5);
    EXPECT_NEAR(v[1].y, 0, 1e-5);
    EXPECT_NEAR(v[2].z, 2, 1e-5);
    EXPECT_NEAR(v[0].nx, 0, 1e-5) << "the normal turns with the frame";
    EXPECT_NEAR(v[0].ny, 1, 1e-5) << "the normal keeps unit length despite the scaling";
    EXPECT_NEAR(v[0].nz, 0, 1e-5);
    EXPECT_NEAR(v[4].x, 11, 1e-5) << "a mesh of the outer frame moves only by the outer transform";
    EXPECT_NEAR(v[4].y, 0, 1e-5);
    EXPECT_NEAR(v[7].x, 1, 1e-5) << "a mesh outside every frame stays where it is";
}

TEST(XFileReader, GathersEveryMeshAndAppendsTheirMaterials) {
    const std::string file = R"(xof 0302txt 0032
Material Shared { 0.5;0.5;0.5;1;; 8; 1;1;1;; 0;0;0;; TextureFilename { "shared.png"; } }
Mesh First {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  3; 3;0,1,2;, 3;0,2,3;, 3;0,1,3;;
  MeshMaterialList { 2; 2; 1, 0;;
    { Shared }
    Material Own { 1;1;0;1;; 1; 0;0;0;; 0;0;0;; }
  }
}
Frame F { Mesh Second { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }
Mesh Third {
  3; 0;0;0;, 1;0;0;, 0;1;0;;
  2; 3;0,1,2;, 3;0,2,1;;
  MeshMaterialList { 1; 2; 0,0;; { Own } }
}
)";
    const XFileResult result = parse(bytesOf(file));
    ASSERT_TRUE(result) << result.error();
    const MeshData& mesh = *result;
    ASSERT_EQ(mesh.materials.size(), 4u) << "2 of First, the default of Second, 1 of Third";
    EXPECT_EQ(mesh.materials[0].textureFilename, "shared.png") << "a reference takes the top-level material";
    expectColour(mesh.materials[0].material.diffuse, 0.5f, 0.5f, 0.5f, 1, "shared diffuse");
    expectColour(mesh.materials[1].material.diffuse, 1, 1, 0, 1, "own diffuse");
    expectColour(mesh.materials[2].material.diffuse, 1, 1, 1, 1, "a mesh without a material list gets white");
    expectColour(mesh.materials[3].material.diffuse, 1, 1, 0, 1,
                 "an inline material can be referenced later");
    EXPECT_EQ(mesh.attributes, (std::vector<std::uint32_t>{1, 0, 0, 2, 3, 3}))
        << "a short face list repeats its last index, and later meshes' indices are offset";
    EXPECT_EQ(mesh.vertices.size(), 10u);
    for (std::uint32_t index : mesh.indices) ASSERT_LT(index, mesh.vertices.size());
}

TEST(XFileReader, PolygonsBecomeTriangleFansAndSharedNormalsKeepVerticesShared) {
    const std::string file = R"(xof 0303txt 0032
Mesh Pentagon {
  6; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;, 5;5;5;;
  2; 5;0,1,2,3,4;, 3;4,3,0;;
  MeshNormals { 6; 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;; 2; 5;0,1,2,3,4;, 3;4,3,0;; }
}
)";
    const XFileResult result = parse(bytesOf(file));
    ASSERT_TRUE(result) << result.error();
    const MeshData& mesh = *result;
    ASSERT_EQ(mesh.triangleCount(), 4u) << "a pentagon gives three triangles, a triangle one";
    EXPECT_EQ(mesh.vertices.size(), 5u)
        << "corners with the same vertex and normal share one vertex; unused ones go";
    std::vector<float> xs;
    for (std::uint32_t index : mesh.indices)
        xs.push_back(mesh.vertices[index].x + 10 * mesh.vertices[index].y);
    EXPECT_EQ(xs, (std::vector<float>{0, 1, 12, 0, 12, 21, 0, 21, 10, 10, 21, 0}))
        << "fans are (0,1,2), (0,2,3), (0,3,4) of each face";
}

TEST(XFileReader, SkipsTemplatesUnknownObjectsCommentsAndGuids) {
    const std::string file =
        "xof 0303txt 0032\r\n"
        "template Weird { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD a; [ ... ] }\r\n"
        "// a comment with { braces\r\n"
        "AnimationSet Walk { Animation { { Cube } AnimationKey { 0; 1; 0;4;1,0,0,0;;; } } }\r\n"
        "Mesh Cube { <11111111-2222-3333-4444-555555555555>\r\n"
        "  3; -1.5e0;0;0;, +1;0;0;, .5;1;0;;   # fancy numbers\r\n"
        "  1; 3;0,1,2;;\r\n"
        "  VertexDuplicationIndices { 3; 3; 0, 1, 2;; }\r\n"
        "  MeshTextureCoords { 3; 0;0;, 1;0;, 0;1;; }\r\n"
        "}\r\n";
    const XFileResult result = parse(bytesOf(file));
    ASSERT_TRUE(result) << result.error();
    ASSERT_EQ(result->vertices.size(), 3u);
    EXPECT_FLOAT_EQ(result->vertices[0].x, -1.5f);
    EXPECT_FLOAT_EQ(result->vertices[1].x, 1.0f);
    EXPECT_FLOAT_EQ(result->vertices[2].x, 0.5f);
    EXPECT_FLOAT_EQ(result->vertices[2].v, 1.0f);
    EXPECT_FALSE(result->hasNormals);
}

TEST(XFileReader, ReadsFilesFromDiskByUtf8PathInEveryFormAndRefusesACutOne) {
    const std::string path = ::testing::TempDir() + "xfile_reader_テスト.x";
    const auto write = [&](const Bytes& data) {
        std::ofstream out(base::pathFromUtf8(path), std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        ASSERT_TRUE(out.good()) << "cannot write " << path;
    };
    // The binary form is read from the file a piece at a time: a grid bigger than one piece
    // must come out as it does from memory.
    const Bytes grid = gridXFileBinary(300);
    ASSERT_GT(grid.size(), 2u << 20);
    const XFileResult fromMemory = parse(grid);
    ASSERT_TRUE(fromMemory) << fromMemory.error();
    for (const Bytes& data : {bytesOf(xfile_test::cubeText("xof 0303txt 0032")), grid}) {
        write(data);
        const XFileResult result = model::xfile::readXFile(path);
        ASSERT_TRUE(result) << result.error();
        expectSameMesh(*parse(data), *result, "from the file");
    }

    Bytes cut(grid.begin(), grid.begin() + static_cast<std::ptrdiff_t>(grid.size() / 2));
    write(cut);
    const XFileResult result = model::xfile::readXFile(path);
    std::filesystem::remove(base::pathFromUtf8(path));
    EXPECT_FALSE(result) << "half a file was read as a mesh";
    EXPECT_NE(result.error().find("byte offset"), std::string::npos) << result.error();
}

}  // namespace
