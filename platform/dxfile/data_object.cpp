/*
 * data_object.cpp - IDirectXFileData and IDirectXFileDataReference over parsed nodes.
 *
 * A data object answers with its node's name, GUID, template GUID and data block (whole or
 * one top-level member) and hands out its children one at a time, each a new object with
 * its own reference.  A reference resolves by name (and GUID when it gives one) or by GUID
 * among the objects of the file read so far.  Every object holds the Session, so a child or
 * a resolved object stays valid after its parent or the enumerator is released.  Adding
 * objects (the save side) is not implemented.
 */
#include "dxfile_private.h"

#include <tavrok/platform.h>

#include <cstring>

namespace tavrok::dxfile {
namespace {

HRESULT CopyName(const std::string &name, LPSTR buf, LPDWORD len)
{
    if (!len)
        return DXFILEERR_BADVALUE;
    if (name.empty()) {
        if (buf && *len > 0)
            buf[0] = 0;
        *len = 0;
        return DXFILE_OK;
    }
    DWORD need = DWORD(name.size() + 1);
    if (!buf) {
        *len = need;
        return DXFILE_OK;
    }
    if (*len < need)
        return DXFILEERR_BADVALUE;
    memcpy(buf, name.c_str(), need);
    *len = need;
    return DXFILE_OK;
}

template <class Iface>
HRESULT QueryObject(Iface *self, REFIID riid, const IID &own, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectXFileObject) || IsEqualGUID(riid, own)) {
        *ppv = self;
        self->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

class CDataObject final : public RefCounted<IDirectXFileData> {
public:
    CDataObject(std::shared_ptr<Session> s, const Node *n) : session_(std::move(s)), node_(n) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        return QueryObject<IDirectXFileData>(this, riid, IID_IDirectXFileData, ppv);
    }
    STDMETHODIMP GetName(LPSTR buf, LPDWORD len) override { return CopyName(node_->name, buf, len); }
    STDMETHODIMP GetId(LPGUID pGuid) override
    {
        if (!pGuid)
            return DXFILEERR_BADVALUE;
        *pGuid = node_->hasId ? node_->id : GUID{};
        return DXFILE_OK;
    }

    STDMETHODIMP GetData(LPCSTR szMember, DWORD *pcbSize, void **ppvData) override
    {
        if (!pcbSize || !ppvData)
            return DXFILEERR_BADVALUE;
        // An object without values still hands out a valid (empty) block.
        static uint8_t empty[8];
        uint8_t *base = node_->data.empty() ? empty : const_cast<uint8_t *>(node_->data.data());
        if (!szMember) {
            *pcbSize = DWORD(node_->data.size());
            *ppvData = base;
            return DXFILE_OK;
        }
        const auto &members = node_->tmpl->members;
        for (size_t i = 0; i < members.size(); ++i) {
            if (members[i].name == szMember) {
                uint32_t from = node_->memberOffsets[i];
                *pcbSize = node_->memberOffsets[i + 1] - from;
                *ppvData = base + from;
                return DXFILE_OK;
            }
        }
        *pcbSize = 0;
        *ppvData = nullptr;
        return DXFILEERR_BADDATAREFERENCE;
    }

    STDMETHODIMP GetType(const GUID **ppguid) override
    {
        if (!ppguid)
            return DXFILEERR_BADVALUE;
        *ppguid = &node_->tmpl->guid;
        return DXFILE_OK;
    }

    STDMETHODIMP GetNextObject(LPDIRECTXFILEOBJECT *ppChildObj) override
    {
        if (!ppChildObj)
            return DXFILEERR_BADVALUE;
        *ppChildObj = nullptr;
        if (child_ >= node_->children.size())
            return DXFILEERR_NOMOREOBJECTS;
        const Node *c = node_->children[child_++];
        if (c->kind == Node::Reference)
            *ppChildObj = NewDataReference(session_, c);
        else
            *ppChildObj = NewDataObject(session_, c);
        return DXFILE_OK;
    }

    STDMETHODIMP AddDataObject(LPDIRECTXFILEDATA) override { return Unsupported("AddDataObject"); }
    STDMETHODIMP AddDataReference(LPCSTR, const GUID *) override { return Unsupported("AddDataReference"); }
    STDMETHODIMP AddBinaryObject(LPCSTR, const GUID *, LPCSTR, LPVOID, DWORD) override
    {
        return Unsupported("AddBinaryObject");
    }

private:
    static HRESULT Unsupported(const char *what)
    {
        tavrok::Unsupported("dxfile", std::string("IDirectXFileData::") + what);
        return E_NOTIMPL;
    }

    std::shared_ptr<Session> session_;
    const Node *node_;
    size_t child_ = 0;
};

class CDataReference final : public RefCounted<IDirectXFileDataReference> {
public:
    CDataReference(std::shared_ptr<Session> s, const Node *n) : session_(std::move(s)), node_(n) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        return QueryObject<IDirectXFileDataReference>(this, riid, IID_IDirectXFileDataReference, ppv);
    }
    // A reference's name and GUID are those of the object it designates.
    STDMETHODIMP GetName(LPSTR buf, LPDWORD len) override { return CopyName(node_->refName, buf, len); }
    STDMETHODIMP GetId(LPGUID pGuid) override
    {
        if (!pGuid)
            return DXFILEERR_BADVALUE;
        *pGuid = node_->refHasId ? node_->refId : GUID{};
        return DXFILE_OK;
    }

    STDMETHODIMP Resolve(LPDIRECTXFILEDATA *ppDataObj) override
    {
        if (!ppDataObj)
            return DXFILEERR_BADVALUE;
        *ppDataObj = nullptr;
        const Node *target = session_->doc.Resolve(*node_);
        if (!target) {
            std::string what = node_->refName.empty() ? "<" + FormatGuid(node_->refId) + ">" : "'" + node_->refName + "'";
            tavrok::Diagnostic("dxfile", session_->doc.fileName, "", "reference to " + what + " names no object read so far");
            return DXFILEERR_BADDATAREFERENCE;
        }
        *ppDataObj = NewDataObject(session_, target);
        return DXFILE_OK;
    }

private:
    std::shared_ptr<Session> session_;
    const Node *node_;
};

}  // namespace

IDirectXFileData *NewDataObject(std::shared_ptr<Session> session, const Node *node)
{
    return new CDataObject(std::move(session), node);
}

IDirectXFileDataReference *NewDataReference(std::shared_ptr<Session> session, const Node *node)
{
    return new CDataReference(std::move(session), node);
}

}  // namespace tavrok::dxfile
