// The vertex stage without drawing (ProcessVertices), instanced draws and vertex shader
// flow control, on the GL device.
#include "pixel_fixture.h"
#include "shader_tokens.h"

#include <cstring>

namespace d3d9test {
namespace {

struct Source {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kSourceFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Processed {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};
constexpr DWORD kProcessedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

class VertexPipelineTest : public PixelTest {
protected:
    // A destination of `count` vertices, every byte 0xEE so that what is not written shows.
    IDirect3DVertexBuffer9 *Destination(UINT count)
    {
        std::vector<BYTE> fill(count * sizeof(Processed), 0xEE);
        return VertexBuffer(fill.data(), UINT(fill.size()), kProcessedFvf);
    }

    std::vector<Processed> Read(IDirect3DVertexBuffer9 *buffer, UINT count)
    {
        std::vector<Processed> out(count);
        void *p = nullptr;
        EXPECT_EQ(buffer->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
        if (p)
            memcpy(out.data(), p, count * sizeof(Processed));
        buffer->Unlock();
        return out;
    }
};

void ExpectPosition(const Processed &v, float x, float y, float z, float rhw)
{
    EXPECT_NEAR(v.x, x, 1e-3f);
    EXPECT_NEAR(v.y, y, 1e-3f);
    EXPECT_NEAR(v.z, z, 1e-4f);
    EXPECT_NEAR(v.rhw, rhw, 1e-5f);
}

constexpr DWORD kUntouched = 0xEEEEEEEE;

TEST_F(VertexPipelineTest, ProcessVerticesTransformsLightsAndCopiesLikeTheDrawWould)
{
    // World moves (1, 1, 0); a perspective of 90 degrees, near 1, far 11, on the 64 x 64
    // viewport.  A point at (0, 0, 5) lands at clip (1, 1, 4.4, 5).
    D3DMATRIX world = Identity(), projection = {};
    world._41 = world._42 = 1.0f;
    projection._11 = projection._22 = 1.0f;
    projection._33 = 1.1f;
    projection._34 = 1.0f;
    projection._43 = -1.1f;
    device_->SetTransform(D3DTS_WORLD, &world);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    const Source source[] = {
        {0, 0, 5, 0, 0, -1, 0xFF102030, 0.25f, 0.75f},
        {-2, 3, 9, 0, 0, -1, 0x80405060, 0.5f, 1.0f},
        {20, 0, 5, 0, 0, -1, 0xFF000000, 0, 0},  // right of the view volume
    };
    device_->SetStreamSource(0, VertexBuffer(source, sizeof source, kSourceFvf), 0, sizeof(Source));
    device_->SetFVF(kSourceFvf);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);

    // Unlit, outside a scene, into vertices 1..3 of the destination: screen positions with
    // 1/w, the vertex colour, texture set 0 copied and set 1, which the source lacks, left.
    IDirect3DVertexBuffer9 *dest = Destination(4);
    ASSERT_EQ(device_->ProcessVertices(0, 1, 3, dest, NULL, 0), D3D_OK);
    std::vector<Processed> out = Read(dest, 4);
    EXPECT_EQ(Bits(out[0].x), kUntouched);
    ExpectPosition(out[1], 38.4f, 25.6f, 0.88f, 0.2f);
    ExpectPosition(out[2], (1 - 1 / 9.0f) * 32, (1 - 4 / 9.0f) * 32, 8.8f / 9, 1 / 9.0f);
    EXPECT_EQ(out[1].diffuse, 0xFF102030u);
    EXPECT_EQ(out[2].diffuse, 0x80405060u);
    EXPECT_FLOAT_EQ(out[2].u0, 0.5f);
    EXPECT_FLOAT_EQ(out[2].v0, 1.0f);
    EXPECT_EQ(Bits(out[1].u1), kUntouched);
    // Clipping on: the vertex outside stays in projection space.
    ExpectPosition(out[3], 21, 1, 4.4f, 5);
    device_->SetRenderState(D3DRS_CLIPPING, FALSE);
    ASSERT_EQ(device_->ProcessVertices(2, 0, 1, dest, NULL, 0), D3D_OK);
    ExpectPosition(Read(dest, 1)[0], (1 + 21 / 5.0f) * 32, 25.6f, 0.88f, 0.2f);

    // A viewport moves and scales the positions, its depth range the z.
    D3DVIEWPORT9 viewport = {16, 8, 32, 16, 0.5f, 1.0f};
    device_->SetViewport(&viewport);
    ASSERT_EQ(device_->ProcessVertices(0, 0, 1, dest, NULL, 0), D3D_OK);
    ExpectPosition(Read(dest, 1)[0], 16 + 1.2f * 16, 8 + 0.8f * 8, 0.5f + 0.88f * 0.5f, 0.2f);

    // Lit by a white light shining along +z onto normals facing -z, with
    // D3DPV_DONOTCOPYDATA: the material's colour written, the texture coordinates not.
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    D3DMATERIAL9 material = {};
    material.Diffuse = {1, 0.5f, 0.25f, 1};
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    device_->SetMaterial(&material);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    IDirect3DVertexBuffer9 *lit = Destination(1);
    ASSERT_EQ(device_->ProcessVertices(0, 0, 1, lit, NULL, D3DPV_DONOTCOPYDATA), D3D_OK);
    out = Read(lit, 1);
    EXPECT_COLOR_NEAR(out[0].diffuse, 0xFFFF8040u, 1);
    EXPECT_EQ(out[0].specular, 0u);
    EXPECT_EQ(Bits(out[0].u0), kUntouched);

    // A vs_1_1 shader: mov oPos, v0; mov oD0, c0; mov oT0, c1.  Its texture output is the
    // destination's set 0; it writes all it outputs, D3DPV_DONOTCOPYDATA or not.
    D3DVIEWPORT9 full = {0, 0, kSize, kSize, 0, 1};
    device_->SetViewport(&full);
    UseVertexShader({D3DVS_VERSION(1, 1), D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0), D3DSIO_MOV,
                     Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0), D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0),
                     Src(D3DSPR_CONST, 0), D3DSIO_MOV, Dst(D3DSPR_TEXCRDOUT, 0), Src(D3DSPR_CONST, 1), D3DVS_END()});
    const float constants[2][4] = {{0, 1, 0, 1}, {0.125f, 0.375f, 0, 1}};
    device_->SetVertexShaderConstantF(0, &constants[0][0], 2);
    const Source clipSpace[] = {{0.5f, -0.5f, 0.25f, 0, 0, 0, 0, 9, 9}};
    device_->SetStreamSource(0, VertexBuffer(clipSpace, sizeof clipSpace, kSourceFvf), 0, sizeof(Source));
    IDirect3DVertexBuffer9 *shaded = Destination(1);
    ASSERT_EQ(device_->ProcessVertices(0, 0, 1, shaded, NULL, D3DPV_DONOTCOPYDATA), D3D_OK);
    out = Read(shaded, 1);
    ExpectPosition(out[0], 48, 48, 0.25f, 1);
    EXPECT_EQ(out[0].diffuse, 0xFF00FF00u);
    EXPECT_FLOAT_EQ(out[0].u0, 0.125f);
    EXPECT_FLOAT_EQ(out[0].v0, 0.375f);
    device_->SetVertexShader(nullptr);

    // Refused: a destination not of D3DFVF_XYZRHW vertices, one too
    // short, source vertices already transformed, a source range past the stream.
    IDirect3DVertexBuffer9 *untransformed = VertexBuffer(source, sizeof source, kSourceFvf);
    EXPECT_EQ(device_->ProcessVertices(0, 0, 1, untransformed, NULL, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ProcessVertices(0, 2, 3, dest, NULL, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ProcessVertices(2, 0, 2, dest, NULL, 0), D3DERR_INVALIDCALL);
    device_->SetFVF(kProcessedFvf);
    device_->SetStreamSource(0, dest, 0, sizeof(Processed));
    EXPECT_EQ(device_->ProcessVertices(0, 0, 1, shaded, NULL, 0), D3DERR_INVALIDCALL);
}

TEST_F(VertexPipelineTest, InstancedDrawRepeatsTheGeometryWithEachInstancesData)
{
    // vs_1_1: dcl_position v0, dcl_texcoord v1 (the instance's offset), dcl_color v2 (its
    // colour); add oPos, v0, v1; mov oD0, v2.
    UseVertexShader({D3DVS_VERSION(1, 1), D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0), D3DSIO_DCL,
                     Dcl(D3DDECLUSAGE_TEXCOORD), Dst(D3DSPR_INPUT, 1), D3DSIO_DCL, Dcl(D3DDECLUSAGE_COLOR),
                     Dst(D3DSPR_INPUT, 2), D3DSIO_ADD, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0),
                     Src(D3DSPR_INPUT, 1), D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_INPUT, 2), D3DVS_END()});
    D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                    {1, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                    {1, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                    D3DDECL_END()};
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    Keep(decl);
    // A square a quarter of the screen wide at the top-left corner, in clip space.
    const float square[4][4] = {{-1, 1, 0.5f, 1}, {-0.5f, 1, 0.5f, 1}, {-1, 0.5f, 0.5f, 1}, {-0.5f, 0.5f, 0.5f, 1}};
    const WORD indices[] = {0, 1, 2, 2, 1, 3};
    struct Instance {
        float dx, dy, dz, dw;
        D3DCOLOR color;
    };
    const Instance instances[] = {{0, 0, 0, 0, 0xFFFF0000}, {1, 0, 0, 0, 0xFF00FF00}, {0.5f, -1, 0, 0, 0xFF0000FF}};
    device_->SetVertexDeclaration(decl);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetStreamSource(0, VertexBuffer(square, sizeof square), 0, sizeof square[0]);
    device_->SetStreamSource(1, VertexBuffer(instances, sizeof instances), 0, sizeof(Instance));
    device_->SetIndices(IndexBuffer(indices, sizeof indices));
    ASSERT_EQ(device_->SetStreamSourceFreq(0, D3DSTREAMSOURCE_INDEXEDDATA | 3), D3D_OK);
    ASSERT_EQ(device_->SetStreamSourceFreq(1, D3DSTREAMSOURCE_INSTANCEDATA | 1), D3D_OK);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    device_->EndScene();
    // Instance 0 at the top-left 16 x 16, 1 half the screen to its right, 2 a quarter
    // right of 0 and half the screen down; nothing anywhere else.
    EXPECT_COLOR_NEAR(Pixel(8, 8), 0xFFFF0000u, 1);
    EXPECT_COLOR_NEAR(Pixel(40, 8), 0xFF00FF00u, 1);
    EXPECT_COLOR_NEAR(Pixel(24, 40), 0xFF0000FFu, 1);
    EXPECT_COLOR_NEAR(Pixel(24, 8), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(8, 40), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(56, 56), 0xFF000000u, 1);
}


// Version 2 instructions, as an assembler emits them.
std::vector<DWORD> Op(DWORD opcode, std::initializer_list<DWORD> operands, DWORD control = 0)
{
    std::vector<DWORD> t = {Ins(opcode, DWORD(operands.size())) | control};
    t.insert(t.end(), operands);
    return t;
}
// add r0, r0, c<n>, or c[aL + n] with `byLoop`.
std::vector<DWORD> AddConstant(DWORD n, bool byLoop = false)
{
    if (byLoop)
        return Op(D3DSIO_ADD, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, n) | D3DVS_ADDRMODE_RELATIVE,
                               Src(D3DSPR_LOOP, 0, Replicate(0))});
    return Op(D3DSIO_ADD, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, n)});
}
std::vector<DWORD> Defi(DWORD n, int x, int y, int z)
{
    return Op(D3DSIO_DEFI, {Dst(D3DSPR_CONSTINT, n), DWORD(x), DWORD(y), DWORD(z), 0});
}
const DWORD kAL = Src(D3DSPR_LOOP, 0);
DWORD I(DWORD n) { return Src(D3DSPR_CONSTINT, n); }
DWORD B(DWORD n) { return Src(D3DSPR_CONSTBOOL, n); }
DWORD L(DWORD n) { return Src(D3DSPR_LABEL, n); }

// A version 2 shader: dcl_position v0, mov oPos, v0, mov r0, c0, the parts, mov oD0, r0,
// ret, then the subroutines in `tail`.
std::vector<DWORD> FlowShader(DWORD minor, std::initializer_list<std::vector<DWORD>> parts,
                              std::initializer_list<std::vector<DWORD>> tail = {})
{
    std::vector<DWORD> t = {D3DVS_VERSION(2, minor), Ins(D3DSIO_DCL, 2), Dcl(D3DDECLUSAGE_POSITION),
                            Dst(D3DSPR_INPUT, 0)};
    auto add = [&](const std::vector<DWORD> &p) { t.insert(t.end(), p.begin(), p.end()); };
    add(Op(D3DSIO_MOV, {Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0)}));
    add(Op(D3DSIO_MOV, {Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0)}));
    for (const auto &p : parts)
        add(p);
    add(Op(D3DSIO_MOV, {Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_TEMP, 0)}));
    add(Op(D3DSIO_RET, {}));
    for (const auto &p : tail)
        add(p);
    t.push_back(D3DVS_END());
    return t;
}

TEST_F(VertexPipelineTest, FlowControlFollowsTheIntegerAndBooleanConstants)
{
    // Red counts passes, green sums constants by aL, blue shows the branches taken.
    const float constants[12][4] = {{0, 0, 0, 0},       {0.125f, 0, 0, 0}, {0, 0, 0.5f, 0},    {0, 0, 0.25f, 0},
                                    {0, 0.0625f, 0, 0}, {0, 0.25f, 0, 0},  {0, 0.125f, 0, 0},  {0, 0.5f, 0, 0},
                                    {0, 0, 0, 0},       {0, 0, 0.125f, 0}, {0, 0, 0.125f, 0}, {0, 0, 0.5f, 0}};
    device_->SetVertexShaderConstantF(0, &constants[0][0], 12);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const float quad[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    auto draw = [&] {
        Clear();
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        device_->EndScene();
        return Pixel(32, 32);
    };
    device_->SetFVF(D3DFVF_XYZ);

    // vs_2_0: rep i0 { call l1 }, loop aL, i1 { r0 += c[aL + 4] }, if b0 { r0 += c2 } else
    // { r0 += c3 }, callnz l0, b1; l0 adds c9, l1 adds c1.
    UseVertexShader(FlowShader(0,
                               {Op(D3DSIO_REP, {I(0)}), Op(D3DSIO_CALL, {L(1)}), Op(D3DSIO_ENDREP, {}),
                                Op(D3DSIO_LOOP, {kAL, I(1)}), AddConstant(4, true), Op(D3DSIO_ENDLOOP, {}),
                                Op(D3DSIO_IF, {B(0)}), AddConstant(2), Op(D3DSIO_ELSE, {}), AddConstant(3),
                                Op(D3DSIO_ENDIF, {}), Op(D3DSIO_CALLNZ, {L(0), B(1)})},
                               {Op(D3DSIO_LABEL, {L(0)}), AddConstant(9), Op(D3DSIO_RET, {}), Op(D3DSIO_LABEL, {L(1)}),
                                AddConstant(1), Op(D3DSIO_RET, {})}));
    const int counts[2][4] = {{3, 0, 0, 0}, {2, 1, 2, 0}};  // 3 passes; aL 1, 3: c5 + c7
    const BOOL flags[2] = {TRUE, FALSE};
    device_->SetVertexShaderConstantI(0, &counts[0][0], 2);
    device_->SetVertexShaderConstantB(0, flags, 2);
    EXPECT_COLOR_NEAR(draw(), 0x60BF80u, 1);
    // New constants reach the same program: 5 passes, aL 0, 1, 2 (c4 + c5 + c6), else, l0.
    const int more[2][4] = {{5, 0, 0, 0}, {3, 0, 1, 0}};
    const BOOL swapped[2] = {FALSE, TRUE};
    device_->SetVertexShaderConstantI(0, &more[0][0], 2);
    device_->SetVertexShaderConstantB(0, swapped, 2);
    EXPECT_COLOR_NEAR(draw(), 0x9F7060u, 1);
    // ... and so do those a state block applies: 1 pass, if and l0.
    IDirect3DStateBlock9 *block = nullptr;
    const int once[4] = {1, 0, 0, 0};
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    device_->SetVertexShaderConstantI(0, once, 1);
    device_->SetVertexShaderConstantB(0, flags, 1);
    ASSERT_EQ(device_->EndStateBlock(&block), D3D_OK);
    EXPECT_COLOR_NEAR(draw(), 0x9F7060u, 1) << "recording changes nothing";
    ASSERT_EQ(Keep(block)->Apply(), D3D_OK);
    EXPECT_COLOR_NEAR(draw(), 0x20709Fu, 1);
    // Counts below 0 run no pass; a negative step walks aL down (aL 3, 2: c7 + c6).
    const int down[2][4] = {{-4, 0, 0, 0}, {2, 3, -1, 0}};
    device_->SetVertexShaderConstantI(0, &down[0][0], 2);
    EXPECT_COLOR_NEAR(draw(), 0x009F9Fu, 1);

    // vs_2_x: nested loops of defi constants, the outer aL back after the inner loop;
    // break_comp leaving a rep; if_comp.  Outer aL 4, 7: the inner loop adds c1 (aL 1)
    // each time, then c4 and c7; the rep adds c10 until blue reaches c11's.
    const DWORD blue = Src(D3DSPR_TEMP, 0, Replicate(2)), half = Src(D3DSPR_CONST, 11, Replicate(2));
    UseVertexShader(FlowShader(1, {Defi(2, 2, 4, 3), Defi(3, 1, 1, 0), Defi(4, 10, 0, 0),
                                   Op(D3DSIO_LOOP, {kAL, I(2)}), Op(D3DSIO_LOOP, {kAL, I(3)}), AddConstant(0, true),
                                   Op(D3DSIO_ENDLOOP, {}), AddConstant(0, true), Op(D3DSIO_ENDLOOP, {}),
                                   Op(D3DSIO_REP, {I(4)}), AddConstant(10),
                                   Op(D3DSIO_BREAKC, {blue, half}, D3DSPC_GE << D3DSHADER_COMPARISON_SHIFT),
                                   Op(D3DSIO_ENDREP, {}),
                                   Op(D3DSIO_IFC, {blue, half}, D3DSPC_LT << D3DSHADER_COMPARISON_SHIFT),
                                   AddConstant(1), Op(D3DSIO_ELSE, {}), AddConstant(9), Op(D3DSIO_ENDIF, {})}));
    EXPECT_COLOR_NEAR(draw(), 0x408F9Fu, 1);
}

}  // namespace
}  // namespace d3d9test
