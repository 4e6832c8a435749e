/*
 * dx_test_util.h - helpers for the dxfile tests: loading bytes through the public
 * interfaces, writing binary bodies token by token and dumping what a reader sees as
 * one comparable text.
 */
#ifndef TAVROK_TESTS_DX_TEST_UTIL_H
#define TAVROK_TESTS_DX_TEST_UTIL_H

#include "xwriter.h"

#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dxtest {

inline std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

inline std::string TestFile(const char *name) { return std::string(DXFILE_TEST_FILES) + "/" + name; }

// A whole file as the writer's document, read with the standard templates (and the
// extension templates when asked).
inline tavrok::dxfile::Document LoadDoc(const std::vector<uint8_t> &bytes, bool extensions)
{
    tavrok::dxfile::TemplateSet templates;
    tavrok::dxfile::AddStandardTemplates(templates, extensions);
    tavrok::dxfile::Document doc;
    tavrok::dxfile::LoadDocument(bytes.data(), bytes.size(), templates, doc);
    return doc;
}

// A DirectX File object with the retained-mode templates registered, released at scope end.
struct XFile {
    IDirectXFile *file = nullptr;
    XFile()
    {
        DirectXFileCreate(&file);
        file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    }
    ~XFile() { file->Release(); }
    HRESULT Open(const std::vector<uint8_t> &bytes, IDirectXFileEnumObject **e)
    {
        DXFILELOADMEMORY mem{const_cast<uint8_t *>(bytes.data()), DWORD(bytes.size())};
        return file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, e);
    }
};

// Opens `bytes` and reads every top-level object, kept in *objects when given; returns the
// first failing code (or the end code).
inline HRESULT ReadAll(XFile &x, const std::vector<uint8_t> &bytes, std::vector<IDirectXFileData *> *objects = nullptr)
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
inline HRESULT ReadAll(XFile &x, const std::string &text) { return ReadAll(x, Bytes(text)); }

inline GUID TypeOf(IDirectXFileData *d)
{
    const GUID *t = nullptr;
    d->GetType(&t);
    return t ? *t : GUID{};
}

// The first object's block, or empty when the file fails; `err` gets what stderr got.
inline std::vector<uint8_t> FirstBlock(const std::vector<uint8_t> &bytes, std::string *err = nullptr)
{
    XFile x;
    testing::internal::CaptureStderr();
    std::vector<uint8_t> block;
    IDirectXFileEnumObject *e = nullptr;
    if (SUCCEEDED(x.Open(bytes, &e))) {
        IDirectXFileData *d = nullptr;
        if (SUCCEEDED(e->GetNextDataObject(&d))) {
            DWORD size = 0;
            void *p = nullptr;
            d->GetData(nullptr, &size, &p);
            block.assign(static_cast<uint8_t *>(p), static_cast<uint8_t *>(p) + size);
            d->Release();
        }
        e->Release();
    }
    std::string text = testing::internal::GetCapturedStderr();
    if (err)
        *err = text;
    return block;
}

// A binary body written token by token.
struct Bin {
    std::vector<uint8_t> b;
    bool doubles;
    explicit Bin(bool d) : doubles(d)
    {
        std::string h = d ? "xof 0302bin 0064" : "xof 0302bin 0032";
        b.assign(h.begin(), h.end());
    }
    Bin &Tok(uint16_t t) { return Raw(&t, 2); }
    Bin &U32(uint32_t v) { return Raw(&v, 4); }
    Bin &Raw(const void *p, size_t n)
    {
        b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n);
        return *this;
    }
    Bin &Name(const std::string &s) { return Tok(1).U32(uint32_t(s.size())).Raw(s.data(), s.size()); }
    Bin &Int(uint32_t v) { return Tok(3).U32(v); }
    Bin &Ints(std::vector<uint32_t> v) { return Tok(6).U32(uint32_t(v.size())).Raw(v.data(), 4 * v.size()); }
    Bin &Floats(std::vector<double> v)
    {
        Tok(7).U32(uint32_t(v.size()));
        for (double d : v) {
            float f = float(d);
            doubles ? Raw(&d, 8) : Raw(&f, 4);
        }
        return *this;
    }
};

// Every data object of a file, depth first, with its depth (references left out); all held
// until the end of the scope.
struct Objects {
    std::vector<IDirectXFileData *> all;
    std::vector<std::pair<int, GUID>> tree;  // depth and type of each
    HRESULT end = S_OK;

    Objects(XFile &x, const std::vector<uint8_t> &bytes)
    {
        std::vector<IDirectXFileData *> top;
        end = ReadAll(x, bytes, &top);
        for (IDirectXFileData *d : top)
            Add(d, 0);
    }
    ~Objects()
    {
        for (IDirectXFileData *d : all)
            d->Release();
    }
    void Add(IDirectXFileData *d, int depth)
    {
        all.push_back(d);
        tree.emplace_back(depth, TypeOf(d));
        IDirectXFileObject *c = nullptr;
        while (SUCCEEDED(d->GetNextObject(&c))) {
            IDirectXFileData *cd = nullptr;
            if (SUCCEEDED(c->QueryInterface(IID_IDirectXFileData, (void **)&cd)))
                Add(cd, depth + 1);
            c->Release();
        }
    }
    std::vector<IDirectXFileData *> OfType(const GUID &g) const
    {
        std::vector<IDirectXFileData *> r;
        for (IDirectXFileData *d : all)
            if (TypeOf(d) == g)
                r.push_back(d);
        return r;
    }
};

// The data block of an object as T, its size in *size.
template <class T>
const T *Block(IDirectXFileData *d, DWORD *size)
{
    void *p = nullptr;
    EXPECT_EQ(d->GetData(nullptr, size, &p), DXFILE_OK);
    return static_cast<const T *>(p);
}

// The value of type T at byte `at` of a block: blocks are packed, so it may be unaligned.
template <class T>
T Field(const void *block, size_t at)
{
    T v;
    memcpy(&v, static_cast<const uint8_t *>(block) + at, sizeof v);
    return v;
}

inline std::string GuidText(const GUID &g)
{
    char b[64];
    snprintf(b, sizeof b, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3, g.Data4[0],
             g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

inline std::string NameOf(IDirectXFileObject *o)
{
    DWORD n = 0;
    if (FAILED(o->GetName(nullptr, &n)) || n == 0)
        return "";
    std::string s(n, '\0');
    o->GetName(&s[0], &n);
    s.resize(n - 1);
    return s;
}

// Hex of a data block, with the strings of `stringOffsets` replaced by their text, since
// pointers differ from one load to the next.
inline std::string BlockText(const uint8_t *p, DWORD size, const std::vector<size_t> &stringOffsets)
{
    std::string out;
    char b[4];
    for (DWORD i = 0; i < size; ++i) {
        bool str = false;
        for (size_t off : stringOffsets)
            if (off == i && i + sizeof(char *) <= size) {
                const char *s;
                memcpy(&s, p + i, sizeof s);
                out += "\"" + std::string(s) + "\"";
                i += DWORD(sizeof(char *) - 1);
                str = true;
            }
        if (!str) {
            snprintf(b, sizeof b, "%02x", p[i]);
            out += b;
        }
    }
    return out;
}

// The test templates of features.x that carry strings.
const GUID kGridGuid = {0xA1B2C3D4, 0x0001, 0x0002, {0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const GUID kTaggedGuid = {0xA1B2C3D4, 0x0001, 0x0002, {0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}};
// An exporter's own template in exporter_files_test.cpp, a string first.
const GUID kToolInfoGuid = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};

// Where the string members sit in the blocks of the templates our test files use.
inline std::vector<size_t> StringOffsets(const GUID &type, const uint8_t *p, DWORD size)
{
    if (IsEqualGUID(type, TID_D3DRMTextureFilename) || IsEqualGUID(type, DXFILEOBJ_SkinWeights) ||
        IsEqualGUID(type, kTaggedGuid) || IsEqualGUID(type, kToolInfoGuid) ||
        IsEqualGUID(type, DXFILEOBJ_EffectInstance) || IsEqualGUID(type, DXFILEOBJ_EffectParamFloats) ||
        IsEqualGUID(type, DXFILEOBJ_EffectParamDWord))
        return {0};
    if (IsEqualGUID(type, DXFILEOBJ_EffectParamString))
        return {0, sizeof(char *)};
    std::vector<size_t> at;
    if (IsEqualGUID(type, TID_D3DRMUrl) && size >= 4) {
        for (size_t i = 0; i < p[0]; ++i)
            at.push_back(4 + i * sizeof(char *));
    } else if (IsEqualGUID(type, kGridGuid) && size >= 3) {
        // WORD rows, CHAR cols, SWORD cells[rows][cols], DOUBLE, UCHAR, SDWORD, STRING labels[rows]
        size_t rows = p[0], labels = 3 + rows * p[2] * 2 + 13;
        for (size_t i = 0; i < rows; ++i)
            at.push_back(labels + i * sizeof(char *));
    }
    return at;
}

// Everything a reader can see of an object and its subtree, as text.
inline void Dump(IDirectXFileData *d, int depth, std::string &out)
{
    const GUID *type = nullptr;
    d->GetType(&type);
    GUID id{};
    d->GetId(&id);
    DWORD size = 0;
    void *data = nullptr;
    d->GetData(nullptr, &size, &data);
    out += std::string(size_t(depth), ' ') + GuidText(*type) + " '" + NameOf(d) + "' " + GuidText(id) + " " +
           BlockText(static_cast<uint8_t *>(data), size, StringOffsets(*type, static_cast<uint8_t *>(data), size)) + "\n";
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData *cd = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&cd))) {
            Dump(cd, depth + 1, out);
            cd->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
            GUID rid{};
            ref->GetId(&rid);
            IDirectXFileData *target = nullptr;
            std::string to = "unresolved";
            if (SUCCEEDED(ref->Resolve(&target))) {
                to = NameOf(target);
                target->Release();
            }
            out += std::string(size_t(depth + 1), ' ') + "ref '" + NameOf(ref) + "' " + GuidText(rid) + " -> " + to + "\n";
            ref->Release();
        }
        child->Release();
    }
}

// Dumps a whole file; the result code of the enumeration's end goes last.
inline std::string DumpAll(XFile &x, const std::vector<uint8_t> &bytes)
{
    IDirectXFileEnumObject *e = nullptr;
    HRESULT hr = x.Open(bytes, &e);
    if (FAILED(hr))
        return "open failed " + std::to_string(hr);
    std::string out;
    IDirectXFileData *d = nullptr;
    while (SUCCEEDED(hr = e->GetNextDataObject(&d))) {
        Dump(d, 0, out);
        d->Release();
    }
    e->Release();
    out += "end " + std::to_string(hr) + "\n";
    return out;
}

}  // namespace dxtest

#endif
