// Template registration: the generated retained-mode block, templates declared in files,
// openness and restrictions, arrays sized by earlier members.
#include "dx_test_util.h"

#include "support/stderr_capture.h"

#include <gtest/gtest.h>

using namespace dxtest;
using testsupport::StderrOf;

TEST(DxTemplates, RetainedBlockIsBinaryAndHoldsEveryStandardTemplate)
{
    EXPECT_EQ(std::string(reinterpret_cast<char *>(D3DRM_XTEMPLATES), 16), "xof 0302bin 0064");
    EXPECT_EQ(D3DRM_XTEMPLATE_BYTES, 3278);

    // One object of each retained-mode template that carries data, read with the block
    // registered and nothing declared in the file.
    const char *objects =
        "xof 0302txt 0032\n"
        "Header { 1; 0; 1; }\n"
        "Vector { 1.0; 2.0; 3.0; }\n"
        "Coords2d { 0.5; 0.5; }\n"
        "Matrix4x4 { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
        "ColorRGBA { 1;1;1;1; }\n"
        "ColorRGB { 1;1;1; }\n"
        "IndexedColor { 3; 1;0;0;1;; }\n"
        "Boolean { 1; }\n"
        "Boolean2d { 1; 0; }\n"
        "MaterialWrap { 0; 1; }\n"
        "TextureFilename { \"t.bmp\"; }\n"
        "Material M { 1;1;1;1;; 2; 0;0;0;; 0;0;0;; TextureFilename { \"m.bmp\"; } }\n"
        "MeshFace { 3; 0,1,2;; }\n"
        "MeshFaceWraps { 1; 1;0;; }\n"
        "MeshTextureCoords { 1; 0.0;1.0;; }\n"
        "MeshNormals { 1; 0;1;0;; 1; 3;0,0,0;; }\n"
        "MeshVertexColors { 1; 0;1;1;1;1;;; }\n"
        "Mesh Tri { 3; 0;0;0;,1;0;0;,0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { M } } }\n"
        "FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
        "Frame F { { Tri } }\n"
        "FloatKeys { 2; 1.0, 2.0; }\n"
        "TimedFloatKeys { 5; 1; 3.0;; }\n"
        "AnimationKey { 2; 1; 0; 3; 1,2,3;;; }\n"
        "AnimationOptions { 1; 0; }\n"
        "AnimationSet S { Animation { { F } AnimationKey { 1; 1; 0; 3; 1,1,1;;; } } }\n"
        "Url { 1; \"file:a\"; }\n"
        "ProgressiveMesh { Url { 0;; } }\n"
        "Guid { 1; 2; 3; 1,2,3,4,5,6,7,8; }\n"
        "PropertyBag { StringProperty { \"k\"; \"v\"; } }\n"
        "ExternalVisual { 1; 2; 3; 1,2,3,4,5,6,7,8;; Frame { } }\n"
        "RightHanded { 1; }\n";
    XFile x;
    std::string dump = DumpAll(x, Bytes(objects));
    EXPECT_NE(dump.find("end " + std::to_string(DXFILEERR_NOMOREOBJECTS)), std::string::npos) << dump;
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 42) << dump;  // 41 objects and references, and the end

    // Without the block nothing is known.
    IDirectXFile *bare = nullptr;
    ASSERT_EQ(DirectXFileCreate(&bare), DXFILE_OK);
    std::vector<uint8_t> bytes = Bytes("xof 0302txt 0032 Frame F { }");
    DXFILELOADMEMORY mem{bytes.data(), DWORD(bytes.size())};
    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(bare->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e), DXFILE_OK);
    IDirectXFileData *d = nullptr;
    std::string err = StderrOf([&] { EXPECT_EQ(e->GetNextDataObject(&d), DXFILEERR_NOTEMPLATE); });
    EXPECT_NE(err.find("'Frame' is not a known template"), std::string::npos) << err;
    e->Release();
    bare->Release();
}

TEST(DxTemplates, SkinningTemplatesMustBeDeclaredByTheFile)
{
    XFile x;
    const std::string body = "Mesh { 0;; 0;; XSkinMeshHeader { 1; 1; 0; } }";
    StderrOf([&] { EXPECT_EQ(ReadAll(x, "xof 0302txt 0032 " + body), DXFILEERR_NOTEMPLATE); });
    const std::string decl =
        "template XSkinMeshHeader { <3CF169CE-FF7C-44AB-93C0-F78F62D172E2> WORD a; WORD b; WORD c; }";
    EXPECT_EQ(ReadAll(x, "xof 0302txt 0032 " + decl + body), DXFILEERR_NOMOREOBJECTS);
    // A file's templates stay with that file: the next file does not see them.
    StderrOf([&] { EXPECT_EQ(ReadAll(x, "xof 0302txt 0032 " + body), DXFILEERR_NOTEMPLATE); });
    // Registering them makes them known to every later file.
    std::string block = "xof 0302txt 0032 " + decl;
    ASSERT_EQ(x.file->RegisterTemplates(block.data(), DWORD(block.size())), DXFILE_OK);
    EXPECT_EQ(ReadAll(x, "xof 0302txt 0032 " + body), DXFILEERR_NOMOREOBJECTS);
}

TEST(DxTemplates, ChildrenFollowOpennessAndRestrictions)
{
    XFile x;
    const std::string decls =
        "xof 0302txt 0032\n"
        "template Closed { <00000000-0000-0000-0000-0000000000C1> DWORD a; }\n"
        "template OnlyVectors { <00000000-0000-0000-0000-0000000000C2> [Vector] }\n"
        "template ByGuid { <00000000-0000-0000-0000-0000000000C3> [Anything <3D82AB5E-62DA-11CF-AB39-0020AF71E433>] }\n";
    EXPECT_EQ(ReadAll(x, decls + "OnlyVectors { Vector { 1;2;3; } Vector { 4;5;6; } }"), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(ReadAll(x, decls + "ByGuid { Vector { 1;2;3; } }"), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(ReadAll(x, decls + "Frame { Closed { 1; } OnlyVectors { } }"), DXFILEERR_NOMOREOBJECTS);

    struct Bad {
        const char *object;
        const char *reason;
    } bad[] = {
        {"Closed { 1; Vector { 1;2;3; } }", "template Closed does not take a child Vector"},
        {"Closed { 1; { Something } }", "template Closed takes no child objects"},
        {"OnlyVectors { Coords2d { 1; 2; } }", "template OnlyVectors does not take a child Coords2d"},
        {"AnimationSet { Frame { } }", "template AnimationSet does not take a child Frame"},
    };
    for (const Bad &b : bad) {
        std::string err = StderrOf([&] { EXPECT_EQ(ReadAll(x, decls + b.object), DXFILEERR_PARSEERROR) << b.object; });
        EXPECT_NE(err.find(b.reason), std::string::npos) << err;
    }
}

TEST(DxTemplates, ArraySizesComeFromEarlierMembersOfTheSameInstance)
{
    XFile x;
    const std::string decls =
        "xof 0302txt 0032\n"
        "template Row { <00000000-0000-0000-0000-0000000000D1> WORD n; array UCHAR v[n]; }\n"
        "template Table { <00000000-0000-0000-0000-0000000000D2> DWORD rows; array Row r[rows]; DWORD tail; }\n";
    const std::vector<uint8_t> expected = {3, 0, 0, 0, 2, 0, 1, 2, 0, 0, 1, 0, 9, 77, 0, 0, 0};
    EXPECT_EQ(FirstBlock(Bytes(decls + "Table { 3; 2; 1,2;, 0;;, 1; 9;; 77; }")), expected);

    // A size that names a later member, a float, or nothing is refused at declaration.
    for (const char *t : {"template T { <00000000-0000-0000-0000-0000000000D3> array DWORD v[n]; DWORD n; }",
                          "template T { <00000000-0000-0000-0000-0000000000D3> FLOAT n; array DWORD v[n]; }"}) {
        std::string err =
            StderrOf([&] { EXPECT_EQ(ReadAll(x, std::string("xof 0302txt 0032 ") + t), DXFILEERR_BADARRAYSIZE) << t; });
        EXPECT_NE(err.find("array size 'n'"), std::string::npos) << err;
    }
    // Fewer values than the size asks for is a parse error, not a short block.
    StderrOf([&] { EXPECT_EQ(ReadAll(x, decls + "Table { 2; 2; 1,2;; }"), DXFILEERR_PARSEERROR); });
}
