// Runs of numbers (a mesh's vertices and faces) are read in bulk: runs broken by comments,
// odd separators, values of the other kind, split binary lists and bad tokens give the same
// block and the same errors as value-by-value reading.
#include "dx_test_util.h"

#include <gtest/gtest.h>

#include <random>

using namespace dxtest;

namespace {

// The Mesh block the files below hold: positions, then faces as counts and corners.
struct Expected {
    std::vector<float> positions;
    std::vector<std::vector<uint32_t>> faces;

    std::vector<uint8_t> Block() const
    {
        std::vector<uint8_t> b;
        auto put = [&](const void *p, size_t n) { b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n); };
        uint32_t n = uint32_t(positions.size() / 3);
        put(&n, 4);
        put(positions.data(), 4 * positions.size());
        n = uint32_t(faces.size());
        put(&n, 4);
        for (const std::vector<uint32_t> &f : faces) {
            n = uint32_t(f.size());
            put(&n, 4);
            put(f.data(), 4 * f.size());
        }
        return b;
    }
};

}  // namespace

TEST(DxBulkRead, BrokenRunsGiveThePlainLayoutInTextAndBinary)
{
    const Expected want{{1.5f, -2, 32.5f, 0, 1, 2, 0.5f, 4, 6}, {{0, 1, 2}, {0, 1, 2, 1}, {2}}};
    // Integers for floats, a real for a corner count (its integer part counts), comments,
    // line breaks and doubled or missing separators inside runs.
    const std::string text = "xof 0302txt 0032\n"
                             "Mesh m {\n 3;\n 1.5; -2; 3.25e1;,\n 0;1;2;, .5;+4 // a comment\n ;6;;\n"
                             " 3 ;\n 3;0,1,2;, 4;0,1,\n# another\n 2,1;,1.9;2;;\n}\n";
    EXPECT_EQ(FirstBlock(Bytes(text)), want.Block());
    for (bool doubles : {false, true}) {
        SCOPED_TRACE(doubles ? "bin 0064" : "bin 0032");
        // Faces split across lists, an empty list, a count in a float list, integers in a
        // float member, a lone integer token.
        Bin bin(doubles);
        bin.Name("Mesh").Name("m").Tok(10).Ints({3}).Floats({1.5, -2, 32.5, 0}).Ints({1, 2}).Floats({0.5, 4, 6});
        bin.Int(3).Ints({3, 0, 1}).Ints({}).Ints({2, 4, 0, 1, 2, 1}).Floats({1.9}).Ints({2}).Tok(11);
        EXPECT_EQ(FirstBlock(bin.b), want.Block());
    }

    // Runs longer than any one read of the lexer, in both encodings.
    Expected big;
    std::string longText = "xof 0302txt 0032\nMesh m {\n 700;\n";
    Bin longBin(false);
    std::vector<double> floats;
    for (int v = 0; v < 700; ++v)
        for (int k = 0; k < 3; ++k) {
            big.positions.push_back(float(v * 3 + k) * 0.25f);
            floats.push_back(double(v * 3 + k) * 0.25);
            longText += std::to_string((v * 3 + k) * 0.25) + (k < 2 ? ";" : v < 699 ? ";,\n" : ";;\n");
        }
    std::vector<uint32_t> faceInts = {600};
    longText += " 600;\n";
    for (uint32_t f = 0; f < 600; ++f) {
        big.faces.push_back({f, f + 1, f + 2});
        faceInts.insert(faceInts.end(), {3, f, f + 1, f + 2});
        longText += "3;" + std::to_string(f) + "," + std::to_string(f + 1) + "," + std::to_string(f + 2) +
                    (f < 599 ? ";,\n" : ";;\n");
    }
    longText += "}\n";
    longBin.Name("Mesh").Name("m").Tok(10).Ints({700}).Floats(floats).Ints(faceInts).Tok(11);
    EXPECT_EQ(FirstBlock(Bytes(longText)), big.Block());
    EXPECT_EQ(FirstBlock(longBin.b), big.Block());
}

TEST(DxBulkRead, ABadTokenInsideARunIsReportedWhereItStands)
{
    struct Case {
        std::string body, where, reason;
    } cases[] = {
        {"Mesh m {\n 2;\n 1.0;2.0;3.0;,\n 4.0;\n oops; 6.0;;\n 0;;\n}\n", ":6:", "expected a number, found name 'oops'"},
        {"Mesh m {\n 1;\n 0;0;0;;\n 2;\n 3;0,0,\n \"x\";,\n}\n", ":7:", "expected an integer value, found string"},
        {"Mesh m {\n 1;\n 0;0;0;;\n 1;\n 3;0,1.2.3,0;;\n}\n", ":6:", "malformed number '1.2.3'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        std::string err;
        EXPECT_TRUE(FirstBlock(Bytes("xof 0302txt 0032\n" + c.body), &err).empty());
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("dxfile: <memory>" + c.where, 0), 0u) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    }
    // In binary, a run read on across lists stops at a list that runs past the end or at a
    // token of another kind, and the error names that token's byte.
    for (bool truncated : {true, false}) {
        Bin bin(false);
        bin.Name("Mesh").Name("m").Tok(10).Ints({1}).Floats({0, 0, 0}).Ints({1, 3, 0}).Ints({0});
        const size_t at = bin.b.size();
        if (truncated)
            bin.Tok(6).U32(1000).U32(0);
        else
            bin.Tok(2).U32(1).Raw("x", 1).Ints({0}).Tok(11);
        SCOPED_TRACE(truncated ? "list past the end" : "string among the corners");
        std::string err;
        EXPECT_TRUE(FirstBlock(bin.b, &err).empty());
        EXPECT_EQ(err.rfind("dxfile: <memory>:byte " + std::to_string(at) + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(truncated ? "integer list of 1000 entries runs past the end" : "expected an integer value, found string"),
                  std::string::npos) << err;
    }
}

TEST(DxBulkRead, NumbersOfEveryShapeReadAsTheCLibraryReadsThem)
{
    // Vectors of a mesh, each number written in one of many shapes; the reference value is
    // strtod's, rounded to float as the block stores it.
    const char *const shapes[] = {"%d", "-%d", "%d.%06d", "-%d.%06d", ".%d", "+%d.%d", "%de-%d", "%d.%dE+%d",
                                  "0000000000000000%d.%d", "%d.%09d%09d", "-0.%d", "%d."};
    std::string text = "xof 0302txt 0032\nMesh m {\n 400;\n";
    std::vector<float> want;
    std::mt19937 rng(12345);
    auto next = [&] { return int(rng() % 100000); };
    for (int i = 0; i < 1200; ++i) {
        char b[96];
        snprintf(b, sizeof b, shapes[i % 12], next(), next() % 1000000, next() % 30, next());
        want.push_back(float(strtod(b, nullptr)));
        text += std::string(b) + (i % 3 < 2 ? ";" : i < 1199 ? ";,\n" : ";;\n");
    }
    text += " 0;;\n}\n";
    std::vector<uint8_t> block = FirstBlock(Bytes(text));
    ASSERT_EQ(block.size(), 4 + 4 * want.size() + 4);
    for (size_t i = 0; i < want.size(); ++i) {
        float got;
        memcpy(&got, block.data() + 4 + 4 * i, 4);
        EXPECT_EQ(got, want[i]) << "value " << i;
    }
}
