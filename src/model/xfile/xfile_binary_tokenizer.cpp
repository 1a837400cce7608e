// Tokens of the binary encoding: little-endian 16-bit token numbers, some followed by a record.
#include <bit>
#include <cstring>

#include "base/byte_order.h"
#include "model/xfile/xfile_header.h"
#include "model/xfile/xfile_tokenizer.h"

namespace model::xfile {

namespace {

enum BinaryToken : std::uint16_t {
    kName = 1,
    kString = 2,
    kInteger = 3,
    kGuid = 5,
    kIntegerList = 6,
    kFloatList = 7,
    kOpenBrace = 10,
    kCloseBrace = 11,
    kComma = 19,
    kSemicolon = 20,
    kTemplate = 31,
};

const char* otherTokenText(std::uint16_t id) {
    switch (id) {
        case 12:
            return "(";
        case 13:
            return ")";
        case 14:
            return "[";
        case 15:
            return "]";
        case 16:
            return "<";
        case 17:
            return ">";
        case 18:
            return ".";
        case 40:
            return "WORD";
        case 41:
            return "DWORD";
        case 42:
            return "FLOAT";
        case 43:
            return "DOUBLE";
        case 44:
            return "CHAR";
        case 45:
            return "UCHAR";
        case 46:
            return "SWORD";
        case 47:
            return "SDWORD";
        case 48:
            return "VOID";
        case 49:
            return "LPSTR";
        case 50:
            return "UNICODE";
        case 51:
            return "CSTRING";
        case 52:
            return "ARRAY";
        default:
            return nullptr;
    }
}

class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t size() const override { return data_.size(); }
    const std::uint8_t* bytes(std::size_t at, std::size_t) override { return data_.data() + at; }

private:
    std::span<const std::uint8_t> data_;
};

class BinaryTokenizer final : public XTokenizer {
public:
    BinaryTokenizer(std::unique_ptr<ByteSource> body, int floatBytes, bool decompressed)
        : source_(std::move(body)),
          size_(source_->size()),
          floatBytes_(static_cast<std::size_t>(floatBytes)),
          decompressed_(decompressed) {}

    Token next() override {
        for (;;) {
            Token token;
            token.place = kXFileHeaderSize + pos_;
            if (listLeft_ > 0) return listValue(token);
            if (pos_ == size_) return token;
            const auto id = static_cast<std::uint16_t>(read(2, "token"));
            switch (id) {
                case kName:
                    token.kind = TokenKind::Name;
                    token.text = readBytes("name");
                    return token;
                case kString:
                    token.kind = TokenKind::String;
                    token.text = readBytes("string");
                    skipStringTerminator();
                    return token;
                case kInteger:
                    token.kind = TokenKind::Integer;
                    token.number = read(4, "integer");
                    token.text = std::to_string(static_cast<std::uint32_t>(token.number));
                    return token;
                case kGuid:
                    need(16, "GUID");
                    pos_ += 16;
                    token.kind = TokenKind::Guid;
                    return token;
                case kIntegerList:
                case kFloatList: {
                    listIsFloat_ = id == kFloatList;
                    const std::size_t itemBytes = listIsFloat_ ? floatBytes_ : 4;
                    const std::uint32_t count = read(4, "list length");
                    if (count > (size_ - pos_) / itemBytes) {
                        fail(token.place,
                             "list of " + std::to_string(count) + " numbers is longer than the data");
                    }
                    listLeft_ = count;
                    continue;  // an empty list yields nothing
                }
                case kOpenBrace:
                    return punctuation(token, TokenKind::OpenBrace, "{");
                case kCloseBrace:
                    return punctuation(token, TokenKind::CloseBrace, "}");
                case kComma:
                    return punctuation(token, TokenKind::Comma, ",");
                case kSemicolon:
                    return punctuation(token, TokenKind::Semicolon, ";");
                case kTemplate:
                    return punctuation(token, TokenKind::Template, "template");
                default:
                    if (const char* text = otherTokenText(id))
                        return punctuation(token, TokenKind::Other, text);
                    fail(token.place, "unknown token " + std::to_string(id));
            }
        }
    }

    std::size_t maxValuesLeft() const override { return listLeft_ + (size_ - pos_) / 4; }

    std::string describePlace(std::size_t place) const override {
        return "byte offset " + std::to_string(place) + (decompressed_ ? " of the decompressed data" : "");
    }

private:
    [[noreturn]] void fail(std::size_t place, const std::string& message) const {
        throw XFileSyntaxError(describePlace(place) + ": " + message);
    }

    void need(std::size_t bytes, const char* what) const {
        if (size_ - pos_ < bytes) {
            fail(kXFileHeaderSize + pos_, std::string("the data ends inside a ") + what);
        }
    }

    std::uint64_t read(std::size_t bytes, const char* what) {
        need(bytes, what);
        const std::uint64_t value = base::readLittleEndian(source_->bytes(pos_, bytes), 0, bytes);
        pos_ += bytes;
        return value;
    }

    std::string readBytes(const char* what) {
        const std::size_t start = kXFileHeaderSize + pos_;
        const std::uint32_t count = static_cast<std::uint32_t>(read(4, what));
        if (count > size_ - pos_) {
            fail(start,
                 std::string(what) + " of " + std::to_string(count) + " bytes is longer than the data");
        }
        std::string text(reinterpret_cast<const char*>(source_->bytes(pos_, count)), count);
        pos_ += count;
        return text;
    }

    // A string record ends with a comma or semicolon token; some writers widen it to 32 bits.
    void skipStringTerminator() {
        auto peekWord = [this](std::size_t at) -> int {
            if (size_ - pos_ < at + 2) return -1;
            return static_cast<int>(base::readLittleEndian(source_->bytes(pos_ + at, 2), 0, 2));
        };
        const int terminator = peekWord(0);
        if (terminator != kComma && terminator != kSemicolon) return;
        pos_ += 2;
        if (peekWord(0) == 0) pos_ += 2;
    }

    Token& punctuation(Token& token, TokenKind kind, const char* text) {
        token.kind = kind;
        token.text = text;
        return token;
    }

    Token& listValue(Token& token) {
        --listLeft_;
        if (!listIsFloat_) {
            token.kind = TokenKind::Integer;
            token.number = static_cast<double>(read(4, "integer list"));
        } else if (floatBytes_ == 4) {
            token.kind = TokenKind::Float;
            token.number = std::bit_cast<float>(static_cast<std::uint32_t>(read(4, "float list")));
        } else {
            token.kind = TokenKind::Float;
            token.number = std::bit_cast<double>(read(8, "float list"));
        }
        return token;
    }

    std::unique_ptr<ByteSource> source_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t floatBytes_;
    bool decompressed_;
    std::uint32_t listLeft_ = 0;
    bool listIsFloat_ = false;
};

}  // namespace

std::unique_ptr<XTokenizer> makeBinaryTokenizer(std::span<const std::uint8_t> body, int floatBytes,
                                                bool decompressed) {
    return std::make_unique<BinaryTokenizer>(std::make_unique<SpanSource>(body), floatBytes, decompressed);
}

std::unique_ptr<XTokenizer> makeBinaryTokenizer(std::unique_ptr<ByteSource> body, int floatBytes) {
    return std::make_unique<BinaryTokenizer>(std::move(body), floatBytes, false);
}

}  // namespace model::xfile
