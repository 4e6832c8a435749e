/*
 * call_trace.cpp - the device call record for tests.
 *
 * Switches a device's record of its calls on and off and hands it over.  The device
 * methods note themselves (Device::Trace); this file only owns the switch.  Not used by
 * the program.
 */
#include "d3d9_private.h"

#include <tavrok/d3d9_debug.h>

namespace tavrok::d3d9 {

void StartCallTrace(IDirect3DDevice9 *device)
{
    auto *d = static_cast<Device *>(device);
    d->callTrace.clear();
    d->tracing = true;
}

std::vector<std::string> TakeCallTrace(IDirect3DDevice9 *device)
{
    std::vector<std::string> taken;
    taken.swap(static_cast<Device *>(device)->callTrace);
    return taken;
}

void StopCallTrace(IDirect3DDevice9 *device)
{
    auto *d = static_cast<Device *>(device);
    d->tracing = false;
    d->callTrace.clear();
}

}  // namespace tavrok::d3d9
