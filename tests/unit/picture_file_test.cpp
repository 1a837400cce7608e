#include "base/picture_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/byte_order.h"
#include "capture/bmp_snapshot.h"
#include "fresh_directory.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 3 x 2 pictures as Pillow writes them.
const Bytes kPng = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49,
                    0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02,
                    0x00, 0x00, 0x00, 0x12, 0x16, 0xF1, 0x4D, 0x00, 0x00, 0x00, 0x15, 0x49, 0x44,
                    0x41, 0x54, 0x78, 0x9C, 0x63, 0x3C, 0x21, 0xA7, 0xC1, 0xC0, 0xC0, 0xC0, 0xC0,
                    0xC0, 0xC0, 0xC4, 0x00, 0x03, 0x00, 0x13, 0xD8, 0x01, 0x12, 0x58, 0xEC, 0xAA,
                    0x7F, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const Bytes kGif = {0x47, 0x49, 0x46, 0x38, 0x37, 0x61, 0x03, 0x00, 0x02, 0x00, 0x81, 0x00, 0x00, 0xC8, 0x1E,
                    0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00,
                    0x03, 0x00, 0x02, 0x00, 0x00, 0x08, 0x06, 0x00, 0x01, 0x08, 0x1C, 0x18, 0x10, 0x00, 0x3B};

Bytes asset(const char* name) {
    std::ifstream in(std::filesystem::path(NUKITORI_SOURCE_DIR) / "assets" / base::pathFromUtf8(name),
                     std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes cut(Bytes bytes, std::size_t keep) {
    bytes.resize(keep);
    return bytes;
}

// An 8-bit run-length coded BMP of `width` x `rows` from its codes, with a grey palette.
Bytes runLengthBmp(int width, int rows, const Bytes& codes) {
    constexpr std::size_t kCodesAt = 54 + 1024;
    Bytes bmp(kCodesAt + codes.size());
    bmp[0] = 'B', bmp[1] = 'M';
    base::writeLittleEndian(bmp.data(), 10, kCodesAt, 4);
    base::writeLittleEndian(bmp.data(), 14, 40, 4);
    base::writeLittleEndian(bmp.data(), 18, width, 4);
    base::writeLittleEndian(bmp.data(), 22, rows, 4);
    base::writeLittleEndian(bmp.data(), 26, 1, 2);
    base::writeLittleEndian(bmp.data(), 28, 8, 2);
    base::writeLittleEndian(bmp.data(), 30, 1, 4);  // 8-bit runs
    base::writeLittleEndian(bmp.data(), 34, codes.size(), 4);
    std::copy(codes.begin(), codes.end(), bmp.begin() + kCodesAt);
    return bmp;
}

using PictureFiles = InFreshDirectory;

TEST_F(PictureFiles, WholePicturesOfEachFormatPassWithTheSizeTheirHeaderGives) {
    const Bytes bmp = capture::encodeBmpSnapshot(base::Image(5, 3));
    Bytes topDown = bmp;
    base::writeLittleEndian(topDown.data(), 22, static_cast<std::uint32_t>(-3), 4);  // rows top first
    // Two rows of 4 pixels, each coded whole, then the end of the picture.
    const Bytes runs = runLengthBmp(4, 2, {4, 7, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1});
    const struct {
        const char* what;
        Bytes bytes;
        base::PictureFormat format;
        int width, height;
    } pictures[] = {{"BMP", bmp, base::PictureFormat::Bmp, 5, 3},
                    {"top-down BMP", topDown, base::PictureFormat::Bmp, 5, 3},
                    {"run-length BMP", runs, base::PictureFormat::Bmp, 4, 2},
                    {"the shipped outline", asset("枠.bmp"), base::PictureFormat::Bmp, 177, 152},
                    {"PNG", kPng, base::PictureFormat::Png, 3, 2},
                    {"the shipped JPEG", asset("フィルター画像.jpg"), base::PictureFormat::Jpeg, 128, 128},
                    {"GIF", kGif, base::PictureFormat::Gif, 3, 2}};
    for (const auto& p : pictures) {
        const auto header = base::checkPicture(p.bytes);
        ASSERT_TRUE(header) << p.what << " was refused: " << header.error();
        EXPECT_EQ(header->format, p.format) << p.what;
        EXPECT_EQ(header->width, p.width) << p.what;
        EXPECT_EQ(header->height, p.height) << p.what;
    }

    writeFile("picture.png", std::string(kPng.begin(), kPng.end()));
    const auto read = base::readPictureFile("picture.png");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, kPng);
}

TEST_F(PictureFiles, CutOffOversizedForeignAndUnreadableFilesAreRefusedWithTheirReason) {
    const Bytes outline = asset("枠.bmp"), jpeg = asset("フィルター画像.jpg");
    // Refused for their size, from the header alone: the pixels are not there at all.
    Bytes large = capture::encodeBmpSnapshot(base::Image(4, 1));
    base::writeLittleEndian(large.data(), 18, 8193, 4);
    base::writeLittleEndian(large.data(), 22, 8192, 4);
    Bytes largest = large;
    base::writeLittleEndian(largest.data(), 18, 8192, 4);
    Bytes wide = kPng;
    wide[17] = 0x01;  // 0x10003 = 65539 columns
    wide[22] = 0x04;  // 0x402 = 1026 rows
    const struct {
        const char* what;
        Bytes bytes;
        const char* reason;
    } refused[] = {
        {"a BMP cut to 100 bytes", cut(outline, 100), "pixel rows"},
        {"a BMP without its last byte", cut(outline, outline.size() - 1), "pixel rows"},
        {"a BMP cut inside its header", cut(outline, 30), "ends before"},
        {"a PNG cut inside its data", cut(kPng, 50), "IEND"},
        {"a PNG without its end chunk", cut(kPng, kPng.size() - 12), "IEND"},
        {"a JPEG cut in half", cut(jpeg, jpeg.size() / 2), "end-of-image"},
        {"a JPEG without its end marker", cut(jpeg, jpeg.size() - 2), "end-of-image"},
        {"a GIF without its trailer", cut(kGif, kGif.size() - 1), "trailer"},
        {"runs that skip pixels", runLengthBmp(4, 2, {0, 2, 1, 0, 4, 7, 0, 0, 4, 7, 0, 1}), "unset"},
        {"runs that end a row early", runLengthBmp(4, 2, {3, 7, 0, 0, 4, 7, 0, 1}), "unset"},
        {"runs that end the picture early", runLengthBmp(4, 2, {4, 7, 0, 1}), "unset"},
        {"runs cut off", cut(runLengthBmp(4, 2, {4, 7, 0, 0, 4, 7, 0, 1}), 54 + 1024 + 5), "ends before"},
        {"a BMP header of 8193 x 8192", large, "8193 x 8192 pixels, more than 8192 x 8192"},
        {"a BMP of 8192 x 8192 without its rows", largest, "pixel rows"},
        {"a PNG header of 65539 x 1026", wide, "65539 x 1026 pixels, more than 8192 x 8192"},
        {"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}, "not a picture"},
        {"nothing", {}, "empty"},
    };
    for (const auto& r : refused) {
        const auto header = base::checkPicture(r.bytes);
        ASSERT_FALSE(header) << r.what << " passed the checks";
        EXPECT_NE(header.error().find(r.reason), std::string::npos) << r.what << ": " << header.error();
    }

    writeFile("cut.bmp", std::string(outline.begin(), outline.begin() + 100));
    std::filesystem::create_directory("folder.png");
    for (const auto& [name, reason] :
         {std::pair{"cut.bmp", "pixel rows"}, std::pair{"missing.png", "no such file"},
          std::pair{"folder.png", "not a regular file"}}) {
        const auto read = base::readPictureFile(name);
        ASSERT_FALSE(read) << name << " was read";
        EXPECT_NE(read.error().find(reason), std::string::npos) << name << ": " << read.error();
    }
}

}  // namespace
