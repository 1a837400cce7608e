#include "model/model_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fresh_directory.h"
#include "model/polygon.h"
#include "model/readers.h"
#include "model/xfile/xfile_reader.h"

namespace {

namespace fs = std::filesystem;
using base::MeshData;

std::string assetPath(const char* name) {
    return std::string(NUKITORI_SOURCE_DIR) + "/assets/" + name;
}

fs::path u8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

base::Result<MeshData> parse(const std::string& text, const std::string& name) {
    const std::vector<std::uint8_t> bytes = bytesOf(text);
    return model::parseModel(bytes, name);
}

using Corner = std::array<float, 5>;  // position, then texture coordinate
using Triangle = std::array<Corner, 3>;

// The triangles with their corners in drawing order, each started at its least corner, so that
// the same triangles of two meshes compare equal however their vertices are numbered.
std::vector<Triangle> trianglesOf(const MeshData& mesh) {
    std::vector<Triangle> out;
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        Triangle tri;
        for (int k = 0; k < 3; ++k) {
            const base::MeshVertex& v = mesh.vertices[mesh.indices[t * 3 + k]];
            tri[k] = {v.x, v.y, v.z, v.u, v.v};
        }
        std::rotate(tri.begin(), std::min_element(tri.begin(), tri.end()), tri.end());
        out.push_back(tri);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The triangle's front side as the device sees it (clockwise): (b - a) x (c - a).
std::array<float, 3> frontOf(const MeshData& mesh, std::size_t t) {
    const base::MeshVertex& a = mesh.vertices[mesh.indices[t * 3]];
    const base::MeshVertex& b = mesh.vertices[mesh.indices[t * 3 + 1]];
    const base::MeshVertex& c = mesh.vertices[mesh.indices[t * 3 + 2]];
    const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
    return {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
}

double areaOf(const MeshData& mesh, std::uint32_t material) {
    double area = 0;
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        if (mesh.attributes[t] != material) continue;
        const auto n = frontOf(mesh, t);
        area += std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]) / 2;
    }
    return area;
}

// Every triangle faces where its corners' normals point.
void expectFrontsAlongNormals(const MeshData& mesh, const std::string& what) {
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        const auto n = frontOf(mesh, t);
        const base::MeshVertex& a = mesh.vertices[mesh.indices[t * 3]];
        EXPECT_GT(n[0] * a.nx + n[1] * a.ny + n[2] * a.nz, 0) << what << ": triangle " << t << " faces away";
    }
}

class ModelFiles : public InFreshDirectory {};

TEST_F(ModelFiles, TheSampleInEveryFormatIsTheSameModelWhateverTheFileIsCalled) {
    const base::Result<MeshData> x = model::readModel(assetPath("model.x"));
    ASSERT_TRUE(x) << x.error();
    // Not in the working directory: the X file's texture is found beside the model.
    EXPECT_EQ(x->materials[0].textureFilename, assetPath("フィルター.bmp"));
    expectFrontsAlongNormals(*x, "model.x");

    const base::Result<MeshData> glb = model::readModel(assetPath("model.glb"));
    ASSERT_TRUE(glb) << glb.error();
    EXPECT_EQ(trianglesOf(*glb), trianglesOf(*x)) << "positions, texture coordinates or winding differ";
    expectFrontsAlongNormals(*glb, "model.glb");

    const base::Result<MeshData> obj = model::readModel(assetPath("model.obj"));
    ASSERT_TRUE(obj) << obj.error();
    ASSERT_EQ(obj->triangleCount(), x->triangleCount());
    expectFrontsAlongNormals(*obj, "model.obj");
    ASSERT_EQ(obj->materials.size(), x->materials.size());
    for (std::uint32_t m = 0; m < x->materials.size(); ++m) {
        EXPECT_EQ(obj->materials[m].material, x->materials[m].material) << "material " << m;
        EXPECT_NEAR(areaOf(*obj, m), areaOf(*x, m), 1e-5) << "material " << m;
        EXPECT_EQ(glb->materials[m].material.diffuse, x->materials[m].material.diffuse) << "material " << m;
        EXPECT_EQ(glb->materials[m].textureFilename, x->materials[m].textureFilename) << "material " << m;
        EXPECT_EQ(obj->materials[m].textureFilename, x->materials[m].textureFilename) << "material " << m;
    }

    // The content decides, not the name; an X file's texture in the working directory wins.
    for (const char* format : {"model.glb", "model.obj"}) {
        fs::remove("model.x");
        fs::copy_file(u8(assetPath(format)), "model.x");
        if (std::strcmp(format, "model.obj") == 0) fs::copy_file(u8(assetPath("model.mtl")), "model.mtl");
        const base::Result<MeshData> named = model::readModel("model.x");
        ASSERT_TRUE(named) << format << ": " << named.error();
        EXPECT_EQ(named->triangleCount(), x->triangleCount()) << format;
    }
    fs::create_directory("elsewhere");
    fs::copy_file(u8(assetPath("model.x")), "elsewhere/model.x");
    fs::copy_file(u8(assetPath("フィルター.bmp")), u8("elsewhere/フィルター.bmp"));
    EXPECT_EQ(model::readModel("elsewhere/model.x")->materials[0].textureFilename,
              "elsewhere/フィルター.bmp");
    std::ofstream(u8("フィルター.bmp")).put(0);
    // The grab texture is the one the grab writes into the working directory, in every format.
    for (const char* format : {"model.glb", "model.obj", "model.mtl"})
        fs::copy_file(u8(assetPath(format)), fs::path("elsewhere") / format);
    for (const char* format : {"elsewhere/model.x", "elsewhere/model.glb", "elsewhere/model.obj"})
        EXPECT_EQ(model::readModel(format)->materials[0].textureFilename, "フィルター.bmp") << format;
}

// Should a reader wait on what it was given, `release` ends the wait after a while (and again
// until the test is over), so that the test fails instead of hanging.
class WaitBreaker {
public:
    explicit WaitBreaker(std::function<void()> release)
        : thread_([this, release = std::move(release)] {
              std::unique_lock lock(mutex_);
              std::chrono::milliseconds wait{5000};
              while (!over_.wait_for(lock, wait, [this] { return done_; })) {
                  lock.unlock();
                  release();
                  lock.lock();
                  wait = std::chrono::milliseconds(100);
              }
          }) {}
    ~WaitBreaker() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        over_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable over_;
    bool done_ = false;
    std::thread thread_;
};

#define EXPECT_REFUSED_FOR(result, reason)                                                                \
    do {                                                                                                  \
        const auto& refused = (result);                                                                   \
        EXPECT_FALSE(refused) << #result << " was read";                                                  \
        EXPECT_NE(refused.error().find(reason), std::string::npos) << #result << ": " << refused.error(); \
    } while (false)

TEST_F(ModelFiles, WhatIsNoRegularFileIsRefusedUnopenedInEveryFormat) {
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
#ifdef _WIN32
    // Instances of a named pipe whose server never writes: a reader that opened one would wait
    // on its first read for good.
    const std::string pipe = "\\\\.\\pipe\\nukitori-test-" + std::to_string(GetCurrentProcessId());
    std::vector<HANDLE> instances;
    for (int i = 0; i < 4; ++i) {
        instances.push_back(CreateNamedPipeW(base::pathFromUtf8(pipe).c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_BYTE | PIPE_WAIT, 4, 0, 0, 0, nullptr));
        ASSERT_NE(instances.back(), INVALID_HANDLE_VALUE) << "no named pipe to test with";
    }
    {
        const WaitBreaker breaker([&] {
            for (const HANDLE h : instances) DisconnectNamedPipe(h);
        });
        EXPECT_REFUSED_FOR(model::readModel(pipe), "named pipe");
        EXPECT_REFUSED_FOR(model::xfile::readXFile(pipe), "named pipe");
        EXPECT_REFUSED_FOR(model::readModel("NUL"), "device");
    }
    for (const HANDLE h : instances) CloseHandle(h);
#else
    for (const char* fifo : {"model.x", "m.gltf", "m.obj", "fifo.mtl", "fifo.bin"})
        ASSERT_EQ(mkfifo(fifo, 0600), 0) << "no FIFO to test with";
    fs::create_symlink("/dev/zero", "zero.x");
    writeFile("beside.obj", "mtllib fifo.mtl\n" + triangle);
    writeFile("beside.gltf", R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":36,"uri":"fifo.bin"}]})");
    const WaitBreaker breaker([] {
        for (const char* fifo : {"model.x", "m.gltf", "m.obj", "fifo.mtl", "fifo.bin"}) {
            const int end = ::open(fifo, O_WRONLY | O_NONBLOCK);
            if (end >= 0) ::close(end);
        }
    });
    EXPECT_REFUSED_FOR(model::readModel("model.x"), "\"model.x\": a FIFO, not a regular file");
    EXPECT_REFUSED_FOR(model::xfile::readXFile("model.x"), "FIFO");
    EXPECT_REFUSED_FOR(model::readModel("m.gltf"), "FIFO");
    EXPECT_REFUSED_FOR(model::readModel("m.obj"), "FIFO");
    EXPECT_REFUSED_FOR(model::readModel("zero.x"), "a device, not a regular file");
    EXPECT_REFUSED_FOR(model::readModel("beside.gltf"), "fifo.bin");
    // A material library is no more than a wish: the faces keep the default material.
    const base::Result<MeshData> obj = model::readModel("beside.obj");
    ASSERT_TRUE(obj) << obj.error();
    EXPECT_EQ(obj->materials.size(), 1u);
#endif
    EXPECT_REFUSED_FOR(model::readModel("missing.x"), "\"missing.x\": no such file");
    EXPECT_REFUSED_FOR(model::readModel(dir_.string()), "a folder");
}

// A little-endian byte buffer for glTF files made in the tests.
struct Buffer {
    std::vector<std::uint8_t> bytes;
    std::size_t floats(std::initializer_list<float> values) {
        const std::size_t at = bytes.size();
        for (const float f : values) {
            std::uint8_t b[4];
            std::memcpy(b, &f, 4);
            bytes.insert(bytes.end(), b, b + 4);
        }
        return at;
    }
    std::size_t raw(std::initializer_list<std::uint8_t> values) {
        const std::size_t at = bytes.size();
        bytes.insert(bytes.end(), values);
        bytes.resize((bytes.size() + 3) / 4 * 4);
        return at;
    }
    std::string base64() const {
        static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) |
                                    (i + 1 < bytes.size() ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                    (i + 2 < bytes.size() ? bytes[i + 2] : 0);
            out += digits[(n >> 18) & 63];
            out += digits[(n >> 12) & 63];
            out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
            out += i + 2 < bytes.size() ? digits[n & 63] : '=';
        }
        return out;
    }
    // A glTF document around `members`, with this buffer embedded.
    std::string gltf(const std::string& members) const {
        return R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":)" + std::to_string(bytes.size()) +
               R"(,"uri":"data:application/octet-stream;base64,)" + base64() + R"("}],)" + members + "}";
    }
};

std::string view(std::size_t offset, std::size_t length) {
    return R"({"buffer":0,"byteOffset":)" + std::to_string(offset) + R"(,"byteLength":)" +
           std::to_string(length) + "}";
}

TEST_F(ModelFiles, TextureNamesWithBackslashesAreFoundWithThemAsFolderSeparatorsInEveryFormat) {
    fs::create_directories("sub/tex");
    writePicture("sub/test.png", 1, 1);
    writePicture("sub/tex/a.png", 1, 1);
    const auto names = [](const base::Result<MeshData>& mesh) {
        std::vector<std::string> out;
        if (mesh)
            for (const base::MeshMaterial& m : mesh->materials) out.push_back(m.textureFilename);
        return out;
    };
    // Each file names ".\test.png" and "tex\a.png", as files written on Windows do.
    const auto expectFound = [&](const std::string& model) {
        const base::Result<MeshData> mesh = model::readModel(model);
        ASSERT_TRUE(mesh) << model << ": " << mesh.error();
        const std::vector<std::string> found = names(mesh);
        ASSERT_GE(found.size(), 2u) << model;
        std::error_code ignored;
        EXPECT_TRUE(fs::equivalent(u8(found[0]), "sub/test.png", ignored)) << model << ": " << found[0];
        EXPECT_TRUE(fs::equivalent(u8(found[1]), "sub/tex/a.png", ignored)) << model << ": " << found[1];
    };
    writeFile("sub/m.x", R"(xof 0303txt 0032
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
  MeshMaterialList { 2; 1; 0;;
    Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { ".\test.png"; } }
    Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "tex\a.png"; } } } }
)");
    expectFound("sub/m.x");
    writeFile("sub/m.obj", "mtllib m.mtl\nusemtl a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    writeFile("sub/m.mtl", "newmtl a\nmap_Kd .\\test.png\nnewmtl b\nmap_Kd tex\\a.png\n");
    expectFound("sub/m.obj");
    Buffer b;
    b.floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    writeFile("sub/m.gltf", b.gltf(R"("bufferViews":[{"buffer":0,"byteLength":36}],
        "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],
        "meshes":[{"primitives":[{"attributes":{"POSITION":0},"material":0}]}],"nodes":[{"mesh":0}],
        "materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}},
                     {"pbrMetallicRoughness":{"baseColorTexture":{"index":1}}}],
        "textures":[{"source":0},{"source":1}],"images":[{"uri":".\\test.png"},{"uri":"tex\\a.png"}])"));
    expectFound("sub/m.gltf");
#ifndef _WIN32
    // Where a file has the name as written, it is that file.
    writePicture("sub/tex\\a.png", 1, 1);
    EXPECT_EQ(names(model::readModel("sub/m.obj")).at(1), "sub/tex\\a.png");
    // Found nowhere: the name stays as written, for the problem line to name.
    writeFile("sub/m.mtl", "newmtl a\nmap_Kd .\\gone.png\n");
    EXPECT_EQ(names(model::readModel("sub/m.obj")).at(0), "sub/.\\gone.png");
#endif
}

TEST(GltfReader, StripsFansSparseDataPackedCoordinatesAndMirroredInstancesAllFaceTheViewer) {
    // A unit square in the xy plane, counter-clockwise seen from +z (its front in glTF). The third
    // corner is wrong in the data and set right by a sparse substitution.
    Buffer b;
    const std::size_t positions = b.floats({0, 0, 0, 1, 0, 0, 9, 9, 9, 0, 1, 0});
    const std::size_t coords = b.raw({0, 0, 255, 0, 255, 255, 0, 255});
    const std::size_t strip = b.raw({0, 1, 3, 2});
    const std::size_t sparseIndex = b.raw({2});
    const std::size_t sparseValue = b.floats({1, 1, 0});
    const std::string views = R"("bufferViews":[)" + view(positions, 48) + "," + view(coords, 8) + "," +
                              view(strip, 4) + "," + view(sparseIndex, 1) + "," + view(sparseValue, 12) +
                              "],";
    const std::string accessors = R"("accessors":[
      {"bufferView":0,"componentType":5126,"count":4,"type":"VEC3",
       "sparse":{"count":1,"indices":{"bufferView":3,"componentType":5121},"values":{"bufferView":4}}},
      {"bufferView":1,"componentType":5121,"normalized":true,"count":4,"type":"VEC2"},
      {"bufferView":2,"componentType":5121,"count":4,"type":"SCALAR"}],)";
    // The mesh's node sits 5 along z inside a node that doubles and moves 1 along x; a second
    // instance is mirrored in x. Lines are skipped; the fan has no material of its own.
    const std::string rest = R"(
      "meshes":[{"primitives":[
        {"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"mode":5,"material":0},
        {"attributes":{"POSITION":0,"TEXCOORD_0":1},"mode":6},
        {"attributes":{"POSITION":0},"indices":2,"mode":1}]}],
      "materials":[{"pbrMetallicRoughness":{"baseColorFactor":[0.5,0.25,1,0.75],"baseColorTexture":{"index":0}},
                    "emissiveFactor":[0.1,0.2,0.3]}],
      "textures":[{"source":0}],
      "images":[{"uri":"data:image/png;base64,cGljdHVyZQ=="}],
      "nodes":[{"scale":[2,2,2],"translation":[1,0,0],"children":[1]},{"translation":[0,0,5],"mesh":0},
               {"scale":[-1,1,1],"mesh":0}],
      "scenes":[{"nodes":[0,2]}],"scene":0)";
    const base::Result<MeshData> mesh = parse(b.gltf(views + accessors + rest), "square.gltf");
    ASSERT_TRUE(mesh) << mesh.error();

    ASSERT_EQ(mesh->triangleCount(), 8u) << "two instances of a two-triangle strip and a two-triangle fan";
    for (std::size_t t = 0; t < mesh->triangleCount(); ++t) {
        // Right-handed +z is left-handed -z: towards the default camera, clockwise on its screen.
        EXPECT_LT(frontOf(*mesh, t)[2], 0) << "triangle " << t << " turns its back to the viewer";
        const base::MeshVertex& v = mesh->vertices[mesh->indices[t * 3]];
        EXPECT_FLOAT_EQ(v.nz, -1.0f) << "triangle " << t << " has no flat normal towards the viewer";
        EXPECT_TRUE(v.u == 0 || v.u == 1) << "packed texture coordinates are not in 0..1";
    }
    float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
    for (std::size_t t = 0; t < 4; ++t)
        for (int k = 0; k < 3; ++k) {
            const base::MeshVertex& v = mesh->vertices[mesh->indices[t * 3 + k]];
            const float p[3] = {v.x, v.y, v.z};
            for (int i = 0; i < 3; ++i) low[i] = std::min(low[i], p[i]), high[i] = std::max(high[i], p[i]);
        }
    EXPECT_EQ((std::array{low[0], low[1], low[2], high[0], high[1], high[2]}),
              (std::array{1.0f, 0.0f, -10.0f, 3.0f, 2.0f, -10.0f}))
        << "the first instance is not placed by both nodes, or the sparse corner was not applied";

    ASSERT_EQ(mesh->materials.size(), 2u) << "the file's material and the default one";
    EXPECT_EQ(mesh->materials[0].material.diffuse, (base::ColourValue{0.5f, 0.25f, 1.0f, 0.75f}));
    EXPECT_EQ(mesh->materials[0].material.emissive, (base::ColourValue{0.1f, 0.2f, 0.3f, 1.0f}));
    ASSERT_TRUE(mesh->materials[0].embeddedTexture);
    EXPECT_EQ(
        std::string(mesh->materials[0].embeddedTexture->begin(), mesh->materials[0].embeddedTexture->end()),
        "picture");
    EXPECT_EQ(mesh->materials[1].material.diffuse, (base::ColourValue{1, 1, 1, 1}));
    EXPECT_EQ(std::count(mesh->attributes.begin(), mesh->attributes.end(), 1u), 4);
}

std::string glb(const std::string& json, const std::vector<std::uint8_t>& bin) {
    std::string text = json;
    text.resize((text.size() + 3) / 4 * 4, ' ');
    auto word = [](std::size_t v) {
        std::string w(4, '\0');
        for (int i = 0; i < 4; ++i) w[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return w;
    };
    const std::size_t total = 12 + 8 + text.size() + 8 + bin.size();
    return "glTF" + word(2) + word(total) + word(text.size()) + "JSON" + text + word(bin.size()) +
           std::string("BIN\0", 4) + std::string(bin.begin(), bin.end());
}

TEST(ModelReader, BadFilesAreRefusedWithAReason) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Buffer good, notFinite;
    good.floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    notFinite.floats({0, 0, 0, nan, 0, 0, 0, 1, 0});
    const std::string triangle = R"("bufferViews":[{"buffer":0,"byteLength":36}],
        "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],
        "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)";
    auto withIndex = [&](int index) {
        Buffer b = good;
        b.raw({0, 1, static_cast<std::uint8_t>(index)});
        return b.gltf(
            R"("bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":3}],
            "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},
                         {"bufferView":1,"componentType":5121,"count":3,"type":"SCALAR"}],
            "meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],"nodes":[{"mesh":0}])");
    };
    const base::Result<MeshData> wellFormed = parse(withIndex(2), "ok.gltf");
    ASSERT_TRUE(wellFormed) << "the well-formed case must load, or the rest proves nothing: "
                            << wellFormed.error();

    const std::string utf16("\xFF\xFE{\0\"\0a\0s\0s\0e\0t\0\"\0:\0{\0}\0}\0", 26);
    std::string utf16Obj = "\xFF\xFE";
    for (const char c : std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")) utf16Obj += {c, '\0'};
    // A node graph of 18 levels, each node holding the mesh of 128 vertices and the next node
    // twice: 262,143 places, 33.5 million vertices from a file of 3 KB.
    Buffer many;
    for (int i = 0; i < 128; ++i) many.floats({static_cast<float>(i), 0, 0});
    for (int i = 0; i < 128; ++i) many.floats({0, 0, 1});
    std::string nodes;
    for (int i = 0; i < 18; ++i)
        nodes +=
            std::string(i ? "," : "") + R"({"mesh":0)" +
            (i < 17 ? R"(,"children":[)" + std::to_string(i + 1) + "," + std::to_string(i + 1) + "]" : "") +
            "}";
    const std::string instancing = many.gltf(R"("bufferViews":[)" + view(0, 1536) + "," + view(1536, 1536) +
                                             R"(],
        "accessors":[{"bufferView":0,"componentType":5126,"count":128,"type":"VEC3"},
                     {"bufferView":1,"componentType":5126,"count":128,"type":"VEC3"}],
        "meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1}}]}],
        "nodes":[)" + nodes + R"(],"scenes":[{"nodes":[0]}])");
    const std::string junk("\x00\x9F\x12\xFFxof glTF\x01\x02\x03", 15);
    const struct {
        const char* what;
        std::string content;
        const char* name;
        const char* reason;
    } cases[] = {
        {"an index past the vertices", withIndex(7), "m.gltf", "index out of range"},
        {"a node that holds itself",
         good.gltf(triangle + R"("nodes":[{"children":[1]},{"children":[0],"mesh":0}],
            "scenes":[{"nodes":[0]}])"),
         "m.gltf", "own ancestor"},
        {"more elements than the data holds", good.gltf(R"("bufferViews":[{"buffer":0,"byteLength":36}],
            "accessors":[{"bufferView":0,"componentType":5126,"count":3000000,"type":"VEC3"}],
            "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[{"mesh":0}])"),
         "m.gltf", "3000000 elements"},
        {"a buffer file that is not there",
         R"({"asset":{"version":"2.0"},
            "buffers":[{"byteLength":36,"uri":"gone.bin"}],)" +
             triangle + R"("nodes":[{"mesh":0}]})",
         "m.gltf", "gone.bin"},
        {"a position that is not a number", notFinite.gltf(triangle + R"("nodes":[{"mesh":0}])"), "m.gltf",
         "not a finite number"},
        {"UTF-16 text", utf16, "m.gltf", ""},
        {"binary junk", junk, "m.glb", ""},
        {"a claimed 2 GB buffer",
         glb(R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":2147483648}]})",
             std::vector<std::uint8_t>(36)),
         "m.glb", ""},
        {"no triangles", R"({"asset":{"version":"2.0"}})", "m.gltf", "no triangles"},
        {"one mesh placed many times", instancing, "m.gltf", "too many vertices"},
        {"an OBJ face past the vertices", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", "m.obj", "does not exist"},
        {"an OBJ face counting back too far", "v 0 0 0\nf -1 -2 -3\n", "m.obj", "back past"},
        {"an OBJ position beyond any float", "v 1e999 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "m.obj", "finite"},
        {"an OBJ without faces", "# nothing\nv 1 2 3\n", "m.obj", "no faces"},
        {"a UTF-16 OBJ", utf16Obj, "m.obj", "not UTF-8 text"},
        {"no known format", "hello", "m.txt", "not a model"},
    };
    for (const auto& c : cases) {
        const base::Result<MeshData> result = parse(c.content, c.name);
        EXPECT_FALSE(result) << c.what << " was read";
        if (!result) {
            EXPECT_FALSE(result.error().empty()) << c.what;
            EXPECT_NE(result.error().find(c.reason), std::string::npos) << c.what << ": " << result.error();
        }
    }
}

// The format's name as the reader chosen for `text` called `name` gives it, "none" for none.
std::string chosenFor(const std::string& text, const std::string& name) {
    const std::vector<std::uint8_t> bytes = bytesOf(text);
    const model::ModelReader* reader = model::readerFor(bytes, name);
    return reader ? std::string(reader->name) : "none";
}

TEST(ModelReaders, ASignatureOutranksTheNameAndTheNameOutranksPlainText) {
    const std::string obj = "# a triangle\nv 0 0 0\n";
    EXPECT_EQ(chosenFor("xof 0303txt 0032", "m.obj"), "X");
    EXPECT_EQ(chosenFor("glTF\x02", "m.x"), "GLB");
    EXPECT_EQ(chosenFor(" {\"asset\":{}}", "m.obj"), "glTF");
    EXPECT_EQ(chosenFor(obj, "m.gltf"), "glTF") << "text that only looks like OBJ overrode a glTF name";
    EXPECT_EQ(chosenFor(obj, "model.x"), "OBJ") << "the program opens model.x whatever it holds";
    EXPECT_EQ(chosenFor(obj, "model"), "OBJ");
    EXPECT_EQ(chosenFor("hello", "M.OBJ"), "OBJ");
    EXPECT_EQ(chosenFor("hello", "m.GLB"), "GLB");
    EXPECT_EQ(chosenFor("hello", "folder.x/model"), "none") << "a folder's extension is not the file's";
    EXPECT_EQ(chosenFor("hello", "model.x.txt"), "none");
    EXPECT_EQ(parse("hello", "m.txt").error(), "not a model nukitori reads (X, glTF, GLB or OBJ)");
}

TEST(ObjReader, CornersThatAgreeShareTheirVertexAndNoOthers) {
    // A square of two triangles, then two more triangles whose first corner stands where the
    // square's first does but with another texture coordinate.
    const base::Result<MeshData> mesh = parse(R"(v 0 0 0
v 1 0 0
v 1 1 0
v 0 1 0
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vt 0.5 0.5
vn 0 0 1
f 1/1/1 2/2/1 3/3/1
f 1/1/1 3/3/1 4/4/1
f 1/5/1 2/2/1 4/4/1
f 1/5/1 3/3/1 4/4/1
)",
                                              "square.obj");
    ASSERT_TRUE(mesh) << mesh.error();
    ASSERT_EQ(mesh->triangleCount(), 4u);
    EXPECT_EQ(mesh->vertices.size(), 5u) << "four corners of the square and the one other coordinate";
    // Corners listed as 1, 3, 2 per triangle: the device's winding.
    EXPECT_EQ(mesh->indices[0], mesh->indices[3]) << "the square's first corner is not shared";
    EXPECT_NE(mesh->indices[0], mesh->indices[6])
        << "a corner with another coordinate took the square's vertex";
    EXPECT_EQ(mesh->indices[6], mesh->indices[9])
        << "the corner met again with the same coordinate is not shared";
    EXPECT_FLOAT_EQ(mesh->vertices[mesh->indices[6]].u, 0.5f);
}

double signedArea(const std::vector<std::array<float, 3>>& p, std::size_t a, std::size_t b, std::size_t c) {
    return ((p[b][0] - p[a][0]) * (p[c][2] - p[a][2]) - (p[b][2] - p[a][2]) * (p[c][0] - p[a][0])) / 2.0;
}

TEST(Polygon, ConcavePolygonsAreCoveredExactlyOnceTurningTheirOwnWay) {
    // Outlines in the xz plane (so the plane is found, not assumed), both ways round: an L and
    // an arrow whose notch a fan would fill.
    const std::vector<std::vector<std::array<float, 2>>> outlines = {
        {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}},
        {{0, 0}, {2, 1}, {4, 0}, {4, 4}, {2, 2}, {0, 4}},
    };
    for (const auto& outline : outlines) {
        for (const bool reversed : {false, true}) {
            std::vector<std::array<float, 3>> corners;
            for (const auto& [x, z] : outline) corners.push_back({x, 7.0f, z});
            if (reversed) std::reverse(corners.begin(), corners.end());
            double area = 0;
            for (std::size_t i = 1; i + 1 < corners.size(); ++i) area += signedArea(corners, 0, i, i + 1);
            std::vector<std::uint32_t> split;
            model::triangulatePolygon(corners, split);
            ASSERT_EQ(split.size(), (corners.size() - 2) * 3);
            double covered = 0;
            for (std::size_t t = 0; t < split.size(); t += 3) {
                const double part = signedArea(corners, split[t], split[t + 1], split[t + 2]);
                EXPECT_GT(part * area, 0) << "a triangle turns against the polygon or is flat";
                covered += part;
            }
            EXPECT_NEAR(covered, area, 1e-9) << "the triangles overlap or leave a gap";
        }
    }
}

}  // namespace
