/*
 * tavrok/d3d9_debug.h - debug queries of the Direct3D 9 library, for tests.
 *
 * Not part of the Direct3D API: tests use it to prove that everything they created was
 * released.
 */
#ifndef TAVROK_D3D9_DEBUG_H
#define TAVROK_D3D9_DEBUG_H

#include <string>
#include <vector>

struct IDirect3DDevice9;

namespace tavrok::d3d9 {

// COM objects of the library (Direct3D objects, devices, resources, shaders,
// declarations, surfaces) that exist right now.
long LiveObjectCount();

// For the draw-call benchmark: the same small draws as a device loop of SetTransform +
// DrawPrimitive (a 4-vertex strip), issued straight to OpenGL on the device's context
// into its back buffer.  False for a device without an OpenGL back end.
bool DrawRawOpenGlQuads(IDirect3DDevice9 *device, int count);
// Waits until OpenGL has finished everything issued on the device's context.
bool FinishOpenGl(IDirect3DDevice9 *device);

// A record of the device's calls, for tests of call order: after StartCallTrace, the
// device notes every Clear, BeginScene, EndScene, Present, Get/SetTransform,
// SetRenderState, SetTexture, SetVertexShader, SetVertexShaderConstantF and draw, as
// "Name" or "Name key arguments" (the numeric transform, state and value, the flags, the
// primitive count, the first register and count), whether the call succeeds or not.
// TakeCallTrace hands over what was noted since and keeps tracing.
void StartCallTrace(IDirect3DDevice9 *device);
std::vector<std::string> TakeCallTrace(IDirect3DDevice9 *device);
void StopCallTrace(IDirect3DDevice9 *device);

}  // namespace tavrok::d3d9

#endif
