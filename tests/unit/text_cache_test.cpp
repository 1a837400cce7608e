#include "device/text_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Paints each text as one row of pixels per pixel of height, a pixel per character, in the
// text's colour; counts its calls.
class CountingPainter final : public device::TextPainter {
public:
    int calls = 0;
    base::Image paint(const std::string& text, std::uint32_t colour, int pixelHeight) override {
        ++calls;
        return base::Image(static_cast<int>(text.size()), pixelHeight, colour);
    }
};

// The texture of a test: the colour of the picture it was made from and which upload made it.
struct Uploaded {
    std::uint32_t colour = 0;
    int serial = 0;
};

class TextCacheTest : public ::testing::Test {
protected:
    CountingPainter painter;
    int uploads = 0;
    device::TextCache<Uploaded> cache{painter, 12, [this](const base::Image& image) {
                                          return Uploaded{image.at(0, 0), ++uploads};
                                      }};
};

TEST_F(TextCacheTest, PaintsAndUploadsEachTextInEachColourOnce) {
    const auto& first = cache.picture("abc", 0xFFFF0000);
    EXPECT_EQ(first.width, 3);
    EXPECT_EQ(first.height, 12) << "painted at the cache's pixel height";
    EXPECT_EQ(first.texture.colour, 0xFFFF0000u) << "the texture is made from the painted picture";
    EXPECT_EQ(cache.picture("abc", 0xFFFF0000).texture.serial, 1) << "the same text again is kept";
    EXPECT_EQ(cache.picture("abc", 0xFF0000FF).texture.colour, 0xFF0000FFu)
        << "another colour is another text";
    EXPECT_EQ(painter.calls, 2);
    EXPECT_EQ(uploads, 2);
}

TEST_F(TextCacheTest, ForgetsEveryKeptTextWhenANewOneFindsItFull) {
    const int kept = 64;
    for (int i = 0; i < kept; ++i) cache.picture("text " + std::to_string(i), 0xFFFFFFFF);
    for (int i = 0; i < kept; ++i) cache.picture("text " + std::to_string(i), 0xFFFFFFFF);
    EXPECT_EQ(painter.calls, kept) << "a full cache still serves what it keeps";

    cache.picture("one more", 0xFFFFFFFF);
    cache.picture("text " + std::to_string(kept - 1), 0xFFFFFFFF);
    EXPECT_EQ(painter.calls, kept + 2) << "the last text kept before was forgotten too";
    cache.picture("one more", 0xFFFFFFFF);
    EXPECT_EQ(painter.calls, kept + 2) << "the new text is kept after the others are forgotten";
}

}  // namespace
