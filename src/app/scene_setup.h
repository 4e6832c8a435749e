/*
 * scene_setup.h - building the scene at start and releasing it at the end.
 */
#ifndef TAVROK_APP_SCENE_SETUP_H
#define TAVROK_APP_SCENE_SETUP_H

#include <windows.h>

HRESULT InitScene(HWND hWnd);
void Cleanup();

#endif
