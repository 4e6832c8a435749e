/*
 * camera.h - a camera with an orthonormal frame that turns and moves by fixed rates, and
 * the two cameras of the program: the one that follows the character and the free one
 * that the mouse turns.
 */
#ifndef TAVROK_WORLD_CAMERA_H
#define TAVROK_WORLD_CAMERA_H

#include <d3dx9math.h>

class CCamera
{
public:
    CCamera();

    // Moves and turns by the current amounts and rates, rebuilds the view matrix and
    // hands it to the device.
    void Update();

    void SetPosition(float x, float y, float z);
    void GetPosition(float *x, float *y, float *z) const;
    void SetLook(float x, float y, float z);
    void GetLook(float *x, float *y, float *z) const;
    void SetUp(float x, float y, float z);
    void GetUp(float *x, float *y, float *z) const;
    void SetRight(float x, float y, float z);
    void GetRight(float *x, float *y, float *z) const;
    // Distances moved along right, up and look at every Update.
    void SetMovement(float alongRight, float alongUp, float alongLook);
    void GetMovement(float *alongRight, float *alongUp, float *alongLook) const;

    void SetRollRate(float rate) { m_rollRate = rate; }
    float GetRollRate() const { return m_rollRate; }
    void SetPitchRate(float rate) { m_pitchRate = rate; }
    float GetPitchRate() const { return m_pitchRate; }
    void SetYawRate(float rate) { m_yawRate = rate; }
    float GetYawRate() const { return m_yawRate; }

    const D3DXMATRIX &GetViewMatrix() const { return m_view; }
    D3DXMATRIX *GetView() { return &m_view; }

private:
    D3DXMATRIX m_view;
    float m_rollRate;
    float m_pitchRate;
    float m_yawRate;
    D3DXVECTOR3 m_position;
    D3DXVECTOR3 m_look;
    D3DXVECTOR3 m_up;
    D3DXVECTOR3 m_right;
    float m_moveRight;
    float m_moveUp;
    float m_moveLook;
};

// Points the follow camera from where it stands at the target (the character), with the
// look lifted a little so the character sits in the lower part of the view.
void AimFollowCamera(const D3DXVECTOR3 &target);

// Defined with the other global objects, in their fixed order of construction.
extern CCamera g_followCamera;
extern CCamera g_freeCamera;

#endif
