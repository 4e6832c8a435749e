// The particle systems on a NULLREF device with the real data files: shared resources and
// their reference count, ageing and death, the smoke accumulator, the spark burst, the
// shader constants, and releasing twice.
#include "fx/particles.h"

#include "support/null_device.h"

#include <d3dx9.h>
#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class Particles : public testsupport::NullDeviceTest {
protected:
    void SetUp() override
    {
        // The systems load "..\\Particle.vsh" and "..\\Data\\...": run from the program's folder.
        ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
        ASSERT_EQ(chdir(TAVROK_BIN_DIR), 0);
        testsupport::NullDeviceTest::SetUp();
    }
    void TearDown() override
    {
        testsupport::NullDeviceTest::TearDown();
        ASSERT_EQ(chdir(oldDir_), 0);
    }
    char oldDir_[4096];
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
    ASSERT_NE(CParticleSystem::s_textures[0], nullptr);
    ASSERT_NE(CParticleSystem::s_textures[1], nullptr);
    IDirect3DVertexShader9 *shader = CParticleSystem::s_shader;
    ASSERT_EQ(sparks.Init(device_, 32), 1);
    EXPECT_EQ(CParticleSystem::s_shader, shader);  // made once, shared
    EXPECT_EQ(CParticleSystem::s_refCount, 2u);

    // Both textures' black backgrounds became transparent, their puffs stayed opaque.
    for (int t = 0; t < 2; ++t) {
        IDirect3DTexture9 *texture = CParticleSystem::s_textures[t];
        D3DSURFACE_DESC desc;
        D3DLOCKED_RECT rect;
        texture->GetLevelDesc(0, &desc);
        ASSERT_EQ(texture->LockRect(0, &rect, NULL, D3DLOCK_READONLY), D3D_OK);
        const DWORD *texels = (const DWORD *)rect.pBits;
        EXPECT_EQ(texels[0], 0x00000000u) << "texture " << t;
        EXPECT_EQ(texels[(desc.Height / 2) * (rect.Pitch / 4) + desc.Width / 2] >> 24, 0xFFu) << "texture " << t;
        texture->UnlockRect(0);
    }

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

    s.Release();
}

TEST_F(Particles, DrawingBatchesByTextureAndWritesEachQuadsFourCorners)
{
    CParticleSystem s;
    ASSERT_EQ(s.Init(device_, 4), 1);
    D3DXVECTOR3 v(0, 0, 0);
    // Eight particles of texture 0 (two full batches), then three of texture 1 in front.
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR3 at(float(i), 0, 0);
        s.AddParticle(0, &at, 1.0f, 0xFF000000 | i, 0, &v);
    }
    for (int i = 0; i < 3; ++i) {
        D3DXVECTOR3 at(10.0f + i, 1.0f, 2.0f);
        s.AddParticle(1, &at, 0.5f * (i + 1), 0x80FFFFF0 | i, 0, &v);
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ASSERT_EQ(s.SetShaderConstants(&identity, &identity), 1);  // as the frame does before drawing
    device_->BeginScene();
    tavrok::d3d9::StartCallTrace(device_);
    s.Render();
    std::vector<std::string> trace = tavrok::d3d9::TakeCallTrace(device_);
    tavrok::d3d9::StopCallTrace(device_);
    device_->EndScene();
    // Full batches are drawn as they fill, the rest at the end of each texture's pass;
    // each texture is set once, and no empty batch is drawn.
    EXPECT_EQ(trace, (std::vector<std::string>{"SetTexture 0", "DrawIndexedPrimitive 8", "DrawIndexedPrimitive 8",
                                               "SetTexture 0", "DrawIndexedPrimitive 6"}));
    IDirect3DBaseTexture9 *texture = NULL;
    device_->GetTexture(0, &texture);
    EXPECT_EQ(texture, CParticleSystem::s_textures[1]);
    if (texture)
        texture->Release();

    // The vertices: 32 bytes each, stream 0, as the declaration says.
    IDirect3DVertexBuffer9 *vb = NULL;
    UINT offset = 1, stride = 0;
    ASSERT_EQ(device_->GetStreamSource(0, &vb, &offset, &stride), D3D_OK);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(stride, 32u);
    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
    UINT count = 0;
    ASSERT_EQ(CParticleSystem::s_declaration->GetDeclaration(elements, &count), D3D_OK);
    const struct {
        WORD offset;
        BYTE type, usage, index;
    } layout[] = {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
                  {12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_POSITION, 1},
                  {20, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0},
                  {24, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0}};
    ASSERT_EQ(count, 5u);  // and the end marker
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(elements[e].Stream, 0);
        EXPECT_EQ(elements[e].Offset, layout[e].offset) << e;
        EXPECT_EQ(elements[e].Type, layout[e].type) << e;
        EXPECT_EQ(elements[e].Usage, layout[e].usage) << e;
        EXPECT_EQ(elements[e].UsageIndex, layout[e].index) << e;
    }

    // The last batch written holds the texture-1 particles, front of the list first:
    // corners (-h, h) (h, h) (-h, -h) (h, -h) with (u, v) (0,0) (1,0) (0,1) (1,1).
    const ParticleVertex *q = NULL;
    ASSERT_EQ(vb->Lock(0, 0, (void **)&q, D3DLOCK_READONLY), D3D_OK);
    const float corner[4][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}};
    for (int p = 0; p < 3; ++p) {
        const int i = 2 - p;  // the last added is drawn first
        const float h = 0.5f * (i + 1) * 0.5f;
        for (int k = 0; k < 4; ++k) {
            const ParticleVertex &c = q[p * 4 + k];
            EXPECT_EQ(c.centre, D3DXVECTOR3(10.0f + i, 1.0f, 2.0f)) << p << k;
            EXPECT_EQ(c.sx, corner[k][0] * h) << p << k;
            EXPECT_EQ(c.sy, corner[k][1] * h) << p << k;
            EXPECT_EQ(c.colour, 0x80FFFFF0u | i) << p << k;
            EXPECT_EQ(c.u, corner[k][2]) << p << k;
            EXPECT_EQ(c.v, corner[k][3]) << p << k;
        }
    }
    vb->Unlock();
    vb->Release();

    // Two triangles a particle: (4i, 4i+1, 4i+2) and (4i+3, 4i+2, 4i+1).
    IDirect3DIndexBuffer9 *ib = NULL;
    ASSERT_EQ(device_->GetIndices(&ib), D3D_OK);
    const WORD *index = NULL;
    ASSERT_EQ(ib->Lock(0, 0, (void **)&index, D3DLOCK_READONLY), D3D_OK);
    for (WORD p = 0; p < 4; ++p) {
        const WORD expected[6] = {WORD(4 * p), WORD(4 * p + 1), WORD(4 * p + 2),
                                  WORD(4 * p + 3), WORD(4 * p + 2), WORD(4 * p + 1)};
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(index[6 * p + k], expected[k]) << p << k;
    }
    ib->Unlock();
    ib->Release();

    s.EndRender();
    IDirect3DVertexShader9 *current = NULL;
    device_->GetVertexShader(&current);
    EXPECT_EQ(current, nullptr);
    s.Release();
}

}  // namespace
