/*
 * scene_setup.h - building the scene at start and releasing it at the end.
 */
#ifndef TAVROK_APP_SCENE_SETUP_H
#define TAVROK_APP_SCENE_SETUP_H

#include <d3dx9math.h>

#include "scene/frame.h"
#include "scene/mesh_container.h"

extern SFrame *g_pCharacterFrameRoot;
extern SMeshContainer *g_pCharacterMeshes;
extern SFrame *g_pLevelFrameRoot;
extern SMeshContainer *g_pLevelMesh;
extern D3DXVECTOR3 g_cameraOffset;

HRESULT InitScene(HWND hWnd);
void Cleanup();

#endif
