#pragma once
// The text font of the OpenGL device: each distinct text is drawn once by Qt into a picture,
// kept as a texture, and blended over the back buffer whenever it is drawn again.
#include <QFont>
#include <map>
#include <string>

#include "render/graphics_device.h"

namespace platform::qt {

class GlDevice;

class GlTextFont final : public render::TextFont {
public:
    GlTextFont(GlDevice& device, int pixelHeight);
    ~GlTextFont() override;
    void drawText(int x, int y, const std::string& text, std::uint32_t colour) override;

private:
    struct Picture {
        unsigned texture = 0;
        int width = 0;
        int height = 0;
    };
    Picture make(const std::string& text, std::uint32_t colour);
    void forgetAll();

    GlDevice& device_;
    QFont font_;
    std::map<std::pair<std::string, std::uint32_t>, Picture> cache_;
};

}  // namespace platform::qt
