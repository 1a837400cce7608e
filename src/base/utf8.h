#pragma once
// UTF-8 checks shared by every reader and writer of names.
#include <cstddef>
#include <string_view>

namespace base {

// Length of the well-formed UTF-8 sequence that starts at text[at], or 0 when the bytes there
// are not one (overlong forms, surrogates and values past U+10FFFF are not UTF-8).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

bool isValidUtf8(std::string_view text);

}  // namespace base
