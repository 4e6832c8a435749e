// The five encodings of one file read back as the same objects and the same data blocks;
// the writer is deterministic and idempotent.
#include "dx_test_util.h"

#include <gtest/gtest.h>

using namespace dxtest;
using tavrok::dxfile::OutFormat;

namespace {

std::vector<uint8_t> Convert(const std::vector<uint8_t> &in, OutFormat format)
{
    return tavrok::dxfile::Encode(LoadDoc(in, false), format);
}

const OutFormat kFormats[] = {OutFormat::Text, OutFormat::Binary32, OutFormat::Binary64, OutFormat::TextZip,
                              OutFormat::BinaryZip};
const char *const kHeaders[] = {"xof 0302txt 0032", "xof 0302bin 0032", "xof 0302bin 0064", "xof 0303tzip0032",
                                "xof 0303bzip0032"};

}  // namespace

TEST(DxEncodings, EveryEncodingOfEveryTestFileGivesTheSameTreeAndBlocks)
{
    for (const char *name : {"skinned.x", "oracle_anim.x", "oracle_meshes.x", "features.x"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> original = ReadFile(TestFile(name));
        ASSERT_FALSE(original.empty());
        XFile x;
        std::string expected = DumpAll(x, original);
        ASSERT_NE(expected.find("end " + std::to_string(DXFILEERR_NOMOREOBJECTS)), std::string::npos) << expected;
        ASSERT_GT(expected.size(), 200u);
        for (size_t i = 0; i < 5; ++i) {
            SCOPED_TRACE(kHeaders[i]);
            std::vector<uint8_t> encoded = Convert(original, kFormats[i]);
            ASSERT_GE(encoded.size(), 16u);
            EXPECT_EQ(std::string(encoded.begin(), encoded.begin() + 16), kHeaders[i]);
            EXPECT_EQ(DumpAll(x, encoded), expected);
        }
    }
}

TEST(DxEncodings, WriterIsDeterministicAndIdempotent)
{
    std::vector<uint8_t> original = ReadFile(TestFile("skinned.x"));
    for (OutFormat f : kFormats) {
        std::vector<uint8_t> a = Convert(original, f);
        EXPECT_EQ(Convert(original, f), a);
        // Going through another encoding and back gives the very same bytes.
        std::vector<uint8_t> viaBinary = Convert(Convert(a, OutFormat::BinaryZip), f);
        EXPECT_EQ(viaBinary, a);
    }
}

TEST(DxEncodings, CompressedFilesSpanSeveralBlocksWithSharedDictionary)
{
    // A mesh large enough that its text form needs several 32 KiB blocks, with repeated
    // content so that later blocks refer back into earlier ones.
    std::string s = "xof 0302txt 0032\nMesh Big {\n 3000;\n";
    for (int i = 0; i < 3000; ++i)
        s += std::to_string(i % 7) + ".5;" + std::to_string(i) + ".25;-1.0;" + (i + 1 < 3000 ? ",\n" : ";\n");
    s += " 1000;\n";
    for (int i = 0; i < 1000; ++i)
        s += "3;" + std::to_string(3 * i) + "," + std::to_string(3 * i + 1) + "," + std::to_string(3 * i + 2) +
             (i + 1 < 1000 ? ";,\n" : ";;\n");
    s += "}\n";
    std::vector<uint8_t> text = Bytes(s);
    std::vector<uint8_t> zipped = Convert(text, OutFormat::TextZip);
    tavrok::dxfile::Bytes inflated;
    tavrok::dxfile::InflateMszip(zipped.data() + 16, zipped.data() + zipped.size(), inflated);
    EXPECT_GT(inflated.size(), 3 * 32768u);
    EXPECT_LT(zipped.size(), inflated.size() / 3);

    XFile x;
    EXPECT_EQ(DumpAll(x, zipped), DumpAll(x, text));
    EXPECT_EQ(DumpAll(x, Convert(text, OutFormat::BinaryZip)), DumpAll(x, text));
}

TEST(DxEncodings, SixtyFourBitFloatsAreNarrowedAndOldVersionsRead)
{
    // A bin 0064 FrameTransformMatrix written by hand: one float list of 16 doubles.
    std::vector<double> values;
    for (int i = 0; i < 16; ++i)
        values.push_back(0.1 * (i + 1));
    Bin bin(true);
    bin.Name("FrameTransformMatrix").Tok(10).Floats(values).Tok(11);
    std::vector<uint8_t> block = FirstBlock(bin.b);
    ASSERT_EQ(block.size(), 64u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Field<float>(block.data(), 4 * i), float(values[i]));

    // The same object in a 0303 text file with 64-bit floats declared.
    std::string t = "xof 0303txt 0064 FrameTransformMatrix { ";
    for (int i = 0; i < 16; ++i)
        t += std::to_string(values[i]) + (i < 15 ? "," : ";;}");
    block = FirstBlock(Bytes(t));
    ASSERT_EQ(block.size(), 64u);
    EXPECT_FLOAT_EQ(Field<float>(block.data(), 60), 1.6f);
}
