#pragma once
// Every key nukitori answers, grouped, in Japanese with English beside it: the key window (F1)
// and --help show this one table.
#include <span>
#include <string>
#include <string_view>

namespace app {

struct KeyRow {
    std::string_view keys;  // as the keyboard labels them; "テンキー" marks the numeric keypad
    std::string_view japanese;
    std::string_view english;
};

struct KeyGroup {
    std::string_view japanese;
    std::string_view english;
    std::span<const KeyRow> rows;
};

std::span<const KeyGroup> keyGroups();

// The table as text: a heading per group, a line per key, then where the files go and a word on
// the numeric keypad. Lines end with a line feed.
std::string keyTableText();

}  // namespace app
