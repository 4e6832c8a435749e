// A NULLREF device for the D3DX tests: it keeps resources in memory and draws nothing.
#ifndef TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H
#define TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H

#include "support/null_device.h"

#include <d3dx9.h>

using testsupport::NullDeviceTest;

#endif
