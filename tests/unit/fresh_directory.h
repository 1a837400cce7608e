#pragma once
// A test that runs in its own empty working directory, removed afterwards: nukitori reads and
// writes its files relative to the working directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "capture/bmp_snapshot.h"
#include "capture/numbered_file.h"

class InFreshDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        previous_ = fs::current_path();
        // create_directory is false when the name exists, so a folder of another run is never shared.
        std::random_device seed;
        std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("nukitori-test-" + std::to_string(random()));
            std::error_code ec;
            if (fs::create_directory(candidate, ec)) dir_ = candidate;
        }
        ASSERT_FALSE(dir_.empty()) << "no temporary directory could be made";
        fs::current_path(dir_);
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        fs::current_path(previous_);
        if (dir_.empty()) return;
        std::error_code ignored;
        // Tests may have taken write permission away from a folder; give it back to remove it.
        for (auto it = fs::recursive_directory_iterator(dir_, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    // `name` is UTF-8.
    static void writeFile(const std::string& name, const std::string& contents) {
        std::ofstream(base::pathFromUtf8(name), std::ios::binary) << contents;
    }
    // A BMP file of width x height, as a picture file to read.
    static void writePicture(const std::string& name, int width, int height) {
        const std::vector<std::uint8_t> bmp = capture::encodeBmpSnapshot(base::Image(width, height));
        writeFile(name, std::string(bmp.begin(), bmp.end()));
    }
    std::filesystem::path dir_;

private:
    std::filesystem::path previous_;
};
