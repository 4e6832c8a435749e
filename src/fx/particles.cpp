/*
 * particles.cpp - particle lists, emitters, ageing and batched drawing.
 *
 * Particles move by velocity times the frame's seconds and die when their lifetime runs
 * out.  Drawing refills the system's vertex buffer with D3DLOCK_DISCARD for each batch of
 * `capacity` particles; the index buffer is static and written once.
 */
#include "fx/particles.h"

#include <d3dx9.h>

#include <math.h>
#include <stdlib.h>

DWORD CParticleSystem::s_refCount = 0;
IDirect3DTexture9 **CParticleSystem::s_textures = NULL;
IDirect3DVertexShader9 *CParticleSystem::s_shader = NULL;
IDirect3DVertexDeclaration9 *CParticleSystem::s_declaration = NULL;
DWORD CParticleSystem::s_smokeAccumulator = 0;

static const char *const kTextureFiles[2] = {"..\\Data\\Particle_Smoke.bmp", "..\\Data\\Particle_Spare1.bmp"};
static const char *const kShaderFile = "..\\Particle.vsh";

static const D3DVERTEXELEMENT9 kParticleDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 1},
    {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

CParticleSystem::CParticleSystem()
    : m_device(NULL), m_vertexBuffer(NULL), m_indexBuffer(NULL), m_capacity(0), m_particles(NULL)
{
}

CParticleSystem::~CParticleSystem() { Release(); }

HRESULT LoadParticleShader(IDirect3DVertexShader9 **shader, IDirect3DDevice9 *device, const char *fileName,
                           const D3DVERTEXELEMENT9 *elements, IDirect3DVertexDeclaration9 **declaration)
{
    if (!shader || !device || !fileName)
        return E_FAIL;
    ID3DXBuffer *code = NULL;
    HRESULT hr = D3DXAssembleShaderFromFileA(fileName, NULL, NULL, 0, &code, NULL);
    if (FAILED(hr))
        return hr;
    hr = device->CreateVertexShader((const DWORD *)code->GetBufferPointer(), shader);
    if (FAILED(hr)) {
        code->Release();
        return hr;
    }
    code->Release();
    if (elements && declaration)
        device->CreateVertexDeclaration(elements, declaration);
    return S_OK;
}

BOOL CParticleSystem::Init(IDirect3DDevice9 *device, DWORD capacity)
{
    m_device = device;
    if (!device)
        return 0;
    m_capacity = capacity;

    if (!s_textures) {
        s_textures = new IDirect3DTexture9 *[2];
        for (int i = 0; i < 2; ++i) {
            s_textures[i] = NULL;
            // Opaque black is the colour key: the bitmaps' black background turns transparent.
            D3DXCreateTextureFromFileExA(device, kTextureFiles[i], D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                         D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0xFF000000,
                                         NULL, NULL, &s_textures[i]);
        }
    }

    device->CreateVertexBuffer(capacity * 4 * sizeof(ParticleVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                               D3DPOOL_DEFAULT, &m_vertexBuffer, NULL);
    device->CreateIndexBuffer(capacity * 12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &m_indexBuffer,
                              NULL);
    WORD *indices = NULL;
    if (m_indexBuffer && SUCCEEDED(m_indexBuffer->Lock(0, 0, (void **)&indices, 0))) {
        for (DWORD i = 0; i < capacity; ++i) {
            WORD base = (WORD)(i * 4);
            indices[i * 6 + 0] = base;
            indices[i * 6 + 1] = base + 1;
            indices[i * 6 + 2] = base + 2;
            indices[i * 6 + 3] = base + 3;
            indices[i * 6 + 4] = base + 2;
            indices[i * 6 + 5] = base + 1;
        }
        m_indexBuffer->Unlock();
    }

    if (!s_shader)
        LoadParticleShader(&s_shader, device, kShaderFile, kParticleDeclaration, &s_declaration);
    if (!s_shader) {
        if (s_declaration)
            s_declaration->Release();
        s_declaration = NULL;
        return 0;
    }
    s_refCount += 1;
    return 1;
}

void CParticleSystem::Release()
{
    DWORD before = s_refCount;
    if (s_refCount > 0)
        s_refCount -= 1;
    if (before <= 1) {
        // The last user frees what all systems share.
        if (s_textures) {
            for (int i = 0; i < 2; ++i)
                if (s_textures[i])
                    s_textures[i]->Release();
            delete[] s_textures;
            s_textures = NULL;
        }
        if (s_shader)
            s_shader->Release();
        s_shader = NULL;
        if (s_declaration)
            s_declaration->Release();
        s_declaration = NULL;
    }

    m_device = NULL;
    if (m_vertexBuffer)
        m_vertexBuffer->Release();
    m_vertexBuffer = NULL;
    if (m_indexBuffer)
        m_indexBuffer->Release();
    m_indexBuffer = NULL;
    m_capacity = 0;

    while (m_particles) {
        Particle *next = m_particles->next;
        delete m_particles;
        m_particles = next;
    }
}

void CParticleSystem::AddParticle(DWORD texture, const D3DXVECTOR3 *position, float size, D3DCOLOR colour,
                                  DWORD life, const D3DXVECTOR3 *velocity)
{
    Particle *p = new Particle;
    p->texture = texture;
    p->position = *position;
    p->velocity = *velocity;
    p->life = life;
    p->size = size;
    p->colour = colour;
    p->prev = NULL;
    p->next = m_particles;
    if (m_particles)
        m_particles->prev = p;
    m_particles = p;
}

void CParticleSystem::Update(DWORD elapsed)
{
    if (!m_particles)
        return;
    float dt = elapsed * 0.001f;
    Particle *p = m_particles;
    while (p) {
        Particle *next = p->next;
        bool dies = false;
        if (p->life != 0) {
            if (p->life > elapsed)
                p->life -= elapsed;
            else
                dies = true;
        }
        p->position += p->velocity * dt;
        if (dies) {
            if (p->prev)
                p->prev->next = next;
            else
                m_particles = next;
            if (next)
                next->prev = p->prev;
            delete p;
        }
        p = next;
    }
}

void CParticleSystem::EmitSmoke(const D3DXVECTOR3 *position, DWORD elapsed)
{
    s_smokeAccumulator += elapsed;
    if (s_smokeAccumulator > 200) {
        s_smokeAccumulator = 0;
        float angle = (rand() % 628) * 0.01f;
        D3DXVECTOR3 velocity(1.5f * cosf(angle), 0.0f, 1.5f * sinf(angle));
        AddParticle(0, position, 0.3f, 0xFF222222, 100, &velocity);
    }
}

void CParticleSystem::EmitSparks(const D3DXVECTOR3 *position, float angle)
{
    // The x component is deliberately left unscaled: sparks fly mostly along z.
    D3DXVECTOR3 velocity(cosf(angle), 0.0f, 20.0f * sinf(angle));
    const float x = position->x, y = position->y, z = position->z;
    const D3DXVECTOR3 points[5] = {D3DXVECTOR3(x, y - 0.1f, z), D3DXVECTOR3(x + 0.1f, y, z),
                                   D3DXVECTOR3(x - 0.1f, y, z), D3DXVECTOR3(x, y + 0.1f, z),
                                   D3DXVECTOR3(x, y, z - 0.1f)};
    for (int i = 0; i < 5; ++i)
        AddParticle(0, &points[i], 0.1f, 0x00F4AE0B, 100, &velocity);
}

BOOL CParticleSystem::SetShaderConstants(const D3DXMATRIX *view, const D3DXMATRIX *projection)
{
    if (!m_device || !s_shader || !s_declaration || !view || !projection)
        return 0;
    m_device->SetFVF(0);
    m_device->SetVertexShader(s_shader);
    m_device->SetVertexDeclaration(s_declaration);

    D3DXMATRIX viewProjection, transposed;
    D3DXMatrixMultiply(&viewProjection, view, projection);
    D3DXMatrixTranspose(&transposed, &viewProjection);
    m_device->SetVertexShaderConstantF(0, transposed, 4);

    // The view matrix's columns are the camera's axes in world space.
    D3DXVECTOR4 right(view->_11, view->_21, view->_31, 0.0f), up(view->_12, view->_22, view->_32, 0.0f);
    D3DXVec4Normalize(&right, &right);
    D3DXVec4Normalize(&up, &up);
    m_device->SetVertexShaderConstantF(4, right, 1);
    m_device->SetVertexShaderConstantF(5, up, 1);
    return 1;
}

static void WriteQuad(ParticleVertex *v, const Particle *p)
{
    const float h = p->size * 0.5f;
    const float corners[4][4] = {{-h, h, 0, 0}, {h, h, 1, 0}, {-h, -h, 0, 1}, {h, -h, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        v[i].centre = p->position;
        v[i].sx = corners[i][0];
        v[i].sy = corners[i][1];
        v[i].colour = p->colour;
        v[i].u = corners[i][2];
        v[i].v = corners[i][3];
    }
}

void CParticleSystem::Render()
{
    if (!m_device || !m_vertexBuffer || !m_particles)
        return;
    m_device->SetStreamSource(0, m_vertexBuffer, 0, sizeof(ParticleVertex));
    m_device->SetIndices(m_indexBuffer);
    int lastTexture = -1;

    for (DWORD t = 0; t < 2; ++t) {
        DWORD count = 0;
        ParticleVertex *vertices = NULL;
        m_vertexBuffer->Lock(0, 0, (void **)&vertices, D3DLOCK_DISCARD);
        for (Particle *p = m_particles; p; p = p->next) {
            if (p->texture != t)
                continue;
            if ((int)t != lastTexture) {
                m_device->SetTexture(0, s_textures ? s_textures[t] : NULL);
                lastTexture = (int)t;
            }
            if (vertices)
                WriteQuad(vertices + count * 4, p);
            count += 1;
            if (count >= m_capacity) {
                m_vertexBuffer->Unlock();
                m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, count * 4, 0, count * 2);
                vertices = NULL;
                m_vertexBuffer->Lock(0, 0, (void **)&vertices, D3DLOCK_DISCARD);
                count = 0;
            }
        }
        m_vertexBuffer->Unlock();
        if (count > 0)
            m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, count * 4, 0, count * 2);
    }
}

void CParticleSystem::EndRender()
{
    if (!m_device)
        return;
    m_device->SetVertexShader(NULL);
    m_device->SetVertexDeclaration(NULL);
}
