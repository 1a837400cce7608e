// The save folder's record as nukitori-samples reads it, the summary of a folder, and the tool's
// command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_names.h"
#include "fresh_directory.h"
#include "samples/command_line.h"
#include "samples/sample_record.h"
#include "samples/save_folder.h"

namespace {

using samples::Box;
using samples::PolygonPoint;
using samples::SampleRecord;

SampleRecord parse(const std::string& text) {
    std::istringstream in(text);
    return samples::parseSampleRecord(in);
}

// The record of `lines`, each ended by a line feed.
SampleRecord parseLines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const std::string_view line : lines) (text += line) += '\n';
    return parse(text);
}

std::string saveLine(const std::string& file, const std::string& box = "[1,2,3,4]", int width = 10,
                     int height = 8) {
    return R"({"file":")" + file +
           R"(","kind":"capture","prefix":"cut","number":0,"time":"2026-12-09T17:50:01.123Z",)" +
           R"("width":)" + std::to_string(width) + R"(,"height":)" + std::to_string(height) +
           R"(,"screen":[812,440,50,50],"program":"nukitori 0.1","object_box":)" + box +
           R"(,"object_polygon":[],"view":{"eye":[0,0,-5]}})" + "\n";
}

std::string removalLine(const std::string& file) {
    return R"({"removed":")" + file + R"(","time":"2026-12-09T17:51:00.000Z"})" + "\n";
}

std::vector<std::string> liveFiles(const SampleRecord& record) {
    std::vector<std::string> files;
    for (const samples::Sample& sample : record.live)
        files.push_back(sample.file + "@" + std::to_string(sample.line));
    return files;
}

std::string problems(const SampleRecord& record) {
    std::string text;
    for (const samples::RecordProblem& problem : record.problems)
        text += std::to_string(problem.line) + ": " + problem.reason + "\n";
    return text;
}

TEST(SamplesRecord, ASaveLineGivesItsSampleAndIgnoresTheKeysOfTheView) {
    const SampleRecord record = parseLines(
        {R"({"file":"cut0.bmp","kind":"capture","prefix":"cut","number":0,"time":"2026-12-09T17:50:01.123Z",)"
         R"("width":50,"height":50,"screen":[812,440,50,50],"program":"nukitori 0.1","object_box":[3,4,40,38],)"
         R"("object_polygon":[[3,4],[43,4.5],[43,42],[3,42]],"camera":{"eye":[1,2,3]},"overlay":[1,2]})",
         R"({"file":"grab0.bmp","kind":"grab","width":20,"height":10,"object_box":[0,0,20,10],)"
         R"("object_polygon":[[0,0],[20,0],[20,10],[0,10]]})"});
    EXPECT_EQ(problems(record), "") << "a good record had problems";
    ASSERT_EQ(record.live.size(), 2u) << "two save lines, two samples";
    const samples::Sample& cut = record.live[0];
    EXPECT_EQ(cut.file, "cut0.bmp");
    EXPECT_EQ(cut.kind, samples::SampleKind::Capture);
    EXPECT_EQ(cut.width, 50);
    EXPECT_EQ(cut.height, 50);
    EXPECT_EQ(cut.line, 1u);
    ASSERT_TRUE(cut.objectBox) << "the box was lost";
    EXPECT_EQ(*cut.objectBox, (Box{3, 4, 40, 38}));
    EXPECT_EQ(cut.objectPolygon, (std::vector<PolygonPoint>{{3, 4}, {43, 4.5}, {43, 42}, {3, 42}}))
        << "the outline, a fraction included";
    EXPECT_EQ(record.live[1].kind, samples::SampleKind::Grab);
    EXPECT_EQ(*record.live[1].objectBox, (Box{0, 0, 20, 10}));
    EXPECT_EQ(record.saveLines, 2u);
    EXPECT_EQ(record.lines, 2u);
    EXPECT_FALSE(record.tornLastLine);
}

TEST(SamplesRecord, ANullOrAbsentBoxIsANegativeSampleWithoutOutline) {
    const SampleRecord record = parse(
        saveLine("a.bmp", "null") + R"({"file":"b.bmp","kind":"capture","width":5,"height":5})" + "\n" +
        R"({"file":"c.bmp","kind":"capture","width":5,"height":5,"object_box":null,"object_polygon":[[1,1],[2,2],[1,2]]})" +
        "\n");
    EXPECT_EQ(problems(record), "");
    ASSERT_EQ(record.live.size(), 3u);
    for (const samples::Sample& sample : record.live) {
        EXPECT_FALSE(sample.objectBox) << sample.file << " is no negative sample";
        EXPECT_TRUE(sample.objectPolygon.empty()) << sample.file << " kept an outline without a box";
    }
}

TEST(SamplesRecord, ARemovalTakesBackTheLatestSaveOfItsFileAndAReuseIsLiveAgain) {
    const SampleRecord record =
        parse(saveLine("cut0.bmp") + saveLine("cut1.bmp") + removalLine("cut0.bmp") + saveLine("cut2.bmp") +
              removalLine("cut2.bmp") + saveLine("cut0.bmp", "[2,2,2,2]"));
    EXPECT_EQ(problems(record), "");
    EXPECT_EQ(liveFiles(record), (std::vector<std::string>{"cut1.bmp@2", "cut0.bmp@6"}))
        << "cut0 taken back and saved again at line 6, cut2 taken back for good";
    EXPECT_EQ(*record.live[1].objectBox, (Box{2, 2, 2, 2})) << "the reused number's own box";
    EXPECT_EQ(record.saveLines, 4u);
    EXPECT_EQ(record.removed, 2u);
    EXPECT_EQ(record.superseded, 0u);
}

TEST(SamplesRecord, ARemovalUncoversTheEarlierSaveOfAFileSavedTwice) {
    const SampleRecord twice = parse(saveLine("a.bmp") + saveLine("a.bmp", "[5,5,1,1]"));
    EXPECT_EQ(liveFiles(twice), (std::vector<std::string>{"a.bmp@2"}))
        << "the latest line describes the file";
    EXPECT_EQ(twice.superseded, 1u);
    const SampleRecord back =
        parse(saveLine("a.bmp") + saveLine("a.bmp", "[5,5,1,1]") + removalLine("a.bmp"));
    EXPECT_EQ(liveFiles(back), (std::vector<std::string>{"a.bmp@1"})) << "the removal takes back line 2 only";
    EXPECT_EQ(back.superseded, 0u);
}

TEST(SamplesRecord, ATornLastLineIsSkippedSilently) {
    const std::string complete = saveLine("cut0.bmp") + saveLine("cut1.bmp");
    const SampleRecord record = parse(complete + R"({"file":"cut2.bmp","kind":"cap)");
    EXPECT_EQ(problems(record), "") << "the line being written was reported";
    EXPECT_TRUE(record.tornLastLine);
    EXPECT_EQ(liveFiles(record), (std::vector<std::string>{"cut0.bmp@1", "cut1.bmp@2"}));
    EXPECT_EQ(record.lines, 2u) << "the torn line counted as read";

    // Even a whole JSON object is not read while its line feed is missing: it may grow yet.
    const std::string whole = saveLine("cut2.bmp");
    const SampleRecord unended = parse(complete + whole.substr(0, whole.size() - 1));
    EXPECT_EQ(problems(unended), "");
    EXPECT_EQ(unended.live.size(), 2u) << "the unended line was read";
    EXPECT_FALSE(parse(complete).tornLastLine) << "a record ending in a line feed is whole";
}

TEST(SamplesRecord, BadLinesAreReportedWithTheirNumbersAndSkipped) {
    // Each line, its line feed added where it has none.
    const std::string lines[] = {
        saveLine("good0.bmp"),
        "not json",
        "[1,2,3]",
        "",
        R"({"kind":"capture","width":5,"height":5})",
        R"({"file":"a.bmp","width":5,"height":5})",
        R"({"file":"a.bmp","kind":"capture","height":5})",
        R"({"file":"a.bmp","kind":"capture","width":5})",
        R"({"file":7,"kind":"capture","width":5,"height":5})",
        R"({"file":"a.bmp","kind":"print","width":5,"height":5})",
        R"({"file":"a.bmp","kind":"capture","width":0,"height":5})",
        R"({"file":"a.bmp","kind":"capture","width":2.5,"height":5})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[1,2,3]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[1,2,3.5,1]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[1,2,0,1]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[5,0,2,2]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[0,0,2,2],"object_polygon":[[1]]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[0,0,2,2],"object_polygon":7})",
        removalLine("never.bmp"),
        R"({"removed":null})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[-9223372036854775808,0,1,1]})",
        R"({"file":"a.bmp","kind":"capture","width":5,"height":5,"object_box":[0,0,1,1],"object_polygon":[[0,0],[1e308,0],[0,1]]})",
        R"({"file":"a.bmp","kind":"capture","width":18446744073709551615,"height":5})",
        saveLine("good1.bmp"),
    };
    std::string text;
    for (const std::string& line : lines) text += line.ends_with('\n') ? line : line + "\n";
    const SampleRecord record = parse(text);
    EXPECT_EQ(problems(record),
              "2: not JSON\n"
              "3: not a JSON object\n"
              "4: an empty line\n"
              "5: no \"file\"\n"
              "6: no \"kind\"\n"
              "7: no \"width\"\n"
              "8: no \"height\"\n"
              "9: \"file\" is not a string\n"
              "10: \"kind\" is neither \"capture\" nor \"grab\": \"print\"\n"
              "11: \"width\" is not a picture's size: 0\n"
              "12: \"width\" is not a picture's size: 2.5\n"
              "13: \"object_box\" is not four whole numbers or null\n"
              "14: \"object_box\" is not four whole numbers or null\n"
              "15: \"object_box\" is empty: [1,2,0,1]\n"
              "16: \"object_box\" lies outside the picture: [5,0,2,2]\n"
              "17: \"object_polygon\" holds [1], which is no [x, y]\n"
              "18: \"object_polygon\" is not a list of points\n"
              "19: removes never.bmp, which no earlier line saves\n"
              "20: \"removed\" is not a string\n"
              "21: \"object_box\" is not four whole numbers or null\n"
              "22: \"object_polygon\" holds [1e+308,0], which is no [x, y]\n"
              "23: \"width\" is not a picture's size: 18446744073709551615\n");
    EXPECT_EQ(liveFiles(record), (std::vector<std::string>{"good0.bmp@1", "good1.bmp@24"}))
        << "the good lines around the bad ones were lost";
    EXPECT_EQ(record.lines, 24u);
}

TEST(SamplesRecord, NamesThatAreNoPlainFileNameAreRefused) {
    const std::string unsafe[] = {"../escape.bmp",
                                  "..",
                                  ".",
                                  "/etc/passwd",
                                  "sub/cut0.bmp",
                                  "sub\\\\cut0.bmp",
                                  "C:cut0.bmp",
                                  "C:\\\\cut0.bmp",
                                  "",
                                  "tab\\there.bmp",
                                  "cut0.bmp\\u0000.txt",
                                  "stream.bmp:hidden"};
    for (const std::string& name : unsafe) {
        const SampleRecord saved = parse(saveLine(name));
        EXPECT_TRUE(saved.live.empty()) << "a save of " << name << " was taken";
        ASSERT_EQ(saved.problems.size(), 1u) << "a save of " << name << " was not reported";
        EXPECT_TRUE(saved.problems[0].reason.starts_with("\"file\" is not a plain file name: "))
            << "the reason for " << name << ": " << saved.problems[0].reason;
        const SampleRecord removed = parse(saveLine("cut0.bmp") + removalLine(name));
        EXPECT_EQ(removed.live.size(), 1u) << "a removal of " << name << " took something back";
        ASSERT_EQ(removed.problems.size(), 1u) << "a removal of " << name << " was not reported";
        EXPECT_TRUE(removed.problems[0].reason.starts_with("\"removed\" is not a plain file name: "))
            << "the reason for " << name << ": " << removed.problems[0].reason;
    }
    // A control character is shown escaped, never sent to the terminal as it is.
    EXPECT_EQ(parse(saveLine("a\\u001bb")).problems[0].reason,
              "\"file\" is not a plain file name: \"a\\u001bb\"");
    for (const std::string_view name : {"cut0.bmp", "抜き取り12.bmp", "a..b.bmp", "with space.bmp"})
        EXPECT_TRUE(samples::isPlainFileName(name)) << name << " was refused";
#ifdef _WIN32
    for (const std::string_view name : {"NUL.bmp", "con", "COM1.bmp"})
        EXPECT_FALSE(samples::isPlainFileName(name)) << "the device name " << name << " was taken";
#endif
}

TEST(SamplesRecord, ABoxAndOutlinePastThePictureAreClippedToIt) {
    const SampleRecord record =
        parseLines({R"({"file":"a.bmp","kind":"capture","width":10,"height":8,"object_box":[-2,4,6,10],)"
                    R"("object_polygon":[[-2,4],[4,4],[4,14],[-2,14]]})",
                    R"({"file":"b.bmp","kind":"capture","width":10,"height":8,"object_box":[2.0,1,3,3],)"
                    R"("object_polygon":[[2,1],[5,1],[5,4]]})"});
    EXPECT_EQ(problems(record), "");
    ASSERT_EQ(record.live.size(), 2u);
    EXPECT_EQ(*record.live[0].objectBox, (Box{0, 4, 4, 4})) << "the box within the 10 x 8 picture";
    EXPECT_EQ(record.live[0].objectPolygon, (std::vector<PolygonPoint>{{0, 4}, {4, 4}, {4, 8}, {0, 8}}))
        << "the outline within the picture";
    EXPECT_EQ(*record.live[1].objectBox, (Box{2, 1, 3, 3})) << "2.0 is a whole number";
    EXPECT_EQ(record.live[1].objectPolygon, (std::vector<PolygonPoint>{{2, 1}, {5, 1}, {5, 4}}))
        << "an outline within the picture is kept as it is";
}

TEST(SamplesRecord, LinesEndedByCarriageReturnAndLineFeedAreRead) {
    std::string line = saveLine("cut0.bmp");
    line.insert(line.size() - 1, "\r");
    const SampleRecord record = parse(line + line);
    EXPECT_EQ(problems(record), "");
    EXPECT_EQ(record.saveLines, 2u);
}

using SamplesFolder = InFreshDirectory;

TEST_F(SamplesFolder, TheRecordIsReadFromTheFolderAndItsAbsenceIsNoFailure) {
    std::filesystem::create_directory("save");
    const base::Result<std::optional<SampleRecord>> none = samples::readSampleRecord("save");
    ASSERT_TRUE(none) << none.error();
    EXPECT_FALSE(*none) << "a folder without a record gave one";

    writeFile("save/" + std::string(base::kSampleRecordFile), saveLine("cut0.bmp"));
    const base::Result<std::optional<SampleRecord>> read = samples::readSampleRecord("save");
    ASSERT_TRUE(read) << read.error();
    ASSERT_TRUE(*read) << "the record was not found";
    EXPECT_EQ(liveFiles(**read), (std::vector<std::string>{"cut0.bmp@1"}));

    std::filesystem::create_directory("folder");
    std::filesystem::create_directory("folder/" + std::string(base::kSampleRecordFile));
    EXPECT_FALSE(samples::readSampleRecord("folder")) << "a folder in the record's place was read";
}

TEST_F(SamplesFolder, TheSummaryCountsFilesRecordsRemovalsMissingAndUnrecorded) {
    std::filesystem::create_directory("save");
    for (const char* name : {"cut0.bmp", "cut1.bmp", "cut3.BMP", "stray.bmp", "notes.txt"})
        writePicture(std::string("save/") + name, 4, 4);
    std::filesystem::create_directory("save/folder.bmp");  // not a file
    writeFile("save/" + std::string(base::kSampleRecordFile),
              saveLine("cut0.bmp") + saveLine("cut1.bmp", "null") + saveLine("cut2.bmp") +
                  removalLine("cut2.bmp") + saveLine("cut3.BMP") + saveLine("gone.bmp") + "garbage\n" +
                  saveLine("cut1.bmp", "null") + saveLine("torn.bmp").substr(0, 20));

    const base::Result<std::vector<std::string>> files = samples::listFiles("save");
    ASSERT_TRUE(files) << files.error();
    EXPECT_EQ(*files, (std::vector<std::string>{"cut0.bmp", "cut1.bmp", "cut3.BMP", "notes.txt",
                                                std::string(base::kSampleRecordFile), "stray.bmp"}))
        << "the regular files, sorted by their bytes";
    const base::Result<std::optional<SampleRecord>> record = samples::readSampleRecord("save");
    ASSERT_TRUE(record && *record) << "the record was not read";
    const samples::FolderSummary summary = samples::summarizeFolder(*record, *files);
    EXPECT_EQ(summary.bmpFiles, 4u);
    EXPECT_EQ(summary.saveRecords, 6u);
    EXPECT_EQ(summary.removed, 1u);
    EXPECT_EQ(summary.superseded, 1u);
    EXPECT_EQ(summary.live, 4u);
    EXPECT_EQ(summary.negatives, 1u);
    EXPECT_EQ(summary.missing, (std::vector<std::string>{"gone.bmp"}));
    EXPECT_EQ(summary.unrecorded, (std::vector<std::string>{"stray.bmp"}));
    EXPECT_EQ(samples::formatSummary(summary, "save", "save/rec"),
              "folder: save\n"
              "record: save/rec, 8 lines (1 skipped)\n"
              "BMP files: 4\n"
              "save records: 6\n"
              "removed: 1\n"
              "saved again without a removal: 1 (the latest line counts)\n"
              "live samples: 4 (3 with the object, 1 negative)\n"
              "missing: 1: gone.bmp\n"
              "files without a record: 1: stray.bmp\n");

    const samples::FolderSummary bare = samples::summarizeFolder(std::nullopt, *files);
    EXPECT_EQ(samples::formatSummary(bare, "save", "save/rec"),
              "folder: save\n"
              "record: none (no save/rec)\n"
              "BMP files: 4\n"
              "save records: 0\n"
              "removed: 0\n"
              "live samples: 0 (0 with the object, 0 negative)\n"
              "missing: 0\n"
              "files without a record: 4: cut0.bmp, cut1.bmp, cut3.BMP, stray.bmp\n");
    EXPECT_FALSE(samples::listFiles("no-such-folder")) << "a missing folder was listed";
}

TEST(SamplesSummary, LongListsShowTenNamesAndHowManyMore) {
    samples::FolderSummary summary;
    for (int i = 0; i < 12; ++i) summary.missing.push_back("m" + std::to_string(i) + ".bmp");
    const std::string text = samples::formatSummary(summary, "f", "r");
    EXPECT_NE(
        text.find("missing: 12: m0.bmp, m1.bmp, m2.bmp, m3.bmp, m4.bmp, m5.bmp, m6.bmp, m7.bmp, m8.bmp, "
                  "m9.bmp and 2 more\n"),
        std::string::npos)
        << text;
}

samples::CommandLine parseWords(std::vector<std::string_view> words) {
    return samples::parseCommandLine(words);
}

TEST(SamplesCommandLine, TheSummaryTakesOneFolder) {
    const samples::CommandLine summary = parseWords({"抜き取り画像保存フォルダ"});
    EXPECT_EQ(summary.action, samples::CommandLine::Action::Summary);
    EXPECT_EQ(summary.folder, "抜き取り画像保存フォルダ");
    EXPECT_EQ(parseWords({"--", "-odd"}).folder, "-odd") << "'--' ends the options";
}

TEST(SamplesCommandLine, ExportOptionsComeInAnyOrder) {
    const samples::CommandLine a = parseWords(
        {"export", "--out", "set", "--vec", "24", "12", "save", "--format", "opencv", "--class", "cat"});
    ASSERT_EQ(a.action, samples::CommandLine::Action::Export) << a.problem;
    EXPECT_EQ(a.folder, "save");
    EXPECT_EQ(a.out, "set");
    EXPECT_EQ(a.options.format, samples::ExportFormat::OpenCv);
    EXPECT_EQ(a.options.className, "cat");
    ASSERT_TRUE(a.options.vec);
    EXPECT_EQ(a.options.vec->width, 24);
    EXPECT_EQ(a.options.vec->height, 12);

    const samples::CommandLine b = parseWords({"export", "save", "--format=coco", "--out=set"});
    ASSERT_EQ(b.action, samples::CommandLine::Action::Export) << b.problem;
    EXPECT_EQ(b.options.format, samples::ExportFormat::Coco);
    EXPECT_EQ(b.options.className, "object") << "the default class";
    EXPECT_FALSE(b.options.vec);
    EXPECT_EQ(parseWords({"export", "--format", "yolo", "--out", "o", "s"}).options.format,
              samples::ExportFormat::Yolo);
}

TEST(SamplesCommandLine, MisusesAreNamed) {
    const struct {
        std::vector<std::string_view> words;
        const char* problem;
    } cases[] = {
        {{}, "no FOLDER given (the save folder 抜き取り画像保存フォルダ)"},
        {{"a", "b"}, "unexpected argument b"},
        {{"save", "--frobnicate"}, "unknown option --frobnicate"},
        {{"save", "--format", "yolo"}, "--format is an option of nukitori-samples export"},
        {{"export", "save", "--out", "o"}, "export needs --format opencv, yolo or coco"},
        {{"export", "save", "--format", "yolo"}, "export needs --out DIR"},
        {{"export", "save", "--out", "o", "--format", "xml"}, "unknown format xml (opencv, yolo or coco)"},
        {{"export", "save", "--out"}, "--out needs a value"},
        {{"export", "save", "--out="}, "--out needs a value"},
        {{"export", "save", "--out", "o", "--out", "p", "--format", "coco"}, "--out given twice"},
        {{"export", "save", "--out", "o", "--format", "coco", "--format", "yolo"}, "--format given twice"},
        {{"export", "save", "--out", "o", "--format", "opencv", "--vec", "24"},
         "--vec needs a width and a height"},
        {{"export", "save", "--out", "o", "--format", "opencv", "--vec", "0", "24"},
         "--vec needs a width and a height from 1 to 1024"},
        {{"export", "save", "--out", "o", "--format", "opencv", "--vec", "24", "2x"},
         "--vec needs a width and a height from 1 to 1024"},
        {{"export", "save", "--out", "o", "--format", "yolo", "--vec", "24", "24"},
         "--vec is an option of --format opencv"},
        {{"export", "save", "--out", "o", "--format", "yolo", "--class", "two\nlines"},
         "--class needs a name of printable UTF-8 text"},
        {{"export", "save", "--help", "--bad"}, "unknown option --bad"},
    };
    for (const auto& c : cases) {
        const samples::CommandLine command = samples::parseCommandLine(c.words);
        std::string words;
        for (const std::string_view word : c.words) words += " " + std::string(word);
        EXPECT_EQ(command.action, samples::CommandLine::Action::Misuse) << "taken:" << words;
        EXPECT_EQ(command.problem, c.problem) << "for:" << words;
    }
}

TEST(SamplesCommandLine, HelpAndVersionNeedNothingElse) {
    EXPECT_EQ(parseWords({"--help"}).action, samples::CommandLine::Action::ShowHelp);
    EXPECT_EQ(parseWords({"export", "--help"}).action, samples::CommandLine::Action::ShowHelp);
    EXPECT_EQ(parseWords({"--version", "--help"}).action, samples::CommandLine::Action::ShowHelp);
    EXPECT_EQ(parseWords({"--version"}).action, samples::CommandLine::Action::ShowVersion);
    EXPECT_EQ(samples::versionText("0.1"), "nukitori-samples 0.1");
    const std::string help = samples::helpText();
    for (const char* option :
         {"--format opencv", "--format yolo", "--format coco", "--out DIR", "--class NAME", "--vec W H",
          "--help", "--version", "Only the files the export writes"})
        EXPECT_NE(help.find(option), std::string::npos) << "--help does not tell of " << option;
}

}  // namespace
