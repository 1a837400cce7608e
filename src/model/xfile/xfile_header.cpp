#include "model/xfile/xfile_header.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace model::xfile {

namespace {

std::string_view field(std::span<const std::uint8_t> data, std::size_t offset) {
    return {reinterpret_cast<const char*>(data.data()) + offset, 4};
}

std::string printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

}  // namespace

base::Result<XFileHeader> parseXFileHeader(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return base::Failure{"byte offset 0: the file is empty"};
    }
    if (data.size() < kXFileHeaderSize) {
        return base::Failure{"byte offset " + std::to_string(data.size()) +
                             ": the file ends inside its 16-byte header"};
    }
    if (field(data, 0) != "xof ") {
        return base::Failure{"byte offset 0: not an X file (it does not start with \"xof \" but with \"" +
                             printable(field(data, 0)) + "\")"};
    }
    const std::string_view version = field(data, 4);
    if (!std::all_of(version.begin(), version.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return base::Failure{"byte offset 4: bad version \"" + printable(version) + "\""};
    }
    XFileHeader header;
    const std::string_view format = field(data, 8);
    if (format == "txt ") {
        header.encoding = XFileEncoding::Text;
    } else if (format == "bin ") {
        header.encoding = XFileEncoding::Binary;
    } else if (format == "tzip") {
        header.encoding = XFileEncoding::Text;
        header.compressed = true;
    } else if (format == "bzip") {
        header.encoding = XFileEncoding::Binary;
        header.compressed = true;
    } else {
        return base::Failure{"byte offset 8: unknown format \"" + printable(format) +
                             "\" (expected txt, bin, tzip or bzip)"};
    }
    const std::string_view floatSize = field(data, 12);
    if (floatSize == "0032") {
        header.floatBytes = 4;
    } else if (floatSize == "0064") {
        header.floatBytes = 8;
    } else {
        return base::Failure{"byte offset 12: unknown float size \"" + printable(floatSize) +
                             "\" (expected 0032 or 0064)"};
    }
    return header;
}

}  // namespace model::xfile
