#pragma once
// The pictures behind a device's text font: each distinct text in each colour is painted once
// and kept as a texture, so that a text drawn every frame costs a draw, not a paint and an upload.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "base/image.h"
#include "device/text_painter.h"

namespace device {

// `Texture` is the backend's owner of one texture, made by `upload` from a painted picture.
template <class Texture>
class TextCache {
public:
    // The value texts change while keys are held; an upper bound keeps the cache small.
    static constexpr std::size_t kMaxTexts = 64;

    struct Picture {
        Texture texture;
        // The painted picture's size in pixels, which the texture may exceed.
        int width = 0;
        int height = 0;
    };
    using Upload = std::function<Texture(const base::Image&)>;

    // The painter must outlive the cache.
    TextCache(TextPainter& painter, int pixelHeight, Upload upload)
        : painter_(painter), pixelHeight_(pixelHeight), upload_(std::move(upload)) {}

    // The picture of `text` in `colour`, painted and uploaded when first asked for; a new text
    // that finds the cache full forgets every kept one first.
    const Picture& picture(const std::string& text, std::uint32_t colour) {
        auto key = std::make_pair(text, colour);
        auto it = pictures_.find(key);
        if (it == pictures_.end()) {
            if (pictures_.size() >= kMaxTexts) pictures_.clear();
            const base::Image image = painter_.paint(text, colour, pixelHeight_);
            it = pictures_.emplace(std::move(key), Picture{upload_(image), image.width, image.height}).first;
        }
        return it->second;
    }

private:
    TextPainter& painter_;
    int pixelHeight_;
    Upload upload_;
    std::map<std::pair<std::string, std::uint32_t>, Picture> pictures_;
};

}  // namespace device
