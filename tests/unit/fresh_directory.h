#pragma once
// A test that runs in its own empty working directory, removed afterwards: nukitori reads and
// writes its files relative to the working directory.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class InFreshDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "nukitori-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "no temporary directory could be made";
        dir_ = pattern;
        fs::current_path(dir_);
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        fs::current_path(previous_);
        std::error_code ignored;
        // Tests may have taken write permission away from a folder; give it back to remove it.
        for (auto it = fs::recursive_directory_iterator(dir_, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    static void writeFile(const std::string& name, const std::string& contents) {
        std::ofstream(name, std::ios::binary) << contents;
    }
    std::filesystem::path dir_;

private:
    std::filesystem::path previous_;
};
