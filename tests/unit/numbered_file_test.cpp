#include "capture/numbered_file.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/safe_file.h"
#include "fresh_directory.h"

#ifdef _WIN32
#include <windows.h>

#include "base/os/windows_text.h"
// The system's own words for a failure: its message for the error code on Windows, errno's text
// elsewhere.
#define OS_REASON(posixCode, windowsCode) base::systemErrorText(windowsCode)
#else
#define OS_REASON(posixCode, windowsCode) std::error_code(posixCode, std::generic_category()).message()
#endif

namespace {

namespace fs = std::filesystem;
using base::pathFromUtf8;
using base::utf8FromPath;

// Folders are made through the C runtime, which reports errno's text on every system.
std::string osReason(int code) {
    return std::error_code(code, std::generic_category()).message();
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SanitizePrefix, ReplacesWhatCannotStandInAFileName) {
    EXPECT_EQ(capture::sanitizePrefix("cut"), "cut") << "a plain prefix was changed";
    EXPECT_EQ(capture::sanitizePrefix(""), "") << "the empty prefix was changed";
    EXPECT_EQ(capture::sanitizePrefix("切り抜き"), "切り抜き") << "valid UTF-8 was changed";
    EXPECT_EQ(capture::sanitizePrefix("../up/and\\over"), ".._up_and_over") << "separators survived";
    EXPECT_EQ(capture::sanitizePrefix("a:b*c?d\"e<f>g|h"), "a_b_c_d_e_f_g_h")
        << "Windows-reserved characters survived";
    EXPECT_EQ(capture::sanitizePrefix(std::string("a\0b\x01\x1f\x7f\t", 7)), "a_b____")
        << "NUL or control characters survived";
    EXPECT_EQ(capture::sanitizePrefix("."), "_") << "\".\" was kept";
    EXPECT_EQ(capture::sanitizePrefix(".."), "_") << "\"..\" was kept";
    EXPECT_EQ(capture::sanitizePrefix("..."), "...") << "dots that name nothing special were changed";
    EXPECT_EQ(capture::sanitizePrefix("a\xff"
                                      "b"),
              "a_b")
        << "a stray byte survived";
    EXPECT_EQ(capture::sanitizePrefix("\xe5\x88"), "__") << "a truncated sequence survived";
    EXPECT_EQ(capture::sanitizePrefix("\xc0\xaf"), "__") << "an overlong '/' survived";
    EXPECT_EQ(capture::sanitizePrefix("\xed\xa0\x80"), "___") << "a surrogate survived";
    EXPECT_EQ(capture::sanitizePrefix("\xf4\x90\x80\x80"), "____") << "a value past U+10FFFF survived";
    const std::string messy = "a/\xff\x01:\xe3\x81\x82";
    EXPECT_EQ(capture::sanitizePrefix(capture::sanitizePrefix(messy)), capture::sanitizePrefix(messy))
        << "sanitizing twice changed the result";
}

#ifdef _WIN32
TEST(SanitizePrefix, KeepsWindowsDeviceNamesOutOfFileNames) {
    EXPECT_EQ(capture::sanitizePrefix("CON"), "_CON") << "a device name";
    EXPECT_EQ(capture::sanitizePrefix("nul.txt"), "_nul.txt") << "a device name with an extension";
    EXPECT_EQ(capture::sanitizePrefix("Aux ."), "_Aux .") << "a device name with spaces and a dot after it";
    EXPECT_EQ(capture::sanitizePrefix("com7."), "_com7.") << "a numbered port";
    EXPECT_EQ(capture::sanitizePrefix("LPT³.x"), "_LPT³.x") << "a port with a superscript digit";
    EXPECT_EQ(capture::sanitizePrefix("lpt"), "_lpt") << "the file number would make LPT0 to LPT9";
    EXPECT_EQ(capture::sanitizePrefix("CONSOLE"), "CONSOLE") << "a longer name was changed";
    EXPECT_EQ(capture::sanitizePrefix("xnul.txt"), "xnul.txt") << "a longer name was changed";
    EXPECT_EQ(capture::sanitizePrefix("com.txt"), "com.txt") << "a port without a number was changed";
    EXPECT_EQ(capture::sanitizePrefix("COM10."), "COM10.") << "a port past 9 was changed";
}

TEST_F(InFreshDirectory, SaveNumberedWritesARealFileForADeviceNamePrefix) {
    const auto result = capture::saveNumbered(bytesOf("picture"), "nul.", 0);
    ASSERT_TRUE(result.written) << result.written.error();
    EXPECT_EQ(contentOf(pathFromUtf8(result.path)), "picture") << "the bytes went to a device";
}
#endif

TEST(NumberedPath, JoinsFolderPrefixAndDecimalNumber) {
    EXPECT_EQ(capture::numberedPath("cut", 0), "抜き取り画像保存フォルダ/cut0.bmp");
    EXPECT_EQ(capture::numberedPath("", 0), "抜き取り画像保存フォルダ/0.bmp") << "empty prefix";
    EXPECT_EQ(capture::numberedPath("a/b", 12), "抜き取り画像保存フォルダ/a_b12.bmp")
        << "prefix not sanitized";
    EXPECT_EQ(capture::numberedPath("x", -3), "抜き取り画像保存フォルダ/x-3.bmp") << "negative number";
}

TEST_F(InFreshDirectory, SaveNumberedCreatesTheMissingFolderAndWritesTheWholeFile) {
    const auto result = capture::saveNumbered(bytesOf("picture"), "cut", 0);
    ASSERT_TRUE(result.written) << "save failed: " << result.written.error();
    EXPECT_EQ(result.number, 0);
    EXPECT_EQ(result.path, "抜き取り画像保存フォルダ/cut0.bmp");
    EXPECT_EQ(contentOf(pathFromUtf8(result.path)), "picture") << "the file does not hold the bytes";
    EXPECT_EQ(namesIn(pathFromUtf8(base::kSaveFolder)), std::vector<std::string>{"cut0.bmp"})
        << "a temporary file was left behind";
}

TEST_F(InFreshDirectory, SaveNumberedTakesTheNextFreeNumberAndNeverReplaces) {
    const fs::path folder = pathFromUtf8(base::kSaveFolder);
    fs::create_directory(folder);
    writeText(folder / "cut0.bmp", "old zero");
    writeText(folder / "cut1.bmp", "old one");
    fs::create_directory(folder / "cut3.bmp");  // taken by something that is not even a file

    const auto first = capture::saveNumbered(bytesOf("new"), "cut", 0);
    ASSERT_TRUE(first.written) << first.written.error();
    EXPECT_EQ(first.number, 2) << "did not take the first free number";
    const auto second = capture::saveNumbered(bytesOf("newer"), "cut", 1);
    ASSERT_TRUE(second.written) << second.written.error();
    EXPECT_EQ(second.number, 4) << "did not skip the taken numbers 1 to 3";
    EXPECT_EQ(contentOf(folder / "cut0.bmp"), "old zero") << "an existing file was replaced";
    EXPECT_EQ(contentOf(folder / "cut1.bmp"), "old one") << "an existing file was replaced";
    EXPECT_EQ(contentOf(folder / "cut2.bmp"), "new");
    EXPECT_EQ(contentOf(folder / "cut4.bmp"), "newer");
    EXPECT_EQ(namesIn(folder).size(), 5u) << "a temporary file was left behind";
}

// A run longer than the few names probed one by one is looked up in the folder instead: still the
// first free number, and still never through a name that is taken by anything.
TEST_F(InFreshDirectory, SaveNumberedTakesTheFirstFreeNumberPastALongRunOfTakenOnes) {
    const fs::path folder = pathFromUtf8(base::kSaveFolder);
    fs::create_directory(folder);
    for (int i = 0; i < 60; ++i)
        if (i != 45) writeText(folder / ("cut" + std::to_string(i) + ".bmp"), "old");
    writeText(folder / "cut050.bmp", "not a name of ours: 50 stays taken");
    writeText(folder / "other45.bmp", "another prefix");
#ifndef _WIN32
    fs::remove(folder / "cut30.bmp");
    fs::create_symlink("../victim", folder / "cut30.bmp");
#endif
    const auto first = capture::saveNumbered(bytesOf("new"), "cut", 3);
    ASSERT_TRUE(first.written) << first.written.error();
    EXPECT_EQ(first.number, 45) << "not the first free number after the run";
    const auto second = capture::saveNumbered(bytesOf("newer"), "cut", 46);
    ASSERT_TRUE(second.written) << second.written.error();
    EXPECT_EQ(second.number, 60);
    EXPECT_EQ(contentOf(folder / "cut44.bmp"), "old") << "an existing file was replaced";
    EXPECT_FALSE(fs::exists("victim")) << "a save went through a symlink";
    EXPECT_EQ(namesIn(folder).size(), 63u) << "a temporary file was left behind";
}

TEST_F(InFreshDirectory, SaveNumberedReportsWhyTheFolderCannotBeMade) {
    writeText(pathFromUtf8(base::kSaveFolder), "a file where the folder should be");
    const auto result = capture::saveNumbered(bytesOf("picture"), "cut", 5);
    EXPECT_FALSE(result.written) << "save claimed success without a folder";
    EXPECT_EQ(result.number, 5) << "the failed number should be the one asked for";
    EXPECT_EQ(result.path, "抜き取り画像保存フォルダ") << "the failure should name the folder";
    EXPECT_TRUE(result.written.error() == osReason(EEXIST) || result.written.error() == osReason(ENOTDIR))
        << "the error is not the system's reason: " << result.written.error();
    EXPECT_EQ(namesIn(".").size(), 1u) << "something was written beside the blocking file";

#ifndef _WIN32
    fs::remove(pathFromUtf8(base::kSaveFolder));
    fs::create_directory_symlink("gone/folder", pathFromUtf8(base::kSaveFolder));
    const auto dangling = capture::saveNumbered(bytesOf("picture"), "cut", 0);
    EXPECT_FALSE(dangling.written) << "save claimed success through a symlink to nothing";
    EXPECT_EQ(dangling.written.error(), "it is a symbolic link to \"gone/folder\", which does not exist")
        << "a symlink that leads nowhere is not \"File exists\"";
    EXPECT_FALSE(fs::exists("gone")) << "the symlink's target was created";
#endif
}

TEST_F(InFreshDirectory, SaveNumberedReportsAReadOnlyFolderAndLeavesNoTemporary) {
    const fs::path folder = pathFromUtf8(base::kSaveFolder);
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(folder / "probe")) {
        fs::remove(folder / "probe");
        GTEST_SKIP() << "this user writes into read-only folders (root does; on Windows a folder's "
                        "read-only attribute does not stop writes into it)";
    }
    const auto result = capture::saveNumbered(bytesOf("picture"), "cut", 0);
    EXPECT_FALSE(result.written) << "save claimed success in a read-only folder";
    EXPECT_EQ(result.written.error(), OS_REASON(EACCES, ERROR_ACCESS_DENIED))
        << "the error is not the system's reason";
    EXPECT_TRUE(namesIn(folder).empty()) << "something was left in the folder";
}

TEST_F(InFreshDirectory, AtomicWriteReplacesTheWholeFileAndLeavesNoTemporary) {
    const fs::path target = pathFromUtf8(base::kGrabTextureFile);
    ASSERT_TRUE(base::writeFileAtomically(target, bytesOf("a long first picture")).ok());
    const auto second = base::writeFileAtomically(target, bytesOf("short"));
    ASSERT_TRUE(second.ok()) << second.error();
    EXPECT_EQ(contentOf(target), "short") << "the old content was not replaced whole";
    EXPECT_EQ(namesIn("."), std::vector<std::string>{utf8FromPath(target.filename())})
        << "a temporary file was left behind";
}

TEST_F(InFreshDirectory, FailedWritesKeepTheOldStateAndReportTheReason) {
    // The target is a folder with something in it: the final rename must fail.
    fs::create_directory("busy");
    writeText("busy/inside", "x");
    const auto renamed = base::writeFileAtomically("busy", bytesOf("picture"));
    EXPECT_FALSE(renamed) << "replacing a folder succeeded";
    EXPECT_TRUE(renamed.error() == OS_REASON(EISDIR, ERROR_ACCESS_DENIED) ||
                renamed.error() == OS_REASON(ENOTEMPTY, ERROR_ACCESS_DENIED) ||
                renamed.error() == OS_REASON(EEXIST, ERROR_ACCESS_DENIED))
        << "the error is not the system's reason: " << renamed.error();
    EXPECT_EQ(contentOf("busy/inside"), "x") << "the folder's content was touched";
    EXPECT_EQ(namesIn("."), std::vector<std::string>{"busy"}) << "a temporary file was left behind";

    const auto missing = base::writeFileAtomically("no-such-folder/file.bmp", bytesOf("picture"));
    EXPECT_FALSE(missing.ok()) << "writing into a missing folder succeeded";
    EXPECT_EQ(missing.error(), OS_REASON(ENOENT, ERROR_PATH_NOT_FOUND))
        << "the error is not the system's reason";

    writeText("taken.bmp", "old");
    const auto exclusive = base::writeFileExclusive("taken.bmp", bytesOf("new"));
    ASSERT_TRUE(exclusive) << exclusive.error();
    EXPECT_EQ(*exclusive, base::ExclusiveWrite::NameTaken) << "an existing file was not noticed";
    EXPECT_EQ(contentOf("taken.bmp"), "old") << "the exclusive write replaced a file";
    EXPECT_EQ(namesIn("."), (std::vector<std::string>{"busy", "taken.bmp"}))
        << "a temporary file was left behind";
}

#ifdef __linux__
// Every fsync, link and rename this program makes, in order, with the names they touch, so that
// a test can tell whether a file was on the disk before it got its name.
struct FileEvent {
    std::string kind, name, newName;
};
std::vector<FileEvent> fileEvents;

std::string nameOf(const fs::path& path) {
    return path.filename().string();
}

}  // namespace

extern "C" int fsync(int fd) {
    fileEvents.push_back({"fsync", nameOf(fs::read_symlink("/proc/self/fd/" + std::to_string(fd))), ""});
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

extern "C" int link(const char* from, const char* to) {
    fileEvents.push_back({"link", nameOf(from), nameOf(to)});
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "link"));
    return real(from, to);
}

extern "C" int rename(const char* from, const char* to) {
    fileEvents.push_back({"rename", nameOf(from), nameOf(to)});
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}

namespace {

// A name given before its file is on the disk is an empty file after a power cut; a name not yet
// in its folder on the disk is no file at all.
void expectSyncedAroundNaming(const std::string& what, const std::string& name, const std::string& folder) {
    const auto naming = std::find_if(fileEvents.begin(), fileEvents.end(), [&](const FileEvent& e) {
        return (e.kind == "link" || e.kind == "rename") && e.newName == name;
    });
    ASSERT_NE(naming, fileEvents.end()) << what << ": " << name << " was never named";
    const auto synced = [&](auto from, auto to, const std::string& file) {
        return std::any_of(from, to, [&](const FileEvent& e) { return e.kind == "fsync" && e.name == file; });
    };
    EXPECT_TRUE(synced(fileEvents.begin(), naming, naming->name))
        << what << ": " << naming->name << " was not synced before it became " << name;
    EXPECT_TRUE(synced(naming, fileEvents.end(), folder))
        << what << ": the folder was not synced after the name";
}

TEST_F(InFreshDirectory, SavedFilesAreOnTheDiskBeforeTheyGetTheirNamesAndTheNamesAfter) {
    fileEvents.clear();
    const auto saved = capture::saveNumbered(bytesOf("picture"), "cut", 0);
    ASSERT_TRUE(saved.written) << saved.written.error();
    expectSyncedAroundNaming("a numbered save", "cut0.bmp", std::string(base::kSaveFolder));

    fileEvents.clear();
    ASSERT_TRUE(base::writeFileAtomically("texture.bmp", bytesOf("picture")));
    expectSyncedAroundNaming("the grab texture", "texture.bmp", nameOf(fs::current_path()));
}
#endif

}  // namespace
