#include "capture/sample_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/sha256.h"
#include "capture/numbered_file.h"
#include "fresh_directory.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path recordPath() {
    return base::pathFromUtf8(base::kSaveFolder) / base::pathFromUtf8(base::kSampleRecordFile);
}

std::string recordText() {
    std::ifstream in(recordPath(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Sha256, GivesTheStandardDigestsHoweverTheBytesArrive) {
    const auto digest = [](std::string_view text) {
        return base::sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padded block.
    EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a' in pieces of 7 bytes, across every block boundary.
    base::Sha256 pieces;
    const std::vector<std::uint8_t> seven(7, 'a');
    for (int i = 0; i < 1000000 / 7; ++i) pieces.update(seven);
    pieces.update(std::span<const std::uint8_t>(seven).first(1000000 % 7));
    EXPECT_EQ(pieces.hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SampleRecord, ACaptureLineHoldsTheSampleAndTheViewItWasCutFrom) {
    capture::SavedSample sample{
        capture::SampleKind::Capture, "cut7.bmp", "cut", 7, 50, 40, {120, 80, 50, 40}, {}};
    capture::CaptureView view;
    view.modelPath = "model.x";
    view.modelSha256 = "aa";
    view.overlayPictureSha256 = "cc";
    view.world = base::Matrix::identity();
    view.world.m[3][1] = 2.58f;
    view.view.m[0][0] = 0.5f;
    view.projection.m[2][3] = 1.0f;
    view.objectBox = std::array<int, 4>{3, 4, 20, 10};
    view.objectPolygon = {{3, 4}, {23, 4}, {23.5, 14}};
    state::ViewState state;
    state.yaw = 0.25f;
    const Json line =
        Json::parse(capture::sampleLine(sample, &view, state, "2026-12-09T17:50:01.123Z", "nukitori 9"));

    EXPECT_EQ(line["file"], "cut7.bmp");
    EXPECT_EQ(line["kind"], "capture");
    EXPECT_EQ(line["prefix"], "cut");
    EXPECT_EQ(line["number"], 7);
    EXPECT_EQ(line["time"], "2026-12-09T17:50:01.123Z");
    EXPECT_EQ(line["width"], 50);
    EXPECT_EQ(line["height"], 40);
    EXPECT_EQ(line["screen"], Json::parse("[120, 80, 50, 40]"));
    EXPECT_EQ(line["program"], "nukitori 9");
    EXPECT_EQ(line["model"], Json::parse(R"({"path": "model.x", "sha256": "aa"})"));
    EXPECT_TRUE(line["texture"].is_null()) << "a model that wears no grab texture names one";
    EXPECT_EQ(line["overlay_picture"], "cc");
    ASSERT_EQ(line["model_position"].size(), 3u);
    EXPECT_EQ(line["model_position"][1].get<float>(), 2.58f) << "not the float as held";
    EXPECT_FLOAT_EQ(line["yaw"].get<float>(), 0.25f);
    EXPECT_FLOAT_EQ(line["lookHeight"].get<float>(), 2.4f);
    EXPECT_EQ(line["overlay"]["rect"], Json::parse("[20, 20, 50, 50]"));
    EXPECT_EQ(line["overlay"]["alpha"], 200);
    ASSERT_EQ(line["world"].size(), 16u);
    EXPECT_FLOAT_EQ(line["world"][13].get<float>(), 2.58f) << "the matrix is not written row by row";
    EXPECT_FLOAT_EQ(line["view"][0].get<float>(), 0.5f);
    EXPECT_FLOAT_EQ(line["projection"][11].get<float>(), 1.0f);
    EXPECT_EQ(line["object_box"], Json::parse("[3, 4, 20, 10]"));
    EXPECT_EQ(line["object_polygon"], Json::parse("[[3.0, 4.0], [23.0, 4.0], [23.5, 14.0]]"));

    view.objectBox.reset();
    view.objectPolygon.clear();
    const Json negative = Json::parse(capture::sampleLine(sample, &view, state, "t", "p"));
    EXPECT_TRUE(negative["object_box"].is_null()) << "a sample without the picture has a box";

    // A grab saves the hole: its picture is the whole sample.
    sample.kind = capture::SampleKind::Grab;
    const Json grab = Json::parse(capture::sampleLine(sample, nullptr, state, "t", "p"));
    EXPECT_EQ(grab["kind"], "grab");
    EXPECT_EQ(grab["hole"], Json::parse("[120, 80, 50, 40]"));
    EXPECT_EQ(grab["object_box"], Json::parse("[0, 0, 50, 40]"));
    EXPECT_FALSE(grab.contains("world")) << "a grab has no view to record";
    EXPECT_EQ(Json::parse(capture::removalLine("cut7.bmp", "t")),
              Json::parse(R"({"removed": "cut7.bmp", "time": "t"})"));
}

TEST(SampleRecord, TimesAreUtcWithMilliseconds) {
    using namespace std::chrono;
    const system_clock::time_point when{milliseconds(1765302601123)};
    EXPECT_EQ(capture::utcTime(when), "2025-12-09T17:50:01.123Z");
}

TEST_F(InFreshDirectory, TwoWritersNeverInterleaveOrTearTheirLines) {
    fs::create_directory(base::pathFromUtf8(base::kSaveFolder));
    // Two writers at once, each line long enough that a split write would show.
    const std::string padding(3000, 'x');
    const auto writer = [&](char who) {
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(capture::appendToRecord(std::string("{\"w\":\"") + who + std::to_string(i) + padding +
                                                "\"}"));
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();
    std::istringstream lines(recordText());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        Json parsed;
        ASSERT_NO_THROW(parsed = Json::parse(line)) << "line " << count + 1 << " was torn or interleaved";
    }
    EXPECT_EQ(count, 400);
}

TEST_F(InFreshDirectory, ANewPrefixNumbersOnAfterItsHighestSavedNumber) {
    const fs::path folder = base::pathFromUtf8(base::kSaveFolder);
    EXPECT_EQ(capture::numberAfterHighest("cut"), 0) << "no folder yet";
    fs::create_directory(folder);
    for (const char* name :
         {"cut0.bmp", "cut1.bmp", "cut11.bmp", "cut012.bmp", "cutx3.bmp", "other40.bmp", "cut99.txt"})
        std::ofstream(folder / name) << "x";
    EXPECT_EQ(capture::numberAfterHighest("cut"), 12) << "a gap was filled, or a foreign name counted";
    EXPECT_EQ(capture::numberAfterHighest("other"), 41);
    EXPECT_EQ(capture::numberAfterHighest("none"), 0);
}

}  // namespace
