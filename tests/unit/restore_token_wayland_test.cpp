#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "backends/wayland/restore_token.h"
#include "fresh_directory.h"
#include "log_capture.h"

namespace {

namespace fs = std::filesystem;
using backends::wayland::RestoreTokenFile;

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t linesIn(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class TokenFile : public InFreshDirectory {
protected:
    void TearDown() override {
        ::umask(umask_);
        InFreshDirectory::TearDown();
    }
    fs::path folder() const { return dir_ / "config" / "nukitori"; }
    fs::path file() const { return folder() / "screencast-restore-token"; }

    mode_t umask_ = ::umask(0);  // the widest there is: nothing is taken away
    LogCapture log;
};

// Whoever reads the token casts the user's screen without a question.
TEST_F(TokenFile, IsTheUsersAloneWhateverTheUmask) {
    RestoreTokenFile token(folder().string());
    token.write("first-token");
    EXPECT_EQ(contentOf(file()), "first-token\n");
    EXPECT_EQ(modeOf(folder()), 0700u) << "others may enter the token's folder";
    EXPECT_EQ(modeOf(file()), 0600u) << "others may read the token";
    EXPECT_EQ(modeOf(dir_ / "config"), 0700u) << "a folder made on the way is open to others";

    // As an older version left them.
    fs::permissions(folder(), fs::perms(0755));
    fs::permissions(file(), fs::perms(0644));
    EXPECT_EQ(token.read(), "first-token");
    EXPECT_EQ(modeOf(folder()), 0700u) << "an open token folder was not narrowed";
    EXPECT_EQ(modeOf(file()), 0600u) << "an open token file was not narrowed";

    ::umask(0777);  // the narrowest: even the user's own bits are taken away
    token.write("second-token");
    EXPECT_EQ(token.read(), "second-token");
    EXPECT_EQ(modeOf(file()), 0600u) << "the umask decided the token file's rights";
    EXPECT_EQ(log.take(), "");
}

TEST_F(TokenFile, HostileFilesArePassedOverOrLeftAloneAndAFailedWriteIsSaidOnce) {
    RestoreTokenFile token(folder().string());
    fs::create_directories(folder());

    // A symlink at the name an older version wrote through must never be written through.
    writeText(dir_ / "victim", "the user's own file");
    fs::create_symlink(dir_ / "victim", folder() / "screencast-restore-token.new");
    token.write("a-token");
    EXPECT_EQ(contentOf(dir_ / "victim"), "the user's own file") << "the token was written through a symlink";
    EXPECT_EQ(contentOf(file()), "a-token\n");
    EXPECT_EQ(namesIn(folder()),
              (std::vector<std::string>{"screencast-restore-token", "screencast-restore-token.new"}))
        << "a temporary was left behind";

    // Contents that are no token: passed over with one line each, and the next token replaces them.
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"invalid UTF-8", "\xff\xfe\xfd\n"},
        {"a control character", "tok\x01en\n"},
        {"two lines", "one\ntwo\n"},
        {"more than a token", std::string(RestoreTokenFile::kLimit + 1, 'a')},
        {"a sparse giant", ""},
    };
    for (const auto& [what, content] : broken) {
        writeText(file(), content);
        if (content.empty()) fs::resize_file(file(), std::uintmax_t{64} << 20);
        EXPECT_EQ(token.read(), "") << what << " was taken for a token";
        const std::string said = log.take();
        EXPECT_EQ(linesIn(said), 1u) << what << ": not one line: " << said;
        EXPECT_TRUE(said.starts_with("nukitori: ") && said.find(file().string()) != std::string::npos)
            << what << ": the line does not name the file: " << said;
        token.write("fresh-token");
        EXPECT_EQ(token.read(), "fresh-token") << what << " was not replaced by the next token";
    }
    EXPECT_EQ(log.take(), "");

    // A rename that fails (a folder where the file should be) is said once and leaves nothing.
    fs::remove(file());
    fs::create_directories(file() / "inside");
    token.write("lost-token");
    const std::string said = log.take();
    EXPECT_EQ(linesIn(said), 1u) << "the failed write is not one line: " << said;
    EXPECT_TRUE(said.starts_with("nukitori: ") && said.find(file().string()) != std::string::npos) << said;
    token.write("lost-again");
    EXPECT_EQ(log.take(), "") << "the same failure was said again";
    EXPECT_EQ(namesIn(folder()),
              (std::vector<std::string>{"screencast-restore-token", "screencast-restore-token.new"}))
        << "a failed write left its temporary behind";

    // Without a folder (no home), no token is kept anywhere.
    RestoreTokenFile nowhere("");
    nowhere.write("a-token");
    EXPECT_EQ(nowhere.read(), "");
    EXPECT_EQ(namesIn(dir_), (std::vector<std::string>{"config", "victim"}));
}

}  // namespace
