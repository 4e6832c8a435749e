/*
 * enum_object.cpp - IDirectXFileEnumObject: the top-level data objects of one file.
 *
 * GetNextDataObject parses one more top-level object (registering the templates met on the
 * way) and hands it out; the lookups by name or GUID parse the rest of the file first and
 * search the top-level objects.  A parse failure is reported once and returned again by
 * every later call.  Holds the Session; each object handed out shares it.
 */
#include "dxfile_private.h"

#include <cstring>

namespace tavrok::dxfile {
namespace {

class CEnumObject final : public RefCounted<IDirectXFileEnumObject> {
public:
    explicit CEnumObject(std::shared_ptr<Session> s) : session_(std::move(s)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectXFileEnumObject)) {
            *ppv = static_cast<IDirectXFileEnumObject *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP GetNextDataObject(LPDIRECTXFILEDATA *ppDataObj) override
    {
        if (!ppDataObj)
            return DXFILEERR_BADVALUE;
        *ppDataObj = nullptr;
        HRESULT hr = session_->Reach(session_->next);
        if (FAILED(hr))
            return hr;
        *ppDataObj = NewDataObject(session_, session_->doc.top[session_->next++]);
        return DXFILE_OK;
    }

    STDMETHODIMP GetDataObjectById(REFGUID rguid, LPDIRECTXFILEDATA *ppDataObj) override
    {
        if (!ppDataObj)
            return DXFILEERR_BADVALUE;
        *ppDataObj = nullptr;
        HRESULT hr = session_->ParseAll();
        if (FAILED(hr))
            return hr;
        for (const Node *n : session_->doc.top)
            if (n->hasId && IsEqualGUID(n->id, rguid)) {
                *ppDataObj = NewDataObject(session_, n);
                return DXFILE_OK;
            }
        return DXFILEERR_NOTFOUND;
    }

    STDMETHODIMP GetDataObjectByName(LPCSTR szName, LPDIRECTXFILEDATA *ppDataObj) override
    {
        if (!ppDataObj || !szName)
            return DXFILEERR_BADVALUE;
        *ppDataObj = nullptr;
        HRESULT hr = session_->ParseAll();
        if (FAILED(hr))
            return hr;
        for (const Node *n : session_->doc.top)
            if (n->name == szName) {
                *ppDataObj = NewDataObject(session_, n);
                return DXFILE_OK;
            }
        return DXFILEERR_NOTFOUND;
    }

private:
    std::shared_ptr<Session> session_;
};

}  // namespace

IDirectXFileEnumObject *NewEnumObject(std::shared_ptr<Session> session) { return new CEnumObject(std::move(session)); }

}  // namespace tavrok::dxfile
