/*
 * data_formats.cpp - the storage of DirectInput's GUIDs and its predefined data formats.
 *
 * c_dfDIKeyboard lays the 256 keys out as one byte each, indexed by scan code;
 * c_dfDIMouse and c_dfDIMouse2 lay out DIMOUSESTATE and DIMOUSESTATE2 with relative axes.
 * Every object a format names beyond the X and Y axes is optional, so the formats fit any
 * keyboard and mouse.
 */
#include <objbase.h>

// Emit the GUIDs of dinput.h here, once for the whole program.  objbase.h is already in,
// so its declaring DEFINE_GUID is swapped for a defining one for dinput.h alone.
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern "C" const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#include <dinput.h>

#include <array>
#include <cstddef>

namespace {

template <size_t N>
struct ObjectTable {
    std::array<DIOBJECTDATAFORMAT, N> objects;
};

ObjectTable<256> MakeKeyboardObjects()
{
    ObjectTable<256> table{};
    for (DWORD key = 0; key < 256; ++key)
        table.objects[key] = {&GUID_Key, key, DIDFT_BUTTON | DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(key), 0};
    return table;
}

template <size_t Buttons>
ObjectTable<3 + Buttons> MakeMouseObjects()
{
    ObjectTable<3 + Buttons> table{};
    table.objects[0] = {&GUID_XAxis, DIMOFS_X, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    table.objects[1] = {&GUID_YAxis, DIMOFS_Y, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    table.objects[2] = {&GUID_ZAxis, DIMOFS_Z, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    for (DWORD b = 0; b < Buttons; ++b)
        table.objects[3 + b] = {nullptr, DWORD(DIMOFS_BUTTON0 + b), DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    return table;
}

ObjectTable<256> g_keyboardObjects = MakeKeyboardObjects();
ObjectTable<7> g_mouseObjects = MakeMouseObjects<4>();
ObjectTable<11> g_mouse2Objects = MakeMouseObjects<8>();

}  // namespace

extern "C" const DIDATAFORMAT c_dfDIKeyboard = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256, g_keyboardObjects.objects.data()};
extern "C" const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, sizeof(DIMOUSESTATE), 7,
    g_mouseObjects.objects.data()};
extern "C" const DIDATAFORMAT c_dfDIMouse2 = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, sizeof(DIMOUSESTATE2), 11,
    g_mouse2Objects.objects.data()};
