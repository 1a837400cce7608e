#include "app/app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "backends/fake/fake_image_decoder.h"
#include "backends/fake/fake_shell.h"
#include "backends/fake/recording_device.h"
#include "backends/fake/scripted_keyboard.h"
#include "backends/fake/synthetic_screen.h"
#include "base/file_bytes.h"
#include "base/file_names.h"
#include "fresh_directory.h"
#include "log_capture.h"
#include "platform/virtual_keys.h"

namespace {

using backends::fake::RecordingDevice;

constexpr const char* kCube = R"(xof 0303txt 0032
Mesh {
 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0;
  Material { 1.0;0.5;0.25;1.0;; 10.0; 0.1;0.1;0.1;; 0.0;0.0;0.0;; }
 }
}
)";

class AppOnDoubles : public InFreshDirectory {
protected:
    void SetUp() override {
        InFreshDirectory::SetUp();
        writeFile("model.x", kCube);
        writePicture("フィルター画像.jpg", 8, 4);
        writePicture("枠.bmp", 177, 152);
        shell.deviceFactory = [this](int w, int h) -> std::unique_ptr<device::GraphicsDevice> {
            auto made = std::make_unique<RecordingDevice>();
            made->failTextFont = failFont;
            device = made.get();
            shell.log.push_back("device " + std::to_string(w) + "x" + std::to_string(h));
            return made;
        };
    }

    backends::fake::FakeShell shell;
    backends::fake::ScriptedKeyboard keyboard;
    backends::fake::SyntheticScreen screen{1280, 1024};
    backends::fake::FakeImageDecoder decoder;
    app::App app{{shell, keyboard, screen, decoder, shell.devices()}};
    RecordingDevice* device = nullptr;
    bool failFont = false;
};

TEST_F(AppOnDoubles, StartUpCreatesWindowsThenGraphicsThenOverlayThenModelThenLight) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    const std::vector<std::string> windows(shell.log.begin(), shell.log.begin() + 2);
    EXPECT_EQ(windows, (std::vector<std::string>{"createViewer", "createFrame"}));
    EXPECT_NE(std::find(shell.log.begin(), shell.log.end(), "device 594x578"), shell.log.end());
    EXPECT_EQ(app.state.modelPath, "model.x");

    const int font = device->find("createTextFont 14");
    const int overlayBuffer = device->find("createVertexBuffer 112 324");
    const int overlayTexture = device->find("createTexture 8x4");
    const int mesh = device->find("createMesh");
    const int light = device->find("setLight 2");
    ASSERT_GE(font, 0) << "no 14-pixel text font";
    EXPECT_LT(font, overlayBuffer) << "the overlay must come after the graphics";
    EXPECT_LT(overlayBuffer, overlayTexture) << "the overlay is created, then its texture loaded";
    EXPECT_LT(overlayTexture, mesh) << "the model is created after the overlay";
    EXPECT_LT(mesh, light) << "the light is set up once the model exists";
    EXPECT_EQ(device->count("beginScene"), 0) << "no frame is drawn during start-up";
    ASSERT_NE(app.currentModel(), nullptr);
    EXPECT_EQ(app.currentModel()->materialCount(), 1u);
}

TEST_F(AppOnDoubles, TheFirstExposureDrawsTheFirstPictureAtOnceAndLaterOnesDrawNothing) {
    ASSERT_TRUE(app.startUp());
    app.onViewerExposed();
    EXPECT_EQ(device->count("beginScene"), 1);
    EXPECT_EQ(device->presentCount, 1);
    app.onViewerExposed();
    EXPECT_EQ(device->count("beginScene"), 1) << "a later exposure shows the last picture, it runs no pass";
}

TEST_F(AppOnDoubles, StartUpFailsWithAReasonWhenTheGraphicsCannotStart) {
    shell.deviceFactory = nullptr;  // the double's default: no device
    const auto started = app.startUp();
    EXPECT_FALSE(started);
    EXPECT_FALSE(started.error().empty()) << "a failed start-up must say why";
    EXPECT_EQ(app.currentModel(), nullptr) << "nothing is built without a device";

    failFont = true;
    app::App second{{shell, keyboard, screen, decoder, shell.devices()}};
    shell.deviceFactory = [](int, int) -> std::unique_ptr<device::GraphicsDevice> {
        auto made = std::make_unique<RecordingDevice>();
        made->failTextFont = true;
        return made;
    };
    const auto secondStarted = second.startUp();
    EXPECT_FALSE(secondStarted);
    EXPECT_NE(secondStarted.error().find("font"), std::string::npos) << secondStarted.error();
}

TEST_F(AppOnDoubles, IdlePassClearsNumberedSavePollsAndDrawsOneFrameInOrder) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    device->calls.clear();
    app.state.save.numberedSave = 1;
    app.idlePass();
    EXPECT_EQ(app.state.save.numberedSave, 0);
    EXPECT_EQ(keyboard.refreshCount, 1) << "the keys are polled once per pass";
    ASSERT_GE(device->calls.size(), 4u);
    EXPECT_EQ(device->calls[0], "beginScene");
    EXPECT_EQ(device->calls[1], "clear 3 FF3CA3B9 1 0") << "target and depth, colour 60,163,185, depth 1";
    EXPECT_EQ(device->calls[2], "setLight 2") << "the frame starts right after the clear";
    EXPECT_EQ(device->calls[device->calls.size() - 2], "endScene");
    EXPECT_EQ(device->calls.back(), "present");
}

TEST_F(AppOnDoubles, AFrameIsDrawnOnlyWhenThePictureWouldChange) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    const auto framesAfter = [&](int passes) {
        const int before = device->presentCount;
        for (int i = 0; i < passes; ++i) app.idlePass();
        return device->presentCount - before;
    };
    // The first frame, then one more: the camera set by a frame shows in the next one.
    EXPECT_EQ(framesAfter(5), 2) << "an untouched viewer must be drawn twice, then not again";

    keyboard.press('D');
    EXPECT_EQ(framesAfter(3), 3) << "a held key changes every frame";
    keyboard.releaseAll();
    EXPECT_EQ(framesAfter(3), 1) << "after the key, one settling frame only";

    app.onViewerExposed();
    EXPECT_EQ(framesAfter(3), 2) << "an exposed viewer is drawn again";
    app.onCaptureButton();
    EXPECT_EQ(framesAfter(3), 2) << "the saved-file line is a change";
    app.frameGrab();
    EXPECT_EQ(framesAfter(3), 2) << "a reloaded model is a change";
}

TEST_F(AppOnDoubles, EscapeEndsTheLoopAfterItsPassWithExitCode0AndShutsDownOverlayFirst) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    int passes = 0;
    shell.pendingEvents = [&] {
        if (++passes == 5) keyboard.press(0x1B);
    };
    EXPECT_EQ(app.run(), 0);
    // Escape was seen in the fifth pass, which still ran to its end; each pass waited once: for
    // the next display period while drawing (the first frame and the one that settles it) or
    // while a key is held, and for the next event while nothing changes.
    EXPECT_EQ(keyboard.refreshCount, 5);
    EXPECT_EQ(shell.paceFrameCount, 3);
    EXPECT_EQ(shell.waitForEventsCount, 2) << "an untouched viewer did not wait for events";
    const int overlayGone = device->find("releaseVertexBuffer");
    const int modelGone = device->find("releaseMesh");
    ASSERT_GE(overlayGone, 0);
    ASSERT_GE(modelGone, 0);
    EXPECT_LT(overlayGone, modelGone) << "the overlay is destroyed before the model";
}

TEST_F(AppOnDoubles, EveryQuitPathGivesExitCode0AndTheFirstRequestWins) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    shell.pendingEvents = [&] { app.onViewerClosed(); };
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(device->presentCount, 0) << "a quit seen while draining events ends before the next pass";

    app::App other{{shell, keyboard, screen, decoder, shell.devices()}};
    other.requestQuit(0);
    other.requestQuit(3);
    EXPECT_EQ(other.quitCode(), 0);
    app::App exitButton{{shell, keyboard, screen, decoder, shell.devices()}};
    exitButton.onExitButton();
    EXPECT_EQ(exitButton.quitCode(), 0);
}

TEST_F(AppOnDoubles, GrabsReadTheModelAgainOnlyWhenItsFileChangedButAlwaysTheGrabTexture) {
    // The model wears the grab texture and another picture.
    writeFile("model.x", R"(xof 0303txt 0032
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,1;;
 MeshMaterialList { 2; 2; 0, 1;
  Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "フィルター.bmp"; } }
  Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "other.bmp"; } } } }
)");
    writePicture("other.bmp", 2, 2);
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    // Each picture is told by its size: the grab's is the hole's, 138 x 111.
    const auto loads = [&](const std::string& size) { return device->count("createTexture " + size); };
    device->calls.clear();

    app.onFrameResized();
    EXPECT_EQ(loads("138x111"), 0) << "the first resize never grabs";
    app.onFrameResized();
    EXPECT_EQ(loads("138x111"), 1) << "the second resize grabs, and the model wears the new grab";
    EXPECT_EQ(loads("2x2"), 0) << "an unchanged texture file was read again";
    EXPECT_EQ(device->count("createMesh"), 0) << "an unchanged model file was read again";

    // A model file changed on disk is read again: the old model first, then the new.
    writeFile("model.x", kCube);
    app.frameGrab();
    EXPECT_EQ(device->count("releaseMesh"), 1);
    EXPECT_EQ(device->count("createMesh"), 1) << "a changed model file was not read again";
    EXPECT_LT(device->find("releaseMesh"), device->find("createMesh"));

    // A drop always reads the file, even the same unchanged one.
    app.onFileDropped("model.x");
    EXPECT_EQ(app.state.modelPath, "model.x");
    EXPECT_EQ(device->count("createMesh"), 2) << "a drop must read the dropped model";
    writeFile("other.x", kCube);
    app.onFileDropped("other.x");
    EXPECT_EQ(app.state.modelPath, "other.x");
    EXPECT_EQ(device->count("createMesh"), 3);
}

TEST_F(AppOnDoubles, TheFrameIsShapedByItsOutlineAndAShapeTheSystemRefusesIsReported) {
    ASSERT_TRUE(app.startUp());
    EXPECT_EQ(shell.frameOutline.width, 177) << "the frame was not given the outline picture";

    // Without its outline the frame is rectangular; a shape the window system refuses leaves it so.
    std::filesystem::remove(base::pathFromUtf8("枠.bmp"));
    shell.outlineShape = platform::OutlineShape::Refused;
    LogCapture log;
    app::App other{{shell, keyboard, screen, decoder, shell.devices()}};
    ASSERT_TRUE(other.startUp());
    EXPECT_TRUE(shell.frameOutline.empty()) << "a missing outline was not an empty picture";
    const std::string said = log.take();
    EXPECT_NE(said.find("the frame outline \"枠.bmp\" could not be read"), std::string::npos) << said;
    EXPECT_NE(said.find("is too complex for the window system; the frame stays rectangular"),
              std::string::npos)
        << said;
}

TEST_F(AppOnDoubles, AModelProblemIsReportedOnceAndShownInTheViewerUntilALoadGoesThrough) {
    LogCapture log;
    std::filesystem::remove("model.x");
    ASSERT_TRUE(app.startUp());
    const auto said = [&] {
        const std::string text = log.take();
        return std::count(text.begin(), text.end(), '\n');
    };
    // The line under the saved line, in the next frame drawn.
    const auto shown = [&]() -> std::string {
        device->texts.clear();
        app.idlePass();
        for (const auto& text : device->texts)
            if (text.y == 78) return text.text;
        return "";
    };
    EXPECT_EQ(said(), 2) << "the folder without its sample files and the missing model were not reported";
    EXPECT_EQ(shown(), "作業フォルダに見本のファイルがありません: model.x, フィルター.bmp");
    for (int i = 0; i < 5; ++i) app.frameGrab();
    EXPECT_EQ(said(), 0) << "the same problem was reported again on a grab";
    EXPECT_EQ(shown().rfind("モデル model.x を読み込めません: ", 0), 0u);
    writeFile("model.x", "not a model");
    app.frameGrab();
    EXPECT_EQ(said(), 1) << "a new problem was not reported";
    app.frameGrab();
    EXPECT_EQ(said(), 0);
    writeFile("model.x", kCube);
    app.frameGrab();
    EXPECT_EQ(said(), 0) << "a model that loads says nothing";
    EXPECT_EQ(shown(), "") << "the problem stayed after a load that went through";
    std::filesystem::remove("model.x");
    app.frameGrab();
    EXPECT_EQ(said(), 1) << "a problem after a load that went through was not reported";
}

TEST_F(AppOnDoubles, ADroppedFileThatIsNoModelLeavesTheModelShownAndSaysWhy) {
    ASSERT_TRUE(app.startUp());
    writeFile("truncated.glb", "glTF");
    LogCapture log;
    app.onFileDropped("truncated.glb");
    EXPECT_EQ(app.state.modelPath, "model.x") << "the model's path went with the refused drop";
    device->calls.clear();
    device->texts.clear();
    app.idlePass();
    EXPECT_GT(device->count("drawSubset"), 0) << "the model shown went with the refused drop";
    ASSERT_FALSE(device->texts.empty());
    EXPECT_NE(device->texts.back().text.find("truncated.glb"), std::string::npos) << device->texts.back().text;
    EXPECT_NE(log.take().find("nukitori: model \"truncated.glb\" not loaded"), std::string::npos);
}

TEST_F(AppOnDoubles, ButtonsAndPrefixFollowTheCounterRules) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    app.onCaptureButton();
    app.onCaptureButton();
    EXPECT_EQ(app.state.save.saveCounter, 2) << "each capture button press advances the counter";
    app.onPrefixChanged("cut");
    EXPECT_EQ(app.state.save.saveCounter, 0) << "a new prefix restarts the numbering";
    shell.editText = "cut";
    app.onShootButton();
    EXPECT_EQ(app.state.save.numberedSave, 1);
    EXPECT_EQ(app.state.save.saveCounter, 1) << "the shoot button's numbered grab advances the counter";
    app.idlePass();
    EXPECT_EQ(app.state.save.numberedSave, 0) << "the next pass clears the numbered flag";
}

TEST_F(AppOnDoubles, EverySaveIsRecordedAndF9TakesTheLastOnesBackWhileTheyAreUnchanged) {
    ASSERT_TRUE(app.startUp());
    const std::filesystem::path folder = base::pathFromUtf8(base::kSaveFolder);
    const auto saved = [&](const char* name) { return std::filesystem::exists(folder / name); };
    const auto record = [&] {
        std::ifstream in(folder / base::pathFromUtf8(base::kSampleRecordFile));
        std::vector<nlohmann::json> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
        return lines;
    };
    const auto shows = [&](const std::string& text) {
        device->texts.clear();
        app.onViewerExposed();
        app.idlePass();
        return std::any_of(device->texts.begin(), device->texts.end(),
                           [&](const auto& t) { return t.text == text; });
    };
    // One press and release, a pass each, as a user taps the key.
    const auto tapF9 = [&] {
        keyboard.press(platform::vk::F9);
        app.idlePass();
        keyboard.release(platform::vk::F9);
        app.idlePass();
    };
    shell.editText = "cut";
    app.onPrefixChanged("cut");
    // A frame, then the settling frame drawn with its camera: the picture a capture cuts from.
    app.idlePass();
    app.idlePass();
    app.onCaptureButton();
    app.onCaptureButton();
    app.onShootButton();
    std::vector<nlohmann::json> lines = record();
    ASSERT_EQ(lines.size(), 3u) << "not one record line per saved file";
    EXPECT_EQ(lines[0]["file"], "cut0.bmp");
    EXPECT_EQ(lines[2]["kind"], "grab");
    EXPECT_EQ(lines[2]["number"], 2);
    const base::Matrix& view = device->transforms.at(device::TransformState::View);
    EXPECT_FLOAT_EQ(lines[1]["view"][14].get<float>(), view.m[3][2]) << "the view matrix is not the device's";
    EXPECT_TRUE(lines[0]["object_box"].is_null()) << "a model without the grab texture has a box";

    keyboard.press(platform::vk::F9);
    app.idlePass();
    app.idlePass();  // still held: no second take-back
    keyboard.release(platform::vk::F9);
    app.idlePass();
    EXPECT_FALSE(saved("cut2.bmp")) << "F9 did not take the last save back";
    EXPECT_TRUE(saved("cut1.bmp")) << "holding F9 took more than one save back";
    EXPECT_EQ(app.state.save.saveCounter, 2) << "the counter did not step back";
    EXPECT_TRUE(shows("cut2.bmp を取り消しました"));
    lines = record();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3]["removed"], "cut2.bmp");

    tapF9();
    EXPECT_FALSE(saved("cut1.bmp")) << "a second F9 did not take the save before back";
    EXPECT_EQ(app.state.save.saveCounter, 1);
    app.onCaptureButton();
    EXPECT_TRUE(saved("cut1.bmp")) << "the number taken back was not used again";

    // A file changed since its save is the user's: it stays, and the viewer says so.
    std::ofstream(folder / "cut1.bmp", std::ios::app) << "edited";
    LogCapture log;
    tapF9();
    EXPECT_TRUE(saved("cut1.bmp")) << "a changed file was taken back";
    EXPECT_NE(log.take().find("cut1.bmp was changed after it was saved"), std::string::npos);
    EXPECT_TRUE(shows("cut1.bmp は保存の後に変わったか消されたので、取り消しませんでした"));
    EXPECT_EQ(record().size(), 6u) << "a refused take-back was recorded";

    // F9 held in another program's window takes nothing back.
    keyboard.pressAnywhere(platform::vk::F9);
    app.idlePass();
    EXPECT_TRUE(saved("cut0.bmp")) << "F9 in another program took a save back";
}

TEST_F(AppOnDoubles, WhileTheDesktopAsksTheViewerSaysSoTheFrameStepsBackAndNothingElseReadsTheScreen) {
    ASSERT_TRUE(app.startUp());
    app.idlePass();
    screen.asks = true;
    const auto shown = [&](const std::string& text) {
        const bool found = std::any_of(device->texts.begin(), device->texts.end(),
                                       [&](const auto& t) { return t.text == text; });
        device->texts.clear();
        return found;
    };
    bool askedLineShown = false;
    shell.windowEvents = [&] {
        askedLineShown = askedLineShown || shown("画面の共有を確認しています…");
        // What the user did meanwhile waits: no second read (it would wait inside the first), no save.
        app.onFileDropped("elsewhere.x");
        app.onShootButton();
        app.onCaptureButton();
    };
    shell.log.clear();
    app.onFrameMoved();
    EXPECT_TRUE(askedLineShown);
    EXPECT_EQ(screen.readCount, 1);
    EXPECT_EQ(shell.log, (std::vector<std::string>{"frameAbove 0", "frameAbove 1"}));
    EXPECT_EQ(app.state.modelPath, "model.x");
    const auto saveFolder = base::pathFromUtf8(base::kSaveFolder);
    EXPECT_TRUE(!std::filesystem::exists(saveFolder) || std::filesystem::is_empty(saveFolder)) << "a save went ahead";
    device->texts.clear();
    app.idlePass();
    EXPECT_FALSE(shown("画面の共有を確認しています…")) << "the line stays after the answer";
}

TEST_F(AppOnDoubles, AScreenThatCannotBeReadFailsGrabsAndCapturesAloudAndWritesNothing) {
    const auto started = app.startUp();
    ASSERT_TRUE(started) << started.error();
    const std::string reason = "the screen cannot be read through X on this Wayland session";
    screen.failure = reason;
    LogCapture log;
    const auto entries = [] { return std::distance(std::filesystem::directory_iterator("."), {}); };
    const auto before = entries();
    shell.editText = "cut";
    app.onFrameMoved();     // the grab texture
    app.onShootButton();    // cut0.bmp
    app.onCaptureButton();  // cut1.bmp
    const std::string said = log.take();
    EXPECT_EQ(screen.readCount, 3);
    for (const char* file : {"フィルター.bmp: ", "cut0.bmp: ", "cut1.bmp: "})
        EXPECT_NE(said.find(file + reason), std::string::npos) << "stderr does not say why " << file << said;
    EXPECT_EQ(entries(), before) << "a failed read wrote a file";
    EXPECT_EQ(app.state.save.saveCounter, 2) << "a failed grab or capture must still take its number";
    EXPECT_TRUE(app.state.save.lastSaveFailed);
    device->texts.clear();
    app.idlePass();
    const auto shows = [&](const std::string& text) {
        return std::any_of(device->texts.begin(), device->texts.end(),
                           [&](const auto& t) { return t.text == text; });
    };
    EXPECT_TRUE(shows("cut1 の保存に失敗しました")) << "the viewer does not report the failed capture";

    // Once the screen can be read again, the next capture is saved under the next number.
    screen.failure.reset();
    app.onCaptureButton();
    EXPECT_TRUE(std::filesystem::exists(base::pathFromUtf8(base::kSaveFolder) / "cut2.bmp"));
}

}  // namespace
