#include "model/xfile/xfile_parser.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>

#include "base/os/cp932.h"

namespace model::xfile {

namespace {

// Frames nest only a few levels in real files; the limit keeps hostile files off the stack.
constexpr int kMaxFrameDepth = 200;

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

class Parser {
public:
    explicit Parser(XTokenizer& tokens) : tokens_(tokens) {}

    XFileScene parse() {
        for (;;) {
            const Token& token = peek();
            if (token.kind == TokenKind::End) break;
            if (token.kind == TokenKind::Template) {
                skipTemplate();
            } else if (token.kind == TokenKind::Comma || token.kind == TokenKind::Semicolon) {
                take();
            } else if (token.kind == TokenKind::Name) {
                const std::string name = readObjectHeader();
                const std::string type = lastType_;
                if (sameName(type, "Frame")) {
                    parseFrame(-1, 1);
                } else if (sameName(type, "Mesh")) {
                    parseMesh(-1);
                } else if (sameName(type, "Material")) {
                    base::MeshMaterial material = parseMaterial();
                    if (!name.empty()) namedMaterials_[name] = material;
                } else {
                    skipObjectBody();
                }
            } else {
                fail(token, "expected a template or a data object, found " + describeToken(token));
            }
        }
        return std::move(scene_);
    }

private:
    const Token& peek() {
        if (!peeked_) {
            lookahead_ = tokens_.next();
            peeked_ = true;
        }
        return lookahead_;
    }

    Token take() {
        peek();
        peeked_ = false;
        last_ = lookahead_.place;
        return std::move(lookahead_);
    }

    [[noreturn]] void fail(std::size_t place, const std::string& message) const {
        throw XFileSyntaxError(tokens_.describePlace(place) + ": " + message);
    }
    [[noreturn]] void fail(const Token& token, const std::string& message) const {
        fail(token.place, message);
    }

    std::size_t maxValuesLeft() const { return tokens_.maxValuesLeft() + (peeked_ ? 1 : 0); }

    void skipSeparators() {
        while (peek().kind == TokenKind::Comma || peek().kind == TokenKind::Semicolon) take();
    }

    Token expect(TokenKind kind, const char* what) {
        skipSeparators();
        Token token = take();
        if (token.kind != kind)
            fail(token, std::string("expected ") + what + ", found " + describeToken(token));
        return token;
    }

    float readFloat(const char* what) {
        skipSeparators();
        Token token = take();
        if (token.kind != TokenKind::Float && token.kind != TokenKind::Integer) {
            fail(token, std::string("expected ") + what + " (a number), found " + describeToken(token));
        }
        // Checked before narrowing, which is undefined beyond a float's range.
        if (!std::isfinite(token.number) || std::fabs(token.number) > std::numeric_limits<float>::max())
            fail(token,
                 std::string(what) + " (" + describeToken(token) + ") is not a finite number a float holds");
        return static_cast<float>(token.number);
    }

    std::uint32_t readUint(const char* what) {
        skipSeparators();
        Token token = take();
        if (token.kind != TokenKind::Integer || token.number < 0 ||
            token.number > std::numeric_limits<std::uint32_t>::max()) {
            fail(token, std::string("expected ") + what + " (a whole number), found " + describeToken(token));
        }
        return static_cast<std::uint32_t>(token.number);
    }

    // A count of items of `valuesEach` numbers, refused when the rest of the data is too short
    // to hold them, so that no allocation is sized by a false count.
    std::uint32_t readCount(const char* what, std::size_t valuesEach) {
        const std::uint32_t count = readUint(what);
        if (static_cast<std::uint64_t>(count) * valuesEach > maxValuesLeft()) {
            fail(last_, std::string(what) + " " + std::to_string(count) +
                            " is more than the rest of the data holds");
        }
        return count;
    }

    std::array<float, 3> readVector(const char* what) {
        return {readFloat(what), readFloat(what), readFloat(what)};
    }

    // After the type name: an optional object name, '{' and an optional GUID. Returns the name.
    std::string readObjectHeader() {
        Token type = take();
        lastType_ = type.text;
        objectStart_ = type.place;
        std::string name;
        if (peek().kind == TokenKind::Name) name = take().text;
        Token open = take();
        if (open.kind != TokenKind::OpenBrace) {
            fail(open, "expected '{' after \"" + type.text + "\", found " + describeToken(open));
        }
        if (peek().kind == TokenKind::Guid) take();
        return name;
    }

    // Skips to the brace that closes the object whose '{' was read.
    void skipObjectBody() {
        const std::size_t start = objectStart_;
        for (std::size_t depth = 1; depth > 0;) {
            Token token = take();
            if (token.kind == TokenKind::End)
                fail(token, "the data ends inside the object that starts at " + tokens_.describePlace(start));
            if (token.kind == TokenKind::OpenBrace) ++depth;
            if (token.kind == TokenKind::CloseBrace) --depth;
        }
    }

    void skipTemplate() {
        take();
        Token name = take();
        if (name.kind != TokenKind::Name)
            fail(name, "expected a template name, found " + describeToken(name));
        objectStart_ = name.place;
        Token open = take();
        if (open.kind != TokenKind::OpenBrace) fail(open, "expected '{' after template " + name.text);
        skipObjectBody();
    }

    // Reads the children of the current object up to its closing brace. `onObject(type, name)`
    // reads a child whose header was read and returns false to have it skipped; references
    // `{ Name }` go to `onReference`.
    template <typename OnObject, typename OnReference>
    void readChildren(OnObject onObject, OnReference onReference) {
        const std::size_t start = objectStart_;
        for (;;) {
            const Token& token = peek();
            switch (token.kind) {
                case TokenKind::CloseBrace:
                    take();
                    return;
                case TokenKind::End:
                    fail(token,
                         "the data ends inside the object that starts at " + tokens_.describePlace(start));
                case TokenKind::Template:
                    fail(token, "a template inside a data object");
                case TokenKind::OpenBrace: {
                    Token open = take();
                    std::string name;
                    if (peek().kind == TokenKind::Name) name = take().text;
                    if (peek().kind == TokenKind::Guid) take();
                    Token close = take();
                    if (close.kind != TokenKind::CloseBrace)
                        fail(close, "expected '}' to end a reference, found " + describeToken(close));
                    onReference(name, open.place);
                    break;
                }
                case TokenKind::Name: {
                    const std::string name = readObjectHeader();
                    const std::string type = lastType_;
                    if (!onObject(type, name)) skipObjectBody();
                    break;
                }
                default:
                    take();
                    break;  // separators and data the reader does not need
            }
        }
    }

    void skipChildren() {
        readChildren([](const std::string&, const std::string&) { return false; },
                     [](const std::string&, std::size_t) {});
    }

    void parseFrame(int parent, int depth) {
        if (depth > kMaxFrameDepth)
            fail(objectStart_, "frames nest more than " + std::to_string(kMaxFrameDepth) + " levels deep");
        const int index = static_cast<int>(scene_.frames.size());
        scene_.frames.push_back(XFileFrame{parent, base::Matrix::identity()});
        readChildren(
            [&](const std::string& type, const std::string&) {
                if (sameName(type, "FrameTransformMatrix")) {
                    base::Matrix matrix;
                    for (auto& row : matrix.m) {
                        for (float& value : row) value = readFloat("a matrix element");
                    }
                    scene_.frames[static_cast<std::size_t>(index)].local = matrix;
                    skipChildren();
                } else if (sameName(type, "Frame")) {
                    parseFrame(index, depth + 1);
                } else if (sameName(type, "Mesh")) {
                    parseMesh(index);
                } else {
                    return false;
                }
                return true;
            },
            [](const std::string&, std::size_t) {});
    }

    void parseMesh(int frame) {
        XFileMesh mesh;
        mesh.frame = frame;
        mesh.place = tokens_.describePlace(objectStart_);
        const std::uint32_t vertexCount = readCount("vertex count", 3);
        mesh.positions.reserve(vertexCount);
        for (std::uint32_t i = 0; i < vertexCount; ++i)
            mesh.positions.push_back(readVector("a vertex coordinate"));
        const std::uint32_t faceCount = readCount("face count", 1);
        mesh.faceSizes.reserve(faceCount);
        // Most faces are triangles; a list that outgrows this grows as usual.
        mesh.faceIndices.reserve(std::min<std::uint64_t>(std::uint64_t{faceCount} * 3, maxValuesLeft()));
        for (std::uint32_t f = 0; f < faceCount; ++f) {
            const std::uint32_t corners = readCount("face corner count", 1);
            mesh.faceSizes.push_back(corners);
            for (std::uint32_t c = 0; c < corners; ++c) {
                const std::uint32_t index = readUint("a vertex index");
                if (index >= vertexCount) {
                    fail(last_, "face " + std::to_string(f) + " uses vertex " + std::to_string(index) +
                                    ", but the mesh has " + std::to_string(vertexCount) + " vertices");
                }
                mesh.faceIndices.push_back(index);
            }
        }
        readChildren(
            [&](const std::string& type, const std::string&) {
                if (sameName(type, "MeshNormals")) {
                    parseNormals(mesh);
                } else if (sameName(type, "MeshTextureCoords")) {
                    const std::uint32_t count = readCount("texture coordinate count", 2);
                    mesh.textureCoords.clear();
                    mesh.textureCoords.reserve(count);
                    for (std::uint32_t i = 0; i < count; ++i) {
                        mesh.textureCoords.push_back(
                            {readFloat("a texture coordinate"), readFloat("a texture coordinate")});
                    }
                    skipChildren();
                } else if (sameName(type, "MeshMaterialList")) {
                    parseMaterialList(mesh);
                } else {
                    return false;
                }
                return true;
            },
            [](const std::string&, std::size_t) {});
        scene_.meshes.push_back(std::move(mesh));
    }

    void parseNormals(XFileMesh& mesh) {
        const std::uint32_t normalCount = readCount("normal count", 3);
        mesh.normals.clear();
        mesh.normals.reserve(normalCount);
        for (std::uint32_t i = 0; i < normalCount; ++i)
            mesh.normals.push_back(readVector("a normal coordinate"));
        const std::uint32_t faceCount = readCount("normal face count", 1);
        if (faceCount != mesh.faceSizes.size()) {
            fail(last_, "MeshNormals has " + std::to_string(faceCount) + " faces, but the mesh has " +
                            std::to_string(mesh.faceSizes.size()));
        }
        mesh.normalIndices.clear();
        // Kept only from the first corner whose normal index differs from its vertex index.
        bool followsFaces = true;
        std::size_t corner = 0;
        for (std::uint32_t f = 0; f < faceCount; ++f) {
            const std::uint32_t corners = readUint("a normal face corner count");
            if (corners != mesh.faceSizes[f]) {
                fail(last_, "normal face " + std::to_string(f) + " has " + std::to_string(corners) +
                                " corners, but the mesh face has " + std::to_string(mesh.faceSizes[f]));
            }
            for (std::uint32_t c = 0; c < corners; ++c) {
                const std::uint32_t index = readUint("a normal index");
                if (index >= normalCount) {
                    fail(last_, "normal face " + std::to_string(f) + " uses normal " + std::to_string(index) +
                                    ", but there are " + std::to_string(normalCount) + " normals");
                }
                if (followsFaces && index != mesh.faceIndices[corner]) {
                    followsFaces = false;
                    mesh.normalIndices.reserve(mesh.faceIndices.size());
                    mesh.normalIndices.assign(mesh.faceIndices.begin(),
                                              mesh.faceIndices.begin() + static_cast<std::ptrdiff_t>(corner));
                }
                if (!followsFaces) mesh.normalIndices.push_back(index);
                ++corner;
            }
        }
        mesh.hasNormals = true;
        skipChildren();
    }

    void parseMaterialList(XFileMesh& mesh) {
        const std::size_t start = objectStart_;
        const std::uint32_t materialCount = readUint("material count");
        const std::uint32_t indexCount = readCount("face material count", 1);
        mesh.faceMaterials.clear();
        mesh.faceMaterials.reserve(indexCount);
        for (std::uint32_t i = 0; i < indexCount; ++i) {
            const std::uint32_t index = readUint("a material index");
            if (index >= materialCount) {
                fail(last_, "face " + std::to_string(i) + " uses material " + std::to_string(index) +
                                ", but the list has " + std::to_string(materialCount) + " materials");
            }
            mesh.faceMaterials.push_back(index);
        }
        std::vector<base::MeshMaterial> materials;
        readChildren(
            [&](const std::string& type, const std::string& name) {
                if (!sameName(type, "Material")) return false;
                materials.push_back(parseMaterial());
                if (!name.empty()) namedMaterials_[name] = materials.back();
                return true;
            },
            [&](const std::string& name, std::size_t place) {
                const auto found = namedMaterials_.find(name);
                if (found == namedMaterials_.end()) fail(place, "unknown material \"" + name + "\"");
                materials.push_back(found->second);
            });
        if (materials.size() < materialCount) {
            fail(start, "MeshMaterialList announces " + std::to_string(materialCount) +
                            " materials but holds " + std::to_string(materials.size()));
        }
        materials.resize(materialCount);
        mesh.materials = std::move(materials);
        if (mesh.materials.empty()) mesh.faceMaterials.clear();
    }

    base::MeshMaterial parseMaterial() {
        base::MeshMaterial result;
        base::Material& m = result.material;
        m.diffuse = {readFloat("a face colour"), readFloat("a face colour"), readFloat("a face colour"),
                     readFloat("a face colour")};
        m.power = readFloat("the specular power");
        m.specular = {readFloat("a specular colour"), readFloat("a specular colour"),
                      readFloat("a specular colour"), 1.0f};
        m.emissive = {readFloat("an emissive colour"), readFloat("an emissive colour"),
                      readFloat("an emissive colour"), 1.0f};
        readChildren(
            [&](const std::string& type, const std::string&) {
                if (!sameName(type, "TextureFilename")) return false;
                result.textureFilename =
                    base::textToUtf8(expect(TokenKind::String, "a texture file name").text);
                skipChildren();
                return true;
            },
            [](const std::string&, std::size_t) {});
        return result;
    }

    XTokenizer& tokens_;
    Token lookahead_;
    bool peeked_ = false;
    std::size_t last_ = 0;         // place of the last token taken
    std::size_t objectStart_ = 0;  // place of the type name of the object being read
    std::string lastType_;
    std::map<std::string, base::MeshMaterial> namedMaterials_;
    XFileScene scene_;
};

}  // namespace

XFileScene parseXFileScene(XTokenizer& tokens) {
    Parser parser(tokens);
    return parser.parse();
}

}  // namespace model::xfile
