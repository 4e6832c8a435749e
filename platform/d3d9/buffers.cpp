/*
 * buffers.cpp - IDirect3DVertexBuffer9 and IDirect3DIndexBuffer9.
 *
 * Both keep their contents in memory (one template holds what they share); Lock hands out a pointer into it and records the
 * range written, so that the back end uploads only what changed (the whole buffer after
 * a D3DLOCK_DISCARD).  Locks do not nest.  Private data and priorities are not kept.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

namespace tavrok::d3d9 {

void ResourceCore::Reset() { backend.reset(); }

HRESULT Buffer::Lock(const char *what, UINT offset, UINT size, void **out, DWORD flags)
{
    if (!out) {
        Diagnostic(kLib, "", "", std::string(what) + "::Lock: null result pointer");
        return D3DERR_INVALIDCALL;
    }
    *out = nullptr;
    if (locked) {
        Diagnostic(kLib, "", "", std::string(what) + "::Lock: the buffer is already locked");
        return D3DERR_INVALIDCALL;
    }
    UINT length = UINT(data.size());
    if (size == 0 && offset == 0)
        size = length;  // 0 and 0 lock the whole buffer
    if (offset > length || size > length - offset) {
        Diagnostic(kLib, "", "", std::string(what) + "::Lock: range " + std::to_string(offset) + "+" +
                                     std::to_string(size) + " outside a buffer of " + std::to_string(length));
        return D3DERR_INVALIDCALL;
    }
    if (size == 0)
        size = length - offset;
    locked = true;
    if (!(flags & D3DLOCK_READONLY)) {
        if ((flags & D3DLOCK_DISCARD) && (usage & D3DUSAGE_DYNAMIC)) {
            discarded = true;
            dirtyBegin = 0;
            dirtyEnd = length;
        } else if (dirtyBegin == dirtyEnd) {
            dirtyBegin = offset;
            dirtyEnd = offset + size;
        } else {
            dirtyBegin = std::min(dirtyBegin, offset);
            dirtyEnd = std::max(dirtyEnd, offset + size);
        }
        core.revision++;
    }
    *out = data.data() + offset;
    return D3D_OK;
}

HRESULT Buffer::Unlock(const char *what)
{
    if (!locked) {
        Diagnostic(kLib, "", "", std::string(what) + "::Unlock: the buffer is not locked");
        return D3DERR_INVALIDCALL;
    }
    locked = false;
    return D3D_OK;
}

namespace {

template <typename Index>
void ScanIndices(const uint8_t *data, UINT from, UINT to, UINT *lo, UINT *hi)
{
    UINT l = *lo, h = *hi;
    for (UINT i = from; i < to; i++) {
        Index x;
        memcpy(&x, data + size_t(i) * sizeof(Index), sizeof(Index));
        l = std::min<UINT>(l, x);
        h = std::max<UINT>(h, x);
    }
    *lo = l;
    *hi = h;
}

}  // namespace

void IndexBuffer::Scan(UINT from, UINT to, UINT *lo, UINT *hi) const
{
    if (format == D3DFMT_INDEX32)
        ScanIndices<uint32_t>(buffer.data.data(), from, to, lo, hi);
    else
        ScanIndices<uint16_t>(buffer.data.data(), from, to, lo, hi);
}

void IndexBuffer::IndexRange(UINT start, UINT count, UINT *lo, UINT *hi)
{
    KnownRange &known = known_[((start * 2654435761u) ^ count) % 64];
    if (known.revision == buffer.core.revision && known.start == start && known.count == count) {
        *lo = known.lo;
        *hi = known.hi;
        return;
    }
    IndexRangeOfContents(start, count, lo, hi);
    known = KnownRange{buffer.core.revision, start, count, *lo, *hi};
}

void IndexBuffer::IndexRangeOfContents(UINT start, UINT count, UINT *lo, UINT *hi)
{
    *lo = ~0u;
    *hi = 0;
    const UINT end = start + count;
    const UINT firstBlock = (start + kBlock - 1) / kBlock, endBlock = end / kBlock;
    if (firstBlock >= endBlock) {
        Scan(start, end, lo, hi);
        return;
    }
    if (blocksRevision_ != buffer.core.revision) {
        const UINT blocks = UINT(buffer.data.size() / (format == D3DFMT_INDEX32 ? 4 : 2)) / kBlock;
        blockLo_.resize(blocks);
        blockHi_.resize(blocks);
        for (UINT b = 0; b < blocks; b++) {
            blockLo_[b] = ~0u;
            blockHi_[b] = 0;
            Scan(b * kBlock, (b + 1) * kBlock, &blockLo_[b], &blockHi_[b]);
        }
        blocksRevision_ = buffer.core.revision;
    }
    Scan(start, firstBlock * kBlock, lo, hi);
    for (UINT b = firstBlock; b < endBlock; b++) {
        *lo = std::min(*lo, blockLo_[b]);
        *hi = std::max(*hi, blockHi_[b]);
    }
    Scan(endBlock * kBlock, end, lo, hi);
}

namespace {

HRESULT DeviceOf(ResourceCore &core, IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!*core.deviceAlive)
        return D3DERR_INVALIDCALL;
    *out = AddRefed(static_cast<IDirect3DDevice9 *>(core.device));
    return D3D_OK;
}

}  // namespace

HRESULT NoPrivateData()
{
    Unsupported(kLib, "private data on resources");
    return D3DERR_NOTFOUND;
}

// --- what both kinds share ----------------------------------------------------------------

template <class Interface>
BufferResource<Interface>::BufferResource(Device *device, UINT length, DWORD usage, D3DPOOL pool, const IID &iid,
                                          const char *name)
    : iid_(iid), name_(name)
{
    buffer.data.assign(length, 0);
    buffer.usage = usage;
    buffer.pool = pool;
    buffer.core.device = device;
    buffer.core.deviceAlive = device->alive;
    buffer.dirtyEnd = length;
    device->liveChildren++;
    device->liveDefaultPool += pool == D3DPOOL_DEFAULT;
}

template <class Interface>
BufferResource<Interface>::~BufferResource()
{
    if (*buffer.core.deviceAlive) {
        buffer.core.device->liveChildren--;
        buffer.core.device->liveDefaultPool -= buffer.pool == D3DPOOL_DEFAULT;
    }
}

template <class Interface>
HRESULT BufferResource<Interface>::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == iid_) {
        *ppv = AddRefed(static_cast<Interface *>(this));
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

template <class Interface>
HRESULT BufferResource<Interface>::GetDevice(IDirect3DDevice9 **out)
{
    return DeviceOf(buffer.core, out);
}

template <class Interface>
HRESULT BufferResource<Interface>::Lock(UINT offset, UINT size, void **out, DWORD flags)
{
    return buffer.Lock(name_, offset, size, out, flags);
}

template <class Interface>
HRESULT BufferResource<Interface>::Unlock()
{
    return buffer.Unlock(name_);
}

template class BufferResource<IDirect3DVertexBuffer9>;
template class BufferResource<IDirect3DIndexBuffer9>;

// --- vertex buffers ----------------------------------------------------------------------

VertexBuffer::VertexBuffer(Device *device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : BufferResource(device, length, usage, pool, IID_IDirect3DVertexBuffer9, "IDirect3DVertexBuffer9"), fvf(fvf)
{
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC *desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = D3DFMT_VERTEXDATA;
    desc->Type = D3DRTYPE_VERTEXBUFFER;
    desc->Usage = buffer.usage;
    desc->Pool = buffer.pool;
    desc->Size = UINT(buffer.data.size());
    desc->FVF = fvf;
    return D3D_OK;
}

// --- index buffers -----------------------------------------------------------------------

IndexBuffer::IndexBuffer(Device *device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : BufferResource(device, length, usage, pool, IID_IDirect3DIndexBuffer9, "IDirect3DIndexBuffer9"), format(format)
{
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC *desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = format;
    desc->Type = D3DRTYPE_INDEXBUFFER;
    desc->Usage = buffer.usage;
    desc->Pool = buffer.pool;
    desc->Size = UINT(buffer.data.size());
    return D3D_OK;
}

}  // namespace tavrok::d3d9
