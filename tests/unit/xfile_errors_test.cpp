// Files the reader must refuse: each gives an error that says what and where, never a crash,
// a hang, a read past the data or an allocation sized by a false count.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <string>

#include "base/file_bytes.h"
#include "model/xfile/xfile_reader.h"
#include "xfile_test_files.h"

namespace {
std::atomic<std::size_t> largestAllocation{0};
}  // namespace

// Every allocation of this test program is measured, so a reserve() sized by a lying count shows.
[[gnu::noinline]] void* operator new(std::size_t size) {
    std::size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using xfile_test::BinaryWriter;
using xfile_test::Bytes;
using xfile_test::bytesOf;

// The error for `data`, which must not give a mesh.
std::string errorOf(const Bytes& data) {
    const model::xfile::XFileResult result = model::xfile::parseXFile(data);
    EXPECT_FALSE(result.ok()) << "a mesh was read from bad data";
    EXPECT_FALSE(result.error().empty()) << "no error message";
    return result.error();
}

std::string errorOfText(const std::string& body) {
    return errorOf(bytesOf("xof 0303txt 0032\n" + body));
}

#define EXPECT_CONTAINS(text, part) EXPECT_NE((text).find(part), std::string::npos) << "error: " << (text)

TEST(XFileErrors, MissingEmptyAndFolderPathsAreReported) {
    const std::string missing = ::testing::TempDir() + "no_such_model.x";
    const model::xfile::XFileResult result = model::xfile::readXFile(missing);
    EXPECT_FALSE(result.ok());
    EXPECT_CONTAINS(result.error(), missing);
    EXPECT_CONTAINS(model::xfile::readXFile(::testing::TempDir()).error(), "folder");
    EXPECT_CONTAINS(errorOf({}), "empty");
}

TEST(XFileErrors, BadHeadersAreRefusedWithTheFieldThatIsWrong) {
    EXPECT_CONTAINS(errorOf(bytesOf("xof 0302txt")), "header");
    EXPECT_CONTAINS(errorOf(bytesOf("xog 0302txt 0032 Mesh {}")), "not an X file");
    EXPECT_CONTAINS(errorOf(bytesOf("xof 03a2txt 0032")), "version");
    EXPECT_CONTAINS(errorOf(bytesOf("xof 0302zip 0032")), "format");
    EXPECT_CONTAINS(errorOf(bytesOf("xof 0302txt 0016")), "float size");
    EXPECT_CONTAINS(errorOf(bytesOf("\x89PNG\r\n\x1a\n garbage garbage")), "byte offset 0");
}

TEST(XFileErrors, TextErrorsNameTheLine) {
    EXPECT_CONTAINS(errorOfText(""), "no Mesh");
    EXPECT_CONTAINS(errorOfText("Mesh { 0; 0; }"), "no triangles");
    EXPECT_CONTAINS(errorOfText("Mesh {\n 3; 0;0;0;, 1;0;0;,\n"),
                    "line 4: expected a vertex coordinate (a number), found the end");
    EXPECT_CONTAINS(errorOfText("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"), "ends inside");
    EXPECT_CONTAINS(errorOfText("Mesh {\n 3; 0;0;0;, 1;0;zero;, 0;1;0;; }"), "line 3");
    EXPECT_CONTAINS(errorOfText("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1.5; }"), "face count");
    EXPECT_CONTAINS(errorOfText("Mesh {\n\n 1; 0;0;0;; 1; 3;0,1,2;; }"), "line 4: face 0 uses vertex 1");
    EXPECT_CONTAINS(
        errorOfText("Material M { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"open.bmp; } }"),
        "closing quote");
    EXPECT_CONTAINS(errorOfText("Mesh { 0; 0; } @"), "unexpected character '@'");
    EXPECT_CONTAINS(errorOfText("Mesh 0; 0;"), "expected '{'");
    EXPECT_CONTAINS(errorOfText("} Mesh { 0; 0; }"), "line 2");
}

TEST(XFileErrors, IndicesOutOfRangeAndMissingMaterialsAreRefused) {
    const std::string triangle = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";
    EXPECT_CONTAINS(
        errorOfText(triangle + "MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } } }"),
        "uses material 1, but the list has 1 materials");
    EXPECT_CONTAINS(
        errorOfText(triangle + "MeshMaterialList { 2; 1; 1;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } } }"),
        "announces 2 materials but holds 1");
    EXPECT_CONTAINS(errorOfText(triangle + "MeshMaterialList { 1; 1; 0;; { Nowhere } } }"),
                    "unknown material \"Nowhere\"");
    EXPECT_CONTAINS(errorOfText(triangle + "MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }"), "uses normal 1");
    EXPECT_CONTAINS(errorOfText(triangle + "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }"),
                    "MeshNormals has 2 faces");
    EXPECT_CONTAINS(errorOfText(triangle + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }"), "has 4 corners");

    BinaryWriter w("xof 0303bin 0032");
    w.name("Mesh").open().integers({3}).floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).integers({1, 3, 0, 1, 3}).close();
    EXPECT_CONTAINS(errorOf(w.bytes()), "face 0 uses vertex 3, but the mesh has 3 vertices");
    EXPECT_CONTAINS(errorOf(w.bytes()), "byte offset 102") << "the place of the bad index in the binary file";
}

TEST(XFileErrors, CountsLargerThanTheDataFailFastWithoutBigAllocations) {
    largestAllocation = 0;
    EXPECT_CONTAINS(errorOfText("Mesh { 4000000000; 0;0;0;; 1; 3;0,0,0;; }"), "vertex count 4000000000");
    EXPECT_CONTAINS(errorOfText("Mesh { 1000; 0;0;0;, 1;1;1;; }"), "vertex count 1000 is more than");
    EXPECT_CONTAINS(errorOfText("Mesh { 1; 0;0;0;; 4000000000; }"), "face count");
    EXPECT_CONTAINS(errorOfText("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; "
                                "MeshMaterialList { 4000000000; 4000000000; 0; } }"),
                    "face material count");

    BinaryWriter hugeList("xof 0303bin 0032");
    hugeList.name("Mesh").open().token(6);
    xfile_test::putLe(const_cast<Bytes&>(hugeList.bytes()), 4000000000u, 4);
    EXPECT_CONTAINS(errorOf(hugeList.bytes()), "list of 4000000000 numbers is longer than the data");

    BinaryWriter hugeCount("xof 0303bin 0032");
    hugeCount.name("Mesh").open().integers({4000000000u}).floats({0, 0, 0}).close();
    EXPECT_CONTAINS(errorOf(hugeCount.bytes()), "vertex count 4000000000");

    BinaryWriter hugeName("xof 0303bin 0032");
    hugeName.token(1);
    xfile_test::putLe(const_cast<Bytes&>(hugeName.bytes()), 0xFFFFFFF0u, 4);
    EXPECT_CONTAINS(errorOf(hugeName.bytes()), "longer than the data");

    Bytes hugeTotal = bytesOf("xof 0303bzip0032");
    xfile_test::putLe(hugeTotal, 0xFFFFFFFFu, 4);
    hugeTotal.insert(hugeTotal.end(), {0x10, 0x00, 0x05, 0x00, 'C', 'K', 0x03, 0x00, 0x00});
    EXPECT_FALSE(errorOf(hugeTotal).empty());

    EXPECT_LT(largestAllocation.load(), 1u << 20)
        << "an allocation followed a count that the data cannot hold";
}

TEST(XFileErrors, FilesLargerThanAnyModelAreRefusedUnreadInEveryForm) {
    // Sparse files just over the limit: only their first bytes take room on the disk, but Wine
    // refuses a length larger than the disk's free room.
    const std::string path = ::testing::TempDir() + "xfile_errors_huge.x";
    for (const char* header : {"xof 0303txt 0032", "xof 0303tzip0032", "xof 0303bin 0032"}) {
        std::ofstream(base::pathFromUtf8(path), std::ios::binary) << header << "\nMesh {";
        std::filesystem::resize_file(base::pathFromUtf8(path), (std::uint64_t{2} << 30) + (1 << 20));
        largestAllocation = 0;
        const model::xfile::XFileResult result = model::xfile::readXFile(path);
        EXPECT_FALSE(result.ok()) << header;
        EXPECT_CONTAINS(result.error(), "larger than 2147483648 bytes") << header;
        EXPECT_LT(largestAllocation.load(), 1u << 20) << header << ": memory sized by the file's length";
    }
    std::filesystem::remove(base::pathFromUtf8(path));

    // A small compressed file that claims to grow to 4 GiB.
    Bytes hugeTotal = bytesOf("xof 0303tzip0032");
    xfile_test::putLe(hugeTotal, 0xFFFFFFF0u, 4);
    hugeTotal.insert(hugeTotal.end(), {0x10, 0x00, 0x05, 0x00, 'C', 'K', 0x03, 0x00, 0x00});
    EXPECT_CONTAINS(errorOf(hugeTotal), "byte offset 16: decompressed size 4294967280 is larger than");
}

TEST(XFileErrors, NumbersNoFloatHoldsAndFramesThatOverflowNameTheirPlace) {
    EXPECT_CONTAINS(errorOfText("Mesh {\n 3; 0;0;0;,\n 1e39;0;0;, 0;1;0;; 1; 3;0,1,2;; }"),
                    "line 4: a vertex coordinate (number 1e39) is not a finite number a float holds");
    EXPECT_CONTAINS(
        errorOfText("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                    "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; -4e38; 0;0;0;; 0;0;0;; } } }"),
        "line 3: the specular power");
    // Each matrix is finite; together they take the second vertex beyond a float.
    const std::string scale = "FrameTransformMatrix { 1e30,0,0,0, 0,1e30,0,0, 0,0,1e30,0, 0,0,0,1;; }\n";
    EXPECT_CONTAINS(errorOfText("Frame {\n" + scale + "Frame {\n" + scale +
                                "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } } }"),
                    "line 6: the frames that hold this Mesh move a vertex beyond any finite position");

    BinaryWriter wide("xof 0303bin 0064", 8);
    wide.name("Mesh")
        .open()
        .integers({3})
        .floats({0, 0, 0, 1e300, 0, 0, 0, 1, 0})
        .integers({1, 3, 0, 1, 2})
        .close();
    EXPECT_CONTAINS(errorOf(wide.bytes()), "is not a finite number a float holds");
    BinaryWriter notANumber("xof 0303bin 0032");
    notANumber.name("Mesh").open().integers({3});
    notANumber.floats({0, 0, 0, std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 1, 0});
    notANumber.integers({1, 3, 0, 1, 2}).close();
    EXPECT_CONTAINS(errorOf(notANumber.bytes()), "byte offset");
    EXPECT_CONTAINS(errorOf(notANumber.bytes()), "not a finite number");
}

TEST(XFileErrors, TruncatedAndDamagedBinaryFilesNameTheByteOffset) {
    const Bytes cube = xfile_test::cubeBinary("xof 0303bin 0032", 4);
    for (std::size_t size : {17u, 20u, 31u, 100u, 250u}) {
        ASSERT_LT(size, cube.size());
        const std::string error =
            errorOf(Bytes(cube.begin(), cube.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_CONTAINS(error, "byte offset") << " (cut at " << size << " bytes)";
    }
    BinaryWriter unknown("xof 0303bin 0032");
    unknown.token(99);
    EXPECT_CONTAINS(errorOf(unknown.bytes()), "byte offset 16: unknown token 99");
    BinaryWriter floatsAsCount("xof 0303bin 0032");
    floatsAsCount.name("Mesh").open().floats({3.5}).close();
    EXPECT_CONTAINS(errorOf(floatsAsCount.bytes()), "vertex count");
}

TEST(XFileErrors, DamagedCompressedFilesAreRefused) {
    const Bytes text = bytesOf(xfile_test::cubeText("xof 0303txt 0032"));
    const Bytes packed = xfile_test::mszipCompress(text, "tzip");

    Bytes truncated(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2));
    EXPECT_CONTAINS(errorOf(truncated), "does not fit in the file");

    Bytes noSignature = packed;
    noSignature[24] = 'X';
    EXPECT_CONTAINS(errorOf(noSignature), "byte offset 24: compressed block without its \"CK\" signature");

    Bytes scrambled = packed;
    for (std::size_t i = 30; i < 60; ++i) scrambled[i] ^= 0x5A;
    EXPECT_FALSE(errorOf(scrambled).empty());

    Bytes shortTotal = packed;
    shortTotal[16] = 10;  // less than the header alone
    shortTotal[17] = shortTotal[18] = shortTotal[19] = 0;
    EXPECT_CONTAINS(errorOf(shortTotal), "smaller than the header");

    Bytes longTotal = packed;
    longTotal[17] = static_cast<std::uint8_t>(longTotal[17] + 1);  // 256 bytes more than the blocks hold
    EXPECT_CONTAINS(errorOf(longTotal), "compressed data ends after");

    Bytes headerOnly(packed.begin(), packed.begin() + 18);
    EXPECT_CONTAINS(errorOf(headerOnly), "before its decompressed size");

    // An error after decompression names the place in the decompressed data.
    const Bytes badBinary = xfile_test::mszipCompress(bytesOf("xof 0303bin 0032\x63\x00"), "bzip");
    EXPECT_CONTAINS(errorOf(badBinary), "byte offset 16 of the decompressed data");
}

TEST(XFileErrors, DeepNestingAndGarbageNeverCrash) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "Frame {";
    EXPECT_CONTAINS(errorOfText(deep), "nest");
    std::string unknownDeep = "Unknown {";
    for (int i = 0; i < 100000; ++i) unknownDeep += "{";
    EXPECT_CONTAINS(errorOfText(unknownDeep), "ends inside");

    // Arbitrary bytes after each valid header: only the outcome "error" is acceptable here.
    std::uint32_t seed = 12345;
    for (const char* header :
         {"xof 0303txt 0032", "xof 0303bin 0032", "xof 0303tzip0032", "xof 0303bzip0064"}) {
        for (int round = 0; round < 200; ++round) {
            Bytes data = bytesOf(header);
            for (int i = 0; i < 64; ++i) {
                seed = seed * 1664525u + 1013904223u;
                data.push_back(static_cast<std::uint8_t>(seed >> 24));
            }
            const model::xfile::XFileResult result = model::xfile::parseXFile(data);
            EXPECT_TRUE(result.ok() || !result.error().empty()) << "a failure without a reason";
        }
    }
}

}  // namespace
