#include <cstdint>

#include "base/os/cp932.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define NUKITORI_HAVE_ICONV 1
#endif

namespace base {

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

}  // namespace base
