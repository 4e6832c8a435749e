/*
 * tavrok/d3d9_debug.h - debug queries of the Direct3D 9 library, for tests.
 *
 * Not part of the Direct3D API: tests use it to prove that everything they created was
 * released.
 */
#ifndef TAVROK_D3D9_DEBUG_H
#define TAVROK_D3D9_DEBUG_H

namespace tavrok::d3d9 {

// COM objects of the library (Direct3D objects, devices, resources, shaders,
// declarations, surfaces) that exist right now.
long LiveObjectCount();

}  // namespace tavrok::d3d9

#endif
