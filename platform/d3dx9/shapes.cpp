/*
 * shapes.cpp - D3DXCreateBox, D3DXCreateSphere, D3DXCreateCylinder, D3DXCreateTorus and
 * D3DXCreatePolygon.
 *
 * Each shape is centred at the origin, its axis along z, made as a managed D3DFVF_XYZ |
 * D3DFVF_NORMAL mesh with unit normals pointing out and faces wound clockwise seen from
 * outside (Direct3D's front faces in left-handed coordinates).  Smooth surfaces share their
 * vertices; the box's sides and the cylinder's caps have vertices of their own, so their
 * edges stay sharp.  The polygon lies flat in the z = 0 plane facing +z: a centre vertex and one
 * vertex per corner, the first corner on +x, fanned into one triangle per side.  The adjacency, when asked for, joins faces across coincident corners.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>

#include <cmath>
#include <cstring>

namespace {

using tavrok::Diagnostic;
using tavrok::d3dx9mesh::kLib;

struct ShapeVertex {
    D3DXVECTOR3 position, normal;
};

class Shape {
public:
    DWORD Add(const D3DXVECTOR3 &position, D3DXVECTOR3 normal)
    {
        D3DXVec3Normalize(&normal, &normal);
        vertices_.push_back({position, normal});
        return DWORD(vertices_.size() - 1);
    }
    // A triangle, turned if need be so that it is clockwise seen from the side its
    // corners' normals point to.
    void Face(DWORD a, DWORD b, DWORD c)
    {
        D3DXVECTOR3 e1 = vertices_[b].position - vertices_[a].position, e2 = vertices_[c].position - vertices_[a].position;
        D3DXVECTOR3 n, out = vertices_[a].normal + vertices_[b].normal + vertices_[c].normal;
        D3DXVec3Cross(&n, &e1, &e2);
        if (D3DXVec3Dot(&n, &out) < 0)
            std::swap(b, c);
        indices_.insert(indices_.end(), {a, b, c});
    }
    void Quad(DWORD a, DWORD b, DWORD c, DWORD d)  // corners in order round the quad
    {
        Face(a, b, c);
        Face(a, c, d);
    }

    HRESULT Make(IDirect3DDevice9 *device, ID3DXMesh **mesh, ID3DXBuffer **adjacency) const
    {
        const DWORD faces = DWORD(indices_.size() / 3), count = DWORD(vertices_.size());
        const DWORD options = D3DXMESH_MANAGED | (count > 0xFFFF ? D3DXMESH_32BIT : 0);
        HRESULT hr = D3DXCreateMeshFVF(faces, count, options, D3DFVF_XYZ | D3DFVF_NORMAL, device, mesh);
        if (FAILED(hr))
            return hr;
        void *p = nullptr;
        (*mesh)->LockVertexBuffer(0, &p);
        memcpy(p, vertices_.data(), vertices_.size() * sizeof(ShapeVertex));
        (*mesh)->UnlockVertexBuffer();
        (*mesh)->LockIndexBuffer(0, &p);
        for (size_t i = 0; i < indices_.size(); i++) {
            if (options & D3DXMESH_32BIT)
                static_cast<DWORD *>(p)[i] = indices_[i];
            else
                static_cast<WORD *>(p)[i] = WORD(indices_[i]);
        }
        (*mesh)->UnlockIndexBuffer();
        if (adjacency) {
            *adjacency = nullptr;
            if (FAILED(hr = D3DXCreateBuffer(faces * 3 * sizeof(DWORD), adjacency)) ||
                FAILED(hr = (*mesh)->GenerateAdjacency(0.0f, static_cast<DWORD *>((*adjacency)->GetBufferPointer())))) {
                if (*adjacency)
                    (*adjacency)->Release();
                *adjacency = nullptr;
                (*mesh)->Release();
                *mesh = nullptr;
                return hr;
            }
        }
        return D3D_OK;
    }

private:
    std::vector<ShapeVertex> vertices_;
    std::vector<DWORD> indices_;
};

// The checks every shape shares; `bad` names a parameter out of range, or is null.
HRESULT Start(const char *caller, IDirect3DDevice9 *device, ID3DXMesh **mesh, ID3DXBuffer **adjacency, const char *bad)
{
    if (mesh)
        *mesh = nullptr;
    if (adjacency)
        *adjacency = nullptr;
    if (!device || !mesh || bad) {
        Diagnostic(kLib, "", "", std::string(caller) + ": " + (bad ? bad : "null device or result pointer"));
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

// A ring of `slices` vertices round the z axis at height z and radius r, normals given by
// `normal` for each angle.
template <class N> std::vector<DWORD> Ring(Shape &s, UINT slices, float z, float r, N normal)
{
    std::vector<DWORD> ring;
    for (UINT j = 0; j < slices; j++) {
        float phi = 2 * D3DX_PI * float(j) / float(slices);
        ring.push_back(s.Add(D3DXVECTOR3(r * cosf(phi), r * sinf(phi), z), normal(phi)));
    }
    return ring;
}

// The band of quads between two rings of equal size.
void Band(Shape &s, const std::vector<DWORD> &a, const std::vector<DWORD> &b)
{
    for (size_t j = 0; j < a.size(); j++) {
        size_t k = (j + 1) % a.size();
        s.Quad(a[j], a[k], b[k], b[j]);
    }
}

// A fan from one vertex to a ring.
void Fan(Shape &s, DWORD centre, const std::vector<DWORD> &ring)
{
    for (size_t j = 0; j < ring.size(); j++)
        s.Face(centre, ring[j], ring[(j + 1) % ring.size()]);
}

}  // namespace

HRESULT WINAPI D3DXCreateBox(LPDIRECT3DDEVICE9 pDevice, FLOAT Width, FLOAT Height, FLOAT Depth, LPD3DXMESH *ppMesh,
                             LPD3DXBUFFER *ppAdjacency)
{
    const char *bad = (Width < 0 || Height < 0 || Depth < 0) ? "a negative size" : nullptr;
    if (HRESULT hr = Start("D3DXCreateBox", pDevice, ppMesh, ppAdjacency, bad); FAILED(hr))
        return hr;
    const float half[3] = {Width / 2, Height / 2, Depth / 2};
    Shape s;
    for (int axis = 0; axis < 3; axis++)
        for (float sign : {-1.0f, 1.0f}) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            D3DXVECTOR3 normal(0, 0, 0);
            normal[axis] = sign;
            DWORD corner[4];
            const float st[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            for (int c = 0; c < 4; c++) {
                D3DXVECTOR3 p(0, 0, 0);
                p[axis] = sign * half[axis];
                p[u] = st[c][0] * half[u];
                p[v] = st[c][1] * half[v];
                corner[c] = s.Add(p, normal);
            }
            s.Quad(corner[0], corner[1], corner[2], corner[3]);
        }
    return s.Make(pDevice, ppMesh, ppAdjacency);
}

HRESULT WINAPI D3DXCreateSphere(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius, UINT Slices, UINT Stacks, LPD3DXMESH *ppMesh,
                                LPD3DXBUFFER *ppAdjacency)
{
    const char *bad = Radius < 0 ? "a negative radius" : (Slices < 2 || Stacks < 2) ? "fewer than 2 slices or stacks" : nullptr;
    if (HRESULT hr = Start("D3DXCreateSphere", pDevice, ppMesh, ppAdjacency, bad); FAILED(hr))
        return hr;
    Shape s;
    const DWORD top = s.Add(D3DXVECTOR3(0, 0, Radius), D3DXVECTOR3(0, 0, 1));
    std::vector<DWORD> previous;
    for (UINT i = 1; i < Stacks; i++) {
        const float theta = D3DX_PI * float(i) / float(Stacks);
        std::vector<DWORD> ring = Ring(s, Slices, Radius * cosf(theta), Radius * sinf(theta), [&](float phi) {
            return D3DXVECTOR3(sinf(theta) * cosf(phi), sinf(theta) * sinf(phi), cosf(theta));
        });
        if (previous.empty())
            Fan(s, top, ring);
        else
            Band(s, previous, ring);
        previous = ring;
    }
    Fan(s, s.Add(D3DXVECTOR3(0, 0, -Radius), D3DXVECTOR3(0, 0, -1)), previous);
    return s.Make(pDevice, ppMesh, ppAdjacency);
}

HRESULT WINAPI D3DXCreateCylinder(LPDIRECT3DDEVICE9 pDevice, FLOAT Radius1, FLOAT Radius2, FLOAT Length, UINT Slices,
                                  UINT Stacks, LPD3DXMESH *ppMesh, LPD3DXBUFFER *ppAdjacency)
{
    const char *bad = (Radius1 < 0 || Radius2 < 0 || Length < 0) ? "a negative radius or length"
                      : (Slices < 2 || Stacks < 1)               ? "fewer than 2 slices or 1 stack"
                                                                 : nullptr;
    if (HRESULT hr = Start("D3DXCreateCylinder", pDevice, ppMesh, ppAdjacency, bad); FAILED(hr))
        return hr;
    Shape s;
    // The side leans by the change of radius along the length: its normals lean the other way.
    const float lean = Length > 0 ? (Radius1 - Radius2) / Length : 0;
    std::vector<DWORD> previous;
    for (UINT k = 0; k <= Stacks; k++) {
        const float t = float(k) / float(Stacks);
        std::vector<DWORD> ring = Ring(s, Slices, Length * (t - 0.5f), Radius1 + (Radius2 - Radius1) * t,
                                       [&](float phi) { return D3DXVECTOR3(cosf(phi), sinf(phi), lean); });
        if (!previous.empty())
            Band(s, previous, ring);
        previous = ring;
    }
    // The caps: Radius1 at -z, Radius2 at +z.
    for (float end : {-1.0f, 1.0f}) {
        const float z = end * Length / 2, r = end < 0 ? Radius1 : Radius2;
        const D3DXVECTOR3 normal(0, 0, end);
        const DWORD centre = s.Add(D3DXVECTOR3(0, 0, z), normal);
        Fan(s, centre, Ring(s, Slices, z, r, [&](float) { return normal; }));
    }
    return s.Make(pDevice, ppMesh, ppAdjacency);
}

HRESULT WINAPI D3DXCreateTorus(LPDIRECT3DDEVICE9 pDevice, FLOAT InnerRadius, FLOAT OuterRadius, UINT Sides, UINT Rings,
                               LPD3DXMESH *ppMesh, LPD3DXBUFFER *ppAdjacency)
{
    const char *bad = (InnerRadius < 0 || OuterRadius < 0) ? "a negative radius"
                      : (Sides < 3 || Rings < 3)           ? "fewer than 3 sides or rings"
                                                           : nullptr;
    if (HRESULT hr = Start("D3DXCreateTorus", pDevice, ppMesh, ppAdjacency, bad); FAILED(hr))
        return hr;
    // The inner radius is the tube's, the outer one the central hole's: the tube's centre
    // runs at their sum from the axis.
    const float centre = InnerRadius + OuterRadius;
    Shape s;
    std::vector<std::vector<DWORD>> rings;
    for (UINT i = 0; i < Rings; i++) {
        const float phi = 2 * D3DX_PI * float(i) / float(Rings);
        const D3DXVECTOR3 out(cosf(phi), sinf(phi), 0);
        std::vector<DWORD> ring;
        for (UINT j = 0; j < Sides; j++) {
            const float theta = 2 * D3DX_PI * float(j) / float(Sides);
            const D3DXVECTOR3 normal = out * cosf(theta) + D3DXVECTOR3(0, 0, sinf(theta));
            ring.push_back(s.Add(out * centre + normal * InnerRadius, normal));
        }
        rings.push_back(ring);
    }
    for (UINT i = 0; i < Rings; i++)
        Band(s, rings[i], rings[(i + 1) % Rings]);
    return s.Make(pDevice, ppMesh, ppAdjacency);
}

HRESULT WINAPI D3DXCreatePolygon(LPDIRECT3DDEVICE9 pDevice, FLOAT Length, UINT Sides, LPD3DXMESH *ppMesh,
                                 LPD3DXBUFFER *ppAdjacency)
{
    const char *bad = Length < 0 ? "a negative side length" : Sides < 3 ? "fewer than 3 sides" : nullptr;
    if (HRESULT hr = Start("D3DXCreatePolygon", pDevice, ppMesh, ppAdjacency, bad); FAILED(hr))
        return hr;
    // The corners lie on the circle whose chord between neighbours is one side long.
    const float radius = Length / (2 * sinf(D3DX_PI / float(Sides)));
    const D3DXVECTOR3 up(0, 0, 1);
    Shape s;
    const DWORD centre = s.Add(D3DXVECTOR3(0, 0, 0), up);
    std::vector<DWORD> ring = Ring(s, Sides, 0, radius, [&](float) { return up; });
    Fan(s, centre, ring);
    return s.Make(pDevice, ppMesh, ppAdjacency);
}
