#include "render/cp932.h"

#include <cstdint>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define NUKITORI_HAVE_ICONV 1
#endif

namespace render {

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<std::uint8_t>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t smallest = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            codePoint = c & 0x1F;
            smallest = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            codePoint = c & 0x0F;
            smallest = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            codePoint = c & 0x07;
            smallest = 0x10000;
        } else {
            return false;
        }
        if (n - i < static_cast<std::size_t>(length)) return false;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (codePoint < smallest || codePoint > 0x10FFFF) return false;
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

#ifdef NUKITORI_HAVE_ICONV
namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

}  // namespace

std::optional<std::string> decodeCp932(std::string_view bytes) {
    IconvHandle converter("UTF-8", "CP932");
    if (!converter.valid()) return std::nullopt;
    std::string input(bytes);
    // A CP932 character of one or two bytes never needs more than three UTF-8 bytes.
    std::string output(input.size() * 3 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    if (iconv(converter.get(), nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
}
#else
std::optional<std::string> decodeCp932(std::string_view) {
    return std::nullopt;
}
#endif

std::string textToUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    if (auto decoded = decodeCp932(bytes)) return *decoded;
    return std::string(bytes);
}

}  // namespace render
