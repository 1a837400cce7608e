#include "capture/bmp_snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fresh_directory.h"

namespace {

std::uint32_t read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// Every pixel different, alpha varying, so a swapped channel or row shows.
base::Image numberedPixels(int width, int height) {
    base::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) =
                (static_cast<std::uint32_t>(x * 37 + y) << 24) | (static_cast<std::uint32_t>(10 + x) << 16) |
                (static_cast<std::uint32_t>(100 + y) << 8) | static_cast<std::uint32_t>(200 + x + y);
    return image;
}

TEST(BmpSnapshot, FileAndRowSizesFollowTheRoundingRule) {
    struct Case {
        int width, height;
        std::size_t row, imageSize, fileSize;
    };
    const Case cases[] = {
        {138, 111, 416, 46176, 46230},  // the capture frame's hole
        {50, 50, 152, 7600, 7654},      // the default overlay
        {1, 3, 4, 12, 66},              // one pixel and one padding byte per row
        {4, 2, 12, 24, 78},             // a multiple of four needs no padding
        {8, 1, 24, 24, 78},
    };
    for (const Case& c : cases) {
        const auto bytes = capture::encodeBmpSnapshot(base::Image(c.width, c.height));
        EXPECT_EQ(capture::bmpRowLength(c.width), c.row) << "row length for width " << c.width;
        ASSERT_EQ(bytes.size(), c.fileSize) << "file length for " << c.width << "x" << c.height;
        EXPECT_EQ(read32(bytes, 2), c.fileSize) << "bfSize for " << c.width << "x" << c.height;
        EXPECT_EQ(read32(bytes, 34), c.imageSize) << "biSizeImage for " << c.width << "x" << c.height;
    }
}

TEST(BmpSnapshot, HeaderIsByteExact) {
    const auto bytes = capture::encodeBmpSnapshot(base::Image(0x102, 0x3, 0xFFFFFFFF));
    // 0x102 * 3 = 774 bytes, padded to 776 = 0x308 per row; 3 rows = 0x918; file 0x94E.
    const std::uint8_t expected[54] = {
        'B',  'M',  0x4E, 0x09, 0,    0,    0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40,   0,    0,    0,    0x02, 0x01, 0, 0, 3, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
        0x18, 0x09, 0,    0,    0,    0,    0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
    ASSERT_GE(bytes.size(), 54u) << "no room for the headers";
    for (std::size_t i = 0; i < 54; ++i)
        EXPECT_EQ(bytes[i], expected[i]) << "header byte " << i << " is wrong";
    EXPECT_EQ(bytes.size(), 0x94Eu) << "a colour table or trailing bytes were written";
}

TEST(BmpSnapshot, RowsAreStoredBottomUpAsBgrWithZeroPadding) {
    const base::Image image = numberedPixels(3, 2);  // 9 pixel bytes + 3 padding per row
    const auto bytes = capture::encodeBmpSnapshot(image);
    ASSERT_EQ(bytes.size(), 54u + 2 * 12) << "unexpected file length";
    for (int stored = 0; stored < 2; ++stored) {
        const int y = 1 - stored;  // the first stored row is the picture's bottom row
        const std::size_t row = 54 + static_cast<std::size_t>(stored) * 12;
        for (int x = 0; x < 3; ++x) {
            const std::uint32_t p = image.at(x, y);
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            EXPECT_EQ(bytes[at], p & 0xFF) << "blue of (" << x << "," << y << ")";
            EXPECT_EQ(bytes[at + 1], (p >> 8) & 0xFF) << "green of (" << x << "," << y << ")";
            EXPECT_EQ(bytes[at + 2], (p >> 16) & 0xFF) << "red of (" << x << "," << y << ")";
        }
        for (std::size_t pad = 9; pad < 12; ++pad)
            EXPECT_EQ(bytes[row + pad], 0) << "padding byte " << pad << " of stored row " << stored;
    }
}

TEST(BmpSnapshot, EmptyImageEncodesToNothing) {
    EXPECT_TRUE(capture::encodeBmpSnapshot(base::Image()).empty()) << "0x0 image produced bytes";
    base::Image negative;
    negative.width = -3;
    negative.height = 2;
    EXPECT_TRUE(capture::encodeBmpSnapshot(negative).empty()) << "negative width produced bytes";
}

TEST(BmpSnapshot, DecodeGivesBackTheEncodedPictureWithOpaqueAlpha) {
    // Widths 1 to 5 take every amount of row padding (3, 2, 1, 0 and 3 bytes).
    for (int width = 1; width <= 5; ++width) {
        const base::Image image = numberedPixels(width, 3);
        const base::Result<base::Image> decoded =
            capture::decodeBmpSnapshot(capture::encodeBmpSnapshot(image));
        ASSERT_TRUE(decoded) << "width " << width << ": " << decoded.error();
        ASSERT_EQ(decoded->width, width) << "decoded width";
        ASSERT_EQ(decoded->height, 3) << "decoded height for width " << width;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(decoded->at(x, y), image.at(x, y) | 0xFF000000u)
                    << "pixel (" << x << "," << y << ") of the " << width << "-wide picture";
    }
}

TEST(BmpSnapshot, DecodeRefusesEveryOtherLayoutWithItsReason) {
    const std::vector<std::uint8_t> good = capture::encodeBmpSnapshot(numberedPixels(3, 2));
    const auto changed = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    const std::vector<std::uint8_t> shorter(good.begin(), good.end() - 1);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"a few bytes", {'B', 'M', 0}, "shorter than a BMP header"},
        {"another magic", changed(0, 'X'), "not a BMP file"},
        {"a 108-byte information header", changed(14, 108), "not a BMP with a 40-byte information header"},
        {"pixels further on", changed(10, 58), "its pixels do not follow the header"},
        {"32 bits", changed(28, 32), "not a 24-bit BMP"},
        {"run-length compression", changed(30, 1), "a compressed BMP"},
        {"a colour table", changed(46, 2), "a BMP with a colour table"},
        {"rows top-down", changed(25, 0xFF), "a top-down BMP"},
        {"no width", changed(18, 0), "a BMP without pixels"},
        {"a byte more", longer, "its length is not that of its 3 x 2 pixels"},
        {"a byte less", shorter, "its length is not that of its 3 x 2 pixels"},
    };
    for (const Case& c : cases) {
        const base::Result<base::Image> decoded = capture::decodeBmpSnapshot(c.bytes);
        ASSERT_FALSE(decoded) << c.what << " was decoded";
        EXPECT_EQ(decoded.error(), c.reason) << "the reason for " << c.what;
    }
    const base::Result<capture::BmpSnapshotSize> size = capture::bmpSnapshotSize(good);
    ASSERT_TRUE(size) << size.error();
    EXPECT_EQ(size->width, 3) << "the size read from the header";
    EXPECT_EQ(size->height, 2) << "the size read from the header";
}

// Pillow runs on the build machine, out of reach of a Windows test under Wine; the Linux build
// runs this check.
#ifndef _WIN32
// The python interpreter that can import Pillow, or empty.
std::string pythonWithPillow() {
    for (const std::string candidate : {"python3", "/usr/bin/python3"})
        if (std::system((candidate + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0) return candidate;
    return {};
}

using BmpSnapshotOnDisk = InFreshDirectory;

TEST_F(BmpSnapshotOnDisk, IndependentReaderSeesTheSamePicture) {
    const std::string python = pythonWithPillow();
    if (python.empty()) GTEST_SKIP() << "python3 with Pillow is not installed";

    const base::Image image = numberedPixels(5, 3);  // width 5: one padding byte per row
    const auto bytes = capture::encodeBmpSnapshot(image);
    const std::filesystem::path file = std::filesystem::current_path() / "snapshot.bmp";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << "could not write " << file;
    }
    const std::string command =
        python +
        " -c \"import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('RGB')\n"
        "print(*im.size)\nfor y in range(im.size[1]):\n  for x in range(im.size[0]):\n"
        "    print(*im.getpixel((x, y)))\" '" +
        file.string() + "'";
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) output += static_cast<char>(c);
        ::pclose(pipe);
    }

    std::istringstream in(output);
    int width = 0, height = 0;
    in >> width >> height;
    ASSERT_EQ(width, 5) << "Pillow read a different width; its output: " << output;
    ASSERT_EQ(height, 3) << "Pillow read a different height; its output: " << output;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            unsigned r = 0, g = 0, b = 0;
            in >> r >> g >> b;
            const std::uint32_t p = image.at(x, y);
            EXPECT_EQ(r, (p >> 16) & 0xFF) << "Pillow's red at (" << x << "," << y << ")";
            EXPECT_EQ(g, (p >> 8) & 0xFF) << "Pillow's green at (" << x << "," << y << ")";
            EXPECT_EQ(b, p & 0xFF) << "Pillow's blue at (" << x << "," << y << ")";
        }
}

#endif

}  // namespace
