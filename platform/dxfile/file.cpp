/*
 * file.cpp - DirectXFileCreate and IDirectXFile: registered templates and opening files.
 *
 * The file object owns the set of registered templates.  CreateEnumObject reads a whole
 * file (a Windows path through ResolvePath) or a memory block, checks its header, inflates
 * it when compressed and hands a Session holding a copy of the templates to a new
 * enumerator; objects are parsed as the enumerator asks for them.  Loading from resources,
 * streams or URLs and saving files are not implemented: they say so once and fail.
 */
#include "dxfile_private.h"

#include <tavrok/platform.h>

#include <fstream>

namespace tavrok::dxfile {

// Files are named as the caller named them; a file read again (the program reads its
// character file twice, for the meshes and for the animations) is reported once.
void Report(const std::string &file, const ParseError &e)
{
    if (file == kMemorySource)
        tavrok::Diagnostic("dxfile", file, e.where, e.reason);
    else
        tavrok::FileDiagnostic("dxfile", file, e.where, e.reason);
}

HRESULT Session::Reach(size_t index)
{
    while (doc.top.size() <= index) {
        if (failed != S_OK)
            return failed;
        try {
            if (!parser->NextObject())
                return DXFILEERR_NOMOREOBJECTS;
        } catch (const ParseError &e) {
            Report(doc.fileName, e);
            failed = e.code;
            return failed;
        }
    }
    return S_OK;
}

HRESULT Session::ParseAll()
{
    HRESULT hr;
    do {
        hr = Reach(doc.top.size());
    } while (hr == S_OK);
    return hr == DXFILEERR_NOMOREOBJECTS ? S_OK : hr;
}

namespace {

class CDirectXFile final : public RefCounted<IDirectXFile> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectXFile)) {
            *ppv = static_cast<IDirectXFile *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP CreateEnumObject(LPVOID pvSource, DXFILELOADOPTIONS dwLoadOptions,
                                  LPDIRECTXFILEENUMOBJECT *ppEnumObj) override
    {
        if (!ppEnumObj || !pvSource)
            return DXFILEERR_BADVALUE;
        *ppEnumObj = nullptr;
        auto session = std::make_shared<Session>();
        Bytes bytes;
        if (dwLoadOptions == DXFILELOAD_FROMFILE) {
            const char *name = static_cast<const char *>(pvSource);
            session->doc.fileName = name;
            std::ifstream in(tavrok::ResolvePath(name), std::ios::binary | std::ios::ate);
            if (!in) {
                tavrok::FileDiagnostic("dxfile", name, "", "cannot open the file");
                return DXFILEERR_FILENOTFOUND;
            }
            std::streamoff size = in.tellg();
            in.seekg(0);
            bytes.resize(size > 0 ? size_t(size) : 0);
            if (size > 0)
                in.read(reinterpret_cast<char *>(bytes.data()), size);
            if (!in) {
                tavrok::FileDiagnostic("dxfile", name, "", "read error");
                return DXFILEERR_BADFILE;
            }
        } else if (dwLoadOptions == DXFILELOAD_FROMMEMORY) {
            auto *mem = static_cast<const DXFILELOADMEMORY *>(pvSource);
            if (!mem->lpMemory && mem->dSize)
                return DXFILEERR_BADVALUE;
            session->doc.fileName = kMemorySource;
            const uint8_t *p = static_cast<const uint8_t *>(mem->lpMemory);
            bytes.assign(p, p + mem->dSize);
        } else {
            tavrok::Unsupported("dxfile", "CreateEnumObject load option " + std::to_string(dwLoadOptions));
            return E_NOTIMPL;
        }
        session->templates = templates_;
        try {
            ReadHeaderAndBody(std::move(bytes), session->doc);
            const uint8_t *b = session->doc.body.data();
            const uint8_t *e = b + session->doc.body.size();
            const Header &h = session->doc.header;
            std::unique_ptr<Lexer> lexer = h.encoding == Encoding::Text
                                               ? MakeTextLexer(b, e)
                                               : MakeBinaryLexer(b, e, h.encoding == Encoding::Binary64);
            session->parser = std::make_unique<Parser>(session->doc, session->templates, std::move(lexer));
        } catch (const ParseError &e) {
            Report(session->doc.fileName, e);
            return e.code;
        }
        *ppEnumObj = NewEnumObject(std::move(session));
        return DXFILE_OK;
    }

    STDMETHODIMP CreateSaveObject(LPCSTR, DXFILEFORMAT, LPDIRECTXFILESAVEOBJECT *ppSaveObj) override
    {
        if (ppSaveObj)
            *ppSaveObj = nullptr;
        tavrok::Unsupported("dxfile", "IDirectXFile::CreateSaveObject");
        return E_NOTIMPL;
    }

    STDMETHODIMP RegisterTemplates(LPVOID pvData, DWORD cbSize) override
    {
        if (!pvData || cbSize == 0)
            return DXFILEERR_BADVALUE;
        TemplateSet updated = templates_;
        try {
            ParseTemplateBlock(static_cast<const uint8_t *>(pvData), cbSize, "<templates>", updated, nullptr);
        } catch (const ParseError &e) {
            Report("<templates>", e);
            return e.code;
        }
        templates_ = std::move(updated);
        return DXFILE_OK;
    }

private:
    TemplateSet templates_;
};

}  // namespace
}  // namespace tavrok::dxfile

STDAPI DirectXFileCreate(LPDIRECTXFILE *lplpDirectXFile)
{
    if (!lplpDirectXFile)
        return DXFILEERR_BADVALUE;
    *lplpDirectXFile = new tavrok::dxfile::CDirectXFile();
    return DXFILE_OK;
}
