#include "device_conformance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "conformance_scenes.h"
#include "fixed_function_reference.h"

namespace device_test {

using device::kTaCurrent;
using device::kTaDiffuse;
using device::kTaTexture;
using device::kTopDisable;
using device::kTopModulate;
using device::kTopSelectArg1;
using device::kTopSelectArg2;
using device::PrimitiveType;
using device::RenderState;
using device::TextureStageState;
using device::TransformState;

std::string deviceKindName(const ::testing::TestParamInfo<DeviceKind>& info) {
    return info.param.name;
}

void PrintTo(const DeviceKind& kind, std::ostream* out) {
    *out << kind.name;
}

void DeviceConformance::SetUp() {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const auto fault = GetParam().knownFaults.find(test.substr(0, test.find('/')));
    if (fault != GetParam().knownFaults.end())
        GTEST_SKIP() << "a known fault of this device: " << fault->second;
    auto made = GetParam().make(kWidth, kHeight);
    ASSERT_TRUE(made) << "the device could not be made: " << made.error();
    target_ = std::move(*made);
}

void DeviceConformance::TearDown() {
    buffers_.clear();
    target_.reset();
}

void DeviceConformance::drawScreen(PrimitiveType type, const std::vector<ScreenVertex>& vertices) {
    const auto length = static_cast<std::uint32_t>(vertices.size() * sizeof(ScreenVertex));
    auto buffer = device().createVertexBuffer(length, device::kFvfXyzrhwDiffuseTex1);
    ASSERT_NE(buffer, nullptr);
    void* memory = buffer->lock();
    ASSERT_NE(memory, nullptr);
    std::memcpy(memory, vertices.data(), length);
    buffer->unlock();
    device().setStreamSource(0, buffer.get(), 0, sizeof(ScreenVertex));
    device().setFvf(device::kFvfXyzrhwDiffuseTex1);
    const auto n = static_cast<std::uint32_t>(vertices.size());
    device().drawPrimitive(type, 0, type == PrimitiveType::TriangleStrip ? n - 2 : n / 3);
    buffers_.push_back(std::move(buffer));
}

void DeviceConformance::drawQuad(float left, float top, float right, float bottom, std::uint32_t colour,
                                 float z, float u0, float v0, float u1, float v1) {
    drawScreen(PrimitiveType::TriangleStrip, {{left, top, z, 1, colour, u0, v0},
                                              {right, top, z, 1, colour, u1, v0},
                                              {left, bottom, z, 1, colour, u0, v1},
                                              {right, bottom, z, 1, colour, u1, v1}});
}

void DeviceConformance::setStage(std::uint32_t colourOp, std::uint32_t colourArg1, std::uint32_t colourArg2,
                                 std::uint32_t alphaOp, std::uint32_t alphaArg1, std::uint32_t alphaArg2) {
    device().setTextureStageState(0, TextureStageState::ColorOp, colourOp);
    device().setTextureStageState(0, TextureStageState::ColorArg1, colourArg1);
    device().setTextureStageState(0, TextureStageState::ColorArg2, colourArg2);
    device().setTextureStageState(0, TextureStageState::AlphaOp, alphaOp);
    device().setTextureStageState(0, TextureStageState::AlphaArg1, alphaArg1);
    device().setTextureStageState(0, TextureStageState::AlphaArg2, alphaArg2);
}

namespace {

constexpr std::uint32_t kBackground = 0xFF3CA3B9;  // no channel on a 5-6-5 level

void setBlend(device::GraphicsDevice& device, bool on) {
    device.setRenderState(RenderState::AlphaBlendEnable, on ? 1 : 0);
    device.setRenderState(RenderState::SrcBlend, device::kBlendSrcAlpha);
    device.setRenderState(RenderState::DestBlend, device::kBlendInvSrcAlpha);
}

}  // namespace

TEST_P(DeviceConformance, ClearFillsTheBackBufferAndHonoursItsFlags) {
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    device().clear(device::kClearZBuffer, 0xFF000000, 1.0f, 0);
    device().endScene();
    const base::Image image = readBackBuffer();
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    expectPicture(image, std::vector<Rgba>(kWidth * kHeight, fromArgb(kBackground)), kWidth,
                  "cleared, then a depth-only clear");
    for (std::uint32_t pixel : image.pixels)
        if ((pixel & 0xFFFFFF) != (image.pixels[0] & 0xFFFFFF)) {
            ADD_FAILURE() << "the clear is not uniform";
            break;
        }
}

TEST_P(DeviceConformance, BackBufferHoldsColoursAt565Precision) {
    // Neither colour has a channel that a 5-6-5 back buffer can hold exactly.
    const std::uint32_t drawn = 0xFF8B6647;
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    drawQuad(16, 16, 48, 48, drawn);
    device().endScene();
    const base::Image image = readBackBuffer();
    const struct {
        int x, y;
        std::uint32_t colour;
    } samples[] = {{4, 4, kBackground}, {32, 32, drawn}};
    for (const auto& s : samples) {
        EXPECT_TRUE(showsColour(image, s.x, s.y, fromArgb(s.colour)));
        const std::uint32_t p = image.at(s.x, s.y);
        EXPECT_TRUE(onGrid(static_cast<int>((p >> 16) & 0xFF), 5) &&
                    onGrid(static_cast<int>((p >> 8) & 0xFF), 6) && onGrid(static_cast<int>(p & 0xFF), 5))
            << std::hex << "0x" << (p & 0xFFFFFF) << " for 0x" << (s.colour & 0xFFFFFF)
            << " is not a colour a 5-6-5 back buffer holds";
    }
}

TEST_P(DeviceConformance, PretransformedQuadsOnWholePixelsCoverExactlyTheirPixels) {
    const std::vector<std::vector<ScreenVertex>> quads = {
        quad(4, 4, 14, 12, 0xFFFF0000),
        quad(40, 4, 41, 20, 0xFF00FF00),   // one column
        quad(50, 10, 51, 11, 0xFFFFFF00),  // one pixel
        // Sharing an edge: its pixels belong to the quad on the right, drawn first, so that an
        // overlap would show.
        quad(20, 24, 36, 40, 0xFF0000FF),
        quad(4, 24, 20, 40, 0xFFFF00FF),
        quad(44, 30, 63, 63, 0xFFFFFFFF),
    };
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    std::vector<Rgba> expected(kWidth * kHeight, fromArgb(kBackground));
    for (const auto& q : quads) {
        drawScreen(PrimitiveType::TriangleStrip, q);
        paintExpected(expected, PrimitiveType::TriangleStrip, q, kWidth, kHeight);
    }
    device().endScene();
    expectPicture(readBackBuffer(), expected, kWidth, "quads on whole pixels");
}

TEST_P(DeviceConformance, PixelCentresLieOnWholeCoordinates) {
    // Edges half-way between pixel centres and a quarter off them, a diagonal through pixel
    // centres shared by two triangles (each centre on it belongs to the triangle whose left edge
    // it is; the second is drawn last, so an overlap would show), and fractional sloped edges
    // that pass no pixel centre closer than a tenth of a pixel, so that only where centres lie
    // decides.
    const std::vector<std::pair<PrimitiveType, std::vector<ScreenVertex>>> shapes = {
        {PrimitiveType::TriangleStrip, quad(20.5f, 4.5f, 30.5f, 12.5f, 0xFF00FF00)},
        {PrimitiveType::TriangleStrip, quad(36.25f, 4.75f, 46.75f, 12.25f, 0xFFFFFF00)},
        {PrimitiveType::TriangleStrip, quad(50.75f, 2.25f, 61.25f, 13.75f, 0xFF0000FF)},
        {PrimitiveType::TriangleList, triangle({24, 18}, {24, 40}, {2, 40}, 0xFFFF00FF)},
        {PrimitiveType::TriangleList, triangle({2, 18}, {24, 18}, {2, 40}, 0xFF00FFFF)},
        {PrimitiveType::TriangleList,
         triangle({34.25f, 20.25f}, {58.25f, 32.25f}, {34.25f, 56.25f}, 0xFFFFFFFF)},
    };
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    std::vector<Rgba> expected(kWidth * kHeight, fromArgb(kBackground));
    for (const auto& [type, vertices] : shapes) {
        drawScreen(type, vertices);
        paintExpected(expected, type, vertices, kWidth, kHeight);
    }
    device().endScene();
    expectPicture(readBackBuffer(), expected, kWidth, "pre-transformed shapes off whole pixels");

    // The same through the transforms: a rectangle with edges a quarter off pixel centres
    // (the orthographic projection puts camera x, y at pixel 32 + 8x, 32 - 8y).
    const Transforms t = movedCamera(orthoLH(8, 8, 1, 20));
    auto camera = [](double px, double py) { return Vec{(px - 32) / 8, (32 - py) / 8, 5}; };
    const Vec tl = camera(6.25, 40.75), tr = camera(30.75, 40.75), bl = camera(6.25, 58.25),
              br = camera(30.75, 58.25);
    const base::MeshData data = meshFor({{{tl, tr, bl}, {0, 0, -1}, 0}, {{tr, br, bl}, {0, 0, -1}, 0}}, t);
    auto mesh = device().createMesh(data);
    ASSERT_NE(mesh, nullptr);
    // Texture coordinates sampled at pixel centres: a quad on whole pixels minifies 32 texels
    // of alternating colours to 16 pixels, starting half a texel in, so that every centre
    // samples the middle of an even texel. The program's overlay is such a minified picture.
    base::Image stripes(32, 1);
    for (int i = 0; i < 32; ++i)
        stripes.pixels[static_cast<std::size_t>(i)] = i % 2 ? 0xFF0080FF : 0xFFFF8000;
    auto texture = device().createTexture(stripes);
    ASSERT_NE(texture, nullptr);

    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setTransforms(device(), t);
    device().setRenderState(RenderState::Lighting, 1);
    device().setMaterial(emissive(1, 1, 0));
    device().drawSubset(*mesh, 0);
    setStage(kTopSelectArg1, kTaTexture, kTaCurrent, kTopSelectArg1, kTaTexture, kTaCurrent);
    device().setTexture(0, texture.get());
    drawQuad(40, 8, 56, 24, 0xFFFFFFFF, 0.5f, 1.0f / 64, 0, 1 + 1.0f / 64, 1);
    device().endScene();
    const base::Image image = readBackBuffer();

    std::vector<Rgba> picture(kWidth * kHeight, fromArgb(kBackground));
    for (std::size_t i = 0; i < 2; ++i) {
        const ScreenTriangle s = projected(data, i, t, kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (covers(s, x, y)) picture[y * kWidth + x] = {1, 1, 0, 1};
    }
    for (int y = 8; y < 24; ++y)
        for (int x = 40; x < 56; ++x) picture[y * kWidth + x] = fromArgb(stripes.pixels[0]);
    expectPicture(image, picture, kWidth, "transformed rectangle and sampled texels");
}

TEST_P(DeviceConformance, DirectionalLightGivesAmbientDiffuseAndSpecularPerVertex) {
    // Orthographic, so that screen-space and perspective-correct interpolation agree.
    const Transforms t = movedCamera(orthoLH(8, 8, 1, 20));
    // In camera space; the orthographic projection puts x, y at pixel (32 + 8x, 32 - 8y).
    const Vec facing = normalize({0.25, 0.3, -1});
    const Vec away = normalize({0.1, -0.4, 1});
    const std::vector<CameraTriangle> triangles = {
        {{{-3.5, 3.5, 4}, {3.5, 3.5, 5}, {-3.5, -3.5, 5}}, facing, 0},
        {{{3.5, 2.5, 5}, {3.5, -3.5, 5}, {-2.5, -3.5, 5}}, away, 1},
    };
    const base::MeshData data = meshFor(triangles, t);
    // Shines down, to the right and away from the camera; given in world space.
    const Vec cameraDirection = normalize({0.2, -0.45, 1});
    const Vec worldDirection = transformDirection(cameraDirection, rigidInverse(t.view));

    device::Light light;
    light.type = device::LightType::Directional;
    light.diffuse = {0.7f, 0.8f, 0.6f, 1};
    light.specular = {0.5f, 0.5f, 0.6f, 1};
    light.ambient = {0.2f, 0.3f, 0.25f, 1};
    light.direction[0] = static_cast<float>(worldDirection.x);
    light.direction[1] = static_cast<float>(worldDirection.y);
    light.direction[2] = static_cast<float>(worldDirection.z);
    device::Light unused = light;
    unused.diffuse = unused.ambient = unused.specular = {1, 1, 1, 1};
    base::Material materials[2]{};
    materials[0].diffuse = {0.6f, 0.5f, 0.3f, 1};
    materials[0].ambient = {0.5f, 0.4f, 0.6f, 1};
    materials[0].specular = {0.8f, 0.6f, 0.4f, 1};
    materials[0].emissive = {0.05f, 0.1f, 0, 0};
    materials[0].power = 8;
    materials[1].diffuse = {0.9f, 0.9f, 0.9f, 1};
    materials[1].ambient = {0.3f, 0.5f, 0.7f, 1};
    materials[1].specular = {1, 1, 1, 1};
    materials[1].emissive = {0.1f, 0.05f, 0.2f, 0};
    materials[1].power = 4;

    auto mesh = device().createMesh(data);
    ASSERT_NE(mesh, nullptr);
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, 0xFF000000, 1.0f, 0);
    setTransforms(device(), t);
    // A light that is set but never enabled adds nothing.
    device().setLight(0, unused);
    device().setLight(2, light);
    device().lightEnable(2, true);
    device().setRenderState(RenderState::Lighting, 1);
    device().setRenderState(RenderState::SpecularEnable, 1);
    device().setMaterial(materials[0]);
    device().drawSubset(*mesh, 0);
    // The second triangle faces away from the light, without specular.
    device().setRenderState(RenderState::SpecularEnable, 0);
    device().setMaterial(materials[1]);
    device().drawSubset(*mesh, 1);
    device().endScene();
    const base::Image image = readBackBuffer();

    const base::Matrix worldView = t.worldView();
    const Vec lightInCamera =
        transformDirection({light.direction[0], light.direction[1], light.direction[2]}, t.view);
    const std::vector<std::vector<std::array<int, 2>>> samples = {
        {{10, 10}, {30, 10}, {50, 8}, {10, 30}, {25, 25}, {10, 50}, {18, 40}, {40, 18}},
        {{56, 20}, {56, 56}, {20, 56}, {45, 45}, {50, 35}},
    };
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        const ScreenTriangle screen = projected(data, i, t, kWidth, kHeight);
        LitVertex lit[3];
        for (int k = 0; k < 3; ++k) {
            const base::MeshVertex& v = data.vertices[data.indices[i * 3 + k]];
            lit[k] = lightVertex(transformPoint(positionOf(v), worldView),
                                 normalize(transformDirection({v.nx, v.ny, v.nz}, worldView)), lightInCamera,
                                 light, materials[i], i == 0);
        }
        for (const auto& [x, y] : samples[i]) {
            ASSERT_TRUE(covers(screen, x, y)) << "sample (" << x << ", " << y << ") of triangle " << i;
            double w[3];
            barycentric(screen, x, y, w);
            Rgba diffuse{0, 0, 0, 0}, specular{0, 0, 0, 0};
            for (int k = 0; k < 3; ++k) {
                diffuse = {diffuse.r + w[k] * lit[k].diffuse.r, diffuse.g + w[k] * lit[k].diffuse.g,
                           diffuse.b + w[k] * lit[k].diffuse.b, 1};
                specular = {specular.r + w[k] * lit[k].specular.r, specular.g + w[k] * lit[k].specular.g,
                            specular.b + w[k] * lit[k].specular.b, 0};
            }
            // Stage 0 at its initial states modulates the (absent) texture with the lit colour,
            // then the specular colour is added.
            const Rgba colour = stage0({}, {1, 1, 1, 1}, diffuse);
            EXPECT_TRUE(showsColour(image, x, y,
                                    {colour.r + specular.r, colour.g + specular.g, colour.b + specular.b, 1}))
                << "triangle " << i;
        }
    }
}

TEST_P(DeviceConformance, TextureStageOperationsSelectAndModulateTheirArguments) {
    const std::uint32_t texel = 0x60F0E020, diffuse = 0x9030C0F0;
    auto texture = device().createTexture(base::Image(2, 2, texel));
    ASSERT_NE(texture, nullptr);
    struct Cell {
        StageStates states;
        bool blend;
    };
    std::vector<Cell> cells;
    cells.push_back({{}, false});  // the initial states
    const std::uint32_t ops[] = {kTopSelectArg1, kTopSelectArg2, kTopModulate};
    const std::uint32_t args[] = {kTaTexture, kTaDiffuse, kTaCurrent};
    // Colours opaque; alphas seen through blending over black, with the texture's colour.
    for (auto op : ops)
        for (auto a1 : args)
            for (auto a2 : args)
                cells.push_back({{op, a1, a2, kTopSelectArg1, kTaTexture, kTaCurrent}, false});
    for (auto op : ops)
        for (auto a1 : args)
            for (auto a2 : args)
                cells.push_back({{kTopSelectArg1, kTaTexture, kTaCurrent, op, a1, a2}, true});
    // A disabled stage passes the diffuse colour and alpha, whatever its alpha operation says.
    cells.push_back({{kTopDisable, kTaTexture, kTaCurrent, kTopSelectArg1, kTaTexture, kTaCurrent}, true});
    ASSERT_LE(cells.size(), 64u);

    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, 0xFF000000, 1.0f, 0);
    device().setTexture(0, texture.get());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const StageStates& s = cells[i].states;
        if (i > 0) setStage(s.colourOp, s.colourArg1, s.colourArg2, s.alphaOp, s.alphaArg1, s.alphaArg2);
        setBlend(device(), cells[i].blend);
        const float x = static_cast<float>(i % 8 * 8 + 1), y = static_cast<float>(i / 8 * 8 + 1);
        drawQuad(x, y, x + 6, y + 6, diffuse);
    }
    device().endScene();
    const base::Image image = readBackBuffer();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const StageStates& s = cells[i].states;
        Rgba out = stage0(s, fromArgb(texel), fromArgb(diffuse));
        if (cells[i].blend) out = blendSrcAlpha(out, {0, 0, 0, 1});
        EXPECT_TRUE(showsColour(image, static_cast<int>(i % 8 * 8 + 4), static_cast<int>(i / 8 * 8 + 4), out))
            << "colour op " << s.colourOp << " (" << s.colourArg1 << ", " << s.colourArg2 << "), alpha op "
            << s.alphaOp << " (" << s.alphaArg1 << ", " << s.alphaArg2 << ")"
            << (cells[i].blend ? ", blended" : "");
    }
}

TEST_P(DeviceConformance, SourceAlphaBlendingMixesWithWhatTheBackBufferHolds) {
    const std::uint32_t alphas[] = {0x00, 0x40, 0x80, 0xC0, 0xFF};
    const std::uint32_t red = 0x00F02010, blue = 0x801020F0;
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    setBlend(device(), true);
    for (int i = 0; i < 5; ++i) drawQuad(4.0f + i * 12, 4, 12.0f + i * 12, 24, alphas[i] << 24 | red);
    // A second layer over the half-covered quad and the background beside it.
    drawQuad(28, 14, 44, 34, blue);
    setBlend(device(), false);
    drawQuad(4, 40, 20, 56, 0x40000000 | red);
    device().endScene();
    const base::Image image = readBackBuffer();

    // The back buffer holds 5-6-5 colours, and blending reads what it holds.
    const Rgba background = storedIn565(fromArgb(kBackground));
    for (int i = 0; i < 5; ++i) {
        const Rgba once = blendSrcAlpha(fromArgb(alphas[i] << 24 | red), background);
        EXPECT_TRUE(showsColour(image, 8 + i * 12, 8, once)) << "alpha 0x" << std::hex << alphas[i];
        if (i == 2) {
            EXPECT_TRUE(showsColour(image, 32, 20, blendSrcAlpha(fromArgb(blue), storedIn565(once))))
                << "two layers";
        }
    }
    EXPECT_TRUE(showsColour(image, 40, 30, blendSrcAlpha(fromArgb(blue), background))) << "one layer";
    EXPECT_TRUE(showsColour(image, 12, 48, fromArgb(0xFF000000 | red))) << "blending off draws opaque";
}

TEST_P(DeviceConformance, LessEqualDepthKeepsTheNearestSurface) {
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    drawQuad(8, 8, 40, 40, 0xFFFF0000, 0.5f);
    drawQuad(24, 8, 56, 40, 0xFF00FF00, 0.5f);    // equal depth: drawn
    drawQuad(8, 24, 56, 56, 0xFF0000FF, 0.75f);   // behind: only where nothing is
    drawQuad(16, 16, 32, 48, 0xFFFFFF00, 0.25f);  // in front of everything
    device().endScene();
    const base::Image first = readBackBuffer();
    const struct {
        int x, y;
        std::uint32_t colour;
    } samples[] = {{12, 12, 0xFFFF0000}, {30, 12, 0xFF00FF00}, {50, 12, 0xFF00FF00}, {12, 30, 0xFFFF0000},
                   {50, 30, 0xFF00FF00}, {12, 50, 0xFF0000FF}, {20, 20, 0xFFFFFF00}, {20, 44, 0xFFFFFF00},
                   {40, 50, 0xFF0000FF}, {60, 60, kBackground}};
    for (const auto& s : samples) EXPECT_TRUE(showsColour(first, s.x, s.y, fromArgb(s.colour)));

    // A depth clear alone: a surface at the cleared depth is drawn, one behind it is not.
    device().beginScene();
    device().clear(device::kClearZBuffer, 0, 0.25f, 0);
    drawQuad(4, 4, 30, 60, 0xFFFFFFFF, 0.25f);
    drawQuad(34, 4, 60, 60, 0xFF000000, 0.5f);
    device().endScene();
    const base::Image second = readBackBuffer();
    EXPECT_TRUE(showsColour(second, 12, 50, fromArgb(0xFFFFFFFF))) << "at the cleared depth";
    EXPECT_TRUE(showsColour(second, 50, 12, fromArgb(0xFF00FF00))) << "behind the cleared depth";

    // Meshes through a perspective projection: a far triangle drawn after a near one stays
    // behind it, and shows where it is alone.
    const Transforms t = movedCamera(perspectiveFovLH(1.0471976, 1.0, 1.0, 100.0));
    const base::MeshData data = meshFor({{{{-1, 1, 3}, {1, 1, 3}, {-1, -1, 3}}, {0, 0, -1}, 0},
                                         {{{-1, 2, 6}, {3, 2, 6}, {-1, -2, 6}}, {0, 0, -1}, 1}},
                                        t);
    auto mesh = device().createMesh(data);
    ASSERT_NE(mesh, nullptr);
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, 0xFF000000, 1.0f, 0);
    setTransforms(device(), t);
    device().setRenderState(RenderState::Lighting, 1);
    device().setMaterial(emissive(1, 0, 0));
    device().drawSubset(*mesh, 0);
    device().setMaterial(emissive(0, 0, 1));
    device().drawSubset(*mesh, 1);
    device().endScene();
    const base::Image third = readBackBuffer();
    const ScreenTriangle nearTriangle = projected(data, 0, t, kWidth, kHeight);
    const ScreenTriangle farTriangle = projected(data, 1, t, kWidth, kHeight);
    int nearPixels = 0, farPixels = 0;
    forEachInteriorPixel(nearTriangle, kWidth, kHeight, [&](int x, int y) {
        ++nearPixels;
        EXPECT_TRUE(showsColour(third, x, y, {1, 0, 0, 1})) << "near triangle";
    });
    forEachInteriorPixel(farTriangle, kWidth, kHeight, [&](int x, int y) {
        bool alone = true;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) alone = alone && !covers(nearTriangle, x + dx, y + dy);
        if (!alone) return;
        ++farPixels;
        EXPECT_TRUE(showsColour(third, x, y, {0, 0, 1, 1})) << "far triangle beside the near one";
    });
    EXPECT_GT(nearPixels, 50);
    EXPECT_GT(farPixels, 50);
}

TEST_P(DeviceConformance, CounterClockwiseTrianglesAreCulled) {
    const std::vector<ScreenVertex> facing = {{6, 6, 0.5f, 1, 0xFFFFFF00, 0, 0},
                                              {28, 6, 0.5f, 1, 0xFFFFFF00, 0, 0},
                                              {6, 28, 0.5f, 1, 0xFFFFFF00, 0, 0}};
    std::vector<ScreenVertex> reversed = {facing[0], facing[2], facing[1]};
    for (auto& v : reversed) v.x += 32;
    ASSERT_TRUE(clockwise(trianglesOf(PrimitiveType::TriangleList, facing)[0]));

    const Transforms t = movedCamera(perspectiveFovLH(1.0471976, 1.0, 1.0, 100.0));
    // Left one clockwise on the screen, right one the same shape listed the other way round.
    const base::MeshData data = meshFor({{{{-1.6, -0.2, 4}, {-0.2, -0.2, 4}, {-1.6, -1.6, 4}}, {0, 0, -1}, 0},
                                         {{{0.2, -0.2, 4}, {0.2, -1.6, 4}, {1.6, -0.2, 4}}, {0, 0, -1}, 0}},
                                        t);
    auto mesh = device().createMesh(data);
    ASSERT_NE(mesh, nullptr);

    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaDiffuse, kTaCurrent, kTopSelectArg1, kTaDiffuse, kTaCurrent);
    drawScreen(PrimitiveType::TriangleList, facing);
    drawScreen(PrimitiveType::TriangleList, reversed);
    setTransforms(device(), t);
    device().setMaterial(emissive(1, 0, 1));
    device().drawSubset(*mesh, 0);
    device().endScene();
    const base::Image image = readBackBuffer();

    struct Expectation {
        ScreenTriangle triangle;
        Rgba colour;
        const char* what;
    };
    const ScreenTriangle reversedOnScreen = trianglesOf(PrimitiveType::TriangleList, reversed)[0];
    ScreenTriangle reversedSameOrder = reversedOnScreen;  // the same area, listed clockwise
    std::swap(reversedSameOrder.x[1], reversedSameOrder.x[2]);
    std::swap(reversedSameOrder.y[1], reversedSameOrder.y[2]);
    const ScreenTriangle meshLeft = projected(data, 0, t, kWidth, kHeight);
    ScreenTriangle meshRight = projected(data, 1, t, kWidth, kHeight);
    ASSERT_TRUE(clockwise(meshLeft));
    ASSERT_FALSE(clockwise(meshRight));
    std::swap(meshRight.x[1], meshRight.x[2]);
    std::swap(meshRight.y[1], meshRight.y[2]);
    const Expectation expectations[] = {
        {trianglesOf(PrimitiveType::TriangleList, facing)[0], fromArgb(0xFFFFFF00),
         "clockwise, pre-transformed"},
        {reversedSameOrder, fromArgb(kBackground), "counter-clockwise, pre-transformed"},
        {meshLeft, {1, 0, 1, 1}, "clockwise mesh triangle"},
        {meshRight, fromArgb(kBackground), "counter-clockwise mesh triangle"},
    };
    for (const Expectation& e : expectations) {
        int pixels = 0;
        forEachInteriorPixel(e.triangle, kWidth, kHeight, [&](int x, int y) {
            ++pixels;
            EXPECT_TRUE(showsColour(image, x, y, e.colour)) << e.what;
        });
        EXPECT_GT(pixels, 20) << e.what;
    }
}

TEST_P(DeviceConformance, TexturesArePointSampledAndWrapped) {
    // Sixteen texels far apart in colour, so that a blend of two neighbours matches neither.
    base::Image picture(4, 4);
    for (int i = 0; i < 16; ++i)
        picture.pixels[static_cast<std::size_t>(i)] =
            0xFF000000u | static_cast<std::uint32_t>(i % 4 * 85) << 16 |
            static_cast<std::uint32_t>(i / 4 * 85) << 8 | static_cast<std::uint32_t>(i % 2 ? 0xF0 : 0x10);
    auto texture = device().createTexture(picture);
    ASSERT_NE(texture, nullptr);
    // 48 pixels for texture coordinates -1 to 2: each texel spans 4 by 4 pixels, three times over.
    constexpr float kLeft = 8, kTop = 8, kSize = 48;
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    setStage(kTopSelectArg1, kTaTexture, kTaCurrent, kTopSelectArg1, kTaTexture, kTaCurrent);
    device().setTexture(0, texture.get());
    drawQuad(kLeft, kTop, kLeft + kSize, kTop + kSize, 0xFFFFFFFF, 0.5f, -1, -1, 2, 2);
    device().endScene();
    const base::Image image = readBackBuffer();

    auto texelIndex = [&](double pixel, double origin) {
        const double coordinate = -1 + 3 * (pixel - origin) / kSize;  // at the pixel's centre
        return (static_cast<int>(std::floor(coordinate * 4)) % 4 + 4) % 4;
    };
    // The middle two pixels of each texel's four: the others have sample points within a
    // quarter texel of an edge, where a pixel's centre lies matters.
    for (int cy = 0; cy < 12; ++cy)
        for (int cx = 0; cx < 12; ++cx)
            for (int dy = 1; dy <= 2; ++dy)
                for (int dx = 1; dx <= 2; ++dx) {
                    const int x = static_cast<int>(kLeft) + cx * 4 + dx,
                              y = static_cast<int>(kTop) + cy * 4 + dy;
                    const std::uint32_t expected = picture.at(texelIndex(x, kLeft), texelIndex(y, kTop));
                    EXPECT_TRUE(showsColour(image, x, y, fromArgb(expected)));
                }
}

TEST_P(DeviceConformance, WithoutATextureModulationPassesTheDiffuseColour) {
    const std::uint32_t diffuse = 0x9030C0F0;
    auto texture = device().createTexture(base::Image(2, 2, 0xFF102030));
    ASSERT_NE(texture, nullptr);
    device().beginScene();
    device().clear(device::kClearTarget | device::kClearZBuffer, kBackground, 1.0f, 0);
    // The initial states, opaque: the colour is the diffuse colour.
    drawQuad(4, 4, 28, 28, diffuse);
    // Texture times diffuse for colour and alpha, blended, as the program's overlay draws when
    // its picture did not load; once never given a texture, once with it taken away.
    setStage(kTopModulate, kTaTexture, kTaDiffuse, kTopModulate, kTaTexture, kTaDiffuse);
    setBlend(device(), true);
    drawQuad(36, 4, 60, 28, diffuse);
    device().setTexture(0, texture.get());
    device().setTexture(0, nullptr);
    drawQuad(4, 36, 28, 60, diffuse);
    device().endScene();
    const base::Image image = readBackBuffer();

    const Rgba d = fromArgb(diffuse);
    EXPECT_TRUE(showsColour(image, 16, 16, {d.r, d.g, d.b, 1})) << "initial states";
    const Rgba blended = blendSrcAlpha(d, storedIn565(fromArgb(kBackground)));
    EXPECT_TRUE(showsColour(image, 48, 16, blended)) << "never given a texture";
    EXPECT_TRUE(showsColour(image, 16, 48, blended)) << "texture taken away";
}

}  // namespace device_test
