// Tokens of the text encoding: names, numbers, "strings", <GUIDs>, punctuation, and comments
// that start with // or #.
#include <charconv>
#include <cstring>

#include "base/utf8.h"
#include "model/xfile/xfile_tokenizer.h"

namespace model::xfile {

namespace {

bool isDigit(std::uint8_t c) {
    return c >= '0' && c <= '9';
}
bool isAsciiNameChar(std::uint8_t c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == '.';
}
bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0;
}
bool isSjisLead(std::uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

class TextTokenizer final : public XTokenizer {
public:
    explicit TextTokenizer(std::span<const std::uint8_t> body) : data_(body) {}

    Token next() override {
        skipSpaceAndComments();
        Token token;
        token.place = line_;
        if (pos_ >= data_.size()) return token;
        const std::uint8_t c = data_[pos_];
        switch (c) {
            case '{':
                return punctuation(token, TokenKind::OpenBrace);
            case '}':
                return punctuation(token, TokenKind::CloseBrace);
            case ',':
                return punctuation(token, TokenKind::Comma);
            case ';':
                return punctuation(token, TokenKind::Semicolon);
            case '[':
            case ']':
            case '(':
            case ')':
            case '>':
                return punctuation(token, TokenKind::Other);
            case '"':
                return quoted(token);
            case '<':
                return guid(token);
            default:
                break;
        }
        const bool signedNumber = (c == '-' || c == '+') && pos_ + 1 < data_.size() &&
                                  (isDigit(data_[pos_ + 1]) || data_[pos_ + 1] == '.');
        const bool dotNumber = c == '.' && pos_ + 1 < data_.size() && isDigit(data_[pos_ + 1]);
        if (isDigit(c) || signedNumber || dotNumber) {
            if (number(token)) return token;
        }
        if (c == '.') return punctuation(token, TokenKind::Other);
        if (isAsciiNameChar(c) || c >= 0x80) return name(token);
        fail("unexpected character '" + std::string(1, static_cast<char>(c)) + "'");
    }

    std::size_t maxValuesLeft() const override { return data_.size() - pos_; }

    std::string describePlace(std::size_t place) const override { return "line " + std::to_string(place); }

private:
    [[noreturn]] void fail(const std::string& message) const {
        throw XFileSyntaxError(describePlace(line_) + ": " + message);
    }

    void skipSpaceAndComments() {
        while (pos_ < data_.size()) {
            const std::uint8_t c = data_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (isSpace(c)) {
                ++pos_;
            } else if (c == '#' || (c == '/' && pos_ + 1 < data_.size() && data_[pos_ + 1] == '/')) {
                while (pos_ < data_.size() && data_[pos_] != '\n') ++pos_;
            } else {
                return;
            }
        }
    }

    Token& punctuation(Token& token, TokenKind kind) {
        token.kind = kind;
        token.text.assign(1, static_cast<char>(data_[pos_]));
        ++pos_;
        return token;
    }

    Token& quoted(Token& token) {
        const std::size_t start = pos_ + 1;
        const void* end = std::memchr(data_.data() + start, '"', data_.size() - start);
        if (end == nullptr) fail("string without its closing quote");
        const std::size_t stop =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data_.data());
        token.kind = TokenKind::String;
        token.text.assign(reinterpret_cast<const char*>(data_.data()) + start, stop - start);
        for (char ch : token.text) line_ += ch == '\n' ? 1 : 0;
        pos_ = stop + 1;
        return token;
    }

    Token& guid(Token& token) {
        const std::size_t start = pos_ + 1;
        std::size_t stop = start;
        while (stop < data_.size() && data_[stop] != '>' && data_[stop] != '\n') ++stop;
        if (stop >= data_.size() || data_[stop] != '>') fail("GUID without its closing '>'");
        token.kind = TokenKind::Guid;
        token.text.assign(reinterpret_cast<const char*>(data_.data()) + start, stop - start);
        pos_ = stop + 1;
        return token;
    }

    // False when the characters turn out to be a name that starts like a number.
    bool number(Token& token) {
        std::size_t start = pos_;
        if (data_[start] == '+') ++start;
        const char* first = reinterpret_cast<const char*>(data_.data()) + start;
        const char* last = reinterpret_cast<const char*>(data_.data()) + data_.size();
        double value = 0.0;
        const auto [stop, status] = std::from_chars(first, last, value);
        if (status == std::errc::invalid_argument) return false;
        const std::size_t end = static_cast<std::size_t>(stop - reinterpret_cast<const char*>(data_.data()));
        if (end < data_.size()) {
            const std::uint8_t after = data_[end];
            if ((isAsciiNameChar(after) && after != '.' && after != '-') || after >= 0x80) return false;
        }
        if (status == std::errc::result_out_of_range) fail("number out of range");
        bool integral = true;
        for (const char* p = first; p != stop; ++p) {
            if (*p == '.' || *p == 'e' || *p == 'E') integral = false;
        }
        token.kind = integral ? TokenKind::Integer : TokenKind::Float;
        token.number = value;
        token.text.assign(first, stop);
        pos_ = end;
        return true;
    }

    std::string_view text() const { return {reinterpret_cast<const char*>(data_.data()), data_.size()}; }

    Token& name(Token& token) {
        const std::size_t start = pos_;
        while (pos_ < data_.size()) {
            const std::uint8_t c = data_[pos_];
            if (isAsciiNameChar(c)) {
                ++pos_;
            } else if (c >= 0x80) {
                // Names may be UTF-8 or Shift-JIS, whose second byte can look like punctuation.
                if (const std::size_t length = base::utf8SequenceLength(text(), pos_); length > 1) {
                    pos_ += length;
                } else if (isSjisLead(c) && pos_ + 1 < data_.size()) {
                    pos_ += 2;
                } else {
                    ++pos_;
                }
            } else {
                break;
            }
        }
        token.text.assign(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
        token.kind = token.text == "template" ? TokenKind::Template : TokenKind::Name;
        return token;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;  // the header shares the first line with the start of the body
};

}  // namespace

std::unique_ptr<XTokenizer> makeTextTokenizer(std::span<const std::uint8_t> body) {
    return std::make_unique<TextTokenizer>(body);
}

std::string describeToken(const Token& token) {
    switch (token.kind) {
        case TokenKind::End:
            return "the end of the data";
        case TokenKind::Name:
            return "name \"" + token.text + "\"";
        case TokenKind::String:
            return "a string";
        case TokenKind::Integer:
        case TokenKind::Float:
            return "number " + (token.text.empty() ? std::to_string(token.number) : token.text);
        case TokenKind::Guid:
            return "a GUID";
        case TokenKind::Template:
            return "\"template\"";
        default:
            return "'" + token.text + "'";
    }
}

}  // namespace model::xfile
