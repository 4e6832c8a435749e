// The globals the camera module expects from the rest of the program, for its tests: the
// two cameras and no graphics device (the view matrix is read back from the camera).
#include "world/camera.h"

#include <d3d9.h>

CCamera g_followCamera;
CCamera g_freeCamera;
LPDIRECT3DDEVICE9 g_pd3dDevice = NULL;
