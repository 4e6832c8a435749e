// What files from other tools look like: template names in another case, objects without
// values, the extension templates undeclared, binary template declarations, compressed
// files of many blocks written by an independent encoder, unknown declared templates.
#include "dx_test_util.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>

using namespace dxtest;
using tavrok::dxfile::OutFormat;
using testsupport::StderrOf;

TEST(DxExporterFiles, TemplateNamesMatchInAnyCaseAndEmptyObjectsHaveAnEmptyBlock)
{
    XFile x;
    // Material only takes TextureFilename children: the restriction is met in another case.
    const std::string text = R"(xof 0302txt 0032
frame Root-Node {
 FRAMETRANSFORMMATRIX { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
  meshMaterialList { 1; 1; 0;;
   material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFileName { "skin.png"; } }
  }
 }
}
Frame { }
)";
    Objects o(x, Bytes(text));
    ASSERT_EQ(o.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(o.tree, (std::vector<std::pair<int, GUID>>{{0, TID_D3DRMFrame},
                                                         {1, TID_D3DRMFrameTransformMatrix},
                                                         {1, TID_D3DRMMesh},
                                                         {2, TID_D3DRMMeshMaterialList},
                                                         {3, TID_D3DRMMaterial},
                                                         {4, TID_D3DRMTextureFilename},
                                                         {0, TID_D3DRMFrame}}));
    ASSERT_EQ(o.all.size(), 7u);
    EXPECT_EQ(NameOf(o.all[0]), "Root-Node");
    DWORD size = 0;
    EXPECT_STREQ(*Block<char *>(o.all[5], &size), "skin.png");
    EXPECT_EQ(size, sizeof(char *));

    // An unnamed frame with no values: a valid pointer to an empty block.
    size = 99;
    EXPECT_NE(Block<void>(o.all[6], &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(NameOf(o.all[6]), "");

    // A file may redeclare a standard template in another case: the later one wins.
    const std::string redeclared = R"(xof 0302txt 0032
template VECTOR { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; }
Vector { 1.0; 2.0; }
)";
    Objects vector(x, Bytes(redeclared));
    ASSERT_EQ(vector.all.size(), 1u);
    Block<void>(vector.all[0], &size);
    EXPECT_EQ(size, 8u);
}

TEST(DxExporterFiles, ExtensionTemplatesServeUndeclaredUseInEveryEncoding)
{
    // Skinning, vertex data, timing and effect objects, none of them declared.
    const std::string text = R"(xof 0303txt 0032
AnimTicksPerSecond { 30; }
Mesh Body {
 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0;;
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;
   EffectInstance { "skin.fx"; EffectParamFloats { "Tint"; 3; 0.5, 0.25, 1.0; }
    EffectParamString { "Map"; "a.png"; } EffectParamDWord { "Passes"; 2; } }
  }
 }
 VertexDuplicationIndices { 3; 3; 0, 1, 2; }
 FVFData { 256; 6; 0, 0, 0, 0, 0, 0; }
 DeclData { 1; 1; 0; 5; 0;; 6; 0, 0, 0, 0, 0, 0; }
 XSkinMeshHeader { 1; 1; 1; }
 SkinWeights { "Hip"; 3; 0, 1, 2; 1.0, 1.0, 1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
}
)";
    // Retained templates alone do not know them.
    XFile plain;
    const std::string err = StderrOf([&] { EXPECT_EQ(ReadAll(plain, Bytes(text)), DXFILEERR_NOTEMPLATE); });
    EXPECT_NE(err.find("AnimTicksPerSecond"), std::string::npos) << err;

    XFile x;
    ASSERT_EQ(x.file->RegisterTemplates(const_cast<unsigned char *>(tavrok::dxfile::kExtensionTemplates),
                                        DWORD(tavrok::dxfile::kExtensionTemplatesSize)),
              DXFILE_OK);
    std::vector<uint8_t> bytes = Bytes(text);
    const tavrok::dxfile::Document doc = LoadDoc(bytes, true);
    const std::string reference = DumpAll(x, bytes);
    for (auto f : {OutFormat::Binary32, OutFormat::Binary64, OutFormat::TextZip, OutFormat::BinaryZip}) {
        SCOPED_TRACE(int(f));
        EXPECT_EQ(DumpAll(x, tavrok::dxfile::Encode(doc, f)), reference);
    }

    Objects o(x, bytes);
    ASSERT_EQ(o.end, DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(o.tree, (std::vector<std::pair<int, GUID>>{{0, DXFILEOBJ_AnimTicksPerSecond},
                                                         {0, TID_D3DRMMesh},
                                                         {1, TID_D3DRMMeshMaterialList},
                                                         {2, TID_D3DRMMaterial},
                                                         {3, DXFILEOBJ_EffectInstance},
                                                         {4, DXFILEOBJ_EffectParamFloats},
                                                         {4, DXFILEOBJ_EffectParamString},
                                                         {4, DXFILEOBJ_EffectParamDWord},
                                                         {1, DXFILEOBJ_VertexDuplicationIndices},
                                                         {1, DXFILEOBJ_FVFData},
                                                         {1, DXFILEOBJ_DeclData},
                                                         {1, DXFILEOBJ_XSkinMeshHeader},
                                                         {1, DXFILEOBJ_SkinWeights}}));
    ASSERT_EQ(o.all.size(), 13u);
    DWORD size = 0;
    const uint8_t *block = Block<uint8_t>(o.all[5], &size);
    ASSERT_EQ(size, sizeof(char *) + 4 + 12);
    EXPECT_EQ(Field<float>(block, sizeof(char *) + 8), 0.25f);  // the second tint value
    // DeclData: one element (FLOAT2 texture coordinates) then six DWORDs of vertex data.
    Block<uint8_t>(o.all[10], &size);
    EXPECT_EQ(size, 4u + 16u + 4u + 24u);
}

TEST(DxExporterFiles, BinaryTemplateDeclarationsAndUnknownDeclaredTemplates)
{
    // A template of an exporter's own, declared and used, around a standard object.
    const std::string text = R"(xof 0302txt 0032
template ExporterInfo { <0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0> STRING tool; DWORD build; array FLOAT scale[2]; }
ExporterInfo { "hand"; 7; 0.5, 2.0; }
Frame Root { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; } }
)";
    XFile x;
    std::vector<uint8_t> bytes = Bytes(text);
    const tavrok::dxfile::Document doc = LoadDoc(bytes, false);
    ASSERT_EQ(doc.declared.size(), 1u);
    const std::string reference = DumpAll(x, bytes);
    EXPECT_NE(reference.find("'Root'"), std::string::npos);
    for (auto f : {OutFormat::Binary32, OutFormat::BinaryZip}) {
        std::vector<uint8_t> binary = tavrok::dxfile::Encode(doc, f);
        // The declaration travels in binary form: the template's name is in the stream and
        // its member type is a token, not text.
        tavrok::dxfile::Bytes body(binary.begin(), binary.end());
        if (f == OutFormat::BinaryZip) {
            body.clear();
            tavrok::dxfile::InflateMszip(binary.data() + 16, binary.data() + binary.size(), body);
        }
        std::string s(body.begin(), body.end());
        EXPECT_NE(s.find("ExporterInfo"), std::string::npos);
        EXPECT_EQ(s.find("template"), std::string::npos);
        EXPECT_EQ(DumpAll(x, binary), reference);
    }
}

TEST(DxExporterFiles, CompressedFilesOfManyBlocksFromAnIndependentEncoder)
{
    // A long text body, cut into 100 blocks of some 4 KiB each deflated on its own with
    // the 32 KiB of text before it as dictionary, so that blocks refer back across
    // several earlier blocks.
    std::string body = "\nMesh Long {\n 25000;\n";
    for (int i = 0; i < 25000; ++i)
        body += std::to_string(i % 13) + ".5;" + std::to_string(i % 7) + ".25;-" + std::to_string(i % 11) + ".0;" +
                (i + 1 < 25000 ? ",\n" : ";\n");
    body += " 1;\n 3;0,1,2;;\n}\n";
    // 100 blocks, the last one shorter.
    const size_t kBlock = body.size() / 100 + 1;
    ASSERT_LT(kBlock, 32768u / 4);
    std::vector<uint8_t> file = Bytes("xof 0303tzip0032");
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(uint8_t(v >> (8 * i)));
    };
    put(uint32_t(body.size() + 16), 4);
    for (size_t off = 0; off < body.size(); off += kBlock) {
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
        size_t dict = std::min<size_t>(off, 32768);
        if (dict) {
            ASSERT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef *>(body.data() + off - dict), uInt(dict)), Z_OK);
        }
        const size_t n = std::min(kBlock, body.size() - off);
        std::vector<uint8_t> out(deflateBound(&z, n) + 8);
        z.next_in = reinterpret_cast<Bytef *>(&body[off]);
        z.avail_in = uInt(n);
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        size_t packed = out.size() - z.avail_out;
        deflateEnd(&z);
        put(uint32_t(n), 2);
        put(uint32_t(packed + 2), 2);
        put('C' | 'K' << 8, 2);
        file.insert(file.end(), out.begin(), out.begin() + long(packed));
    }
    XFile x;
    std::vector<uint8_t> plain = Bytes("xof 0303txt 0032" + body);
    const std::string reference = DumpAll(x, plain);
    EXPECT_NE(reference.find("'Long'"), std::string::npos);
    EXPECT_EQ(DumpAll(x, file), reference);
    tavrok::dxfile::Bytes inflated;
    tavrok::dxfile::InflateMszip(file.data() + 16, file.data() + file.size(), inflated);
    EXPECT_EQ(inflated.size(), body.size());

    // The stored size counts the 16 header bytes: one that disagrees is refused.
    file[16] ^= 0x40;
    const std::string err = StderrOf([&] { EXPECT_EQ(ReadAll(x, file), DXFILEERR_BADFILE); });
    EXPECT_NE(err.find("declares"), std::string::npos) << err;
}

TEST(DxExporterFiles, SpecialValuesPrintedByTheMicrosoftCLibraryAreNumbers)
{
    // "1.#QNAN0" is not "1." and a comment: the values after it on the line still count.
    const std::string text = "xof 0302txt 0032\n"
                             "Vector { 1.#QNAN0; -1.#IND00; 2.5; }\n"
                             "Vector { 1.#INF00; -1.#INF00; 1.0; } # a real comment\n"
                             "Vector { 3.0; 4.0; 5.0; }\n";
    XFile x;
    Objects o(x, Bytes(text));
    ASSERT_EQ(o.all.size(), 3u);
    DWORD size = 0;
    const float *v = Block<float>(o.all[0], &size);
    ASSERT_EQ(size, 12u);
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_EQ(v[2], 2.5f);
    v = Block<float>(o.all[1], &size);
    EXPECT_TRUE(std::isinf(v[0]) && v[0] > 0);
    EXPECT_TRUE(std::isinf(v[1]) && v[1] < 0);
    EXPECT_EQ(v[2], 1.0f);
    EXPECT_EQ(Block<float>(o.all[2], &size)[0], 3.0f);

    // A '#' after a number that is no special value still starts a comment.
    Objects comment(x, Bytes("xof 0302txt 0032\nVector { 1.; 2.#XYZ\n ; 3.0; }\n"));
    ASSERT_EQ(comment.all.size(), 1u);
    v = Block<float>(comment.all[0], &size);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], 3.0f);
}
