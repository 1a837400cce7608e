#include <gtest/gtest.h>

#include <string>

#include "capture/sample_record.h"
#include "replay/recorded_view.h"

namespace {

std::string captureLine(const std::string& file, float turn,
                        std::optional<std::string> saved = std::nullopt) {
    capture::SavedSample sample{capture::SampleKind::Capture, file, "cut", 4, 60, 50, {1, 2, 60, 50}, {}};
    capture::CaptureView view;
    view.modelPath = "model.x";
    view.modelSha256 = "aa";
    view.textureSha256 = "bb";
    view.world = base::Matrix::identity();
    view.world.m[3][1] = 2.58f;
    view.view.m[2][1] = -0.28734782f;
    view.projection.m[3][2] = -0.01000005f;
    view.savedLine = std::move(saved);
    state::ViewState state;
    state.modelRotation.y = turn;
    state.yaw = 0.1f;
    state.ambientGreen = 0.37f;
    state.overlayX = -12;
    state.overlayAlpha = 300;  // the texts show what the field holds, past a byte
    return capture::sampleLine(sample, &view, state, "t", "nukitori 1");
}

TEST(ReplayRecord, ACaptureLineGivesBackTheViewItWasWrittenFrom) {
    const auto read = replay::readCaptureLine(captureLine("cut4.bmp", 0.32f, "cut3.bmp を保存しました"), 7);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->lineNumber, 7u);
    EXPECT_EQ(read->file, "cut4.bmp");
    EXPECT_EQ(read->modelPath, "model.x");
    EXPECT_EQ(read->textureSha256, "bb");
    EXPECT_TRUE(read->overlayPictureSha256.empty());
    EXPECT_EQ(read->view.modelRotation.y, 0.32f);
    EXPECT_EQ(read->view.yaw, 0.1f);
    EXPECT_EQ(read->view.ambientGreen, 0.37f);
    EXPECT_EQ(read->view.ambientGreenPercent, 37);
    EXPECT_EQ(read->view.overlayX, -12);
    EXPECT_EQ(read->view.overlayAlpha, 300);
    EXPECT_EQ(read->world.m[3][1], 2.58f);
    EXPECT_EQ(read->viewMatrix.m[2][1], -0.28734782f);
    EXPECT_EQ(read->projection.m[3][2], -0.01000005f);
    EXPECT_EQ(read->savedLine, "cut3.bmp を保存しました");
    EXPECT_FALSE(replay::readCaptureLine(R"({"file":"g.bmp","kind":"grab"})", 1));
    EXPECT_FALSE(replay::readCaptureLine(R"({"file":"c.bmp","kind":"capture"})", 1))
        << "a capture without its view";
}

TEST(ReplayRecord, OnlyTheLatestSaveOfAFileThatWasNotTakenBackIsReplayed) {
    const std::string record = captureLine("a.bmp", 0.1f) + "\n" +  // 1: saved again on 5
                               R"({"file":"g.bmp","kind":"grab"})"
                               "\n" +  // 2: a grab
                               captureLine("b.bmp", 0.2f) +
                               "\n" +  // 3: taken back on 4
                               R"({"removed":"b.bmp","time":"t"})"
                               "\n" +  // 4
                               captureLine("a.bmp", 0.3f) +
                               "\n" +                              // 5: live
                               "{not json\n" +                     // 6
                               "\n" +                              // 7: blank
                               captureLine("c.bmp", 0.4f) + "\n";  // 8: live
    const replay::RecordReading reading = replay::readRecord(record);
    ASSERT_EQ(reading.captures.size(), 2u);
    EXPECT_EQ(reading.captures[0].lineNumber, 5u);
    EXPECT_EQ(reading.captures[0].view.modelRotation.y, 0.3f);
    EXPECT_EQ(reading.captures[1].file, "c.bmp");
    ASSERT_EQ(reading.bad.size(), 1u);
    EXPECT_EQ(reading.bad[0].first, 6u);
}

}  // namespace
