// A save folder exported as training sets (OpenCV, YOLO, COCO), and the .vec file's greys.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_names.h"
#include "capture/bmp_snapshot.h"
#include "fresh_directory.h"
#include "samples/export.h"
#include "samples/sample_record.h"
#include "samples/vec_file.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t greyPixel(std::uint32_t v) {
    return 0xFF000000u | (v << 16) | (v << 8) | v;
}

// A picture of greys, row by row.
base::Image greyPicture(int width, int height, const std::vector<std::uint32_t>& greys) {
    base::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = greyPixel(greys[static_cast<std::size_t>(y) * width + x]);
    return image;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

TEST(SamplesVec, GreyIsTheWeightedSumRoundedHalfUp) {
    EXPECT_EQ(samples::greyOf(0xFFFF0000u), 76) << "red: (299 * 255 + 500) / 1000";
    EXPECT_EQ(samples::greyOf(0xFF00FF00u), 150) << "green: (587 * 255 + 500) / 1000";
    EXPECT_EQ(samples::greyOf(0xFF0000FFu), 29) << "blue: (114 * 255 + 500) / 1000";
    EXPECT_EQ(samples::greyOf(0x00FFFFFFu), 255) << "white, whatever the alpha";
    EXPECT_EQ(samples::greyOf(0xFF0A0000u), 3) << "red 10: 2990 + 500 is 3.49 thousands";
    EXPECT_EQ(samples::greyOf(0xFF000100u), 1) << "green 1: 587 + 500 is 1.087 thousands";
    for (std::uint32_t v = 0; v < 256; ++v) EXPECT_EQ(samples::greyOf(greyPixel(v)), v) << "grey " << v;
}

// Bilinear with the pixel centres aligned, computed by hand: output pixel i samples the input at
// (i + 0.5) * from / to - 0.5, clamped to the edge pixels.
TEST(SamplesVec, ResizingBlendsTheFourNeighboursWithCentresAligned) {
    // 2 x 2 to 3 x 3: positions -1/6 (the edge), 0.5 and 7/6 (the edge) on both axes.
    const base::Image corners = greyPicture(2, 2, {0, 100, 200, 255});
    EXPECT_EQ(samples::greySample(corners, {0, 0, 2, 2}, 3, 3),
              (std::vector<std::uint8_t>{0, 50, 100,       //
                                         100, 139, 178,    // 138.75, and 177.5 rounded up
                                         200, 228, 255}))  // 227.5 rounded up
        << "the enlarged picture";
    // 4 x 2 to 2 x 1: positions 0.5 and 2.5 across, 0.5 down: the mean of each 2 x 2 block.
    const base::Image wide = greyPicture(4, 2, {10, 20, 30, 41, 50, 62, 70, 80});
    EXPECT_EQ(samples::greySample(wide, {0, 0, 4, 2}, 2, 1), (std::vector<std::uint8_t>{36, 55}))
        << "142 / 4 = 35.5 rounds up, 221 / 4 = 55.25 down";
    // The same size is the same picture; one pixel is its box's mean only when centred.
    EXPECT_EQ(samples::greySample(wide, {0, 0, 4, 2}, 4, 2),
              (std::vector<std::uint8_t>{10, 20, 30, 41, 50, 62, 70, 80}));
    EXPECT_EQ(samples::greySample(wide, {1, 0, 2, 2}, 1, 1), (std::vector<std::uint8_t>{46}))
        << "the box (1, 0, 2, 2): (20 + 30 + 62 + 70) / 4 = 45.5";
}

TEST(SamplesVec, TheFileIsTheHeaderThenEachSampleAfterAZeroByte) {
    const std::vector<std::vector<std::uint8_t>> greys = {{1, 2}, {255, 0}};
    EXPECT_EQ(samples::encodeVecFile(greys, 2, 1),
              (std::vector<std::uint8_t>{2, 0,   0, 0, 2, 0, 0, 0, 0, 0, 0, 0,  // count, w * h, 0, 0
                                         0, 1,   0, 2, 0,                       // sample 1
                                         0, 255, 0, 0, 0}))                     // sample 2
        << "the .vec bytes";
    EXPECT_EQ(samples::encodeVecFile({}, 24, 24),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0x40, 2, 0, 0, 0, 0, 0, 0}))
        << "no samples: only the header (24 * 24 = 0x240)";
}

class SamplesExport : public InFreshDirectory {
protected:
    void SetUp() override {
        InFreshDirectory::SetUp();
        fs::create_directory("save");
    }
    static void picture(const std::string& name, const base::Image& image) {
        const std::vector<std::uint8_t> bmp = capture::encodeBmpSnapshot(image);
        writeFile("save/" + name, std::string(bmp.begin(), bmp.end()));
    }
    // The record of `lines`, each ended by a line feed.
    static void record(std::initializer_list<std::string_view> lines) {
        std::string text;
        for (const std::string_view line : lines) (text += line) += '\n';
        writeFile("save/" + std::string(base::kSampleRecordFile), text);
    }
    static samples::SampleRecord readRecord() {
        const base::Result<std::optional<samples::SampleRecord>> read = samples::readSampleRecord("save");
        EXPECT_TRUE(read && *read) << "the record was not read";
        return read && *read ? **read : samples::SampleRecord{};
    }
    static samples::ExportReport exportAs(samples::ExportFormat format,
                                          std::optional<samples::VecSize> vec = {},
                                          const std::string& className = "object") {
        samples::ExportOptions options;
        options.format = format;
        options.vec = vec;
        options.className = className;
        const base::Result<samples::ExportReport> report =
            samples::exportSamples(readRecord(), "save", "out", options);
        EXPECT_TRUE(report) << report.error();
        return report ? *report : samples::ExportReport{};
    }
    // The usual folder: cut0 (the object in a 10 x 8 picture), cut1 (a negative, 6 x 4), cut2
    // taken back, cut3 recorded but gone, cut4 a grab (4 x 2, the whole picture).
    void usualFolder() {
        picture("cut0.bmp", base::Image(10, 8, 0xFF336699));
        picture("cut1.bmp", base::Image(6, 4, 0xFF000000));
        picture("cut2.bmp", base::Image(4, 4));
        picture("cut4.bmp", greyPicture(4, 2, {10, 20, 30, 41, 50, 62, 70, 80}));
        record(
            {std::string(
                 R"({"file":"cut0.bmp","kind":"capture","width":10,"height":8,"object_box":[1,2,5,3],)") +
                 R"("object_polygon":[[1,2],[6,2],[6,5],[1.5,5]]})",
             R"({"file":"cut1.bmp","kind":"capture","width":6,"height":4,"object_box":null,"object_polygon":[]})",
             R"({"file":"cut2.bmp","kind":"capture","width":4,"height":4,"object_box":[0,0,1,1]})",
             R"({"removed":"cut2.bmp"})",
             R"({"file":"cut3.bmp","kind":"capture","width":4,"height":4,"object_box":[0,0,1,1]})",
             std::string(R"({"file":"cut4.bmp","kind":"grab","width":4,"height":2,"object_box":[0,0,4,2],)") +
                 R"("object_polygon":[[0,0],[4,0],[4,2],[0,2]]})"});
    }
};

TEST_F(SamplesExport, OpenCvListsPositivesInInfoDatAndNegativesInBgTxt) {
    usualFolder();
    const samples::ExportReport report = exportAs(samples::ExportFormat::OpenCv);
    EXPECT_EQ(readText("out/info.dat"), "images/cut0.bmp 1 1 2 5 3\nimages/cut4.bmp 1 0 0 4 2\n");
    EXPECT_EQ(readText("out/bg.txt"), "images/cut1.bmp\n");
    for (const char* name : {"cut0.bmp", "cut1.bmp", "cut4.bmp"})
        EXPECT_EQ(readBytes(fs::path("out/images") / name), readBytes(fs::path("save") / name))
            << name << " was not copied as it is";
    EXPECT_FALSE(fs::exists("out/images/cut2.bmp")) << "a sample taken back was exported";
    EXPECT_FALSE(fs::exists("out/samples.vec")) << "a .vec without --vec";
    EXPECT_EQ(report.exported, 3u);
    EXPECT_EQ(report.negatives, 1u);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].file, "cut3.bmp");
    EXPECT_EQ(report.skipped[0].cause, samples::SkipCause::Missing);
    EXPECT_EQ(report.skipped[0].reason, "no such file in save");
    EXPECT_EQ(samples::exportSummaryLine(report, "out"),
              "exported 3 samples (1 negative) to out; skipped 1: 1 missing");
}

TEST_F(SamplesExport, OpenCvVecHoldsEachObjectGreyAndResizedByteForByte) {
    usualFolder();
    // cut0's box is one colour: 0x336699 is (299 * 51 + 587 * 102 + 114 * 153 + 500) / 1000 = 93.
    exportAs(samples::ExportFormat::OpenCv, samples::VecSize{2, 1});
    EXPECT_EQ(readBytes("out/samples.vec"),
              (std::vector<std::uint8_t>{2, 0,  0, 0,  2, 0, 0, 0, 0, 0, 0, 0,  //
                                         0, 93, 0, 93, 0,                       // cut0
                                         0, 36, 0, 55, 0}))                     // cut4, as resized above
        << "the negative has no place in the .vec";
}

TEST_F(SamplesExport, TheVecSampleIsCutFromTheBoxAlone) {
    // Around the box (1, 1, 4, 2) lie pixels of 255 that would show in any blend outside it.
    base::Image image = greyPicture(6, 4, std::vector<std::uint32_t>(24, 255));
    const std::uint32_t inside[] = {10, 20, 30, 41, 50, 62, 70, 80};
    for (int i = 0; i < 8; ++i) image.at(1 + i % 4, 1 + i / 4) = greyPixel(inside[i]);
    picture("a.bmp", image);
    record({R"({"file":"a.bmp","kind":"capture","width":6,"height":4,"object_box":[1,1,4,2]})"});
    exportAs(samples::ExportFormat::OpenCv, samples::VecSize{2, 1});
    EXPECT_EQ(readBytes("out/samples.vec"), (std::vector<std::uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,  //
                                                                       0, 36, 0, 55, 0}));
}

TEST_F(SamplesExport, YoloLabelsAreNormalisedBoxesAndNegativesGetEmptyLabels) {
    usualFolder();
    const samples::ExportReport report = exportAs(samples::ExportFormat::Yolo);
    // cut0: box (1, 2, 5, 3) of 10 x 8: centre (3.5 / 10, 3.5 / 8), size (5 / 10, 3 / 8).
    EXPECT_EQ(readText("out/labels/cut0.txt"), "0 0.350000 0.437500 0.500000 0.375000\n");
    EXPECT_EQ(readText("out/labels/cut4.txt"), "0 0.500000 0.500000 1.000000 1.000000\n");
    EXPECT_TRUE(fs::exists("out/labels/cut1.txt")) << "the negative has no label file";
    EXPECT_EQ(readText("out/labels/cut1.txt"), "") << "the negative's label file is not empty";
    EXPECT_EQ(readText("out/data.yaml"), "path: .\ntrain: images\nval: images\nnc: 1\nnames: [object]\n");
    EXPECT_EQ(readBytes("out/images/cut0.bmp"), readBytes("save/cut0.bmp"));
    EXPECT_FALSE(fs::exists("out/labels/cut2.txt")) << "a sample taken back has a label";
    EXPECT_FALSE(fs::exists("out/labels/cut3.txt")) << "a missing sample has a label";
    EXPECT_TRUE(report.warnings.empty()) << report.warnings[0];
}

TEST_F(SamplesExport, YoloRoundsToSixDecimalsAndQuotesAClassNameThatNeedsIt) {
    picture("a.bmp", base::Image(3, 7));
    record({R"({"file":"a.bmp","kind":"capture","width":3,"height":7,"object_box":[0,1,1,3]})"});
    exportAs(samples::ExportFormat::Yolo, {}, "it's: a cat");
    EXPECT_EQ(readText("out/labels/a.txt"), "0 0.166667 0.357143 0.333333 0.428571\n")
        << "1/6, 2.5/7, 1/3 and 3/7 to six decimals";
    EXPECT_EQ(readText("out/data.yaml"),
              "path: .\ntrain: images\nval: images\nnc: 1\nnames: ['it''s: a cat']\n");
    exportAs(samples::ExportFormat::Yolo, {}, "no");
    EXPECT_NE(readText("out/data.yaml").find("names: ['no']"), std::string::npos)
        << "YAML 1.1 reads no as false";
}

TEST_F(SamplesExport, YoloWarnsOfImagesAndLabelsItDidNotWrite) {
    usualFolder();
    fs::create_directories("out/images");
    fs::create_directories("out/labels");
    writeFile("out/images/old.bmp", "old");
    writeFile("out/labels/old.txt", "0 0.5 0.5 1 1\n");
    const samples::ExportReport report = exportAs(samples::ExportFormat::Yolo);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  base::utf8FromPath(fs::path("out") / "images" / "old.bmp") +
                      ": not written by this export, but YOLO trains on every image in images/",
                  base::utf8FromPath(fs::path("out") / "labels" / "old.txt") +
                      ": not written by this export, but YOLO reads every label in labels/"}));
    EXPECT_EQ(readText("out/images/old.bmp"), "old") << "a file the export does not write was replaced";
}

TEST_F(SamplesExport, YoloSkipsASampleWhoseLabelNameIsTaken) {
    picture("a.bmp", base::Image(2, 2));
    picture("a.BMP.bmp", base::Image(2, 2));
    picture("a", base::Image(2, 2));
    record({R"({"file":"a.bmp","kind":"capture","width":2,"height":2})",
            R"({"file":"a","kind":"capture","width":2,"height":2})"});
    const samples::ExportReport report = exportAs(samples::ExportFormat::Yolo);
    EXPECT_EQ(report.exported, 1u);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].file, "a");
    EXPECT_EQ(report.skipped[0].cause, samples::SkipCause::NameUnusable);
    EXPECT_EQ(report.skipped[0].reason, "its label file labels/a.txt is another sample's");
}

TEST_F(SamplesExport, CocoIdsAndReferencesAgree) {
    usualFolder();
    exportAs(samples::ExportFormat::Coco, {}, "cat");
    const nlohmann::json coco = nlohmann::json::parse(readText("out/annotations.json"), nullptr, false);
    ASSERT_TRUE(coco.is_object()) << "annotations.json is no JSON object:\n"
                                  << readText("out/annotations.json");
    const nlohmann::json images = nlohmann::json::parse(R"([
        {"id": 1, "file_name": "cut0.bmp", "width": 10, "height": 8},
        {"id": 2, "file_name": "cut1.bmp", "width": 6, "height": 4},
        {"id": 3, "file_name": "cut4.bmp", "width": 4, "height": 2}])");
    EXPECT_EQ(coco["images"], images) << "the images, ids from 1, names relative to images/";
    const nlohmann::json annotations = nlohmann::json::parse(R"([
        {"id": 1, "image_id": 1, "category_id": 1, "bbox": [1, 2, 5, 3], "area": 15, "iscrowd": 0,
         "segmentation": [[1, 2, 6, 2, 6, 5, 1.5, 5]]},
        {"id": 2, "image_id": 3, "category_id": 1, "bbox": [0, 0, 4, 2], "area": 8, "iscrowd": 0,
         "segmentation": [[0, 0, 4, 0, 4, 2, 0, 2]]}])");
    EXPECT_EQ(coco["annotations"], annotations) << "no annotation for the negative cut1, ids from 1";
    EXPECT_EQ(coco["categories"], nlohmann::json::parse(R"([{"id": 1, "name": "cat"}])"));

    // Whatever the values, every reference leads somewhere and every image file is there.
    std::set<std::int64_t> imageIds;
    for (const nlohmann::json& image : coco["images"]) {
        EXPECT_TRUE(imageIds.insert(image["id"].get<std::int64_t>()).second) << "an image id twice";
        EXPECT_TRUE(fs::exists(fs::path("out/images") / image["file_name"].get<std::string>()))
            << image["file_name"] << " is not in images/";
    }
    for (const nlohmann::json& annotation : coco["annotations"])
        EXPECT_TRUE(imageIds.contains(annotation["image_id"].get<std::int64_t>())) << annotation.dump();
}

TEST_F(SamplesExport, CocoGivesTheBoxAsOutlineWhenTheRecordHasNone) {
    picture("a.bmp", base::Image(8, 8));
    record({R"({"file":"a.bmp","kind":"capture","width":8,"height":8,"object_box":[1,2,3,4]})"});
    exportAs(samples::ExportFormat::Coco);
    const nlohmann::json coco = nlohmann::json::parse(readText("out/annotations.json"));
    EXPECT_EQ(coco["annotations"][0]["segmentation"], nlohmann::json::parse("[[1, 2, 4, 2, 4, 6, 1, 6]]"));
}

TEST_F(SamplesExport, FilesThatAreNoNukitoriSnapshotOrOfAnotherSizeAreSkipped) {
    picture("small.bmp", base::Image(3, 3));
    writeFile("save/text.bmp", "BM but not a picture");
    record({R"({"file":"small.bmp","kind":"capture","width":4,"height":3})",
            R"({"file":"text.bmp","kind":"capture","width":4,"height":3})"});
    const samples::ExportReport report = exportAs(samples::ExportFormat::Coco);
    EXPECT_EQ(report.exported, 0u);
    ASSERT_EQ(report.skipped.size(), 2u);
    EXPECT_EQ(report.skipped[0].cause, samples::SkipCause::OtherSize);
    EXPECT_EQ(report.skipped[0].reason, "the file is 3 x 3 pixels, its record (line 1) says 4 x 3");
    EXPECT_EQ(report.skipped[1].cause, samples::SkipCause::NotSnapshot);
    EXPECT_EQ(report.skipped[1].reason, "shorter than a BMP header");
    EXPECT_EQ(
        samples::exportSummaryLine(report, "out"),
        "exported 0 samples (0 negative) to out; skipped 2: 1 not a nukitori BMP, 1 of another size than "
        "recorded");
    EXPECT_FALSE(fs::exists("out/images/small.bmp")) << "a skipped sample was copied";
}

TEST_F(SamplesExport, OpenCvSkipsNamesItsListsCannotHold) {
    picture("with space.bmp", base::Image(2, 2));
    picture("#hash.bmp", base::Image(2, 2));
    record({R"({"file":"with space.bmp","kind":"capture","width":2,"height":2,"object_box":[0,0,1,1]})",
            R"({"file":"#hash.bmp","kind":"capture","width":2,"height":2})"});
    const samples::ExportReport opencv = exportAs(samples::ExportFormat::OpenCv);
    EXPECT_EQ(opencv.skipped.size(), 2u) << "info.dat or bg.txt got a name it splits or skips";
    EXPECT_EQ(readText("out/info.dat"), "");
    EXPECT_EQ(readText("out/bg.txt"), "");
    EXPECT_EQ(exportAs(samples::ExportFormat::Coco).exported, 2u) << "COCO holds any name";
}

TEST_F(SamplesExport, OnlyTheExportsOwnFilesAreReplaced) {
    usualFolder();
    fs::create_directories("out/images");
    writeFile("out/info.dat", "stale\n");
    writeFile("out/images/cut0.bmp", "stale");
    writeFile("out/readme.txt", "mine");
    writeFile("out/samples.vec", "old vec");
    const samples::ExportReport report = exportAs(samples::ExportFormat::OpenCv);
    EXPECT_EQ(readText("out/info.dat"), "images/cut0.bmp 1 1 2 5 3\nimages/cut4.bmp 1 0 0 4 2\n");
    EXPECT_EQ(readBytes("out/images/cut0.bmp"), readBytes("save/cut0.bmp"));
    EXPECT_EQ(readText("out/readme.txt"), "mine") << "a file the export does not write was touched";
    EXPECT_EQ(readText("out/samples.vec"), "old vec") << "a file this export does not write was touched";
    ASSERT_EQ(report.warnings.size(), 1u) << "the stale .vec is not told of";
    EXPECT_EQ(report.warnings[0], base::utf8FromPath(fs::path("out") / "samples.vec") +
                                      ": not written by this export (no --vec), so not of these samples");
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator("out"))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"images", "cut0.bmp", "cut1.bmp", "cut4.bmp", "info.dat", "bg.txt",
                                           "readme.txt", "samples.vec"}))
        << "temporary files were left, or something else written";
}

TEST_F(SamplesExport, AnOutputThatCannotBeWrittenIsAFailure) {
    usualFolder();
    writeFile("file", "x");
    samples::ExportOptions options;
    const base::Result<samples::ExportReport> intoFile =
        samples::exportSamples(readRecord(), "save", "file", options);
    EXPECT_FALSE(intoFile) << "an export into a file succeeded";
    fs::create_directories("out");
    writeFile("out/images", "a file where the folder goes");
    const base::Result<samples::ExportReport> blocked =
        samples::exportSamples(readRecord(), "save", "out", options);
    ASSERT_FALSE(blocked) << "an export with a file for images/ succeeded";
    EXPECT_EQ(blocked.error(), base::utf8FromPath(fs::path("out") / "images") + ": not a folder");
}

#ifndef _WIN32
TEST_F(SamplesExport, NothingIsWrittenThroughALinkOutOfTheOutput) {
    usualFolder();
    fs::create_directories("elsewhere");
    fs::create_directories("out");
    fs::create_directory_symlink("../elsewhere", "out/images");
    samples::ExportOptions options;
    const base::Result<samples::ExportReport> linked =
        samples::exportSamples(readRecord(), "save", "out", options);
    ASSERT_FALSE(linked) << "an export wrote through a linked images/";
    EXPECT_TRUE(fs::is_empty("elsewhere")) << "a file was written outside the output folder";

    // A link in a file's place is replaced by the file, never written through.
    fs::remove("out/images");
    fs::create_directories("out/images");
    writeFile("elsewhere/target", "keep");
    fs::create_symlink("../../elsewhere/target", "out/images/cut0.bmp");
    fs::create_symlink("../elsewhere/target", "out/info.dat");
    ASSERT_TRUE(samples::exportSamples(readRecord(), "save", "out", options));
    EXPECT_EQ(readText("elsewhere/target"), "keep") << "the export wrote through a link";
    EXPECT_FALSE(fs::is_symlink("out/images/cut0.bmp"));
    EXPECT_EQ(readBytes("out/images/cut0.bmp"), readBytes("save/cut0.bmp"));
}
#endif

TEST_F(SamplesExport, ProgressCountsEverySample) {
    usualFolder();
    std::vector<std::string> calls;
    samples::ExportOptions options;
    const base::Result<samples::ExportReport> report = samples::exportSamples(
        readRecord(), "save", "out", options, [&](std::size_t done, std::size_t total) {
            calls.push_back(std::to_string(done) + "/" + std::to_string(total));
        });
    ASSERT_TRUE(report) << report.error();
    EXPECT_EQ(calls, (std::vector<std::string>{"1/4", "2/4", "3/4", "4/4"}))
        << "the live samples, the missing one too";
}

}  // namespace
