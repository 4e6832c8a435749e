/*
 * queries.cpp - IDirect3DQuery9: occlusion, event, timestamp, timestamp-disjoint and
 * timestamp-frequency queries, and the vertex-cache hint.
 *
 * A query is signaled when made.  D3DISSUE_BEGIN (occlusion and timestamp-disjoint only)
 * makes it building; D3DISSUE_END makes it issued (an occlusion query ended without a
 * begin counts nothing); GetData answers S_FALSE until the back end has the result, then
 * S_OK with it, and the query is signaled again with that answer kept.  GetData of a
 * building query, or with a size other than 0 or the type's data size, is refused.  The
 * answers: an occlusion query the samples that passed the depth and stencil tests
 * between its begin and end; an event TRUE once every command before its end is done; a
 * timestamp the GPU's nanosecond counter at its end; the disjoint query FALSE (the counter
 * runs at one rate); the frequency 1 GHz; the vertex cache a 16-entry cache to optimise
 * for, the size D3DX's mesh optimiser assumes.  Occlusion queries may overlap: each counts
 * what is drawn between its own begin and end.  Not offered: the resource manager, vertex
 * statistics and pipeline timing queries.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

#include <chrono>
#include <cstring>

namespace tavrok::d3d9 {

DWORD QueryDataSize(D3DQUERYTYPE type)
{
    switch (type) {
    case D3DQUERYTYPE_EVENT: return sizeof(BOOL);
    case D3DQUERYTYPE_OCCLUSION: return sizeof(DWORD);
    case D3DQUERYTYPE_TIMESTAMP: return sizeof(UINT64);
    case D3DQUERYTYPE_TIMESTAMPDISJOINT: return sizeof(BOOL);
    case D3DQUERYTYPE_TIMESTAMPFREQ: return sizeof(UINT64);
    case D3DQUERYTYPE_VCACHE: return sizeof(D3DDEVINFO_VCACHE);
    default: return 0;
    }
}

namespace {

class ImmediateQuery final : public Renderer::QueryWork {
public:
    explicit ImmediateQuery(D3DQUERYTYPE type) : type_(type) {}
    void Begin() override {}
    void End() override
    {
        stamp_ = UINT64(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
    bool Result(bool, void *data) override
    {
        const BOOL done = TRUE, disjoint = FALSE;
        const DWORD samples = 0;
        const UINT64 frequency = 1000000000;
        // OptMethod 1 asks for vertex-cache ordering; the restart number is half the cache.
        const D3DDEVINFO_VCACHE cache = {MAKEFOURCC('C', 'A', 'C', 'H'), 1, 16, 8};
        switch (type_) {
        case D3DQUERYTYPE_EVENT: memcpy(data, &done, sizeof done); break;
        case D3DQUERYTYPE_OCCLUSION: memcpy(data, &samples, sizeof samples); break;
        case D3DQUERYTYPE_TIMESTAMP: memcpy(data, &stamp_, sizeof stamp_); break;
        case D3DQUERYTYPE_TIMESTAMPDISJOINT: memcpy(data, &disjoint, sizeof disjoint); break;
        case D3DQUERYTYPE_VCACHE: memcpy(data, &cache, sizeof cache); break;
        default: memcpy(data, &frequency, sizeof frequency); break;
        }
        return true;
    }

private:
    D3DQUERYTYPE type_;
    UINT64 stamp_ = 0;
};

class Query final : public ComObject<IDirect3DQuery9> {
public:
    Query(Device *device, D3DQUERYTYPE type, std::unique_ptr<Renderer::QueryWork> work)
        : device_(AddRefed(device)), type_(type), work_(std::move(work))
    {
    }
    ~Query() override
    {
        work_.reset();  // before the device (and its back end) may go
        device_->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDirect3DQuery9) {
            *ppv = AddRefed(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = AddRefed(static_cast<IDirect3DDevice9 *>(device_));
        return D3D_OK;
    }
    D3DQUERYTYPE STDMETHODCALLTYPE GetType() override { return type_; }
    DWORD STDMETHODCALLTYPE GetDataSize() override { return QueryDataSize(type_); }

    HRESULT STDMETHODCALLTYPE Issue(DWORD flags) override
    {
        const bool spans = type_ == D3DQUERYTYPE_OCCLUSION || type_ == D3DQUERYTYPE_TIMESTAMPDISJOINT;
        if (flags == D3DISSUE_BEGIN && spans) {
            work_->Begin();
            state_ = State::Building;
            return D3D_OK;
        }
        if (flags != D3DISSUE_END) {
            Diagnostic(kLib, "", "",
                       "IDirect3DQuery9::Issue: flags " + std::to_string(flags) +
                           (spans ? " (D3DISSUE_BEGIN or D3DISSUE_END)" : " (this type takes D3DISSUE_END only)"));
            return D3DERR_INVALIDCALL;
        }
        if (spans && state_ != State::Building)
            work_->Begin();  // an end with no begin covers nothing
        work_->End();
        state_ = State::Issued;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE GetData(void *data, DWORD size, DWORD flags) override
    {
        const DWORD need = QueryDataSize(type_);
        if ((size != 0 && size != need) || (size != 0 && !data)) {
            Diagnostic(kLib, "", "",
                       "IDirect3DQuery9::GetData: " + std::to_string(size) + " bytes for an answer of " +
                           std::to_string(need) + (data ? "" : ", or no data pointer"));
            return D3DERR_INVALIDCALL;
        }
        if (state_ == State::Building) {
            Diagnostic(kLib, "", "", "IDirect3DQuery9::GetData: the query was begun and not yet ended");
            return D3DERR_INVALIDCALL;
        }
        if (state_ == State::Issued) {
            if (!work_->Result((flags & D3DGETDATA_FLUSH) != 0, answer_))
                return S_FALSE;
            state_ = State::Signaled;
        }
        if (size)
            memcpy(data, answer_, size);
        return S_OK;
    }

private:
    enum class State { Signaled, Building, Issued };
    Device *device_;  // holds a reference
    D3DQUERYTYPE type_;
    std::unique_ptr<Renderer::QueryWork> work_;
    State state_ = State::Signaled;
    uint8_t answer_[sizeof(D3DDEVINFO_VCACHE)] = {};  // the last answer (zero before the first)
};

}  // namespace

std::unique_ptr<Renderer::QueryWork> NewImmediateQuery(D3DQUERYTYPE type)
{
    return std::make_unique<ImmediateQuery>(type);
}

HRESULT Device::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9 **out)
{
    if (out)
        *out = nullptr;
    // The vertex-cache hint is the device's own answer, whatever draws.
    std::unique_ptr<Renderer::QueryWork> work = type == D3DQUERYTYPE_VCACHE ? NewImmediateQuery(type)
                                                : QueryDataSize(type)        ? renderer->NewQuery(type)
                                                                             : nullptr;
    if (!work) {
        // Asking with a null result is how a program finds out whether a type is offered.
        if (out)
            Unsupported(kLib, "queries of type " + std::to_string(type));
        return D3DERR_NOTAVAILABLE;
    }
    if (out)
        *out = new Query(this, type, std::move(work));
    return D3D_OK;
}

}  // namespace tavrok::d3d9
