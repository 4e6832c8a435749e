// What the screen-text module expects from the rest of the program, for its tests: the
// graphics device and the frame counter's rate.
#include <d3d9.h>

LPDIRECT3DDEVICE9 g_pd3dDevice = NULL;
int g_framesPerSecond = 0;
