#pragma once
// Builds X files in memory for the reader's tests: a text and a binary writer, an MSZIP
// compressor, and one cube that every encoding describes the same way.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xfile_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline void putLe(Bytes& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Binary token records, little-endian.
class BinaryWriter {
public:
    explicit BinaryWriter(std::string_view header, int floatBytes = 4)
        : out_(bytesOf(header)), floatBytes_(floatBytes) {}

    BinaryWriter& token(std::uint16_t id) {
        putLe(out_, id, 2);
        return *this;
    }
    BinaryWriter& open() { return token(10); }
    BinaryWriter& close() { return token(11); }
    BinaryWriter& name(std::string_view text) {
        token(1);
        putLe(out_, text.size(), 4);
        out_.insert(out_.end(), text.begin(), text.end());
        return *this;
    }
    BinaryWriter& string(std::string_view text) {
        token(2);
        putLe(out_, text.size(), 4);
        out_.insert(out_.end(), text.begin(), text.end());
        return token(20);
    }
    BinaryWriter& guid() {
        token(5);
        out_.insert(out_.end(), 16, 0xAB);
        return *this;
    }
    BinaryWriter& integers(const std::vector<std::uint32_t>& values) {
        token(6);
        putLe(out_, values.size(), 4);
        for (std::uint32_t v : values) putLe(out_, v, 4);
        return *this;
    }
    BinaryWriter& floats(const std::vector<double>& values) {
        token(7);
        putLe(out_, values.size(), 4);
        for (double v : values) {
            if (floatBytes_ == 8) {
                std::uint64_t bits;
                std::memcpy(&bits, &v, 8);
                putLe(out_, bits, 8);
            } else {
                const float f = static_cast<float>(v);
                std::uint32_t bits;
                std::memcpy(&bits, &f, 4);
                putLe(out_, bits, 4);
            }
        }
        return *this;
    }
    BinaryWriter& raw(const Bytes& data) {
        out_.insert(out_.end(), data.begin(), data.end());
        return *this;
    }
    const Bytes& bytes() const { return out_; }

private:
    Bytes out_;
    int floatBytes_;
};

// MSZIP as the X file format stores it, in blocks of `blockSize` bytes that each may refer
// back into the blocks before them. `file` is a whole uncompressed file, header included;
// `format` ("tzip" or "bzip") replaces its format field.
inline Bytes mszipCompress(const Bytes& file, std::string_view format, std::size_t blockSize = 200) {
    Bytes out(file.begin(), file.begin() + 16);
    std::copy(format.begin(), format.end(), out.begin() + 8);
    putLe(out, file.size(), 4);
    for (std::size_t pos = 16; pos < file.size(); pos += blockSize) {
        const std::size_t size = std::min(blockSize, file.size() - pos);
        z_stream stream{};
        if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::runtime_error("deflateInit2 failed");
        }
        const std::size_t history = std::min<std::size_t>(pos - 16, 32768);
        if (history > 0)
            deflateSetDictionary(&stream, file.data() + pos - history, static_cast<uInt>(history));
        Bytes packed(deflateBound(&stream, static_cast<uLong>(size)) + 16);
        stream.next_in = const_cast<Bytef*>(file.data() + pos);
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = packed.data();
        stream.avail_out = static_cast<uInt>(packed.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
        packed.resize(stream.total_out);
        deflateEnd(&stream);
        putLe(out, size, 2);
        putLe(out, packed.size() + 2, 2);
        out.push_back('C');
        out.push_back('K');
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return out;
}

// A unit cube: 8 corners, 6 quads with one normal each, texture coordinates per corner, the
// first three faces in a red material with a texture, the other three in a blue one.
struct CubeData {
    std::vector<std::vector<double>> positions{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                               {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    std::vector<std::vector<std::uint32_t>> faces{{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                  {2, 3, 7, 6}, {0, 4, 7, 3}, {1, 2, 6, 5}};
    std::vector<std::vector<double>> normals{{0, 0, -1}, {0, 0, 1},  {0, -1, 0},
                                             {0, 1, 0},  {-1, 0, 0}, {1, 0, 0}};
    std::vector<std::uint32_t> faceMaterials{0, 0, 0, 1, 1, 1};
};

inline std::string cubeText(std::string_view header) {
    const CubeData cube;
    std::string s(header);
    s += "\n# exported for a test\ntemplate Mesh {\n <3D82AB44-62DA-11CF-AB39-0020AF71E433>\n DWORD "
         "nVertices;\n"
         " array Vector vertices[nVertices];\n [...]\n}\n\n";
    s += "Header { 1; 0; 1; }\n";
    s += "Mesh Cube {\n 8;\n";
    for (std::size_t i = 0; i < cube.positions.size(); ++i) {
        const auto& p = cube.positions[i];
        s += "  " + std::to_string(p[0]) + ";" + std::to_string(p[1]) + ";" + std::to_string(p[2]) + ";" +
             (i + 1 < cube.positions.size() ? "," : ";") + "\n";
    }
    s += " 6;\n";
    for (std::size_t f = 0; f < cube.faces.size(); ++f) {
        const auto& face = cube.faces[f];
        s += "  4;" + std::to_string(face[0]) + "," + std::to_string(face[1]) + "," +
             std::to_string(face[2]) + "," + std::to_string(face[3]) +
             (f + 1 < cube.faces.size() ? ";," : ";;") + "\n";
    }
    s += " MeshNormals {\n  6;\n";
    for (const auto& n : cube.normals) {
        s += "  " + std::to_string(n[0]) + ";" + std::to_string(n[1]) + ";" + std::to_string(n[2]) + ";,\n";
    }
    s += "  6;\n  4;0,0,0,0;,\n  4;1,1,1,1;,\n  4;2,2,2,2;,\n  4;3,3,3,3;,\n  4;4,4,4,4;,\n  4;5,5,5,5;;\n "
         "}\n";
    s += " MeshTextureCoords {\n  8;\n";
    for (const auto& p : cube.positions)
        s += "  " + std::to_string(p[0]) + ";" + std::to_string(p[1]) + ";,\n";
    s += " }\n";
    s +=
        " MeshMaterialList {\n  2;\n  6;\n  0,0,0,1,1,1;;\n"
        "  Material Red {\n   1.000000;0.000000;0.000000;1.000000;;\n   20.000000;\n   "
        "0.500000;0.500000;0.500000;;\n"
        "   0.000000;0.000000;0.000000;;\n   TextureFilename {\n    \"red.bmp\";\n   }\n  }\n"
        "  Material Blue {\n   0.0;0.0;1.0;0.5;;\n   5.0;\n   0.0;0.0;0.0;;\n   0.0;0.0;0.25;;\n  }\n }\n}\n";
    return s;
}

inline Bytes cubeBinary(std::string_view header, int floatBytes) {
    const CubeData cube;
    BinaryWriter w(header, floatBytes);
    w.token(31).name("Vector").open().guid().token(42).name("x").token(20).close();  // a template to skip
    w.name("Mesh").name("Cube").open().integers({8});
    std::vector<double> positions;
    for (const auto& p : cube.positions) positions.insert(positions.end(), p.begin(), p.end());
    w.floats(positions);
    std::vector<std::uint32_t> faces{6};
    for (const auto& f : cube.faces) {
        faces.push_back(4);
        faces.insert(faces.end(), f.begin(), f.end());
    }
    w.integers(faces);
    w.name("MeshNormals").open().integers({6});
    std::vector<double> normals;
    for (const auto& n : cube.normals) normals.insert(normals.end(), n.begin(), n.end());
    w.floats(normals);
    std::vector<std::uint32_t> normalFaces{6};
    for (std::uint32_t f = 0; f < 6; ++f) normalFaces.insert(normalFaces.end(), {4, f, f, f, f});
    w.integers(normalFaces).close();
    w.name("MeshTextureCoords").open().integers({8});
    std::vector<double> uvs;
    for (const auto& p : cube.positions) uvs.insert(uvs.end(), {p[0], p[1]});
    w.floats(uvs).close();
    w.name("MeshMaterialList").open().integers({2, 6, 0, 0, 0, 1, 1, 1});
    w.name("Material").name("Red").open().floats({1, 0, 0, 1, 20, 0.5, 0.5, 0.5, 0, 0, 0});
    w.name("TextureFilename").open().string("red.bmp").close().close();
    w.name("Material").name("Blue").open().floats({0, 0, 1, 0.5, 5, 0, 0, 0, 0, 0, 0.25}).close();
    w.close().close();
    return w.bytes();
}

}  // namespace xfile_test
