/*
 * fuzz_reader.cpp - libFuzzer entry for the .x reader.
 *
 * The first byte picks what the input is: a file to enumerate through the public
 * interfaces (every object, child, reference, whole block and named member is touched), or
 * a template block for RegisterTemplates.  A file that parses is also re-encoded in the
 * binary forms, which must parse again: the writer may not produce what the reader refuses.
 */
#include <dxfile.h>
#include <rmxftmpl.h>

#include "xwriter.h"

#include <cstdlib>
#include <cstring>

namespace {

volatile uint8_t g_sink;

void Touch(const void *p, DWORD size)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    for (DWORD i = 0; i < size; i += 7)
        g_sink = g_sink + b[i];
}

void Walk(IDirectXFileData *d, int depth)
{
    char name[64];
    DWORD len = 0;
    d->GetName(nullptr, &len);
    len = sizeof name;
    d->GetName(name, &len);
    GUID id;
    d->GetId(&id);
    const GUID *type = nullptr;
    d->GetType(&type);
    DWORD size = 0;
    void *data = nullptr;
    if (SUCCEEDED(d->GetData(nullptr, &size, &data)))
        Touch(data, size);
    for (const char *member : {"nVertices", "vertices", "filename", "keys", "transformNodeName", "x"})
        if (SUCCEEDED(d->GetData(member, &size, &data)))
            Touch(data, size);
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        IDirectXFileData *cd = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&cd))) {
            Walk(cd, depth + 1);
            cd->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
            IDirectXFileData *target = nullptr;
            if (SUCCEEDED(ref->Resolve(&target))) {
                const GUID *t = nullptr;
                target->GetType(&t);
                if (SUCCEEDED(target->GetData(nullptr, &size, &data)))
                    Touch(data, size);
                target->Release();
            }
            ref->Release();
        }
        child->Release();
    }
}

// The standard templates, parsed once; each use copies the set.
const tavrok::dxfile::TemplateSet &Standard()
{
    static tavrok::dxfile::TemplateSet set = [] {
        tavrok::dxfile::TemplateSet s;
        tavrok::dxfile::AddStandardTemplates(s, true);
        return s;
    }();
    return set;
}

void ReEncode(const uint8_t *bytes, size_t size)
{
    using namespace tavrok::dxfile;
    TemplateSet set = Standard();
    Document doc;
    try {
        LoadDocument(bytes, size, set, doc);
    } catch (const ParseError &) {
        return;
    }
    for (OutFormat f : {OutFormat::Binary32, OutFormat::Binary64, OutFormat::BinaryZip}) {
        std::vector<uint8_t> out = Encode(doc, f);
        TemplateSet again = Standard();
        Document copy;
        try {
            LoadDocument(out.data(), out.size(), again, copy);
        } catch (const ParseError &e) {
            fprintf(stderr, "re-encoded file does not parse: %s: %s\n", e.where.c_str(), e.reason.c_str());
            abort();
        }
        if (copy.top.size() != doc.top.size() || copy.nodes.size() != doc.nodes.size())
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t mode = data[0];
    ++data;
    --size;
    // One file object with the retained-mode templates serves every enumeration; a
    // template block goes to a fresh one so that it cannot leak into later inputs.
    static IDirectXFile *shared = [] {
        IDirectXFile *f = nullptr;
        DirectXFileCreate(&f);
        f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        return f;
    }();
    IDirectXFile *file = shared;
    file->AddRef();
    if (mode & 1) {
        file->Release();
        DirectXFileCreate(&file);
        file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        std::vector<uint8_t> copy(data, data + size);  // exact-size buffer for ASan
        file->RegisterTemplates(copy.empty() ? nullptr : copy.data(), DWORD(copy.size()));
    } else {
        std::vector<uint8_t> copy(data, data + size);
        DXFILELOADMEMORY mem{copy.data(), DWORD(copy.size())};
        IDirectXFileEnumObject *e = nullptr;
        if (SUCCEEDED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) {
            IDirectXFileData *d = nullptr;
            while (SUCCEEDED(e->GetNextDataObject(&d))) {
                Walk(d, 0);
                d->Release();
            }
            e->Release();
        }
        if (mode & 2)
            ReEncode(copy.data(), copy.size());
    }
    file->Release();
    return 0;
}
