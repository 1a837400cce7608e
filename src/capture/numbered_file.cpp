#include "capture/numbered_file.h"

#include <limits>
#include <system_error>

#include "capture/safe_file.h"

namespace capture {
namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is broken (overlong
// forms, surrogates and values past U+10FFFF count as broken).
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (!isContinuation(static_cast<unsigned char>(text[i + k]))) return 0;
    return length;
}

bool forbiddenAscii(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

SaveResult failure(std::string path, std::int32_t number, std::string reason) {
    return {false, number, std::move(path), std::move(reason)};
}

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string sanitizePrefix(std::string_view prefix) {
    // Dot-only names mean "this folder" and "the parent" to every tool that splits paths.
    if (prefix == "." || prefix == "..") return "_";
    std::string out;
    out.reserve(prefix.size());
    for (std::size_t i = 0; i < prefix.size();) {
        const std::size_t length = utf8SequenceLength(prefix, i);
        if (length == 0) {
            out += '_';
            ++i;
        } else if (length == 1) {
            const auto c = static_cast<unsigned char>(prefix[i]);
            out += forbiddenAscii(c) ? '_' : static_cast<char>(c);
            ++i;
        } else {
            out.append(prefix.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string numberedPath(std::string_view prefix, std::int32_t number) {
    std::string path(kSaveFolderName);
    path += '/';
    path += sanitizePrefix(prefix);
    path += std::to_string(number);
    path += ".bmp";
    return path;
}

SaveResult saveNumbered(std::span<const std::uint8_t> bytes, std::string_view prefix,
                        std::int32_t startNumber) {
    const std::filesystem::path folder = pathFromUtf8(kSaveFolderName);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return failure(utf8FromPath(folder), startNumber, ec.message());

    for (std::int32_t number = startNumber;; ++number) {
        std::string name = numberedPath(prefix, number);
        const std::filesystem::path path = pathFromUtf8(name);
        // Skipping known names is only a shortcut; the exclusive write settles any race.
        const bool taken = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        if (!taken) {
            const FileWriteResult written = writeFileExclusive(path, bytes);
            if (written.ok()) return {true, number, std::move(name), {}};
            if (written.status == WriteStatus::Failed) return failure(std::move(name), number, written.error);
        }
        if (number == std::numeric_limits<std::int32_t>::max())
            return failure(numberedPath(prefix, startNumber), startNumber,
                           "every file number from here on is taken");
    }
}

}  // namespace capture
