/*
 * com.cpp - COM initialisation.  Nothing here needs apartments or a class registry: the
 * interfaces the program uses are created by their libraries' factory functions.  The
 * calls keep the Windows counting so that balanced and unbalanced use answer as there.
 */
#define INITGUID
#include <objbase.h>

namespace {
int g_comInits = 0;
}

extern "C" HRESULT WINAPI CoInitializeEx(LPVOID, DWORD)
{
    return g_comInits++ == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

extern "C" void WINAPI CoUninitialize(void)
{
    if (g_comInits > 0)
        --g_comInits;
}
