/*
 * frame.h - the frame function: one update and draw of the whole scene, and the state one
 * frame leaves for the next.
 */
#ifndef TAVROK_APP_FRAME_H
#define TAVROK_APP_FRAME_H

#include <d3dx9math.h>

extern bool g_useFollowCamera;
extern DWORD g_lastCameraToggleTime;
extern bool g_inCollision;
extern D3DXVECTOR3 g_characterPos;
extern D3DXVECTOR3 g_cameraTarget;
extern D3DXMATRIX g_collisionWorld;
extern D3DXMATRIX g_matProj;

void Render();

#endif
