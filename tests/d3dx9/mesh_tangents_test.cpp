// D3DXComputeTangentFrameEx and D3DXComputeTangent against frames worked out by hand: a
// textured quad, a sheared quad and a sphere mapped by longitude and latitude.
#include "d3dx9/mesh_test_util.h"

#include <cmath>

using meshtest::IndicesOf;
using meshtest::StderrOf;
using meshtest::Vec3At;
using meshtest::VerticesOf;

namespace {

struct Vertex {
    D3DXVECTOR3 p, n;
    float u, v;
    D3DXVECTOR3 t, b;
};
const UINT kStride = sizeof(Vertex);
const DWORD kNone = DWORD(D3DX_DEFAULT);

const D3DVERTEXELEMENT9 kDecl[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 32, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    {0, 44, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0},
    D3DDECL_END()};

class TangentTest : public meshtest::NullDeviceTest {
protected:
    // A quad of four corners (clockwise seen from -z) with the given texture coordinates.
    ID3DXMesh *Quad(const D3DXVECTOR3 (&p)[4], const float (&uv)[4][2])
    {
        std::vector<Vertex> v;
        for (int i = 0; i < 4; i++)
            v.push_back({p[i], D3DXVECTOR3(0, 0, -1), uv[i][0], uv[i][1], D3DXVECTOR3(9, 9, 9), D3DXVECTOR3(9, 9, 9)});
        return meshtest::MeshFrom(device_, kDecl, v, {0, 1, 2, 0, 2, 3});
    }
    static Vertex At(const std::vector<BYTE> &bytes, DWORD i)
    {
        Vertex v;
        memcpy(&v, bytes.data() + size_t(i) * kStride, sizeof v);
        return v;
    }
};

TEST_F(TangentTest, QuadTangentAlongUBinormalAlongV)
{
    // A 2 x 1 quad at z = 0, facing -z; u runs along +x, v runs down (along -y), as images do.
    const D3DXVECTOR3 p[4] = {{0, 1, 0}, {2, 1, 0}, {2, 0, 0}, {0, 0, 0}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    ID3DXMesh *mesh = Quad(p, uv);
    ASSERT_EQ(D3DXComputeTangent(mesh, 0, 0, 0, 0, nullptr), D3D_OK);
    std::vector<BYTE> v = VerticesOf(mesh);
    for (DWORD i = 0; i < 4; i++) {
        EXPECT_VEC3_NEAR(At(v, i).t, 1, 0, 0, 1e-5f);
        EXPECT_VEC3_NEAR(At(v, i).b, 0, -1, 0, 1e-5f);
        EXPECT_VEC3_NEAR(At(v, i).n, 0, 0, -1, 1e-5f);
    }

    // A quad whose u crosses the edge of a wrapped texture (0.9 to 0.1): without the wrap u
    // seems to run backwards.  (Wrapping v too, v keeps within half a unit: 0.2 to 0.6.)
    const float across[4][2] = {{0.9f, 0.2f}, {0.1f, 0.2f}, {0.1f, 0.6f}, {0.9f, 0.6f}};
    mesh->Release();
    mesh = Quad(p, across);
    ASSERT_EQ(D3DXComputeTangent(mesh, 0, 0, 0, 0, nullptr), D3D_OK);
    EXPECT_VEC3_NEAR(At(VerticesOf(mesh), 0).t, -1, 0, 0, 1e-5f);
    ASSERT_EQ(D3DXComputeTangent(mesh, 0, 0, 0, 1, nullptr), D3D_OK);
    EXPECT_VEC3_NEAR(At(VerticesOf(mesh), 0).t, 1, 0, 0, 1e-5f);
    EXPECT_VEC3_NEAR(At(VerticesOf(mesh), 0).b, 0, -1, 0, 1e-5f);

    // Into a copy, partials left unnormalised: the sum of the faces' dP/du (2 long) and
    // dP/dv (1 long), each face weighted 1; the input stays.
    ID3DXMesh *fresh = Quad(p, uv), *out = nullptr;
    ID3DXBuffer *mapping = nullptr;
    ASSERT_EQ(D3DXComputeTangentFrameEx(fresh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0,
                                        D3DDECLUSAGE_BINORMAL, 0, kNone, 0,
                                        D3DXTANGENT_DONT_NORMALIZE_PARTIALS | D3DXTANGENT_WEIGHT_EQUAL,
                                        nullptr, 0.01f, 0.25f, 0.01f, &out, &mapping),
              D3D_OK);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(mapping, nullptr);
    ASSERT_EQ(mapping->GetBufferSize(), 4 * sizeof(DWORD));
    for (DWORD i = 0; i < 4; i++)
        EXPECT_EQ(static_cast<const DWORD *>(mapping->GetBufferPointer())[i], i);
    mapping->Release();
    v = VerticesOf(out);
    EXPECT_VEC3_NEAR(At(v, 1).t, 2, 0, 0, 1e-5f);  // one face
    EXPECT_VEC3_NEAR(At(v, 1).b, 0, -1, 0, 1e-5f);
    EXPECT_VEC3_NEAR(At(v, 2).t, 4, 0, 0, 1e-5f);  // two faces
    EXPECT_VEC3_NEAR(At(v, 2).b, 0, -2, 0, 1e-5f);
    EXPECT_VEC3_NEAR(At(VerticesOf(fresh), 2).t, 9, 9, 9, 1e-5f);
    out->Release();

    // Normals computed from the faces: counter-clockwise order is assumed unless WIND_CW.
    ASSERT_EQ(D3DXComputeTangentFrameEx(fresh, D3DDECLUSAGE_TEXCOORD, 0, kNone, 0, kNone, 0, D3DDECLUSAGE_NORMAL, 0,
                                        D3DXTANGENT_GENERATE_IN_PLACE | D3DXTANGENT_CALCULATE_NORMALS, nullptr, 0, 0,
                                        0, nullptr, nullptr),
              D3D_OK);
    EXPECT_VEC3_NEAR(At(VerticesOf(fresh), 1).n, 0, 0, 1, 1e-5f);
    EXPECT_VEC3_NEAR(At(VerticesOf(fresh), 1).t, 9, 9, 9, 1e-5f);  // a usage of D3DX_DEFAULT is not written
    ASSERT_EQ(D3DXComputeTangentFrameEx(fresh, D3DDECLUSAGE_TEXCOORD, 0, kNone, 0, kNone, 0, D3DDECLUSAGE_NORMAL, 0,
                                        D3DXTANGENT_GENERATE_IN_PLACE | D3DXTANGENT_CALCULATE_NORMALS |
                                            D3DXTANGENT_WIND_CW,
                                        nullptr, 0, 0, 0, nullptr, nullptr),
              D3D_OK);
    EXPECT_VEC3_NEAR(At(VerticesOf(fresh), 1).n, 0, 0, -1, 1e-5f);
    fresh->Release();
    mesh->Release();
}

TEST_F(TangentTest, ShearedMappingIsOrthogonalisedFromTheAxisAskedFor)
{
    // P = u (1, 0, 0) + v (1, 1, 0): the partials are 45 degrees apart.
    const D3DXVECTOR3 p[4] = {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {1, 0, 0}};
    const float uv[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    const float h = std::sqrt(0.5f);
    struct Case {
        DWORD options;
        D3DXVECTOR3 t, b;
    } cases[] = {
        {0, {1, 0, 0}, {0, 1, 0}},
        {D3DXTANGENT_ORTHOGONALIZE_FROM_U, {1, 0, 0}, {0, 1, 0}},
        {D3DXTANGENT_ORTHOGONALIZE_FROM_V, {h, -h, 0}, {h, h, 0}},
        {D3DXTANGENT_DONT_ORTHOGONALIZE, {1, 0, 0}, {h, h, 0}},
    };
    for (const Case &c : cases) {
        ID3DXMesh *mesh = Quad(p, uv);
        ASSERT_EQ(D3DXComputeTangentFrameEx(mesh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0,
                                            D3DDECLUSAGE_BINORMAL, 0, kNone, 0,
                                            D3DXTANGENT_GENERATE_IN_PLACE | c.options, nullptr, 0, 0, 0, nullptr,
                                            nullptr),
                  D3D_OK);
        std::vector<BYTE> v = VerticesOf(mesh);
        for (DWORD i = 0; i < 4; i++) {
            SCOPED_TRACE(testing::Message() << "options " << c.options << " vertex " << i);
            EXPECT_VEC3_NEAR(At(v, i).t, c.t.x, c.t.y, c.t.z, 1e-5f);
            EXPECT_VEC3_NEAR(At(v, i).b, c.b.x, c.b.y, c.b.z, 1e-5f);
        }
        mesh->Release();
    }
}

TEST_F(TangentTest, SphereFramesFollowLongitudeAndLatitudeAcrossTheWrappedSeam)
{
    ID3DXMesh *sphere = nullptr, *mesh = nullptr;
    ASSERT_EQ(D3DXCreateSphere(device_, 1, 24, 12, &sphere, nullptr), D3D_OK);
    ASSERT_EQ(sphere->CloneMesh(D3DXMESH_SYSTEMMEM, kDecl, device_, &mesh), D3D_OK);
    sphere->Release();
    // u goes once round z with the longitude, v from the +z pole to the -z pole.
    const DWORD count = mesh->GetNumVertices();
    Vertex *vx = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, reinterpret_cast<void **>(&vx)), D3D_OK);
    for (DWORD i = 0; i < count; i++) {
        float phi = std::atan2(vx[i].p.y, vx[i].p.x);
        if (phi < 0)
            phi += 2 * D3DX_PI;
        vx[i].u = phi / (2 * D3DX_PI);
        vx[i].v = std::acos(std::clamp(vx[i].p.z, -1.0f, 1.0f)) / D3DX_PI;
    }
    mesh->UnlockVertexBuffer();

    auto worst = [&](DWORD options) {
        EXPECT_EQ(D3DXComputeTangentFrameEx(mesh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0,
                                            D3DDECLUSAGE_BINORMAL, 0, kNone, 0,
                                            D3DXTANGENT_GENERATE_IN_PLACE | options, nullptr, 0, 0, 0, nullptr, nullptr),
                  D3D_OK);
        std::vector<BYTE> v = VerticesOf(mesh);
        float least = 1;
        for (DWORD i = 0; i < count; i++) {
            const Vertex x = At(v, i);
            if (std::hypot(x.p.x, x.p.y) < 1e-3f)
                continue;  // the poles have no longitude
            const float phi = std::atan2(x.p.y, x.p.x), theta = std::acos(std::clamp(x.p.z, -1.0f, 1.0f));
            const D3DXVECTOR3 east(-std::sin(phi), std::cos(phi), 0);
            const D3DXVECTOR3 south(std::cos(theta) * std::cos(phi), std::cos(theta) * std::sin(phi), -std::sin(theta));
            EXPECT_NEAR(D3DXVec3Length(&x.t), 1, 1e-4f);
            EXPECT_NEAR(D3DXVec3Dot(&x.t, &x.n), 0, 1e-4f) << "tangent not perpendicular to the normal at " << i;
            EXPECT_NEAR(D3DXVec3Dot(&x.b, &x.n), 0, 1e-4f) << "binormal not perpendicular to the normal at " << i;
            EXPECT_NEAR(D3DXVec3Dot(&x.t, &x.b), 0, 1e-4f);
            least = std::min({least, D3DXVec3Dot(&x.t, &east), D3DXVec3Dot(&x.b, &south)});
        }
        return least;
    };
    EXPECT_GT(worst(D3DXTANGENT_WRAP_U), 0.99f);
    EXPECT_GT(worst(D3DXTANGENT_WRAP_U | D3DXTANGENT_WEIGHT_BY_AREA), 0.99f);
    mesh->Release();
}

TEST_F(TangentTest, BadArgumentsAreRefusedWithOneLineEach)
{
    const D3DXVECTOR3 p[4] = {{0, 1, 0}, {2, 1, 0}, {2, 0, 0}, {0, 0, 0}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    ID3DXMesh *mesh = Quad(p, uv), *out = reinterpret_cast<ID3DXMesh *>(1), *plain = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL, device_, &plain), D3D_OK);
    const DWORD bad[6] = {5, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    const std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXComputeTangent(nullptr, 0, 0, 0, 0, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXComputeTangent(plain, 0, 0, 0, 0, nullptr), D3DERR_INVALIDCALL);  // no texture coordinates
        EXPECT_EQ(D3DXComputeTangent(mesh, 0, 1, 0, 0, nullptr), D3DERR_INVALIDCALL);   // no TANGENT1
        EXPECT_EQ(D3DXComputeTangent(mesh, 0, 0, 0, 0, bad), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXComputeTangentFrameEx(mesh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0, kNone, 0, kNone,
                                            0, 0, nullptr, 0, 0, 0, nullptr, nullptr),
                  D3DERR_INVALIDCALL);  // nowhere to put the result
        EXPECT_EQ(D3DXComputeTangentFrameEx(mesh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0, kNone, 0, kNone,
                                            0, D3DXTANGENT_WEIGHT_BY_AREA | D3DXTANGENT_WEIGHT_EQUAL, nullptr, 0, 0,
                                            0, &out, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(D3DXComputeTangentFrameEx(mesh, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0, kNone, 0, kNone,
                                            0, D3DXTANGENT_ORTHOGONALIZE_FROM_U | D3DXTANGENT_ORTHOGONALIZE_FROM_V,
                                            nullptr, 0, 0, 0, &out, nullptr),
                  D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(meshtest::CountLines(err), 7) << err;
    EXPECT_VEC3_NEAR(At(VerticesOf(mesh), 0).t, 9, 9, 9, 1e-5f);  // a refused call writes nothing
    plain->Release();
    mesh->Release();
}

}  // namespace
