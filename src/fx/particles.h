/*
 * particles.h - billboard particle systems: dust puffs and sword sparks.
 *
 * Each system keeps an unbounded list of live particles and draws them in batches through
 * one dynamic vertex buffer and a vertex shader that turns every particle into a quad
 * facing the camera.  The two textures, the shader and the vertex declaration are shared
 * by all systems: the first to initialise makes them, the last to release frees them.
 */
#ifndef TAVROK_FX_PARTICLES_H
#define TAVROK_FX_PARTICLES_H

#include <d3d9.h>
#include <d3dx9math.h>

struct Particle {
    DWORD texture;
    D3DXVECTOR3 position;
    D3DXVECTOR3 velocity;
    DWORD life;  // milliseconds left; 0 never dies
    float size;
    D3DCOLOR colour;
    Particle *prev;
    Particle *next;
};

// One corner of a particle's quad as the shader reads it.
struct ParticleVertex {
    D3DXVECTOR3 centre;
    float sx, sy;
    D3DCOLOR colour;
    float u, v;
};

class CParticleSystem {
public:
    CParticleSystem();
    ~CParticleSystem();

    BOOL Init(IDirect3DDevice9 *device, DWORD capacity);
    void Release();
    void AddParticle(DWORD texture, const D3DXVECTOR3 *position, float size, D3DCOLOR colour, DWORD life,
                     const D3DXVECTOR3 *velocity);
    void Update(DWORD elapsed);
    void EmitSmoke(const D3DXVECTOR3 *position, DWORD elapsed);
    void EmitSparks(const D3DXVECTOR3 *position, float angle);
    BOOL SetShaderConstants(const D3DXMATRIX *view, const D3DXMATRIX *projection);
    void Render();
    void EndRender();

    Particle *GetParticles() const { return m_particles; }
    DWORD GetCapacity() const { return m_capacity; }

    // Shared by all systems.
    static DWORD s_refCount;
    static IDirect3DTexture9 **s_textures;
    static IDirect3DVertexShader9 *s_shader;
    static IDirect3DVertexDeclaration9 *s_declaration;
    static DWORD s_smokeAccumulator;

private:
    IDirect3DDevice9 *m_device;
    IDirect3DVertexBuffer9 *m_vertexBuffer;
    IDirect3DIndexBuffer9 *m_indexBuffer;
    DWORD m_capacity;
    Particle *m_particles;
};

HRESULT LoadParticleShader(IDirect3DVertexShader9 **shader, IDirect3DDevice9 *device, const char *fileName,
                           const D3DVERTEXELEMENT9 *elements, IDirect3DVertexDeclaration9 **declaration);

extern CParticleSystem g_smokeParticles;
extern CParticleSystem g_sparkParticles;

#endif
