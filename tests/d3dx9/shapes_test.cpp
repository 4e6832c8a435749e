// The shape meshes on a NULLREF device: their size, where their vertices lie, which way
// their normals and faces turn, and that they are closed.
#include "d3dx9/mesh_test_util.h"

#include <cmath>
#include <algorithm>
#include <functional>

using meshtest::IndicesOf;
using meshtest::Vec3At;
using meshtest::VerticesOf;

namespace {

class ShapeTest : public meshtest::NullDeviceTest {
protected:
    // Checks a made shape: the counts, every normal of unit length and on the outward side
    // `surface` gives for its position (returning how far the position is from the surface),
    // every face clockwise seen from outside, and `openEdges` open edges.  The shape is the
    // one just made into mesh_ and adjacency_; its vertices and indices are left in v_ and ix_.
    void Check(HRESULT made, DWORD vertices, DWORD faces,
               const std::function<float(const D3DXVECTOR3 &, const D3DXVECTOR3 &)> &surface, DWORD openEdges = 0)
    {
        ASSERT_EQ(made, D3D_OK);
        ID3DXMesh *mesh = mesh_;
        ID3DXBuffer *adjacency = adjacency_;
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
        EXPECT_TRUE(mesh->GetOptions() & D3DXMESH_MANAGED);
        ASSERT_EQ(mesh->GetNumVertices(), vertices);
        ASSERT_EQ(mesh->GetNumFaces(), faces);
        std::vector<BYTE> &v = v_ = VerticesOf(mesh);
        for (DWORD i = 0; i < vertices; i++) {
            D3DXVECTOR3 p = Vec3At(v.data(), 24, i), n = Vec3At(v.data(), 24, i, 12);
            ASSERT_NEAR(D3DXVec3Length(&n), 1.0f, 1e-5f) << i;
            ASSERT_NEAR(surface(p, n), 0.0f, 1e-4f) << "vertex " << i << " off the surface or its normal wrong";
        }
        std::vector<DWORD> &ix = ix_ = IndicesOf(mesh);
        int degenerate = 0;
        for (DWORD f = 0; f < faces; f++) {
            D3DXVECTOR3 a = Vec3At(v.data(), 24, ix[f * 3]), b = Vec3At(v.data(), 24, ix[f * 3 + 1]),
                        c = Vec3At(v.data(), 24, ix[f * 3 + 2]), e1 = b - a, e2 = c - a, cross;
            D3DXVec3Cross(&cross, &e1, &e2);
            if (D3DXVec3Length(&cross) < 1e-6f) {
                degenerate++;
                continue;
            }
            D3DXVECTOR3 n = Vec3At(v.data(), 24, ix[f * 3], 12);
            ASSERT_GT(D3DXVec3Dot(&cross, &n), 0.0f) << "face " << f << " is wound the wrong way";
        }
        EXPECT_EQ(degenerate, 0);
        ASSERT_NE(adjacency, nullptr);
        ASSERT_EQ(adjacency->GetBufferSize(), faces * 12);
        const DWORD *a = static_cast<const DWORD *>(adjacency->GetBufferPointer());
        DWORD open = 0;
        for (DWORD i = 0; i < faces * 3; i++) {
            open += a[i] == 0xFFFFFFFF;
            ASSERT_TRUE(a[i] < faces || a[i] == 0xFFFFFFFF) << "face " << i / 3;
        }
        EXPECT_EQ(open, openEdges);
        adjacency->Release();
        mesh->Release();
    }
    ID3DXMesh *mesh_ = nullptr;
    ID3DXBuffer *adjacency_ = nullptr;
    std::vector<BYTE> v_;
    std::vector<DWORD> ix_;
};

TEST_F(ShapeTest, ShapesLieOnTheirSurfacesFaceOutwardsAndAreClosed)
{
    // A 2 x 4 x 6 box: on its surface, each normal along the axis of the side it is on.
    Check(D3DXCreateBox(device_, 2, 4, 6, &mesh_, &adjacency_), 24, 12,
          [](const D3DXVECTOR3 &p, const D3DXVECTOR3 &n) {
              const float half[3] = {1, 2, 3};
              float off = 0;
              for (int axis = 0; axis < 3; axis++) {
                  if (std::fabs(n[axis]) == 1)
                      off += std::fabs(p[axis] * n[axis] - half[axis]);  // on the side, outwards
                  else
                      off += n[axis] != 0 || std::fabs(p[axis]) != half[axis];  // at a corner
              }
              return off;
          });
    // A sphere of radius 2, 8 slices and 5 stacks: normal = position / radius.
    Check(D3DXCreateSphere(device_, 2, 8, 5, &mesh_, &adjacency_), 8 * 4 + 2, 2 * 8 * 4,
          [](const D3DXVECTOR3 &p, const D3DXVECTOR3 &n) {
              D3DXVECTOR3 d = p / 2 - n;
              return D3DXVec3Length(&d);
          });
    // A cone frustum from radius 2 at z = -1.5 to radius 1 at z = 1.5, 6 slices, 3 stacks:
    // the side's normals lean up by (r1 - r2) / length; the caps face along z.
    Check(D3DXCreateCylinder(device_, 2, 1, 3, 6, 3, &mesh_, &adjacency_), 6 * 4 + 2 * 7,
          2 * 6 * 3 + 2 * 6, [](const D3DXVECTOR3 &p, const D3DXVECTOR3 &n) {
              if (std::fabs(n.z) == 1)
                  return std::fabs(p.z - 1.5f * n.z) + (std::hypot(p.x, p.y) > 2 - p.z / 3 + 0.5f + 1e-4f);
              float r = 1.5f - p.z / 3;  // the radius at this height
              D3DXVECTOR3 lean(p.x / r, p.y / r, 1.0f / 3), want;
              D3DXVec3Normalize(&want, &lean);
              D3DXVECTOR3 d = want - n;
              return std::fabs(std::hypot(p.x, p.y) - r) + D3DXVec3Length(&d);
          });
    // A torus of tube radius 0.5 round a hole of radius 1, 5 sides, 7 rings: each vertex
    // lies half a unit from the circle of radius 1.5, along its normal.
    Check(D3DXCreateTorus(device_, 0.5f, 1, 5, 7, &mesh_, &adjacency_), 5 * 7, 2 * 5 * 7,
          [](const D3DXVECTOR3 &p, const D3DXVECTOR3 &n) {
              float r = std::hypot(p.x, p.y);
              D3DXVECTOR3 centre(p.x / r * 1.5f, p.y / r * 1.5f, 0), d = centre + n * 0.5f - p;
              return D3DXVec3Length(&d);
          });
}

TEST_F(ShapeTest, PolygonIsARegularFanFacingUpWithSidesOfTheGivenLength)
{
    for (UINT sides : {3u, 6u, 11u}) {
        SCOPED_TRACE(sides);
        // On z = 0 facing +z, the rim open.
        Check(
            D3DXCreatePolygon(device_, 2, sides, &mesh_, &adjacency_), sides + 1, sides,
            [](const D3DXVECTOR3 &p, const D3DXVECTOR3 &n) { return std::fabs(p.z) + std::fabs(n.z - 1); }, sides);
        ASSERT_FALSE(HasFatalFailure());
        // A fan around the centre, vertex 0: each face has one side of the polygon.
        for (DWORD f = 0; f < sides; f++)
            EXPECT_EQ(std::count(ix_.begin() + f * 3, ix_.begin() + f * 3 + 3, 0u), 1) << "face " << f;
        const D3DXVECTOR3 centre = Vec3At(v_.data(), 24, 0);
        float area = 0;
        for (DWORD i = 1; i <= sides; i++) {
            D3DXVECTOR3 p = Vec3At(v_.data(), 24, i) - centre, next = Vec3At(v_.data(), 24, i % sides + 1) - centre,
                        side = next - p;
            EXPECT_NEAR(D3DXVec3Length(&side), 2.0f, 1e-4f) << "corner " << i;
            area += std::fabs(p.x * next.y - p.y * next.x) / 2;
        }
        // A regular polygon of side s has area n s^2 / (4 tan(pi / n)).
        EXPECT_NEAR(area, float(sides) * 4 / (4 * std::tan(D3DX_PI / float(sides))), 1e-3f);
    }
}

TEST_F(ShapeTest, BadSizesAreRefusedWithOneLineEach)
{
    ID3DXMesh *mesh = reinterpret_cast<ID3DXMesh *>(1);
    const std::string err = meshtest::StderrOf([&] {
        EXPECT_EQ(D3DXCreateBox(device_, -1, 1, 1, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(D3DXCreateSphere(device_, 1, 1, 4, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreateCylinder(device_, 1, 1, 1, 4, 0, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreateTorus(device_, 1, 1, 2, 4, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreateBox(nullptr, 1, 1, 1, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreatePolygon(device_, 1, 2, &mesh, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCreatePolygon(device_, -1, 5, &mesh, nullptr), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(meshtest::CountLines(err), 7) << err;
    // The adjacency is optional.
    ASSERT_EQ(D3DXCreateSphere(device_, 1, 3, 2, &mesh, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumFaces(), 6u);
    mesh->Release();
}

}  // namespace
