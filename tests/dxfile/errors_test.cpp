// Malformed files: the failing call returns the library's code and writes one line that
// names the file, the position and what was expected; nothing is read out of bounds.
#include "dx_test_util.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace dxtest;
using tavrok::dxfile::OutFormat;
using testsupport::CountLines;

namespace {

struct Outcome {
    HRESULT code = S_OK;     // first failure, or DXFILEERR_NOMOREOBJECTS
    int objects = 0;         // top-level objects read before it
    std::string stderrText;
};

Outcome Read(const std::vector<uint8_t> &bytes)
{
    XFile x;
    Outcome o;
    testing::internal::CaptureStderr();
    IDirectXFileEnumObject *e = nullptr;
    o.code = x.Open(bytes, &e);
    if (SUCCEEDED(o.code)) {
        IDirectXFileData *d = nullptr;
        while (SUCCEEDED(o.code = e->GetNextDataObject(&d))) {
            std::string ignored;
            Dump(d, 0, ignored);  // walk children and data too
            d->Release();
            ++o.objects;
        }
        // A failure is reported once; asking again returns it without another line.
        HRESULT again = e->GetNextDataObject(&d);
        EXPECT_EQ(again, o.code);
        e->Release();
    }
    o.stderrText = testing::internal::GetCapturedStderr();
    return o;
}

}  // namespace

TEST(DxErrors, MalformedFilesGiveTheirCodeAndOneLine)
{
    struct Case {
        const char *text;
        HRESULT code;
        const char *where;   // position part of the line
        const char *reason;  // part of the reason
    } cases[] = {
        {"", DXFILEERR_BADFILE, "byte 0", "16-byte header"},
        {"xof 0302tx", DXFILEERR_BADFILE, "byte 10", "16-byte header"},
        {"abc 0302txt 0032", DXFILEERR_BADFILETYPE, "byte 0", "\"xof \""},
        {"xof 0402txt 0032", DXFILEERR_BADFILEVERSION, "byte 4", "major version 03"},
        {"xof 03a2txt 0032", DXFILEERR_BADFILEVERSION, "byte 4", "four-digit version"},
        {"xof 0302cmp 0032", DXFILEERR_BADFILECOMPRESSIONTYPE, "byte 8", "\"cmp \""},
        {"xof 0302txt 0016", DXFILEERR_BADFILEFLOATSIZE, "byte 12", "0032 or 0064"},
        {"xof 0302txt 0032\nFrame A {\n FrameTransformMatrix { 1, 2; }\n}", DXFILEERR_PARSEERROR, ":3:",
         "expected a number, found '}'"},
        {"xof 0302txt 0032\nFrame A {\n\n", DXFILEERR_PARSEERROR, ":4:", "found the end of the file"},
        {"xof 0302txt 0032\nFrame A { Vector { 1; 2; \"three\"; } }", DXFILEERR_PARSEERROR, ":2:",
         "expected a number, found string \"three\""},
        {"xof 0302txt 0032\nTextureFilename { 12; }", DXFILEERR_PARSEERROR, ":2:", "expected a quoted string"},
        {"xof 0302txt 0032\nTextureFilename { \"open", DXFILEERR_PARSEERROR, ":2:", "string not closed"},
        {"xof 0302txt 0032\nFrame A { @ }", DXFILEERR_PARSEERROR, ":2:", "unexpected character 0x40"},
        {"xof 0302txt 0032\nFrame A { { } }", DXFILEERR_PARSEERROR, ":2:", "name or GUID in a reference"},
        {"xof 0302txt 0032\nFrame A { <1234> }", DXFILEERR_PARSEERROR, ":2:", "malformed GUID"},
        {"xof 0302txt 0032\nMesh { 99999999999; }", DXFILEERR_PARSEERROR, ":2:", "malformed integer"},
        {"xof 0302txt 0032\nBogus { }", DXFILEERR_NOTEMPLATE, ":2:", "'Bogus' is not a known template"},
        {"xof 0302txt 0032\ntemplate T { DWORD a; }", DXFILEERR_PARSEERROR, ":2:", "template's GUID"},
        {"xof 0302txt 0032\ntemplate T { <00000000-0000-0000-0000-000000000001> Nope a; }", DXFILEERR_NOTEMPLATE,
         ":2:", "member type 'Nope'"},
        {"xof 0302txt 0032\n}", DXFILEERR_PARSEERROR, ":2:", "expected a template or a data object"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Outcome o = Read(Bytes(c.text));
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(CountLines(o.stderrText), 1) << o.stderrText;
        EXPECT_EQ(o.stderrText.rfind("dxfile: <memory>:", 0), 0u) << o.stderrText;
        EXPECT_NE(o.stderrText.find(c.where), std::string::npos) << o.stderrText;
        EXPECT_NE(o.stderrText.find(c.reason), std::string::npos) << o.stderrText;
    }

    // A file that is not there has a code of its own and a line with the name as given.
    XFile x;
    IDirectXFileEnumObject *e = nullptr;
    std::string said = testsupport::StderrOf([&] {
        EXPECT_EQ(x.file->CreateEnumObject((void *)"no_such_dir\\Nothing.x", DXFILELOAD_FROMFILE, &e),
                  DXFILEERR_FILENOTFOUND);
    });
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_EQ(said.rfind("dxfile: no_such_dir\\Nothing.x", 0), 0u) << said;
}

TEST(DxErrors, ObjectsBeforeAnErrorAreStillHandedOut)
{
    Outcome o = Read(Bytes("xof 0302txt 0032\nFrame A { }\nFrame B { }\nFrame C { Vector { 1; } }\nFrame D { }"));
    EXPECT_EQ(o.objects, 2);
    EXPECT_EQ(o.code, DXFILEERR_PARSEERROR);
    EXPECT_NE(o.stderrText.find(":4:"), std::string::npos) << o.stderrText;
}

TEST(DxErrors, BinaryAndCompressedDamageIsCaught)
{
    auto file = [](const char *header, std::vector<uint8_t> body) {
        std::vector<uint8_t> f = Bytes(header);
        f.insert(f.end(), body.begin(), body.end());
        return f;
    };
    // "Frame {" and an integer list of `n` entries with one value after it.
    auto list = [&](uint8_t n3, uint8_t n) {
        return file("xof 0302bin 0032", {1, 0, 5, 0, 0, 0, 'F', 'r', 'a', 'm', 'e', 10, 0, 6, 0, n, 0, 0, n3, 1, 0, 0, 0});
    };
    std::vector<uint8_t> zip = tavrok::dxfile::DeflateMszip(Bytes(" Frame A { }"));
    std::vector<uint8_t> good = file("xof 0303tzip0032", zip);
    ASSERT_EQ(Read(good).code, DXFILEERR_NOMOREOBJECTS);
    auto damaged = [&](size_t at, int by, bool fromThereOn = false) {
        std::vector<uint8_t> f = good;
        for (size_t i = at; i < (fromThereOn ? f.size() : at + 1); ++i)
            f[i] = fromThereOn ? 0xff : uint8_t(f[i] + by);
        return f;
    };
    struct Case {
        std::vector<uint8_t> bytes;
        HRESULT code;
        const char *said;
    } cases[] = {
        {file("xof 0302bin 0032", {1, 0, 0xff, 0xff, 0xff, 0x7f, 'F'}), DXFILEERR_PARSEERROR,
         "byte 16: name of 2147483647 entries runs past the end"},
        {list(0x40, 0), DXFILEERR_PARSEERROR, "integer list of 1073741824 entries"},
        // Fewer bytes than the entries take, though more than there are entries.
        {list(0, 2), DXFILEERR_PARSEERROR, "integer list of 2 entries runs past the end"},
        {file("xof 0302bin 0032", {99, 0}), DXFILEERR_PARSEERROR, "unknown token code 99"},
        {damaged(16 + 4 + 4, 'X' - good[16 + 4 + 4]), DXFILEERR_BADFILE, "compressed block 0: expected \"CK\""},
        {damaged(16 + 4, 1), DXFILEERR_BADFILE, "does not inflate to"},
        {damaged(16 + 10, 0, true), DXFILEERR_BADFILE, ""},
        {damaged(16, 7), DXFILEERR_BADFILE, "declares"},
    };
    for (const Case &c : cases) {
        Outcome o = Read(c.bytes);
        EXPECT_EQ(o.code, c.code) << c.said;
        EXPECT_NE(o.stderrText.find(c.said), std::string::npos) << o.stderrText;
    }
}

TEST(DxErrors, EveryTruncationOfEveryEncodingFailsCleanly)
{
    // Cutting a file anywhere must give an error (or fewer objects), one line at most, and
    // no out-of-bounds read (the sanitizer builds run this too).
    std::vector<uint8_t> original = ReadFile(TestFile("skinned.x"));
    const tavrok::dxfile::Document doc = LoadDoc(original, false);
    for (auto f :
         {OutFormat::Binary32, OutFormat::Binary64, OutFormat::BinaryZip, OutFormat::TextZip, OutFormat::Text}) {
        std::vector<uint8_t> full = tavrok::dxfile::Encode(doc, f);
        Outcome whole = Read(full);
        ASSERT_EQ(whole.code, DXFILEERR_NOMOREOBJECTS);
        ASSERT_EQ(whole.objects, 4);
        int failures = 0;
        for (size_t n = 0; n < full.size(); n += 1 + n / 512) {
            std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
            Outcome o = Read(cut);
            EXPECT_LE(CountLines(o.stderrText), 1) << n;
            if (o.code != DXFILEERR_NOMOREOBJECTS || o.objects < 4)
                ++failures;
            // Whatever was handed out before the cut is a prefix of the whole.
            EXPECT_LE(o.objects, 4);
        }
        EXPECT_GT(failures, 0);
    }
}
