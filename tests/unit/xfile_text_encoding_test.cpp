// Texture names in X files are Shift-JIS (CP932) bytes on the systems that wrote them, or
// already UTF-8; the reader hands UTF-8 on.
#include <gtest/gtest.h>

#include <string>

#include "base/os/cp932.h"
#include "base/utf8.h"
#include "model/xfile/xfile_reader.h"
#include "xfile_test_files.h"

namespace {

// "フィルター" in CP932 and in UTF-8.
const std::string kFilterSjis = "\x83\x74\x83\x42\x83\x8B\x83\x5E\x81\x5B";
const std::string kFilterUtf8 = "\xE3\x83\x95\xE3\x82\xA3\xE3\x83\xAB\xE3\x82\xBF\xE3\x83\xBC";

TEST(Cp932, Utf8ValidationRejectsWhatIsNotUtf8) {
    EXPECT_TRUE(base::isValidUtf8("plain.bmp"));
    EXPECT_TRUE(base::isValidUtf8(kFilterUtf8 + ".bmp"));
    EXPECT_TRUE(base::isValidUtf8("\xF0\x9F\x98\x80")) << "four-byte forms are UTF-8";
    EXPECT_FALSE(base::isValidUtf8(kFilterSjis)) << "Shift-JIS bytes taken for UTF-8";
    EXPECT_FALSE(base::isValidUtf8("\xC0\xAF")) << "overlong form accepted";
    EXPECT_FALSE(base::isValidUtf8("\xED\xA0\x80")) << "surrogate accepted";
    EXPECT_FALSE(base::isValidUtf8("\xE3\x83")) << "cut-off sequence accepted";
    EXPECT_FALSE(base::isValidUtf8("\xF4\x90\x80\x80")) << "value past U+10FFFF accepted";
}

TEST(Cp932, NamesAreDecodedToUtf8OrKept) {
    const auto decoded = base::decodeCp932(kFilterSjis + ".bmp");
    ASSERT_TRUE(decoded.has_value()) << "no CP932 converter on this system";
    EXPECT_EQ(*decoded, kFilterUtf8 + ".bmp");
    EXPECT_EQ(base::textToUtf8(kFilterSjis + ".bmp"), kFilterUtf8 + ".bmp");
    EXPECT_EQ(base::textToUtf8(kFilterUtf8 + ".bmp"), kFilterUtf8 + ".bmp") << "UTF-8 must stay as it is";
    // "ソ" ends in 0x5C, the backslash byte, which must not be taken for a path separator.
    EXPECT_EQ(base::textToUtf8("\x83\x5C.bmp"), "\xE3\x82\xBD.bmp");
    EXPECT_FALSE(base::decodeCp932("\x83").has_value()) << "a lone lead byte is not CP932";
    EXPECT_EQ(base::textToUtf8("\x83"), "\x83") << "bytes that are neither are kept";
}

TEST(XFileTextureNames, ShiftJisNamesAreDecodedInTextAndBinaryFiles) {
    const std::string text =
        "xof 0303txt 0032\n"
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
        " MeshMaterialList { 2; 1; 0;;\n"
        "  Material \x8D\xDE\x8E\xBF { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
        kFilterSjis +
        ".bmp\"; } }\n"
        "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
        kFilterUtf8 + ".bmp\"; } }\n } }\n";
    const model::xfile::XFileResult fromText = model::xfile::parseXFile(xfile_test::bytesOf(text));
    ASSERT_TRUE(fromText) << fromText.error();
    ASSERT_EQ(fromText->materials.size(), 2u);
    EXPECT_EQ(fromText->materials[0].textureFilename, kFilterUtf8 + ".bmp") << "Shift-JIS name not decoded";
    EXPECT_EQ(fromText->materials[1].textureFilename, kFilterUtf8 + ".bmp") << "UTF-8 name changed";

    xfile_test::BinaryWriter w("xof 0303bin 0032");
    w.name("Mesh").open().integers({3}).floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).integers({1, 3, 0, 1, 2});
    w.name("MeshMaterialList").open().integers({1, 1, 0});
    w.name("Material").open().floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    w.name("TextureFilename").open().string(kFilterSjis + ".bmp").close().close().close().close();
    const model::xfile::XFileResult fromBinary = model::xfile::parseXFile(w.bytes());
    ASSERT_TRUE(fromBinary) << fromBinary.error();
    EXPECT_EQ(fromBinary->materials[0].textureFilename, kFilterUtf8 + ".bmp");
}

}  // namespace
