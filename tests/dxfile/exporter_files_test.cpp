// What files from other tools look like: template names in another case, objects without
// values, the extension templates undeclared, binary template declarations, compressed
// files of many blocks written by an independent encoder, unknown declared templates.
#include "dx_test_util.h"
#include "xwriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>

using namespace dxtest;

namespace {

// Opens `bytes` and reads every object; returns the first failing code (or the end code).
HRESULT ReadAll(XFile &x, const std::vector<uint8_t> &bytes, std::vector<IDirectXFileData *> *objects = nullptr)
{
    IDirectXFileEnumObject *e = nullptr;
    HRESULT hr = x.Open(bytes, &e);
    if (FAILED(hr))
        return hr;
    IDirectXFileData *d = nullptr;
    while (SUCCEEDED(hr = e->GetNextDataObject(&d))) {
        if (objects)
            objects->push_back(d);
        else
            d->Release();
    }
    e->Release();
    return hr;
}

const GUID *TypeOf(IDirectXFileData *d)
{
    const GUID *t = nullptr;
    d->GetType(&t);
    return t;
}

// The data children of an object, in order (references left out).
std::vector<IDirectXFileData *> Children(IDirectXFileData *d)
{
    std::vector<IDirectXFileData *> out;
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData *cd = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&cd)))
            out.push_back(cd);
        child->Release();
    }
    return out;
}

void ReleaseAll(std::vector<IDirectXFileData *> &v)
{
    for (IDirectXFileData *d : v)
        d->Release();
    v.clear();
}

}  // namespace

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
    std::vector<IDirectXFileData *> top;
    ASSERT_EQ(ReadAll(x, Bytes(text), &top), DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(top[0]), TID_D3DRMFrame));
    EXPECT_EQ(NameOf(top[0]), "Root-Node");
    std::vector<IDirectXFileData *> inFrame = Children(top[0]);
    ASSERT_EQ(inFrame.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(inFrame[0]), TID_D3DRMFrameTransformMatrix));
    EXPECT_TRUE(IsEqualGUID(*TypeOf(inFrame[1]), TID_D3DRMMesh));
    std::vector<IDirectXFileData *> inMesh = Children(inFrame[1]);
    ASSERT_EQ(inMesh.size(), 1u);
    std::vector<IDirectXFileData *> inList = Children(inMesh[0]);
    ASSERT_EQ(inList.size(), 1u);
    std::vector<IDirectXFileData *> inMaterial = Children(inList[0]);
    ASSERT_EQ(inMaterial.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(inMaterial[0]), TID_D3DRMTextureFilename));
    DWORD size = 0;
    char **name = nullptr;
    ASSERT_EQ(inMaterial[0]->GetData(nullptr, &size, (void **)&name), DXFILE_OK);
    ASSERT_EQ(size, sizeof(char *));
    EXPECT_STREQ(*name, "skin.png");

    // An unnamed frame with no values: a valid pointer to an empty block.
    void *data = nullptr;
    size = 99;
    ASSERT_EQ(top[1]->GetData(nullptr, &size, &data), DXFILE_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(NameOf(top[1]), "");
    for (auto *v : {&inMaterial, &inList, &inMesh, &inFrame, &top})
        ReleaseAll(*v);

    // A file may redeclare a standard template in another case: the later one wins.
    const std::string redeclared = R"(xof 0302txt 0032
template VECTOR { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; }
Vector { 1.0; 2.0; }
)";
    ASSERT_EQ(ReadAll(x, Bytes(redeclared), &top), DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(top[0]->GetData(nullptr, &size, &data), DXFILE_OK);
    EXPECT_EQ(size, 8u);
    ReleaseAll(top);
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadAll(plain, Bytes(text)), DXFILEERR_NOTEMPLATE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("AnimTicksPerSecond"), std::string::npos);

    XFile x;
    ASSERT_EQ(x.file->RegisterTemplates(const_cast<unsigned char *>(tavrok::dxfile::kExtensionTemplates),
                                        DWORD(tavrok::dxfile::kExtensionTemplatesSize)),
              DXFILE_OK);
    tavrok::dxfile::TemplateSet templates;
    tavrok::dxfile::AddStandardTemplates(templates, true);
    tavrok::dxfile::Document doc;
    std::vector<uint8_t> bytes = Bytes(text);
    tavrok::dxfile::LoadDocument(bytes.data(), bytes.size(), templates, doc);
    const std::string reference = DumpAll(x, bytes);
    for (auto f : {tavrok::dxfile::OutFormat::Binary32, tavrok::dxfile::OutFormat::Binary64,
                   tavrok::dxfile::OutFormat::TextZip, tavrok::dxfile::OutFormat::BinaryZip}) {
        SCOPED_TRACE(int(f));
        EXPECT_EQ(DumpAll(x, tavrok::dxfile::Encode(doc, f)), reference);
    }

    std::vector<IDirectXFileData *> top;
    ASSERT_EQ(ReadAll(x, bytes, &top), DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(top[0]), DXFILEOBJ_AnimTicksPerSecond));
    std::vector<IDirectXFileData *> inMesh = Children(top[1]);
    ASSERT_EQ(inMesh.size(), 6u);
    const GUID *expected[] = {&TID_D3DRMMeshMaterialList, &DXFILEOBJ_VertexDuplicationIndices, &DXFILEOBJ_FVFData,
                              &DXFILEOBJ_DeclData, &DXFILEOBJ_XSkinMeshHeader, &DXFILEOBJ_SkinWeights};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(IsEqualGUID(*TypeOf(inMesh[i]), *expected[i])) << i;
    std::vector<IDirectXFileData *> inList = Children(inMesh[0]);
    std::vector<IDirectXFileData *> inMaterial = Children(inList.at(0));
    ASSERT_EQ(inMaterial.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(inMaterial[0]), DXFILEOBJ_EffectInstance));
    std::vector<IDirectXFileData *> params = Children(inMaterial[0]);
    ASSERT_EQ(params.size(), 3u);
    EXPECT_TRUE(IsEqualGUID(*TypeOf(params[0]), DXFILEOBJ_EffectParamFloats));
    EXPECT_TRUE(IsEqualGUID(*TypeOf(params[1]), DXFILEOBJ_EffectParamString));
    EXPECT_TRUE(IsEqualGUID(*TypeOf(params[2]), DXFILEOBJ_EffectParamDWord));
    DWORD size = 0;
    uint8_t *block = nullptr;
    ASSERT_EQ(params[0]->GetData(nullptr, &size, (void **)&block), DXFILE_OK);
    ASSERT_EQ(size, sizeof(char *) + 4 + 12);
    float tint[3];
    memcpy(tint, block + sizeof(char *) + 4, 12);
    EXPECT_EQ(tint[1], 0.25f);
    // DeclData: one element (FLOAT2 texture coordinates) then six DWORDs of vertex data.
    ASSERT_EQ(inMesh[3]->GetData(nullptr, &size, (void **)&block), DXFILE_OK);
    EXPECT_EQ(size, 4u + 16u + 4u + 24u);
    for (auto *v : {&params, &inMaterial, &inList, &inMesh, &top})
        ReleaseAll(*v);
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
    tavrok::dxfile::TemplateSet templates;
    tavrok::dxfile::AddStandardTemplates(templates, false);
    tavrok::dxfile::Document doc;
    tavrok::dxfile::LoadDocument(bytes.data(), bytes.size(), templates, doc);
    ASSERT_EQ(doc.declared.size(), 1u);
    const std::string reference = DumpAll(x, bytes);
    EXPECT_NE(reference.find("'Root'"), std::string::npos);
    for (auto f : {tavrok::dxfile::OutFormat::Binary32, tavrok::dxfile::OutFormat::BinaryZip}) {
        std::vector<uint8_t> binary = tavrok::dxfile::Encode(doc, f);
        // The declaration travels in binary form: the template's name is in the stream and
        // its member type is a token, not text.
        std::vector<uint8_t> body = binary;
        if (f == tavrok::dxfile::OutFormat::BinaryZip) {
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
    uint32_t total = uint32_t(body.size() + 16);
    for (int i = 0; i < 4; ++i)
        file.push_back(uint8_t(total >> (8 * i)));
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
        file.push_back(uint8_t(n));
        file.push_back(uint8_t(n >> 8));
        file.push_back(uint8_t(packed + 2));
        file.push_back(uint8_t((packed + 2) >> 8));
        file.push_back('C');
        file.push_back('K');
        file.insert(file.end(), out.begin(), out.begin() + long(packed));
    }
    XFile x;
    std::vector<uint8_t> plain = Bytes("xof 0303txt 0032" + body);
    const std::string reference = DumpAll(x, plain);
    EXPECT_NE(reference.find("'Long'"), std::string::npos);
    EXPECT_EQ(DumpAll(x, file), reference);
    std::vector<uint8_t> inflated;
    tavrok::dxfile::InflateMszip(file.data() + 16, file.data() + file.size(), inflated);
    EXPECT_EQ(inflated.size(), body.size());

    // The stored size counts the 16 header bytes: one that disagrees is refused.
    file[16] ^= 0x40;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadAll(x, file), DXFILEERR_BADFILE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("declares"), std::string::npos);
}

TEST(DxExporterFiles, SpecialValuesPrintedByTheMicrosoftCLibraryAreNumbers)
{
    // "1.#QNAN0" is not "1." and a comment: the values after it on the line still count.
    const std::string text = "xof 0302txt 0032\n"
                             "Vector { 1.#QNAN0; -1.#IND00; 2.5; }\n"
                             "Vector { 1.#INF00; -1.#INF00; 1.0; } # a real comment\n"
                             "Vector { 3.0; 4.0; 5.0; }\n";
    XFile x;
    std::vector<IDirectXFileData *> top;
    ASSERT_EQ(ReadAll(x, Bytes(text), &top), DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(top.size(), 3u);
    float *v = nullptr;
    DWORD size = 0;
    ASSERT_EQ(top[0]->GetData(nullptr, &size, (void **)&v), DXFILE_OK);
    ASSERT_EQ(size, 12u);
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_EQ(v[2], 2.5f);
    ASSERT_EQ(top[1]->GetData(nullptr, &size, (void **)&v), DXFILE_OK);
    EXPECT_TRUE(std::isinf(v[0]) && v[0] > 0);
    EXPECT_TRUE(std::isinf(v[1]) && v[1] < 0);
    EXPECT_EQ(v[2], 1.0f);
    ASSERT_EQ(top[2]->GetData(nullptr, &size, (void **)&v), DXFILE_OK);
    EXPECT_EQ(v[0], 3.0f);
    ReleaseAll(top);

    // A '#' after a number that is no special value still starts a comment.
    ASSERT_EQ(ReadAll(x, Bytes("xof 0302txt 0032\nVector { 1.; 2.#XYZ\n ; 3.0; }\n"), &top), DXFILEERR_NOMOREOBJECTS);
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(top[0]->GetData(nullptr, &size, (void **)&v), DXFILE_OK);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], 3.0f);
    ReleaseAll(top);
}
