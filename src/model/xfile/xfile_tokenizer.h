#pragma once
// The tokens of an X file body, the same for the text and the binary encodings, so that one
// parser reads both. Number lists of the binary form come out one number at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace model::xfile {

enum class TokenKind {
    End,
    Name,
    String,
    Integer,
    Float,
    Guid,
    OpenBrace,
    CloseBrace,
    Comma,
    Semicolon,
    Template,
    Other,  // punctuation and type keywords that only templates use
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;       // names, strings, and a printable form of other punctuation
    double number = 0.0;    // integers and floats
    std::size_t place = 0;  // line (text) or byte offset (binary) where the token starts
};

// What a reader throws when the data cannot be read; the message already names the place.
class XFileSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class XTokenizer {
public:
    virtual ~XTokenizer() = default;
    // The next token; kind End once the data is used up. Throws XFileSyntaxError.
    virtual Token next() = 0;
    // More numbers than this cannot follow, so no count above it can be true.
    virtual std::size_t maxValuesLeft() const = 0;
    // "line 12" or "byte offset 345", for a token's place.
    virtual std::string describePlace(std::size_t place) const = 0;
};

// The bytes of a body, handed out a few at a time and always further on, so that a big file
// need not be in memory at once while its mesh is being built from it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t size() const = 0;
    // `count` bytes from `at` (at + count <= size()), valid until the next call; `at` never
    // goes back before the last call's. Throws XFileSyntaxError when they cannot be read.
    virtual const std::uint8_t* bytes(std::size_t at, std::size_t count) = 0;
};

// `body` is what follows the 16-byte header (after decompression, if any); it must outlive
// the tokenizer.
std::unique_ptr<XTokenizer> makeTextTokenizer(std::span<const std::uint8_t> body);
std::unique_ptr<XTokenizer> makeBinaryTokenizer(std::span<const std::uint8_t> body, int floatBytes,
                                                bool decompressed);
std::unique_ptr<XTokenizer> makeBinaryTokenizer(std::unique_ptr<ByteSource> body, int floatBytes);

std::string describeToken(const Token& token);

}  // namespace model::xfile
