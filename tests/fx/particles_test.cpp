// The particle systems on a NULLREF device with the real data files: shared resources and
// their reference count, ageing and death, the smoke accumulator, the spark burst, the
// shader constants, and releasing twice.
#include "fx/particles.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class Particles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The systems load "..\Particle.vsh" and "..\Data\...": run from the program's folder.
        ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
        ASSERT_EQ(chdir(TAVROK_BIN_DIR), 0);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
    }
    void TearDown() override
    {
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u) << "a particle resource still holds the device";
        }
        if (d3d_)
            d3d_->Release();
        ASSERT_EQ(chdir(oldDir_), 0);
    }
    char oldDir_[4096];
    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
};

int Count(const CParticleSystem &s)
{
    int n = 0;
    for (Particle *p = s.GetParticles(); p; p = p->next)
        ++n;
    return n;
}

TEST_F(Particles, SharedResourcesLiveFromTheFirstInitToTheLastRelease)
{
    CParticleSystem smoke, sparks;
    ASSERT_EQ(smoke.Init(device_, 32), 1);
    ASSERT_NE(CParticleSystem::s_shader, nullptr);
    ASSERT_NE(CParticleSystem::s_declaration, nullptr);
    ASSERT_NE(CParticleSystem::s_textures, nullptr);
    EXPECT_NE(CParticleSystem::s_textures[0], nullptr);
    EXPECT_NE(CParticleSystem::s_textures[1], nullptr);
    IDirect3DVertexShader9 *shader = CParticleSystem::s_shader;
    ASSERT_EQ(sparks.Init(device_, 32), 1);
    EXPECT_EQ(CParticleSystem::s_shader, shader);  // made once, shared
    EXPECT_EQ(CParticleSystem::s_refCount, 2u);

    // The smoke texture's black background became transparent, its puff stayed opaque.
    D3DLOCKED_RECT rect;
    IDirect3DTexture9 *smokeTexture = CParticleSystem::s_textures[0];
    D3DSURFACE_DESC desc;
    smokeTexture->GetLevelDesc(0, &desc);
    ASSERT_EQ(smokeTexture->LockRect(0, &rect, NULL, D3DLOCK_READONLY), D3D_OK);
    const DWORD *texels = (const DWORD *)rect.pBits;
    EXPECT_EQ(texels[0], 0x00000000u);
    EXPECT_NE(texels[(desc.Height / 2) * (rect.Pitch / 4) + desc.Width / 2] >> 24, 0u);
    smokeTexture->UnlockRect(0);

    smoke.Release();
    EXPECT_EQ(CParticleSystem::s_refCount, 1u);
    EXPECT_EQ(CParticleSystem::s_shader, shader);  // the sparks still use it
    sparks.Release();
    EXPECT_EQ(CParticleSystem::s_refCount, 0u);
    EXPECT_EQ(CParticleSystem::s_shader, nullptr);
    EXPECT_EQ(CParticleSystem::s_textures, nullptr);
    // Releasing again, as the destructors do at exit, changes nothing.
    smoke.Release();
    sparks.Release();
    EXPECT_EQ(CParticleSystem::s_refCount, 0u);
    EXPECT_EQ(smoke.GetCapacity(), 0u);
    EXPECT_EQ(smoke.Init(NULL, 32), 0);
}

TEST_F(Particles, ParticlesAgeMoveAndDieExactlyWhenTheirLifeRunsOut)
{
    CParticleSystem s;
    D3DXVECTOR3 at(0, 0, 0), velocity(1.0f, 0, 0), still(0, 0, 0);
    s.AddParticle(0, &at, 1.0f, 0xFFFFFFFF, 100, &velocity);  // dies at exactly 100 ms
    s.AddParticle(0, &at, 1.0f, 0xFFFFFFFF, 101, &velocity);  // survives with life 1
    s.AddParticle(1, &at, 1.0f, 0xFFFFFFFF, 0, &still);       // never dies
    ASSERT_EQ(Count(s), 3);
    EXPECT_EQ(s.GetParticles()->texture, 1u);  // new particles go to the front

    s.Update(100);
    ASSERT_EQ(Count(s), 2);
    Particle *immortal = s.GetParticles();
    Particle *survivor = immortal->next;
    EXPECT_EQ(survivor->life, 1u);
    EXPECT_FLOAT_EQ(survivor->position.x, 0.1f);  // 1 unit per second for 0.1 s
    EXPECT_EQ(survivor->prev, immortal);
    EXPECT_EQ(survivor->next, nullptr);

    s.Update(5000);
    ASSERT_EQ(Count(s), 1);
    EXPECT_EQ(s.GetParticles()->life, 0u);
    EXPECT_EQ(s.GetParticles()->prev, nullptr);
    s.Update(1000000);
    EXPECT_EQ(Count(s), 1);
    s.Release();
    EXPECT_EQ(Count(s), 0);
    s.Update(10);  // empty: nothing to do
}

TEST_F(Particles, SmokeEveryTwoHundredMillisecondsAndFiveSparksPerBurst)
{
    CParticleSystem smoke, sparks;
    CParticleSystem::s_smokeAccumulator = 0;
    D3DXVECTOR3 at(1, 2, 3);
    smoke.EmitSmoke(&at, 100);
    smoke.EmitSmoke(&at, 100);  // 200 is not above 200
    EXPECT_EQ(Count(smoke), 0);
    smoke.EmitSmoke(&at, 1);
    ASSERT_EQ(Count(smoke), 1);
    EXPECT_EQ(CParticleSystem::s_smokeAccumulator, 0u);
    Particle *puff = smoke.GetParticles();
    EXPECT_EQ(puff->colour, 0xFF222222u);
    EXPECT_EQ(puff->life, 100u);
    EXPECT_FLOAT_EQ(puff->size, 0.3f);
    EXPECT_EQ(puff->position, at);
    EXPECT_NEAR(D3DXVec3Length(&puff->velocity), 1.5f, 1e-5f);
    EXPECT_EQ(puff->velocity.y, 0.0f);
    smoke.EmitSmoke(&at, 5000);  // the excess is dropped: one puff only
    EXPECT_EQ(Count(smoke), 2);

    sparks.EmitSparks(&at, 360.0f);
    ASSERT_EQ(Count(sparks), 5);
    // Front of the list is the last one added: (x, y, z - 0.1).
    Particle *p = sparks.GetParticles();
    EXPECT_EQ(p->position, D3DXVECTOR3(1, 2, 2.9f));
    EXPECT_EQ(p->colour, 0x00F4AE0Bu);
    EXPECT_FLOAT_EQ(p->velocity.x, cosf(360.0f));
    EXPECT_FLOAT_EQ(p->velocity.z, 20.0f * sinf(360.0f));
    while (p->next)
        p = p->next;
    EXPECT_EQ(p->position, D3DXVECTOR3(1, 1.9f, 3));  // the first one added
    smoke.Release();
    sparks.Release();
}

TEST_F(Particles, ShaderConstantsHoldTheTransposedViewProjectionAndCameraAxes)
{
    CParticleSystem s;
    D3DXMATRIX view, projection;
    D3DXMatrixIdentity(&view);
    EXPECT_EQ(s.SetShaderConstants(&view, &view), 0);  // not initialised: nothing is touched
    ASSERT_EQ(s.Init(device_, 32), 1);
    D3DXVECTOR3 eye(1, 2, -5), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.3333334f, 1.0f, 10000.0f);
    ASSERT_EQ(s.SetShaderConstants(&view, &projection), 1);
    EXPECT_EQ(s.SetShaderConstants(NULL, &projection), 0);

    float c[6][4];
    ASSERT_EQ(device_->GetVertexShaderConstantF(0, &c[0][0], 6), D3D_OK);
    D3DXMATRIX vp;
    D3DXMatrixMultiply(&vp, &view, &projection);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k)
            EXPECT_FLOAT_EQ(c[r][k], vp.m[k][r]) << r << k;
    EXPECT_NEAR(c[4][0], view._11, 1e-6f);
    EXPECT_NEAR(c[4][2], view._31, 1e-6f);
    EXPECT_NEAR(c[5][1], view._22, 1e-6f);
    EXPECT_EQ(c[4][3], 0.0f);

    // The drawing path runs over many particles and two textures without failing.
    D3DXVECTOR3 pos(0, 0, 0), v(0, 0, 0);
    for (int i = 0; i < 70; ++i)
        s.AddParticle(i % 2, &pos, 0.2f, 0xFFFFFFFF, 0, &v);
    s.Render();
    s.EndRender();
    IDirect3DVertexShader9 *current = NULL;
    device_->GetVertexShader(&current);
    EXPECT_EQ(current, nullptr);
    s.Release();
}

}  // namespace
