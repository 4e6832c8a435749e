/*
 * camera.cpp - the camera's per-frame update and the aiming of the follow camera.
 *
 * A camera keeps look, up and right orthonormal by rebuilding right and up from look at
 * every update, then turns about its own axes by its rates (yaw about up, pitch about the
 * turned right, roll about the turned look) and writes the view matrix whose columns are
 * those axes.  It relies on the device made by the graphics set-up; it knows nothing of
 * the character or the mouse, which set its position and rates from outside.
 */
#include "world/camera.h"

#include <d3d9.h>

// The device made by the graphics set-up.
extern LPDIRECT3DDEVICE9 g_pd3dDevice;

CCamera::CCamera()
{
    m_rollRate = 0.0f;
    m_pitchRate = 0.0f;
    m_yawRate = 0.0f;
    m_position = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    m_look = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    m_up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    m_right = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    m_moveRight = 0.0f;
    m_moveUp = 0.0f;
    m_moveLook = 0.0f;
}

void CCamera::Update()
{
    // One sum of the three moves, right term first, then added to the position.
    m_position += m_right * m_moveRight + m_up * m_moveUp + m_look * m_moveLook;

    // Right and up are rebuilt from look, so whatever was set for them only gives the
    // sense of the frame; look keeps its direction.
    D3DXVec3Normalize(&m_look, &m_look);
    D3DXVec3Cross(&m_right, &m_up, &m_look);
    D3DXVec3Normalize(&m_right, &m_right);
    D3DXVec3Cross(&m_up, &m_look, &m_right);
    D3DXVec3Normalize(&m_up, &m_up);

    D3DXMATRIX turn;
    D3DXMatrixRotationAxis(&turn, &m_up, m_yawRate);
    D3DXVec3TransformCoord(&m_look, &m_look, &turn);
    D3DXVec3TransformCoord(&m_right, &m_right, &turn);

    D3DXMatrixRotationAxis(&turn, &m_right, m_pitchRate);
    D3DXVec3TransformCoord(&m_look, &m_look, &turn);
    D3DXVec3TransformCoord(&m_up, &m_up, &turn);

    D3DXMatrixRotationAxis(&turn, &m_look, m_rollRate);
    D3DXVec3TransformCoord(&m_right, &m_right, &turn);
    D3DXVec3TransformCoord(&m_up, &m_up, &turn);

    m_view._11 = m_right.x; m_view._12 = m_up.x; m_view._13 = m_look.x; m_view._14 = 0.0f;
    m_view._21 = m_right.y; m_view._22 = m_up.y; m_view._23 = m_look.y; m_view._24 = 0.0f;
    m_view._31 = m_right.z; m_view._32 = m_up.z; m_view._33 = m_look.z; m_view._34 = 0.0f;
    m_view._41 = -D3DXVec3Dot(&m_position, &m_right);
    m_view._42 = -D3DXVec3Dot(&m_position, &m_up);
    m_view._43 = -D3DXVec3Dot(&m_position, &m_look);
    m_view._44 = 1.0f;

    if (g_pd3dDevice)
        g_pd3dDevice->SetTransform(D3DTS_VIEW, &m_view);
}

void CCamera::SetPosition(float x, float y, float z) { m_position = D3DXVECTOR3(x, y, z); }
void CCamera::SetLook(float x, float y, float z) { m_look = D3DXVECTOR3(x, y, z); }
void CCamera::SetUp(float x, float y, float z) { m_up = D3DXVECTOR3(x, y, z); }
void CCamera::SetRight(float x, float y, float z) { m_right = D3DXVECTOR3(x, y, z); }

void CCamera::SetMovement(float alongRight, float alongUp, float alongLook)
{
    m_moveRight = alongRight;
    m_moveUp = alongUp;
    m_moveLook = alongLook;
}

void CCamera::GetPosition(float *x, float *y, float *z) const { *x = m_position.x; *y = m_position.y; *z = m_position.z; }
void CCamera::GetLook(float *x, float *y, float *z) const { *x = m_look.x; *y = m_look.y; *z = m_look.z; }
void CCamera::GetUp(float *x, float *y, float *z) const { *x = m_up.x; *y = m_up.y; *z = m_up.z; }
void CCamera::GetRight(float *x, float *y, float *z) const { *x = m_right.x; *y = m_right.y; *z = m_right.z; }

void CCamera::GetMovement(float *alongRight, float *alongUp, float *alongLook) const
{
    *alongRight = m_moveRight;
    *alongUp = m_moveUp;
    *alongLook = m_moveLook;
}

void AimFollowCamera(const D3DXVECTOR3 &target)
{
    D3DXVECTOR3 eye;
    g_followCamera.GetPosition(&eye.x, &eye.y, &eye.z);

    D3DXVECTOR3 toTarget = target - eye;
    D3DXVECTOR3 direction;
    D3DXVec3Normalize(&direction, &toTarget);
    // Only lifted here; Update makes the look unit length again.
    g_followCamera.SetLook(direction.x, direction.y + 0.2f, direction.z);

    D3DXVECTOR3 down(0.0f, -1.0f, 0.0f);
    D3DXVECTOR3 right;
    D3DXVec3Cross(&right, &down, &direction);
    D3DXVec3Normalize(&right, &right);
    g_followCamera.SetRight(right.x, right.y, right.z);

    D3DXVECTOR3 up;
    D3DXVec3Cross(&up, &right, &direction);
    D3DXVec3Normalize(&up, &up);
    g_followCamera.SetUp(up.x, up.y, up.z);
}
