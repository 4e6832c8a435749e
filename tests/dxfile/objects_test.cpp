// Object identity: names, GUIDs, interfaces, references, lookups and lifetimes.
#include "dx_test_util.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

using namespace dxtest;
using testsupport::CountLines;
using testsupport::StderrOf;

namespace {

IDirectXFileData *Next(IDirectXFileEnumObject *e)
{
    IDirectXFileData *d = nullptr;
    EXPECT_EQ(e->GetNextDataObject(&d), DXFILE_OK);
    return d;
}

IDirectXFileObject *Child(IDirectXFileData *d)
{
    IDirectXFileObject *c = nullptr;
    EXPECT_EQ(d->GetNextObject(&c), DXFILE_OK);
    return c;
}

}  // namespace

TEST(DxObjects, GetNameAsksForTheSizeFirst)
{
    XFile x;
    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(x.Open(Bytes("xof 0302txt 0032 Frame Spine_01 { } Frame { }"), &e), DXFILE_OK);
    IDirectXFileData *named = Next(e), *unnamed = Next(e);

    DWORD len = 0;
    ASSERT_EQ(named->GetName(nullptr, &len), DXFILE_OK);
    EXPECT_EQ(len, 9u);  // "Spine_01" and its terminator
    char small[4] = "xyz";
    DWORD smallLen = sizeof small;
    EXPECT_EQ(named->GetName(small, &smallLen), DXFILEERR_BADVALUE);
    char buf[32];
    DWORD bufLen = sizeof buf;
    ASSERT_EQ(named->GetName(buf, &bufLen), DXFILE_OK);
    EXPECT_STREQ(buf, "Spine_01");
    EXPECT_EQ(bufLen, 9u);
    EXPECT_EQ(named->GetName(buf, nullptr), DXFILEERR_BADVALUE);

    len = 99;
    ASSERT_EQ(unnamed->GetName(nullptr, &len), DXFILE_OK);
    EXPECT_EQ(len, 0u);
    named->Release();
    unnamed->Release();
    e->Release();
}

TEST(DxObjects, InterfacesAnswerByKind)
{
    XFile x;
    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(x.Open(Bytes("xof 0302txt 0032 Material Skin { 1;0.8;1;1;; 0; 0;0;0;; 0;0;0;;"
                           " TextureFilename { \"skin.bmp\"; } } Frame Root { { Skin } }"),
                     &e),
              DXFILE_OK);
    IDirectXFileData *material = Next(e);
    IDirectXFileData *root = Next(e);
    // Data object: IUnknown, IDirectXFileObject, IDirectXFileData, nothing else.
    void *p = nullptr;
    EXPECT_EQ(material->QueryInterface(IID_IUnknown, &p), S_OK);
    static_cast<IUnknown *>(p)->Release();
    EXPECT_EQ(material->QueryInterface(IID_IDirectXFileObject, &p), S_OK);
    static_cast<IUnknown *>(p)->Release();
    EXPECT_EQ(material->QueryInterface(IID_IDirectXFileDataReference, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(material->QueryInterface(IID_IDirectXFileBinary, &p), E_NOINTERFACE);
    EXPECT_EQ(material->QueryInterface(IID_IDirectXFile, &p), E_NOINTERFACE);

    // The reference, the frame's only child.
    IDirectXFileObject *c = nullptr, *refObj = Child(root);
    IDirectXFileDataReference *ref = nullptr;
    EXPECT_EQ(refObj->QueryInterface(IID_IDirectXFileData, &p), E_NOINTERFACE);
    ASSERT_EQ(refObj->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref), S_OK);
    EXPECT_EQ(NameOf(ref), "Skin");
    IDirectXFileData *resolved = nullptr;
    ASSERT_EQ(ref->Resolve(&resolved), DXFILE_OK);
    const GUID *type = nullptr;
    resolved->GetType(&type);
    EXPECT_TRUE(IsEqualGUID(*type, TID_D3DRMMaterial));
    EXPECT_EQ(root->GetNextObject(&c), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(c, nullptr);

    // Everything handed out stays usable after the enumerator and the parents are gone.
    for (IUnknown *u : std::initializer_list<IUnknown *>{e, material, root, refObj, ref})
        u->Release();
    DWORD size = 0;
    float *color = nullptr;
    ASSERT_EQ(resolved->GetData(nullptr, &size, (void **)&color), DXFILE_OK);
    EXPECT_EQ(color[1], 0.8f);
    IDirectXFileObject *tex = Child(resolved);
    IDirectXFileData *texData = nullptr;
    ASSERT_EQ(tex->QueryInterface(IID_IDirectXFileData, (void **)&texData), S_OK);
    resolved->Release();
    tex->Release();
    char **name = nullptr;
    ASSERT_EQ(texData->GetData(nullptr, &size, (void **)&name), DXFILE_OK);
    EXPECT_STREQ(*name, "skin.bmp");
    EXPECT_EQ(texData->AddRef(), 2u);
    EXPECT_EQ(texData->Release(), 1u);
    EXPECT_EQ(texData->Release(), 0u);
}

TEST(DxObjects, ReferencesResolveByNameOrGuidAndLookupsFindTopLevelObjects)
{
    XFile x;
    std::string dump = DumpAll(x, ReadFile(TestFile("features.x")));
    // By name, by GUID alone, to a nested frame, and to a mesh defined inside another frame.
    EXPECT_NE(dump.find("ref 'FirstGrid' 00000000-0000-0000-0000-000000000000 -> FirstGrid"), std::string::npos) << dump;
    EXPECT_NE(dump.find("ref '' DEADBEEF-0000-1111-2222-333344445555 -> FirstGrid"), std::string::npos);
    EXPECT_NE(dump.find("ref 'Inner' 00000000-0000-0000-0000-000000000000 -> Inner"), std::string::npos);
    EXPECT_NE(dump.find("ref 'Empty' 00000000-0000-0000-0000-000000000000 -> Empty"), std::string::npos);

    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(x.Open(ReadFile(TestFile("features.x")), &e), DXFILE_OK);
    IDirectXFileData *d = nullptr;
    ASSERT_EQ(e->GetDataObjectByName("Linker", &d), DXFILE_OK);
    EXPECT_EQ(NameOf(d), "Linker");
    d->Release();
    const GUID id = {0xDEADBEEF, 0x0000, 0x1111, {0x22, 0x22, 0x33, 0x33, 0x44, 0x44, 0x55, 0x55}};
    ASSERT_EQ(e->GetDataObjectById(id, &d), DXFILE_OK);
    EXPECT_EQ(NameOf(d), "FirstGrid");
    GUID got{};
    d->GetId(&got);
    EXPECT_TRUE(IsEqualGUID(got, id));
    d->Release();
    EXPECT_EQ(e->GetDataObjectByName("Inner", &d), DXFILEERR_NOTFOUND);  // not top level
    EXPECT_EQ(d, nullptr);
    // The lookups read ahead; enumeration still starts from the first object.
    ASSERT_EQ(e->GetNextDataObject(&d), DXFILE_OK);
    const GUID *type = nullptr;
    d->GetType(&type);
    EXPECT_TRUE(IsEqualGUID(*type, TID_DXFILEHeader));
    d->Release();
    e->Release();
}

TEST(DxObjects, UnresolvableReferenceFailsWithOneDiagnostic)
{
    XFile x;
    IDirectXFileEnumObject *e = nullptr;
    ASSERT_EQ(x.Open(Bytes("xof 0302txt 0032 Frame A { { Missing } }"), &e), DXFILE_OK);
    IDirectXFileData *a = Next(e);
    IDirectXFileObject *c = Child(a);
    IDirectXFileDataReference *ref = nullptr;
    ASSERT_EQ(c->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref), S_OK);
    IDirectXFileData *target = reinterpret_cast<IDirectXFileData *>(1);
    const std::string err = StderrOf([&] { EXPECT_EQ(ref->Resolve(&target), DXFILEERR_BADDATAREFERENCE); });
    EXPECT_EQ(target, nullptr);
    EXPECT_NE(err.find("'Missing'"), std::string::npos) << err;
    EXPECT_EQ(CountLines(err), 1) << err;
    ref->Release();
    c->Release();
    a->Release();
    IDirectXFileData *none = nullptr;
    EXPECT_EQ(e->GetNextDataObject(&none), DXFILEERR_NOMOREOBJECTS);
    EXPECT_EQ(e->GetNextDataObject(&none), DXFILEERR_NOMOREOBJECTS);
    e->Release();
}

TEST(DxObjects, UnsupportedEntryPointsFailLoudly)
{
    XFile x;
    IDirectXFileSaveObject *save = reinterpret_cast<IDirectXFileSaveObject *>(1);
    IDirectXFileEnumObject *e = nullptr;
    const std::string err = StderrOf([&] {
        EXPECT_EQ(x.file->CreateSaveObject("out.x", DXFILEFORMAT_TEXT, &save), E_NOTIMPL);
        EXPECT_EQ(x.file->CreateEnumObject((void *)"x", DXFILELOAD_FROMURL, &e), E_NOTIMPL);
    });
    EXPECT_EQ(save, nullptr);
    EXPECT_NE(err.find("CreateSaveObject"), std::string::npos);
    EXPECT_EQ(x.file->RegisterTemplates(nullptr, 10), DXFILEERR_BADVALUE);
    EXPECT_EQ(DirectXFileCreate(nullptr), DXFILEERR_BADVALUE);
}
