#include "app/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/file_bytes.h"
#include "base/file_names.h"
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include "base/os/home_folder.h"
#endif
#include "capture/numbered_file.h"
#include "fresh_directory.h"
#include "log_capture.h"

namespace {

namespace fs = std::filesystem;
using base::pathFromUtf8;
using base::utf8FromPath;

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(PicturesFolderFromUserDirs, TakesTheLastUsableAssignmentWithHomeExpanded) {
    const std::string home = "/home/ユーザー";
    const struct {
        std::string text;
        std::string folder;
    } cases[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", home + "/Bilder"},
        {"XDG_PICTURES_DIR=\"/data/写真\"", "/data/写真"},
        {"  XDG_PICTURES_DIR = \"$HOME\"\r\n", home},
        {"XDG_PICTURES_DIR=\"$HOME/a \\\"b\\\"\"\n", home + "/a \"b\""},
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "XDG_PICTURES_DIR=\"$HOME/one\"\nXDG_PICTURES_DIR=\"$HOME/two\"\n",
         home + "/two"},
        // Not usable: the folder stays unknown, or the earlier one counts.
        {"XDG_PICTURES_DIR=\"$HOME/one\"\nXDG_PICTURES_DIR=\"relative\"\n", home + "/one"},
        {"XDG_PICTURES_DIR=\"$HOMEWORK/x\"\n", ""},
        {"XDG_PICTURES_DIR=$HOME/unquoted\n", ""},
        {"XDG_PICTURES_DIR=\"$HOME/unterminated\n", ""},
        {"#XDG_PICTURES_DIR=\"/commented\"\n", ""},
        {"XDG_PICTURES_DIRS=\"/other\"\nXDG_DOCUMENTS_DIR=\"/docs\"\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::picturesFolderFromUserDirs(c.text, home), c.folder) << "for the file:\n" << c.text;
}

class WorkFolder : public InFreshDirectory {
protected:
    void SetUp() override {
        InFreshDirectory::SetUp();
        home_ = utf8FromPath(dir_ / "home");
        data_ = dir_ / "share" / "nukitori";
        for (std::string_view name : base::kSampleFiles)
            writeText(data_ / pathFromUtf8(name), "sample " + std::string(name));
    }
    void expectSeeded(const fs::path& folder, std::string_view except = {}) {
        for (std::string_view name : base::kSampleFiles) {
            if (name == except) continue;
            EXPECT_EQ(contentOf(folder / pathFromUtf8(name)), "sample " + std::string(name))
                << std::string(name) << " was not copied into " << folder;
        }
        EXPECT_TRUE(fs::is_directory(folder / pathFromUtf8(base::kSaveFolder)))
            << "no save folder in " << folder;
    }
    std::string home_;
    fs::path data_;
};

// Without a home, "$HOME/.config" would be the root's /.config.
TEST(UserFolders, WithoutHomeTheHomeIsTheUsersInThePasswordDatabaseOrThereIsNone) {
    EXPECT_EQ(app::configFolder("", ""), "") << "no home gave a folder of the root";
#ifdef _WIN32
    const std::string configHome = "C:/srv/config";  // absolute only with its drive
#else
    const std::string configHome = "/srv/config";
#endif
    EXPECT_EQ(app::configFolder("", configHome), configHome) << "XDG_CONFIG_HOME needs no home";
    EXPECT_EQ(app::picturesFolder("", ""), "") << "no home gave a folder of the root";
#ifndef _WIN32
    EXPECT_EQ(base::homeFolder("/home/set"), "/home/set") << "HOME, when set, is the home";
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr) << "this user is not in the password database";
    const std::string listed = user->pw_dir;
    EXPECT_EQ(base::homeFolder(""), listed == "/" ? "" : listed) << "the home is not the password database's";
#endif
}

TEST_F(WorkFolder, PicturesFolderComesFromTheUserDirsFileElsePictures) {
    EXPECT_EQ(app::picturesFolder(home_, ""), home_ + "/Pictures") << "without a user-dirs.dirs";

    writeText(pathFromUtf8(home_) / ".config" / "user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/画像\"\n");
    EXPECT_EQ(app::picturesFolder(home_, ""), home_ + "/画像") << "from ~/.config";
    EXPECT_EQ(app::picturesFolder(home_, "relative/config"), home_ + "/画像")
        << "a relative XDG_CONFIG_HOME must be ignored";

    const fs::path elsewhere = dir_ / "config";
    writeText(elsewhere / "user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/pictures\"\n");
    EXPECT_EQ(app::picturesFolder(home_, utf8FromPath(elsewhere)), "/srv/pictures") << "from XDG_CONFIG_HOME";
}

TEST_F(WorkFolder, SeedingCopiesWhatIsMissingAndNeverReplacesAFile) {
    const fs::path folder = dir_ / "work";
    writeText(folder / "model.x", "the user's own model");
    LogCapture log;
    app::seedWorkFolder(utf8FromPath(folder), utf8FromPath(data_));
    EXPECT_EQ(contentOf(folder / "model.x"), "the user's own model") << "a user's file was replaced";
    expectSeeded(folder, "model.x");
    EXPECT_EQ(log.take(), "") << "a seeding without problems logged";

    // A sample that has gone from the data folder is reported, and the rest still arrive.
    const fs::path other = dir_ / "other";
    fs::create_directory(other);
    fs::remove(data_ / pathFromUtf8("枠.bmp"));
    app::seedWorkFolder(utf8FromPath(other), utf8FromPath(data_));
    expectSeeded(other, "枠.bmp");
    EXPECT_FALSE(fs::exists(other / pathFromUtf8("枠.bmp")));
    EXPECT_NE(log.take().find("枠.bmp"), std::string::npos) << "the missing sample was not named";
}

TEST_F(WorkFolder, EnteringMakesTheFolderTheWorkingDirectoryOrSaysWhyNot) {
    const fs::path nested = dir_ / "a" / "新しい";
    const base::Status entered = app::enterWorkFolder(utf8FromPath(nested));
    ASSERT_TRUE(entered) << entered.error();
    EXPECT_TRUE(fs::equivalent(fs::current_path(), nested));

    writeText(dir_ / "plain-file", "not a folder");
    const std::string blocked = utf8FromPath(dir_ / "plain-file" / "sub");
    const base::Status failed = app::enterWorkFolder(blocked);
    ASSERT_FALSE(failed) << "entered a folder below a plain file";
    const std::string& error = failed.error();
    const std::size_t named = error.find("\"" + blocked + "\": ");
    ASSERT_NE(named, std::string::npos) << "the folder is not named: " << error;
    EXPECT_GT(error.size(), named + blocked.size() + 4) << "no reason given: " << error;
    EXPECT_TRUE(fs::equivalent(fs::current_path(), nested)) << "a failure moved the working directory";
}

TEST_F(WorkFolder, AMenuStartWorksInNukitoriOfThePicturesFolder) {
    const base::Status entered = app::enterMenuWorkFolder(home_, "", utf8FromPath(data_));
    ASSERT_TRUE(entered) << entered.error();
    const fs::path expected = pathFromUtf8(home_) / "Pictures" / "nukitori";
    EXPECT_TRUE(fs::equivalent(fs::current_path(), expected)) << fs::current_path();
    expectSeeded(expected);

    const base::Status homeless = app::enterMenuWorkFolder("", "", utf8FromPath(data_));
    ASSERT_FALSE(homeless);
    EXPECT_NE(homeless.error().find("HOME"), std::string::npos) << homeless.error();
}

}  // namespace
