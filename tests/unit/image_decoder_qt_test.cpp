#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "backends/fake/recording_device.h"
#include "backends/qt/qt_image_decoder.h"
#include "fresh_directory.h"
#include "log_capture.h"
#include "render/texture_loader.h"

namespace {

class ImageDecoderInFreshDirectory : public InFreshDirectory {
protected:
    static std::string asset(const char* name) {
        return std::string(NUKITORI_SOURCE_DIR) + "/assets/" + name;
    }
    backends::qt::QtImageDecoder decoder;
    LogCapture log;
};

TEST_F(ImageDecoderInFreshDirectory, ReadsTheShippedJpegAndTheBmpNukitoriWrites) {
    const auto jpeg = platform::readPicture(decoder, asset("フィルター画像.jpg"));
    ASSERT_TRUE(jpeg) << jpeg.error();
    EXPECT_EQ(jpeg->width, 128);
    EXPECT_EQ(jpeg->height, 128);
    EXPECT_EQ(jpeg->at(5, 5) >> 24, 0xFFu) << "a JPEG has no alpha and must read as opaque";

    // A 24-bit bottom-up BMP: 2 x 1, a blue then a red pixel, rows padded to 8 bytes.
    const unsigned char bmp[] = {'B', 'M', 62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0,   0, 40, 0, 0, 0,   2, 0, 0,
                                 0,   1,   0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0,   8, 0,  0, 0, 0,   0, 0, 0,
                                 0,   0,   0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 255, 0, 0,  0, 0, 255, 0, 0};
    writeFile("two.bmp", std::string(reinterpret_cast<const char*>(bmp), sizeof bmp));
    const auto picture = platform::readPicture(decoder, "two.bmp");
    ASSERT_TRUE(picture) << picture.error();
    EXPECT_EQ(picture->at(0, 0), 0xFF0000FFu) << "first pixel should be blue";
    EXPECT_EQ(picture->at(1, 0), 0xFFFF0000u) << "second pixel should be red";
}

TEST_F(ImageDecoderInFreshDirectory, WhatIsNotAWholePictureGivesNoTextureAndAReason) {
    std::filesystem::create_directory("folder.bmp");
    writeFile("text.jpg", "this is not a picture");
    writeFile("empty.png", "");
    // Qt's readers give pictures of cut-off files, with whatever memory held where data is missing.
    const auto whole = [](const char* name) {
        std::ifstream in(asset(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    writeFile("cut.bmp", whole("枠.bmp").substr(0, 100));
    const std::string jpeg = whole("フィルター画像.jpg");
    writeFile("cut.jpg", jpeg.substr(0, jpeg.size() - 2));
    for (const char* name : {"missing.bmp", "folder.bmp", "text.jpg", "empty.png", "cut.bmp", "cut.jpg"}) {
        const auto decoded = platform::readPicture(decoder, name);
        EXPECT_FALSE(decoded) << name << " was decoded";
        EXPECT_FALSE(decoded.error().empty()) << name << " failed without a reason";
        backends::fake::RecordingDevice device;
        EXPECT_EQ(render::loadTextureFromFile(device, decoder, name), nullptr) << name;
        const std::string said = log.take();
        EXPECT_NE(said.find(name), std::string::npos) << "stderr should name " << name << ", said: " << said;
        EXPECT_EQ(device.count("createTexture"), 0) << name;
        // The same bytes held in a model file are refused alike.
        if (!std::filesystem::is_regular_file(name)) continue;
        std::ifstream in(name, std::ios::binary);
        const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(render::loadTextureFromBytes(device, decoder, bytes, name), nullptr) << name;
        EXPECT_NE(log.take().find(name), std::string::npos) << "stderr should name " << name;
        EXPECT_EQ(device.count("createTexture"), 0) << name << " held in memory";
    }
}

}  // namespace
