/*
 * instancing.cpp - stream frequencies and instanced drawing.
 *
 * Stream 0 set to D3DSTREAMSOURCE_INDEXEDDATA | n makes DrawIndexedPrimitive draw its
 * geometry n times; a stream set to D3DSTREAMSOURCE_INSTANCEDATA | k then gives every
 * vertex of instance i its element i / k.  The back end draws this with one instanced GL
 * draw, the instance streams read through attribute divisors.
 *
 * Direct3D offers this on vs_3_0 hardware; the device reports vs_2_0 and accepts it all
 * the same, with vertex shaders and the fixed-function pipeline alike, since the GL draw
 * does not care which program reads the attributes.  Non-indexed and user-memory draws
 * ignore the frequencies: they draw once and every stream steps per vertex.  The plain
 * frequency divider (a setting without either flag other than 1) is not offered.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

namespace tavrok::d3d9 {

namespace {

constexpr UINT kFreqFlags = D3DSTREAMSOURCE_INDEXEDDATA | D3DSTREAMSOURCE_INSTANCEDATA;

HRESULT Refuse(const std::string &what)
{
    Diagnostic(kLib, "", "", "SetStreamSourceFreq: " + what);
    return D3DERR_INVALIDCALL;
}

}  // namespace

void SetInstancing(const DeviceState &s, DrawCall &call)
{
    const UINT f = s.streams[0].freq;
    call.instanced = call.indexed && !call.userVertices && (f & D3DSTREAMSOURCE_INDEXEDDATA);
    call.instances = call.instanced ? (f & ~kFreqFlags) : 1;
}

UINT InstanceDivisor(const DeviceState &s, const DrawCall &call, UINT stream)
{
    const UINT f = s.streams[stream].freq;
    return call.instanced && (f & D3DSTREAMSOURCE_INSTANCEDATA) ? (f & ~kFreqFlags) : 0;
}

HRESULT Device::SetStreamSourceFreq(UINT stream, UINT setting)
{
    if (stream >= UINT(kMaxStreams))
        return Refuse("stream " + std::to_string(stream) + " past 15");
    const UINT flags = setting & kFreqFlags, count = setting & ~kFreqFlags;
    if (flags == kFreqFlags)
        return Refuse("INDEXEDDATA and INSTANCEDATA together");
    if (flags == D3DSTREAMSOURCE_INSTANCEDATA && stream == 0)
        return Refuse("stream 0 holds the indexed geometry, not instance data");
    if (flags && count == 0)
        return Refuse("a count of 0");
    if (!flags && setting != 1) {
        Unsupported(kLib, "stream frequency dividers without D3DSTREAMSOURCE_INDEXEDDATA/INSTANCEDATA");
        return D3DERR_INVALIDCALL;
    }
    Target().streams[stream].freq = setting;
    if (recording)
        recording->stream[stream] = true;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT stream, UINT *setting)
{
    if (!setting || stream >= UINT(kMaxStreams)) {
        Diagnostic(kLib, "", "", "GetStreamSourceFreq: null result or stream past 15");
        return D3DERR_INVALIDCALL;
    }
    *setting = state.streams[stream].freq;
    return D3D_OK;
}

}  // namespace tavrok::d3d9
