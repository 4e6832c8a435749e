/*
 * tavrok/dinput8_debug.h - a test hook of the DirectInput 8 library.
 *
 * Not part of the DirectInput API: tests use it to drive the keyboard frame by frame
 * without real key events.  The devices still need their window and its focus; only the
 * key bytes they read come from here instead of from SDL.
 */
#ifndef TAVROK_DINPUT8_DEBUG_H
#define TAVROK_DINPUT8_DEBUG_H

typedef unsigned char BYTE;

namespace tavrok::dinput8 {

// From the next read on, every keyboard device reads these 256 bytes (0x80 = down) as they
// are at the time of the read; the caller keeps the array alive.  Null goes back to SDL.
void SetKeyboardStateOverride(const BYTE *state);

}  // namespace tavrok::dinput8

#endif
