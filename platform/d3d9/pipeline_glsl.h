/*
 * pipeline_glsl.h - the keys that pick a GLSL program, and the generators of the
 * fixed-function programs (ffp_glsl.cpp).
 *
 * A draw's program is the pair (vertex key, fragment key).  The vertex key describes
 * either the fixed-function vertex stage (layout, lighting, colour sources, lights) or
 * a vertex shader; the fragment key describes the texture stages or a pixel shader, fog
 * and the alpha test.  The generated vertex stages all write the varyings v_diffuse,
 * v_specular, v_fog and v_tex<stage>, and the fragment stage reads only those (a pixel
 * shader's t# is v_tex#).
 */
#ifndef TAVROK_D3D9_PIPELINE_GLSL_H
#define TAVROK_D3D9_PIPELINE_GLSL_H

#include "d3d9_private.h"

#include <cstring>
#include <string>

namespace tavrok::d3d9 {

struct VertexKey {
    uint32_t shaderId = 0;      // a vertex shader, or 0 for the fixed-function stage
    uint8_t texIndex = 0;       // texture coordinate set that stage 0 reads
    uint8_t texSize = 0;        // its float count, 0 when the layout has none
    uint8_t pretransformed = 0; // D3DDECLUSAGE_POSITIONT: screen-space vertices
    uint8_t hasNormal = 0;
    uint8_t hasDiffuse = 0;
    uint8_t hasSpecular = 0;
    uint8_t lighting = 0;
    uint8_t normalize = 0;
    uint8_t specularEnable = 0;
    uint8_t localViewer = 0;
    uint8_t diffuseSource = 0;  // D3DMCS_* after COLORVERTEX and the layout are applied
    uint8_t ambientSource = 0;
    uint8_t specularSource = 0;
    uint8_t emissiveSource = 0;
    uint8_t lightTypes[kMaxLights] = {};  // D3DLIGHTTYPE of each enabled light, 0 when off
    uint8_t stageSet[kMaxStages] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // stages 1..7: the
                                // texture coordinate set each reads into v_tex<stage>, 0xFF when unused
    uint8_t fog = 0;            // what v_fog carries: one of the kFog* values
    uint8_t rangeFog = 0;       // vertex fog by distance from the eye rather than depth
    uint8_t points = 0;         // a point list: gl_PointSize is written
    uint8_t hasPointSize = 0;   // the layout gives each point its size (D3DDECLUSAGE_PSIZE)
    uint8_t pointScale = 0;     // D3DRS_POINTSCALEENABLE: sizes shrink with the eye distance
    uint8_t clipPlanes = 0;     // D3DRS_CLIPPLANEENABLE: the user clip planes in use, one bit each
    uint8_t flat = 0;           // D3DSHADE_FLAT: colours are the first vertex's
    // Stages 0..7: how many coordinates their set has in the layout (0 when it has none),
    // and the D3DTSS_TEXTURETRANSFORMFLAGS count through the stage's texture matrix (0:
    // no transform) with kTexProjected when the last one divides the others.
    uint8_t stageSize[kMaxStages] = {};
    uint8_t texTransform[kMaxStages] = {};
    // Stages 0..7: coordinates made from the vertex instead of read, one of the kGen* values.
    uint8_t texGen[kMaxStages] = {};
    uint8_t blendMatrices = 0;  // vertex blending: the world matrices each vertex blends (1..4), 0 off
    uint8_t indexedBlend = 0;   // ... chosen by the vertex's BLENDINDICES rather than 0..3
    uint8_t tween = 0;  // D3DVBF_TWEENING: kTweenPosition and kTweenNormal for what the layout has a second of
    // A program for ProcessVertices (1 + the texture sets it captures; 0 for drawing): the
    // same shaders, linked to capture their outputs by transform feedback.
    uint8_t feedback = 0;

    bool operator==(const VertexKey &o) const { return memcmp(this, &o, sizeof *this) == 0; }
};

// One texture stage as the pixel stage runs it.
struct StageKey {
    uint8_t colorOp = 0, colorArg1 = 0, colorArg2 = 0, colorArg0 = 0;
    uint8_t alphaOp = 0, alphaArg1 = 0, alphaArg2 = 0, alphaArg0 = 0;
    uint8_t hasTexture = 0;  // a texture is bound (else a read gives opaque white)
    uint8_t toTemp = 0;      // D3DTSS_RESULTARG = D3DTA_TEMP: the result goes to the temporary register
    uint8_t srgb = 0;        // D3DSAMP_SRGBTEXTURE: the texture's colour is sRGB, read as linear
    uint8_t target = 0;      // the bound texture's kind: kTarget2D, kTargetCube or kTargetVolume
};

// StageKey::target: what kind of texture a stage samples, with which coordinates.
constexpr uint8_t kTarget2D = 0;      // (u, v)
constexpr uint8_t kTargetCube = 1;    // a direction (x, y, z)
constexpr uint8_t kTargetVolume = 2;  // (u, v, w)

struct FragmentKey {
    uint32_t pixelShaderId = 0;  // a pixel shader, which replaces the stages; 0 for the stages
    // Stages 0..7; the first whose colour op is D3DTOP_DISABLE ends the cascade.
    StageKey stages[kMaxStages] = {};
    uint8_t alphaFunc = D3DCMP_ALWAYS;  // D3DCMP_ALWAYS when the alpha test is off
    uint8_t addSpecular = 0;
    uint8_t srgbWrite = 0;  // D3DRS_SRGBWRITEENABLE: the colour is written as sRGB
    uint8_t fog = 0;  // 0 none; kFogFactor: v_fog is the factor; else D3DFOG_* of table fog on v_fog's depth
    uint8_t fogFromFragmentDepth = 0;  // table fog on the window depth (a vertex shader's draw)
    uint8_t pointSprite = 0;  // points drawn as sprites: every stage's coordinates span the point
    uint8_t flat = 0;         // the colours come unblended from the first vertex (D3DSHADE_FLAT)
    uint8_t projected = 0;    // stages whose coordinates are divided by their w, one bit each
    uint8_t srgbSamplers = 0;  // a pixel shader's samplers s0..s7 reading sRGB textures, one bit each
    // ps_1_x declares no sampler types: the samplers whose bound texture is a cube or a
    // volume texture, one bit each, which its tex and texld then sample with (x, y, z).
    uint8_t ps1Cube = 0, ps1Volume = 0;
    // Render target 0 holds floats: the colour of a ps_2_0 or later shader goes out
    // unclamped (a fixed-point target clamps it on writing, as GL does).
    uint8_t floatTarget = 0;

    bool operator==(const FragmentKey &o) const { return memcmp(this, &o, sizeof *this) == 0; }
};
static_assert(sizeof(FragmentKey) == 4 + sizeof(StageKey) * kMaxStages + 12, "FragmentKey has no padding");

// What the vertex stage writes into v_fog.
constexpr uint8_t kFogNone = 0;       // nothing the pixel stage reads
constexpr uint8_t kFogDepth = 1;      // the depth table fog reads: eye z (w) or device z
constexpr uint8_t kFogVertexExp = 2;  // vertex fog factors of D3DFOG_EXP, EXP2, LINEAR
constexpr uint8_t kFogVertexExp2 = 3;
constexpr uint8_t kFogVertexLinear = 4;
constexpr uint8_t kFogSpecularAlpha = 5;  // the vertex's own factor in its specular alpha
constexpr uint8_t kFogFactor = 0xFF;      // fragment key: v_fog is the factor itself

constexpr uint8_t kTexProjected = 0x10;  // VertexKey::texTransform: D3DTTFF_PROJECTED

// VertexKey::texGen: the D3DTSS_TCI_* generator in D3DTSS_TEXCOORDINDEX's high word.
constexpr uint8_t kGenNone = 0;
constexpr uint8_t kGenNormal = D3DTSS_TCI_CAMERASPACENORMAL >> 16;
constexpr uint8_t kGenPosition = D3DTSS_TCI_CAMERASPACEPOSITION >> 16;
constexpr uint8_t kGenReflection = D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR >> 16;
constexpr uint8_t kGenSphereMap = D3DTSS_TCI_SPHEREMAP >> 16;
constexpr uint8_t kTweenPosition = 1;    // VertexKey::tween: POSITION1 is blended with POSITION
constexpr uint8_t kTweenNormal = 2;      // ... NORMAL1 with NORMAL

// Attribute names of the fixed-function vertex stage.
constexpr const char *kAttrPosition = "a_position";
constexpr const char *kAttrNormal = "a_normal";
constexpr const char *kAttrDiffuse = "a_diffuse";
constexpr const char *kAttrSpecular = "a_specular";
constexpr const char *kAttrTexcoord = "a_texcoord";
constexpr const char *kAttrPointSize = "a_psize";
constexpr const char *kAttrBlendWeight = "a_blendWeight";
constexpr const char *kAttrBlendIndices = "a_blendIndices";
constexpr const char *kAttrPosition1 = "a_position1";
constexpr const char *kAttrNormal1 = "a_normal1";

std::string FixedFunctionVertexGlsl(const VertexKey &key);
std::string FragmentGlsl(const FragmentKey &key);
// The fragment stage's shared parts: the interface (version, the varyings, fog and alpha
// test uniforms, o_color, the sRGB functions asked for) and the fixed-function end of the
// pipeline on `result` (fog, alpha test, sRGB write, the write to o_color).
std::string FragmentInterfaceGlsl(const FragmentKey &key, bool srgbRead);
std::string FragmentTailGlsl(const FragmentKey &key);

}  // namespace tavrok::d3d9

#endif
