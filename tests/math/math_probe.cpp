// Uses the maths once, so that the variant choice is made and announced on stderr.
#include <d3dx9math.h>

int main()
{
    D3DXMATRIX a, b;
    D3DXMatrixIdentity(&a);
    D3DXMatrixIdentity(&b);
    D3DXMatrixMultiply(&a, &a, &b);
    return a._11 == 1.0f ? 0 : 1;
}
