/*
 * renderer_gl.cpp - the device's OpenGL 3.3 core back end.
 *
 * Owns the GL context made by SDL on the device window, a 1024 x 768 (back-buffer
 * sized) off-screen framebuffer with a depth buffer that draws go to while the back buffer
 * is the render target, and the GLSL programs (ffp_glsl.cpp, shader_glsl.cpp) cached by
 * their keys.  Other render targets (CreateRenderTarget surfaces and render-target
 * texture levels, GL textures) and depth surfaces (GL renderbuffers) are attached to a
 * second framebuffer.  Those targets are stored with Direct3D's row 0 as GL's row 0, so
 * that a texture drawn into is sampled the right way up and reads back rows top first:
 * for them clip space is turned upside down in the vertex shader, the front faces are
 * GL's counter-clockwise ones, and viewport and scissor boxes count rows from the top.
 * The back buffer keeps GL's bottom-up rows, which Present copies to the window as they
 * are.  StretchRect and ColorFill between these surfaces are framebuffer blits and
 * clears.  Present puts the off-screen image (or a part of it, or an additional swap
 * chain's back buffer) into the window or a part of it, scaled, letterboxed when a
 * full-screen display could not switch to the back-buffer size, and swaps, without
 * waiting for the vertical retrace for D3DPRESENT_INTERVAL_IMMEDIATE.  An unscaled image is drawn with a copy
 * program of ours rather than blitted: Mesa keeps our programs in its on-disk shader
 * cache, while a blit compiles the driver's own shaders again in every process, which
 * on llvmpipe made the first Present tens of milliseconds slower.  A shadow of the GL
 * state skips calls that change nothing; vertex, index and texture data are uploaded
 * only when their revision moved.
 * Direct3D conventions handled here: D3DCOLOR vertex colours read as BGRA, clockwise
 * front faces, depth 0..1, texel rows top first, back-buffer rows top first on lock.
 * Cube textures are GL cube maps (seamless), their faces uploaded rows top first in
 * D3DCUBEMAP_FACES order, which gives Direct3D's face orientation; a render-target cube's
 * face is attached as its GL cube-map face and drawn with row 0 as GL's row 0 like other
 * off-screen targets, which keeps the same orientation when it is sampled; volume textures are
 * GL 3D textures, slices front first, addressed in w by D3DSAMP_ADDRESSW.
 * With TAVROK_CAPTURE=<folder>[:N] every Nth presented frame is written as a PNG.
 * The texture stages and fog are drawn as ffp_glsl.cpp describes, a pixel shader as
 * shader_glsl.cpp does (its samplers bound to the units of their numbers, with the
 * stages' sampler states); the stencil test and user clip planes are GL's stencil test
 * and clip distances.  A vertex shader's float constants go up when their revision
 * moved, its integer and boolean constants (for flow control) when they differ from
 * what the program last received.
 */
#include "pipeline_glsl.h"

#include <tavrok/d3d9_debug.h>
#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <SDL.h>
#include <epoxy/gl.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unordered_map>

namespace tavrok::d3d9 {

namespace {

// --- translation tables ------------------------------------------------------------------

GLenum GlBlend(DWORD b)
{
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

// A blend factor as it comes out when the destination alpha is always one.
DWORD WithOpaqueTarget(DWORD b)
{
    switch (b) {
    case D3DBLEND_DESTALPHA: return D3DBLEND_ONE;
    case D3DBLEND_INVDESTALPHA: return D3DBLEND_ZERO;
    case D3DBLEND_SRCALPHASAT: return D3DBLEND_ZERO;  // min(As, 1 - Ad)
    default: return b;
    }
}

GLenum GlBlendOp(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;  // D3DBLENDOP_ADD
    }
}

GLenum GlCompare(DWORD f)
{
    switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;  // D3DCMP_ALWAYS
    }
}

GLenum GlStencilOp(DWORD op)
{
    switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;  // D3DSTENCILOP_KEEP
    }
}

GLenum GlPrimitive(D3DPRIMITIVETYPE t)
{
    switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;  // D3DPT_TRIANGLELIST
    }
}

// D3DTADDRESS_MIRRORONCE mirrors once about 0 and then clamps; a driver without the
// mirror-clamp mode gets it as plain mirroring, which agrees between -1 and 1.
GLenum GlAddress(DWORD a, bool mirrorClamp)
{
    switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_MIRRORONCE: return mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE : GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;  // D3DTADDRESS_WRAP
    }
}

struct GlVertexFormat {
    GLint size;
    GLenum type;
    GLboolean normalized;
};

GlVertexFormat GlDeclType(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return {1, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT2: return {2, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT3: return {3, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_FLOAT4: return {4, GL_FLOAT, GL_FALSE};
    case D3DDECLTYPE_D3DCOLOR: return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};  // ARGB in a little-endian DWORD
    case D3DDECLTYPE_UBYTE4: return {4, GL_UNSIGNED_BYTE, GL_FALSE};
    case D3DDECLTYPE_SHORT2: return {2, GL_SHORT, GL_FALSE};
    case D3DDECLTYPE_SHORT4: return {4, GL_SHORT, GL_FALSE};
    case D3DDECLTYPE_UBYTE4N: return {4, GL_UNSIGNED_BYTE, GL_TRUE};
    case D3DDECLTYPE_SHORT2N: return {2, GL_SHORT, GL_TRUE};
    case D3DDECLTYPE_SHORT4N: return {4, GL_SHORT, GL_TRUE};
    case D3DDECLTYPE_USHORT2N: return {2, GL_UNSIGNED_SHORT, GL_TRUE};
    case D3DDECLTYPE_USHORT4N: return {4, GL_UNSIGNED_SHORT, GL_TRUE};
    case D3DDECLTYPE_FLOAT16_2: return {2, GL_HALF_FLOAT, GL_FALSE};
    default: return {4, GL_HALF_FLOAT, GL_FALSE};  // D3DDECLTYPE_FLOAT16_4
    }
}

struct GlTextureFormat {
    GLenum internal, format, type;
    GLint swizzle[4];
};

// Texel formats in their Direct3D memory layout, read by GL without conversion.
GlTextureFormat GlTexFormat(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_X8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_R5G6B5: return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_A1R5G5B5:
        return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_X1R5G5B5:
        return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_A4R4G4B4:
        return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_A8L8: return {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}};
    case D3DFMT_L8: return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}};
    case D3DFMT_V8U8: return {GL_RG8_SNORM, GL_RG, GL_BYTE, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    case D3DFMT_X4R4G4B4:
        return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_R3G3B2: return {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_A8B8G8R8: return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_X8B8G8R8: return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    case D3DFMT_A2R10G10B10:
        return {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_A2B10G10R10:
        return {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_G16R16: return {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    case D3DFMT_A16B16G16R16: return {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_L16: return {GL_R16, GL_RED, GL_UNSIGNED_SHORT, {GL_RED, GL_RED, GL_RED, GL_ONE}};
    case D3DFMT_Q8W8V8U8: return {GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_V16U16: return {GL_RG16_SNORM, GL_RG, GL_SHORT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    case D3DFMT_Q16W16V16U16: return {GL_RGBA16_SNORM, GL_RGBA, GL_SHORT, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_R16F: return {GL_R16F, GL_RED, GL_HALF_FLOAT, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
    case D3DFMT_G16R16F: return {GL_RG16F, GL_RG, GL_HALF_FLOAT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    case D3DFMT_A16B16G16R16F: return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    case D3DFMT_R32F: return {GL_R32F, GL_RED, GL_FLOAT, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
    case D3DFMT_G32R32F: return {GL_RG32F, GL_RG, GL_FLOAT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    case D3DFMT_A32B32G32R32F: return {GL_RGBA32F, GL_RGBA, GL_FLOAT, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    // Compressed formats: what their texels are decoded to when GL cannot take the blocks.
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    default: return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}};  // D3DFMT_A8
    }
}

// Sets the X bits of `count` texels: a target's unused channel holds whatever was drawn
// into it, and reads as all ones, as the texels the device writes do.
void SetUnusedBits(D3DFORMAT format, uint8_t *texels, UINT count)
{
    const uint64_t unused = UnusedBits(format);
    const UINT bpp = BytesPerPixel(format);
    for (UINT i = 0; unused && i < count; i++) {
        uint64_t v = 0;
        memcpy(&v, texels + size_t(i) * bpp, bpp);
        v |= unused;
        memcpy(texels + size_t(i) * bpp, &v, bpp);
    }
}

// --- back-end objects attached to resources ----------------------------------------------

struct GlBuffer final : BackendObject {
    std::shared_ptr<bool> contextAlive;
    GLuint name = 0;
    uint64_t revision = 0;
    size_t size = 0;
    ~GlBuffer() override
    {
        if (*contextAlive && name)
            glDeleteBuffers(1, &name);
    }
};

struct GlTexture final : BackendObject {
    std::shared_ptr<bool> contextAlive;
    GLuint name = 0;
    uint64_t revision = 0;
    uint64_t serial = 0;     // unique for the renderer's life, unlike GL names, which come back
    bool allocated = false;  // a render target's storage is made
    ~GlTexture() override
    {
        if (*contextAlive && name)
            glDeleteTextures(1, &name);
    }
};

// A depth-stencil surface's storage.
struct GlRenderbuffer final : BackendObject {
    std::shared_ptr<bool> contextAlive;
    GLuint name = 0;
    uint64_t serial = 0;
    ~GlRenderbuffer() override
    {
        if (*contextAlive && name)
            glDeleteRenderbuffers(1, &name);
    }
};

// The GL storage of a depth format: 24-bit depth with 8 stencil bits for every format
// with stencil.
GLenum GlDepthFormat(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    case D3DFMT_D32:
    case D3DFMT_D32F_LOCKABLE: return GL_DEPTH_COMPONENT32F;
    case D3DFMT_D24FS8: return GL_DEPTH32F_STENCIL8;
    default: return GL_DEPTH24_STENCIL8;  // D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1
    }
}

// Where draws go: a colour texture level and a depth renderbuffer (0: none), with
// `serial`s naming them for the shadow.  An off-screen target is stored with Direct3D's
// row 0 as GL's row 0 (`flipped`); the back buffer the GL way up, so that Present copies it
// straight into the window.
struct TargetBinding {
    GLuint color = 0, depth = 0;
    GLint level = 0;
    GLenum texTarget = GL_TEXTURE_2D;  // the 2D texture or the cube-map face attached
    uint64_t colorSerial = 0, depthSerial = 0;
    // Render targets 1 to 3 (name 0: none), attached as colour attachments 1 to 3.
    struct More {
        GLuint name = 0;
        GLint level = 0;
        GLenum texTarget = GL_TEXTURE_2D;
        uint64_t serial = 0;
        bool operator==(const More &o) const
        {
            return serial == o.serial && level == o.level && texTarget == o.texTarget;
        }
    } more[kMaxRenderTargets - 1];
    // The colour attachments in use, bit i for attachment i.
    unsigned Attachments() const
    {
        unsigned bits = 1;
        for (int i = 0; i < kMaxRenderTargets - 1; i++)
            bits |= unsigned(more[i].name != 0) << (i + 1);
        return bits;
    }
    bool flipped = false;
    GLsizei width = 0, height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN, depthFormat = D3DFMT_UNKNOWN;
};

struct Program {
    GLuint name = 0;
    struct Input {
        BYTE usage, usageIndex;
        GLint location;
    };
    std::vector<Input> inputs;
    bool fixedFunction = true;
    uint8_t colorOutputs = 1;  // the render targets it writes, bit i for target i
    UINT constantCount = 0;
    UINT feedbackSets = 0;  // a ProcessVertices program: the texture sets (bit i: v_tex<i>) it captures
    // Uniform locations.
    GLint worldView = -1, projection = -1, normalMatrix = -1, pixel = -1, viewport = -1, depthRange = -1;
    GLint materialDiffuse = -1, materialAmbient = -1, materialSpecular = -1, materialEmissive = -1;
    GLint materialPower = -1, ambient = -1;
    GLint lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, lightPosition = -1, lightDirection = -1;
    GLint lightAttenuation = -1, lightSpot = -1;
    UINT psConstantCount = 0;
    GLint psConstants = -1;
    GLint constants = -1, texture0 = -1, tfactor = -1, stageConstant = -1, bumpMatrix = -1, alphaRef = -1, fog = -1, fogColor = -1;
    GLint point = -1, pointScale = -1, clipPlane = -1, texMatrix = -1, blendWorldView = -1, blendNormal = -1, tween = -1;
    GLint intConstants = -1, boolConstants = -1;  // a vertex shader's u_vsI and u_vsB, when its flow reads them
    // What was last uploaded.
    uint64_t transformRevision = 0, lightingRevision = 0, constantRevision = 0;
    int intValue[16][4] = {};  // as linked: GL starts every uniform at 0
    BOOL boolValue[16] = {};
    DWORD tfactorValue = 0xFFFFFFFF, alphaRefValue = ~0u;
    bool tfactorSet = false;
    float pixelValue[4] = {0, 0, 0, 0};
    float viewportValue[6] = {0, 0, 0, 0, 0, 0};
};

struct ProgramKeyHash {
    size_t operator()(const std::pair<VertexKey, FragmentKey> &k) const
    {
        const auto *p = reinterpret_cast<const uint8_t *>(&k.first);
        size_t h = 1469598103934665603ull;
        for (size_t i = 0; i < sizeof(VertexKey); i++)
            h = (h ^ p[i]) * 1099511628211ull;
        p = reinterpret_cast<const uint8_t *>(&k.second);
        for (size_t i = 0; i < sizeof(FragmentKey); i++)
            h = (h ^ p[i]) * 1099511628211ull;
        return h;
    }
};

// The attribute pointer last given to one location.
struct AttribShadow {
    bool enabled = false;
    GLuint buffer = 0;
    GLint size = 0;
    GLenum type = 0;
    GLboolean normalized = 0;
    GLsizei stride = 0;
    size_t offset = 0;
    GLuint divisor = 0;
};

void APIENTRY DebugMessage(GLenum, GLenum type, GLuint, GLenum, GLsizei, const GLchar *message, const void *)
{
    if (type == GL_DEBUG_TYPE_ERROR || type == GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR)
        Diagnostic(kLib, "OpenGL", "", message);
}

// The inverse of `a` by Gauss-Jordan elimination with partial pivoting; false (and `out`
// untouched) when `a` is singular.
bool Inverse(const D3DMATRIX &a, D3DMATRIX &out)
{
    double m[4][8];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            m[i][j] = a.m[i][j];
            m[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int c = 0; c < 4; c++) {
        int pivot = c;
        for (int r = c + 1; r < 4; r++)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        if (std::fabs(m[pivot][c]) < 1e-30)
            return false;
        std::swap(m[c], m[pivot]);
        const double scale = 1.0 / m[c][c];
        for (double &v : m[c])
            v *= scale;
        for (int r = 0; r < 4; r++)
            if (r != c) {
                const double f = m[r][c];
                for (int k = 0; k < 8; k++)
                    m[r][k] -= f * m[c][k];
            }
    }
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            out.m[i][j] = float(m[i][j + 4]);
    return true;
}

// The matrix normals go through for `m` (row vectors): the inverse transpose of its upper
// 3 x 3 part, as GL reads it (column-major) to act on column normals.  The cofactors read
// column-major are their transpose over the determinant: the inverse, which applied to a
// column normal equals Direct3D's row normal times the inverse transpose.
void NormalMatrix(const D3DMATRIX &matrix, float n[9])
{
    const auto &m = matrix.m;
    float det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    float inv = std::fabs(det) > 1e-30f ? 1.0f / det : 0.0f;
    float cof[3][3] = {{m[1][1] * m[2][2] - m[1][2] * m[2][1], m[1][2] * m[2][0] - m[1][0] * m[2][2],
                        m[1][0] * m[2][1] - m[1][1] * m[2][0]},
                       {m[0][2] * m[2][1] - m[0][1] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0],
                        m[0][1] * m[2][0] - m[0][0] * m[2][1]},
                       {m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2],
                        m[0][0] * m[1][1] - m[0][1] * m[1][0]}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            n[i * 3 + j] = cof[i][j] * inv;
}

void ColorOf(D3DCOLOR c, float out[4])
{
    out[0] = ((c >> 16) & 255) / 255.0f;
    out[1] = ((c >> 8) & 255) / 255.0f;
    out[2] = (c & 255) / 255.0f;
    out[3] = (c >> 24) / 255.0f;
}

// `r` cut to what lies inside `bounds` (empty, not reversed, when they do not meet).
RECT Clipped(const RECT &r, const RECT &bounds)
{
    RECT c = {std::max(r.left, bounds.left), std::max(r.top, bounds.top), std::min(r.right, bounds.right),
              std::min(r.bottom, bounds.bottom)};
    c.right = std::max(c.right, c.left);
    c.bottom = std::max(c.bottom, c.top);
    return c;
}

// A window switched to full screen, and how: the display set to the back buffer's size,
// or the window made borderless over the whole display (letterbox: Present scales the
// back buffer into it), with the place it had as a window.
struct FullScreen {
    bool on = false;
    bool letterbox = false;
    SDL_Rect windowed = {0, 0, 0, 0};
};

// Switches the display to the back-buffer size if it offers that mode; otherwise covers
// the desktop with the window and scales the back buffer into it.
FullScreen EnterFullScreen(SDL_Window *window, const D3DPRESENT_PARAMETERS &pp)
{
    FullScreen f;
    f.on = true;
    SDL_GetWindowPosition(window, &f.windowed.x, &f.windowed.y);
    SDL_GetWindowSize(window, &f.windowed.w, &f.windowed.h);
    SDL_DisplayMode want = {SDL_PIXELFORMAT_UNKNOWN, int(pp.BackBufferWidth), int(pp.BackBufferHeight),
                            int(pp.FullScreen_RefreshRateInHz), nullptr};
    SDL_DisplayMode closest;
    int display = SDL_GetWindowDisplayIndex(window);
    bool exact = SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &want, &closest) && closest.w == want.w &&
                 closest.h == want.h;
    if (exact) {
        SDL_SetWindowDisplayMode(window, &closest);
        exact = SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) == 0;
    }
    if (!exact) {
        // A borderless window over the whole display is what a desktop-sized full-screen
        // window is, and it needs no window manager to take effect.
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) == 0) {
            SDL_SetWindowBordered(window, SDL_FALSE);
            SDL_SetWindowPosition(window, bounds.x, bounds.y);
            SDL_SetWindowSize(window, bounds.w, bounds.h);
        }
        f.letterbox = true;
    }
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    return f;
}

// Gives the display its mode back, or the window its border and place.
void LeaveFullScreen(SDL_Window *window, const FullScreen &f)
{
    if (!f.on)
        return;
    if (!f.letterbox) {
        SDL_SetWindowFullscreen(window, 0);
        return;
    }
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowSize(window, f.windowed.w, f.windowed.h);
    SDL_SetWindowPosition(window, f.windowed.x, f.windowed.y);
}

class GlRenderer final : public Renderer {
public:
    GlRenderer(SDL_Window *window, SDL_GLContext context, const D3DPRESENT_PARAMETERS &pp, const FullScreen &full)
        : window_(window), context_(context), pp_(pp), full_(full)
    {
        width_ = GLsizei(pp.BackBufferWidth);
        height_ = GLsizei(pp.BackBufferHeight);
        mirrorClamp_ = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
                       epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp");
        // TAVROK_GL_NO_S3TC makes DXT textures go up decoded, as they do where GL lacks S3TC.
        s3tc_ = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc") && !EnvSwitch("TAVROK_GL_NO_S3TC");
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenFramebuffers(1, &fbo_);
        glGenTextures(1, &colorBuffer_);
        AllocateColorBuffer();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorBuffer_, 0);
        boundFbo_ = fbo_;
        if (pp.EnableAutoDepthStencil) {
            glGenRenderbuffers(1, &depthBuffer_);
            glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
        }
        glGenFramebuffers(1, &targetFbo_);
        glGenFramebuffers(2, copyFbos_);
        glGenBuffers(1, &streamVertices_);
        glGenBuffers(1, &streamIndices_);
        glGenSamplers(kMaxStages, samplers_);
        for (int i = 0; i < kMaxStages; i++)
            glBindSampler(GLuint(i), samplers_[i]);
        glActiveTexture(GL_TEXTURE0);
        glFrontFace(GL_CW);  // Direct3D's front faces are clockwise
        glEnable(GL_PROGRAM_POINT_SIZE);  // point lists' programs write their size
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex, as Direct3D does
        glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);  // cube maps filter across face edges, without addressing modes
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        memset(samplerShadow_, 0xFF, sizeof samplerShadow_);

        if (EnvSwitch("TAVROK_GL_DEBUG") && epoxy_has_gl_extension("GL_KHR_debug")) {
            glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
            glDebugMessageCallback(DebugMessage, nullptr);
        }
        if (const char *capture = EnvSwitch("TAVROK_CAPTURE")) {
            std::string setting = capture;
            size_t colon = setting.rfind(':');
            if (colon != std::string::npos && colon + 1 < setting.size() &&
                setting.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
                captureEvery_ = std::max(1, atoi(setting.c_str() + colon + 1));
                setting.resize(colon);
            }
            captureFolder_ = setting;
            mkdir(captureFolder_.c_str(), 0777);
        }
    }

    ~GlRenderer() override
    {
        if (rawProgram_) {
            glDeleteProgram(rawProgram_);
            glDeleteBuffers(1, &rawBuffer_);
            glDeleteVertexArrays(1, &rawVao_);
        }
        if (copyProgram_) {
            glDeleteProgram(copyProgram_);
            glDeleteVertexArrays(1, &copyVao_);
        }
        for (auto &entry : programs_)
            glDeleteProgram(entry.second.name);
        for (auto &entry : shaders_)
            glDeleteShader(entry.second);
        glDeleteSamplers(kMaxStages, samplers_);
        glDeleteBuffers(1, &streamVertices_);
        glDeleteBuffers(1, &streamIndices_);
        glDeleteBuffers(1, &feedbackBuffer_);
        glDeleteTextures(1, &colorBuffer_);
        if (depthBuffer_)
            glDeleteRenderbuffers(1, &depthBuffer_);
        if (frontBuffer_)
            glDeleteRenderbuffers(1, &frontBuffer_);
        for (auto &entry : images_) {
            glDeleteFramebuffers(1, &entry.second.fbo);
            glDeleteRenderbuffers(1, &entry.second.color);
        }
        glDeleteFramebuffers(1, &fbo_);
        glDeleteFramebuffers(1, &targetFbo_);
        glDeleteFramebuffers(2, copyFbos_);
        glDeleteVertexArrays(1, &vao_);
        *contextAlive_ = false;
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
        LeaveFullScreen(window_, full_);
    }

    bool IsNull() const override { return false; }

    HRESULT Clear(const DeviceState &s, DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override
    {
        if (!BindTarget(s))
            return D3DERR_INVALIDCALL;
        GLbitfield mask = 0;
        SetDrawBuffers(current_.Attachments());  // a clear covers every render target
        if (flags & D3DCLEAR_TARGET) {
            float c[4];
            ColorOf(color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            SetColorMask(0xF);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            glClearDepth(z);
            SetDepthMask(true);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_STENCIL) {
            // Every bit, whatever D3DRS_STENCILWRITEMASK says; the next draw sets the mask
            // again.
            glClearStencil(GLint(stencil));
            glStencilMask(~0u);
            std::fill(std::begin(stencil_), std::end(stencil_), ~0u);
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        // A clear covers the viewport (and the scissor rectangle when the test is on),
        // intersected with each rectangle given.
        RECT area = {LONG(s.viewport.X), LONG(s.viewport.Y), LONG(s.viewport.X + s.viewport.Width),
                     LONG(s.viewport.Y + s.viewport.Height)};
        if (s.render[D3DRS_SCISSORTESTENABLE])
            area = Intersect(area, s.scissor);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, true);
        DWORD n = count ? count : 1;
        for (DWORD i = 0; i < n; i++) {
            RECT r = area;
            if (count)
                r = Intersect(r, RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
            if (r.right <= r.left || r.bottom <= r.top)
                continue;
            SetScissor(r);
            glClear(mask);
        }
        return D3D_OK;
    }

    HRESULT Draw(const DeviceState &s, const DrawCall &call) override
    {
        if (!Prepare(s, call, 0))
            return D3DERR_INVALIDCALL;
        GLenum mode = GlPrimitive(call.type);
        if (!call.indexed) {
            glDrawArrays(mode, GLint(call.startVertex), GLsizei(call.vertexCount));
            return D3D_OK;
        }
        GLenum indexType;
        const void *indexOffset;
        if (call.userIndices) {
            bool wide = call.userIndexFormat == D3DFMT_INDEX32;
            indexType = wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, streamIndices_);
            elementBuffer_ = streamIndices_;
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(call.vertexCount) * (wide ? 4 : 2), call.userIndices,
                         GL_STREAM_DRAW);
            indexOffset = nullptr;
        } else {
            bool wide = s.indices->format == D3DFMT_INDEX32;
            indexType = wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            GLuint name = Upload(s.indices->buffer, GL_ELEMENT_ARRAY_BUFFER);
            if (elementBuffer_ != name) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
                elementBuffer_ = name;
            }
            indexOffset = reinterpret_cast<const void *>(size_t(call.startIndex) * (wide ? 4 : 2));
        }
        if (call.instanced)
            glDrawElementsInstancedBaseVertex(mode, GLsizei(call.vertexCount), indexType, indexOffset,
                                              GLsizei(call.instances), call.baseVertex);
        else
            glDrawElementsBaseVertex(mode, GLsizei(call.vertexCount), indexType, indexOffset, call.baseVertex);
        return D3D_OK;
    }

    // The vertex stage's outputs captured by transform feedback with rasterising off.  The
    // program runs with u_pixel at (0, 0, 1), so gl_Position is clip space itself but for
    // GL's depth (2z - w).
    HRESULT Transform(const DeviceState &s, const DrawCall &call, TransformedVertices &out) override
    {
        Program *program = Prepare(s, call, uint8_t(1 + out.sets));
        if (!program)
            return D3DERR_INVALIDCALL;
        const float unshifted[4] = {0, 0, 1, 0};
        if (program->pixel >= 0) {
            glUniform4fv(program->pixel, 1, unshifted);
            memcpy(program->pixelValue, unshifted, sizeof unshifted);
        }
        const UINT captured = program->feedbackSets, perVertex = kTransformedFloats + 4 * UINT(__builtin_popcount(captured));
        std::vector<float> raw(size_t(perVertex) * call.vertexCount);
        if (!feedbackBuffer_)
            glGenBuffers(1, &feedbackBuffer_);
        glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, feedbackBuffer_);
        glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, GLsizeiptr(raw.size() * sizeof(float)), nullptr, GL_STREAM_READ);
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, feedbackBuffer_);
        glEnable(GL_RASTERIZER_DISCARD);
        glBeginTransformFeedback(GL_POINTS);
        glDrawArrays(GL_POINTS, GLint(call.startVertex), GLsizei(call.vertexCount));
        glEndTransformFeedback();
        glDisable(GL_RASTERIZER_DISCARD);
        glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, GLsizeiptr(raw.size() * sizeof(float)), raw.data());

        const UINT floats = kTransformedFloats + 4 * out.sets;
        out.values.assign(size_t(floats) * call.vertexCount, 0.0f);
        out.written = captured;
        for (UINT v = 0; v < call.vertexCount; v++) {
            const float *from = &raw[size_t(v) * perVertex];
            float *to = &out.values[size_t(v) * floats];
            memcpy(to, from, kTransformedFloats * sizeof(float));
            to[2] = (from[2] + from[3]) * 0.5f;
            from += kTransformedFloats;
            for (UINT set = 0; set < out.sets; set++)
                if (captured & (1u << set)) {
                    memcpy(to + kTransformedFloats + 4 * set, from, 4 * sizeof(float));
                    from += 4;
                }
        }
        return D3D_OK;
    }

    // Everything a draw of `call` needs but the draw itself: target, program, uniforms,
    // states, textures and vertex attributes.  `feedback` is VertexKey::feedback.
    Program *Prepare(const DeviceState &s, const DrawCall &call, uint8_t feedback)
    {
        if (!BindTarget(s))
            return nullptr;
        VertexDeclaration *decl = s.declaration;
        VertexKey vk;
        FragmentKey fk;
        MakeKeys(s, *decl, call.type, vk, fk);
        vk.feedback = feedback;
        for (int i = 0; i < 6; i++)
            SetEnabled(GL_CLIP_DISTANCE0 + i, clipOn_[i], (vk.clipPlanes >> i) & 1);
        Program *program = ProgramFor(s, vk, fk);
        if (!program)
            return nullptr;
        // Render targets the shader writes no colour to keep theirs.
        SetDrawBuffers(current_.Attachments() & program->colorOutputs);
        UseProgram(*program);
        UploadUniforms(s, *program, vk);
        ApplyRasterState(s);
        for (int stage = 0; stage < kMaxStages && fk.stages[stage].colorOp > D3DTOP_DISABLE; stage++) {
            if (fk.stages[stage].hasTexture)
                BindTexture(s, stage);
            else
                BindTextureName(0, stage);
        }
        // A pixel shader's samplers; one with no texture reads (0, 0, 0, 1).
        for (int i = 0; fk.pixelShaderId && i < kPsSamplers; i++) {
            if (!s.pixelShader->parsed.samplerTypes[i])
                continue;
            const DWORD type = s.pixelShader->parsed.samplerTypes[i];
            if (s.textures[i])
                BindTexture(s, i);
            else
                BindTextureName(0, i, type == D3DSTT_CUBE ? GL_TEXTURE_CUBE_MAP : type == D3DSTT_VOLUME ? GL_TEXTURE_3D : GL_TEXTURE_2D);
        }

        // Vertex data.
        GLuint userBuffer = 0;
        if (call.userVertices) {
            BindArrayBuffer(streamVertices_);
            glBufferData(GL_ARRAY_BUFFER, call.userVertexBytes, call.userVertices, GL_STREAM_DRAW);
            userBuffer = streamVertices_;
        }
        for (const auto &input : program->inputs) {
            const D3DVERTEXELEMENT9 *element = nullptr;
            for (const auto &e : decl->elements)
                if (e.Usage == input.usage && e.UsageIndex == input.usageIndex)
                    element = &e;
            if (!element && input.usage == D3DDECLUSAGE_POSITION && input.usageIndex == 0)
                for (const auto &e : decl->elements)
                    if (e.Usage == D3DDECLUSAGE_POSITIONT)
                        element = &e;
            AttribShadow &sh = attribs_[input.location];
            if (!element) {
                if (sh.enabled) {
                    glDisableVertexAttribArray(GLuint(input.location));
                    sh.enabled = false;
                }
                glVertexAttrib4f(GLuint(input.location), 0.0f, 0.0f, 0.0f, 1.0f);
                continue;
            }
            GLuint buffer;
            GLsizei stride;
            size_t offset;
            GLuint divisor = 0;
            if (userBuffer) {
                buffer = userBuffer;
                stride = GLsizei(call.userStride);
                offset = element->Offset;
            } else {
                const StreamSource &ss = s.streams[element->Stream];
                buffer = Upload(ss.buffer->buffer, GL_ARRAY_BUFFER);
                stride = GLsizei(ss.stride);
                offset = size_t(ss.offset) + element->Offset;
                divisor = InstanceDivisor(s, call, element->Stream);
            }
            GlVertexFormat f = GlDeclType(element->Type);
            if (!sh.enabled) {
                glEnableVertexAttribArray(GLuint(input.location));
                sh.enabled = true;
            }
            if (sh.buffer != buffer || sh.size != f.size || sh.type != f.type || sh.normalized != f.normalized ||
                sh.stride != stride || sh.offset != offset || userBuffer) {
                BindArrayBuffer(buffer);
                glVertexAttribPointer(GLuint(input.location), f.size, f.type, f.normalized, stride,
                                      reinterpret_cast<const void *>(offset));
                sh = {true, buffer, f.size, f.type, f.normalized, stride, offset, sh.divisor};
            }
            if (sh.divisor != divisor) {
                glVertexAttribDivisor(GLuint(input.location), divisor);
                sh.divisor = divisor;
            }
        }
        // Locations the program does not read are switched off.
        for (GLint loc = 0; loc < 16; loc++) {
            if (!attribs_[loc].enabled)
                continue;
            bool used = false;
            for (const auto &input : program->inputs)
                used |= input.location == loc;
            if (!used) {
                glDisableVertexAttribArray(GLuint(loc));
                attribs_[loc].enabled = false;
            }
        }
        return program;
    }

    HRESULT Resize(const D3DPRESENT_PARAMETERS &pp) override
    {
        // Into or out of full screen, or full screen at another size.
        if (pp.Windowed != pp_.Windowed || (!pp.Windowed && (pp.BackBufferWidth != pp_.BackBufferWidth ||
                                                             pp.BackBufferHeight != pp_.BackBufferHeight))) {
            LeaveFullScreen(window_, full_);
            full_ = pp.Windowed ? FullScreen() : EnterFullScreen(window_, pp);
        }
        pp_ = pp;
        width_ = GLsizei(pp.BackBufferWidth);
        height_ = GLsizei(pp.BackBufferHeight);
        AllocateColorBuffer();
        // The automatic depth buffer made or dropped (the colour buffer is RGBA8 for every
        // back-buffer format, so a new format needs no new storage).
        if (pp.EnableAutoDepthStencil && !depthBuffer_) {
            glGenRenderbuffers(1, &depthBuffer_);
        } else if (!pp.EnableAutoDepthStencil && depthBuffer_) {
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            glDeleteRenderbuffers(1, &depthBuffer_);
            depthBuffer_ = 0;
            boundFbo_ = fbo_;
        }
        if (depthBuffer_) {
            glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
            boundFbo_ = fbo_;
        }
        BindBackBuffer();
        // The viewport and scissor shadows speak of the old size.
        memset(viewportBox_, 0xFF, sizeof viewportBox_);
        memset(scissorBox_, 0xFF, sizeof scissorBox_);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, false);
        SetColorMask(0xF);
        SetDepthMask(true);
        glClearColor(0, 0, 0, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
    }

    HRESULT Present(const Presentation &what) override
    {
        SDL_Window *window = what.window ? what.window : window_;
        const bool own = window == window_;
        if (own && !what.source) {
            if (!captureFolder_.empty() && frame_ % uint64_t(captureEvery_) == 0)
                Capture();
            frame_++;
        }
        const TargetBinding source = what.source ? ColorBindingOf(*what.source) : BackBufferBinding();
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window, &w, &h);
        // Both rectangles in Direct3D's terms (rows top down), clipped to their surfaces.
        RECT from = {0, 0, LONG(source.width), LONG(source.height)}, to = {0, 0, LONG(w), LONG(h)};
        if (what.from)
            from = Clipped(*what.from, from);
        if (what.to) {
            to = Clipped(*what.to, to);
        } else if (own && full_.letterbox && w > 0 && h > 0) {
            // Keep the back buffer's shape: scale to fit and centre.
            double scale = std::min(double(w) / width_, double(h) / height_);
            LONG sw = LONG(width_ * scale + 0.5), sh = LONG(height_ * scale + 0.5);
            to = {(w - sw) / 2, (h - sh) / 2, (w - sw) / 2 + sw, (h - sh) / 2 + sh};
        }
        if (!own)
            SDL_GL_MakeCurrent(window, context_);
        // A window keeps its picture for a Present into part of it to leave the rest as it
        // was (a window's own buffers are not kept between swaps), and another window for
        // GetFrontBufferData.  The device's window starts keeping one at its first partial
        // Present, black outside the rectangle: keeping it from the start would cost every
        // frame of every program a copy.
        WindowImage *image =
            !own || (what.keep && what.to) || images_.count(window) ? &ImageOf(window, w, h) : nullptr;
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, image ? image->fbo : 0);
        boundFbo_ = 0;
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, false);
        SetColorMask(0xF);
        if (own && full_.letterbox && !image) {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        // Scaled smoothly only when the whole source is shown: a filter at the edge of a
        // part would blend in the pixels beside it.
        const bool unscaled = to.right - to.left == from.right - from.left && to.bottom - to.top == from.bottom - from.top;
        const bool whole = from.right - from.left == source.width && from.bottom - from.top == source.height;
        if (from.right > from.left && from.bottom > from.top && to.right > to.left && to.bottom > to.top &&
            !(what.source == nullptr && unscaled && whole && CopyToWindow(GLint(to.left), GLint(h - to.bottom)))) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, copyFbos_[0]);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, source.texTarget, source.color,
                                   source.level);
            const GLint sy0 = source.flipped ? GLint(from.top) : GLint(source.height - from.top);
            const GLint sy1 = source.flipped ? GLint(from.bottom) : GLint(source.height - from.bottom);
            glBlitFramebuffer(GLint(from.left), sy0, GLint(from.right), sy1, GLint(to.left), GLint(h - to.top),
                              GLint(to.right), GLint(h - to.bottom), GL_COLOR_BUFFER_BIT,
                              unscaled || !whole ? GL_NEAREST : GL_LINEAR);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        }
        if (image) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, image->fbo);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
        if (own && !what.source && keepFront_)
            KeepFrontBuffer();
        SDL_GL_SwapWindow(window);
        if (!own)
            SDL_GL_MakeCurrent(window_, context_);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
    }

    bool ReadFrontBuffer(SDL_Window *window, FrontBuffer &out) override
    {
        SDL_Window *shown = window ? window : window_;
        SDL_GetWindowPosition(shown, &out.left, &out.top);
        auto image = images_.find(shown);
        // A letterboxed full screen reads as the back buffer's size, the size of the mode
        // the program asked for.
        if (image != images_.end() && !(shown == window_ && full_.letterbox)) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, image->second.fbo);
            out.width = image->second.width, out.height = image->second.height;
            out.argb = ReadFramebufferRows(out.width, out.height);
        } else if (shown == window_) {
            // Until the first call no copy is kept (it costs every Present a blit): the
            // first reads the back buffer as it stands, which is the presented frame when
            // the call comes right after Present, as screenshot code makes it.  Later
            // Presents keep one.
            if (frontBuffer_) {
                glBindFramebuffer(GL_READ_FRAMEBUFFER, copyFbos_[0]);
                glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frontBuffer_);
            } else {
                glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
            }
            keepFront_ = true;
            out.width = width_, out.height = height_;
            out.argb = ReadFramebufferRows(width_, height_);
            if (frontBuffer_)
                glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
        } else {
            return false;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, boundFbo_);
        for (D3DCOLOR &c : out.argb)
            c |= 0xFF000000;
        return glGetError() == GL_NO_ERROR;
    }

    bool ReadBackBuffer(MipLevel &out, D3DFORMAT format) override
    {
        BindBackBuffer();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        const std::vector<D3DCOLOR> rows = ReadFramebufferRows(width_, height_);
        UINT bpp = BytesPerPixel(format);
        for (GLsizei y = 0; y < height_ && UINT(y) < out.height; y++) {
            uint8_t *dst = &out.data[size_t(y) * out.pitch];
            for (GLsizei x = 0; x < width_ && UINT(x) < out.width; x++)
                PackArgb(format, rows[size_t(y) * width_ + x], dst + x * bpp);
        }
        return true;
    }

    // The bound read framebuffer's back-buffer-sized colour, as ARGB rows top first.
    // The read framebuffer's pixels, `width` by `height` from GL's origin, top row first.
    static std::vector<D3DCOLOR> ReadFramebufferRows(GLsizei width, GLsizei height)
    {
        std::vector<D3DCOLOR> rows(size_t(width) * height), out(rows.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        for (GLsizei y = 0; y < height; y++)  // GL rows are bottom first
            memcpy(&out[size_t(y) * width], &rows[size_t(height - 1 - y) * width], size_t(width) * sizeof(D3DCOLOR));
        return out;
    }

    void WriteBackBuffer(const MipLevel &in, D3DFORMAT format) override
    {
        std::vector<uint8_t> rows(size_t(width_) * height_ * 4);
        UINT bpp = BytesPerPixel(format);
        for (GLsizei y = 0; y < height_ && UINT(y) < in.height; y++)
            for (GLsizei x = 0; x < width_ && UINT(x) < in.width; x++) {
                D3DCOLOR c = UnpackArgb(format, &in.data[size_t(y) * in.pitch + x * bpp]);
                memcpy(&rows[(size_t(y) * width_ + x) * 4], &c, 4);
            }
        GLuint texture = 0, readFbo = 0;
        glGenTextures(1, &texture);
        BindTextureName(texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        glGenFramebuffers(1, &readFbo);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, false);
        SetColorMask(0xF);
        // The texture holds rows top first: flip them into GL's bottom-first target.
        glBlitFramebuffer(0, 0, width_, height_, 0, height_, width_, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        boundFbo_ = fbo_;
        glDeleteFramebuffers(1, &readFbo);
        BindTextureName(0);
        glDeleteTextures(1, &texture);
    }

    std::shared_ptr<bool> contextAlive_ = std::make_shared<bool>(true);

    // The benchmark's baseline: what a device draw of a transformed 4-vertex strip costs
    // when written directly in OpenGL, with one uniform matrix and one draw per quad.
    void DrawRawQuads(int count)
    {
        BindBackBuffer();
        if (!rawProgram_) {
            rawProgram_ = BuildProgram("#version 330 core\nuniform mat4 u_m;\nlayout(location = 0) in vec4 a_p;\n"
                                       "void main() { gl_Position = u_m * a_p; }\n",
                                       "#version 330 core\nout vec4 o;\nvoid main() { o = vec4(1.0); }\n");
            rawMatrix_ = glGetUniformLocation(rawProgram_, "u_m");
            float quad[4][3] = {{-0.01f, 0.01f, 0.5f}, {0.01f, 0.01f, 0.5f}, {-0.01f, -0.01f, 0.5f},
                                {0.01f, -0.01f, 0.5f}};
            glGenVertexArrays(1, &rawVao_);
            glBindVertexArray(rawVao_);
            glGenBuffers(1, &rawBuffer_);
            glBindBuffer(GL_ARRAY_BUFFER, rawBuffer_);
            glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        }
        glUseProgram(rawProgram_);
        glBindVertexArray(rawVao_);
        float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int i = 0; i < count; i++) {
            m[12] = float(i % 100) / 50.0f - 1.0f;
            m[13] = float(i / 100) / 10.0f - 1.0f;
            glUniformMatrix4fv(rawMatrix_, 1, GL_FALSE, m);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        // Hand the context back to the device's own state.
        glBindVertexArray(vao_);
        glUseProgram(program_);
        glBindBuffer(GL_ARRAY_BUFFER, arrayBuffer_);
    }
    GLuint rawProgram_ = 0, rawVao_ = 0, rawBuffer_ = 0;
    GLint rawMatrix_ = -1;

private:
    // The back buffer's colour is a texture, so that Present can draw it into the window.
    // Its only level is level 0: it is complete whatever filter the unit's sampler has.
    void AllocateColorBuffer()
    {
        BindTextureName(colorBuffer_, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        BindTextureName(0, 0);
    }

    // A linked program of the device's own, from shaders of fixed text (0 when it fails,
    // with one diagnostic line).
    GLuint BuildProgram(const char *vertexSource, const char *fragmentSource)
    {
        std::string log;
        GLuint program = NewProgram(vertexSource, fragmentSource, log);
        if (!program || !Link(program, log)) {
            Diagnostic(kLib, "GLSL", "", "internal program failed: " + log);
            return 0;
        }
        return program;
    }

    // Draws the back buffer unscaled into the window (bound for drawing) with its
    // bottom-left corner at (x, y): one triangle over the viewport, each pixel fetching its
    // texel.  False when the copy program could not be made; the caller then blits.
    // Keeps a copy of the frame being presented, for GetFrontBufferData: the window's own
    // front buffer cannot be read back everywhere (under Xvfb it reads black).  One copy
    // inside GL memory per Present, once the program has asked for the front buffer.
    void KeepFrontBuffer()
    {
        if (!frontBuffer_ || frontWidth_ != width_ || frontHeight_ != height_) {
            if (!frontBuffer_)
                glGenRenderbuffers(1, &frontBuffer_);
            glBindRenderbuffer(GL_RENDERBUFFER, frontBuffer_);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
            frontWidth_ = width_, frontHeight_ = height_;
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFbos_[1]);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frontBuffer_);
        glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    }

    bool CopyToWindow(GLint x, GLint y)
    {
        if (!copyProgram_ && !copyFailed_) {
            copyProgram_ = BuildProgram(
                "#version 330 core\n"
                "void main() {\n"
                "    gl_Position = vec4(vec2(gl_VertexID & 1, gl_VertexID >> 1) * 4.0 - 1.0, 0.0, 1.0);\n"
                "}\n",
                "#version 330 core\nuniform sampler2D u_frame;\nuniform ivec2 u_origin;\nout vec4 o;\n"
                "void main() { o = texelFetch(u_frame, ivec2(gl_FragCoord.xy) - u_origin, 0); }\n");
            copyFailed_ = !copyProgram_;
            if (copyFailed_)
                return false;
            copyOrigin_ = glGetUniformLocation(copyProgram_, "u_origin");  // u_frame reads unit 0
            glGenVertexArrays(1, &copyVao_);
        }
        if (!copyProgram_)
            return false;
        // Every pixel written as it is, through the shadowed state the next draw restores.
        SetEnabled(GL_DEPTH_TEST, depthTest_, false);
        SetEnabled(GL_CULL_FACE, cullOn_, false);
        SetEnabled(GL_BLEND, blendOn_, false);
        SetEnabled(GL_STENCIL_TEST, stencilOn_, false);
        SetColorMask(0xF);
        if (fillMode_ != D3DFILL_SOLID) {
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            fillMode_ = D3DFILL_SOLID;
        }
        glViewport(x, y, width_, height_);
        memset(viewportBox_, 0xFF, sizeof viewportBox_);
        glUseProgram(copyProgram_);
        program_ = copyProgram_;
        glUniform2i(copyOrigin_, x, y);
        BindTextureName(colorBuffer_, 0);
        glBindVertexArray(copyVao_);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(vao_);
        // The colour texture is the next frame's target: no unit keeps it bound.
        BindTextureName(0, 0);
        return true;
    }
    GLuint copyProgram_ = 0, copyVao_ = 0;
    GLint copyOrigin_ = -1;
    bool copyFailed_ = false;

    static RECT Intersect(RECT a, RECT b)
    {
        return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
    }

    // The back buffer with the automatic depth buffer, for the device's own drawing.
    void BindBackBuffer()
    {
        TargetBinding b = BackBufferBinding();
        b.depth = depthBuffer_;
        b.depthFormat = pp_.AutoDepthStencilFormat;
        UseBinding(b);
    }

    TargetBinding BackBufferBinding() const
    {
        TargetBinding b;
        b.color = colorBuffer_;
        b.colorSerial = 1;  // the back buffer's texture lives as long as the renderer
        b.width = width_, b.height = height_;
        b.format = pp_.BackBufferFormat;
        return b;
    }

    // A colour surface as a target: the back buffer, a render target or a level of a
    // render-target texture, its storage made on first use.
    // `writes`: the surface is about to be drawn into (a texture with automatic mipmaps
    // then needs its lower levels made again).
    TargetBinding ColorBindingOf(Surface &surface, bool writes = false)
    {
        if (surface.kind == Surface::Kind::BackBuffer)
            return BackBufferBinding();
        TargetBinding b;
        GlTexture *gl = nullptr;
        if (surface.container) {
            b.color = TargetTexture(*surface.container, gl);
            b.level = GLint(surface.level);
            if (surface.container->IsCube())
                b.texTarget = GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + surface.face);
            if (writes && (surface.container->usage & D3DUSAGE_AUTOGENMIPMAP))
                surface.container->targetMipsStale = true;
        } else {
            b.color = TextureNameOf(surface.core, gl);
            if (!gl->allocated) {
                GlTextureFormat f = GlTexFormat(surface.format);
                BindTextureName(gl->name, 0);
                glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(surface.width), GLsizei(surface.height), 0,
                             f.format, f.type, nullptr);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
                BindTextureName(0, 0);
                gl->allocated = true;
            }
        }
        b.colorSerial = gl->serial;
        b.flipped = true;
        b.width = GLsizei(surface.width), b.height = GLsizei(surface.height);
        b.format = surface.format;
        return b;
    }

    // The GL texture of a render-target texture (2D or cube), every level of every face
    // with its storage made (empty) on first use; never uploaded from memory, since its
    // pixels are drawn here.
    GLuint TargetTexture(LevelChains &t, GlTexture *&gl)
    {
        GLuint name = TextureNameOf(t.core, gl);
        if (gl->allocated)
            return name;
        GlTextureFormat f = GlTexFormat(t.format);
        const GLenum target = t.IsCube() ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
        BindTextureName(name, 0, target);
        for (UINT face = 0; face < t.faceCount; face++)
            for (UINT i = 0; i < t.LevelTotal(); i++)
                glTexImage2D(t.IsCube() ? GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face) : GL_TEXTURE_2D, GLint(i),
                             GLint(f.internal), GLsizei(t.chains[face][i].width), GLsizei(t.chains[face][i].height), 0,
                             f.format, f.type, nullptr);
        glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(t.LevelTotal() - 1));
        glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        BindTextureName(0, 0, target);
        gl->allocated = true;
        return name;
    }

    GLuint DepthOf(Surface &surface, uint64_t &serial)
    {
        if (surface.automatic) {
            serial = 2;
            return depthBuffer_;
        }
        auto *gl = static_cast<GlRenderbuffer *>(surface.core.backend.get());
        if (!gl) {
            auto fresh = std::make_unique<GlRenderbuffer>();
            fresh->contextAlive = contextAlive_;
            fresh->serial = nextSerial_++;
            glGenRenderbuffers(1, &fresh->name);
            glBindRenderbuffer(GL_RENDERBUFFER, fresh->name);
            glRenderbufferStorage(GL_RENDERBUFFER, GlDepthFormat(surface.format), GLsizei(surface.width),
                                  GLsizei(surface.height));
            gl = fresh.get();
            surface.core.backend = std::move(fresh);
        }
        serial = gl->serial;
        return gl->name;
    }

    // Binds the device's render target and depth buffer for a draw or a clear.
    bool BindTarget(const DeviceState &s)
    {
        // The usual case first: the back buffer with its depth buffer, bound already.
        if (!s.renderTarget && s.autoDepth && boundFbo_ == fbo_ && current_.color == colorBuffer_ &&
            current_.level == 0 && current_.depth == depthBuffer_ && !s.moreTargets[0] && !s.moreTargets[1] &&
            !s.moreTargets[2])
            return true;
        return BindOtherTarget(s);
    }

    bool BindOtherTarget(const DeviceState &s)
    {
        TargetBinding b = s.renderTarget ? ColorBindingOf(*s.renderTarget, true) : BackBufferBinding();
        for (int i = 0; i < kMaxRenderTargets - 1; i++) {
            if (!s.moreTargets[i])
                continue;
            if (!s.renderTarget || s.moreTargets[i]->kind == Surface::Kind::BackBuffer) {
                // The back buffer keeps its rows bottom first, the other targets top first:
                // one draw cannot go to both the right way up.
                Unsupported(kLib, "render targets 1 to 3 with the back buffer (they are not drawn to)");
                continue;
            }
            const TargetBinding t = ColorBindingOf(*s.moreTargets[i], true);
            b.more[i] = {t.color, t.level, t.texTarget, t.colorSerial};
        }
        if (s.autoDepth && depthBuffer_) {
            b.depth = depthBuffer_;
            b.depthSerial = 2;
            b.depthFormat = pp_.AutoDepthStencilFormat;
        } else if (!s.autoDepth && s.depthStencil) {
            b.depth = DepthOf(*s.depthStencil, b.depthSerial);
            b.depthFormat = s.depthStencil->format;
        }
        return UseBinding(b);
    }

    // Makes `b` the framebuffer drawn to: the back buffer's own for the back buffer with
    // its automatic depth buffer, else the target framebuffer with these attachments.
    bool UseBinding(const TargetBinding &b)
    {
        const bool own = b.color == colorBuffer_ && b.level == 0 && b.depth == depthBuffer_ && b.Attachments() == 1;
        const GLuint fbo = own ? fbo_ : targetFbo_;
        bool sameMore = true;
        for (int i = 0; i < kMaxRenderTargets - 1; i++)
            sameMore &= b.more[i] == attached_.more[i];
        if (!own && (b.colorSerial != attached_.colorSerial || b.level != attached_.level ||
                     b.texTarget != attached_.texTarget || b.depthSerial != attached_.depthSerial || !sameMore)) {
            glBindFramebuffer(GL_FRAMEBUFFER, targetFbo_);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, b.texTarget, b.color, b.level);
            for (int i = 0; i < kMaxRenderTargets - 1; i++)
                glFramebufferTexture2D(GL_FRAMEBUFFER, GLenum(GL_COLOR_ATTACHMENT1 + i), b.more[i].texTarget,
                                       b.more[i].name, b.more[i].level);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            if (b.depth)
                glFramebufferRenderbuffer(
                    GL_FRAMEBUFFER, HasStencilBits(b.depthFormat) ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                    GL_RENDERBUFFER, b.depth);
            attached_ = b;
            boundFbo_ = targetFbo_;
            targetDrawBuffers_ = 0;  // made again for what is attached now
            SetDrawBuffers(b.Attachments());
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
                Diagnostic(kLib, "", "", std::string("the render target (") + FormatName(b.format) + ", depth " +
                                             FormatName(b.depthFormat) + ") cannot be drawn to by OpenGL here");
                attached_ = TargetBinding();
                return false;
            }
        }
        if (boundFbo_ != fbo) {
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            boundFbo_ = fbo;
        }
        if (b.flipped != current_.flipped) {
            glFrontFace(b.flipped ? GL_CCW : GL_CW);
            glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, b.flipped ? GL_LOWER_LEFT : GL_UPPER_LEFT);
        }
        if (b.flipped != current_.flipped || b.height != current_.height) {
            // The viewport and scissor boxes depend on the target's height and way up.
            memset(viewportBox_, 0xFF, sizeof viewportBox_);
            memset(scissorBox_, 0xFF, sizeof scissorBox_);
        }
        current_ = b;
        return true;
    }

    // --- surface copies ---------------------------------------------------------------

public:
    bool HoldsPixels(const Surface &surface) const override
    {
        return surface.kind == Surface::Kind::BackBuffer || surface.kind == Surface::Kind::RenderTarget ||
               surface.kind == Surface::Kind::DepthStencil ||
               (surface.kind == Surface::Kind::TextureLevel && surface.IsRenderTarget());
    }

    bool ReadSurface(Surface &surface, MipLevel &out) override
    {
        if (surface.kind == Surface::Kind::BackBuffer)
            return ReadBackBuffer(out, surface.format);
        if (surface.IsDepthStencil())
            return false;
        // The texels are read in the format's own layout, rows top first as stored.
        TargetBinding b = ColorBindingOf(surface);
        const GlTextureFormat f = GlTexFormat(surface.format);
        const UINT bpp = BytesPerPixel(surface.format);
        std::vector<uint8_t> rows(size_t(b.width) * b.height * bpp);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, copyFbos_[0]);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, b.texTarget, b.color, b.level);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, b.width, b.height, f.format, f.type, rows.data());
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, boundFbo_);
        const UINT width = std::min(surface.width, out.width);
        for (UINT y = 0; y < surface.height && y < out.height; y++) {
            uint8_t *row = &out.data[size_t(y) * out.pitch];
            memcpy(row, &rows[size_t(y) * b.width * bpp], size_t(width) * bpp);
            SetUnusedBits(surface.format, row, width);
        }
        return glGetError() == GL_NO_ERROR;
    }

    bool WriteSurface(Surface &surface, const MipLevel &in) override
    {
        if (surface.kind == Surface::Kind::BackBuffer) {
            WriteBackBuffer(in, surface.format);
            return true;
        }
        if (surface.IsDepthStencil())
            return false;
        TargetBinding b = ColorBindingOf(surface, true);
        const GlTextureFormat f = GlTexFormat(surface.format);
        const UINT bpp = BytesPerPixel(surface.format);
        std::vector<uint8_t> rows(size_t(b.width) * b.height * bpp);
        const UINT width = std::min(surface.width, in.width);
        for (UINT y = 0; y < surface.height && y < in.height; y++) {
            uint8_t *row = &rows[size_t(y) * b.width * bpp];
            memcpy(row, &in.data[size_t(y) * in.pitch], size_t(width) * bpp);
            SetUnusedBits(surface.format, row, width);
        }
        const GLenum bindTarget = b.texTarget == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP;
        BindTextureName(b.color, 0, bindTarget);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(b.texTarget, b.level, 0, 0, b.width, b.height, f.format, f.type, rows.data());
        BindTextureName(0, 0, bindTarget);
        return glGetError() == GL_NO_ERROR;
    }

    bool Blit(Surface &src, const RECT &from, Surface &dst, const RECT &to, bool linear) override
    {
        TargetBinding a = ColorBindingOf(src), b = ColorBindingOf(dst, true);
        // Direct3D rows (top down) as GL rows of each target; a reversed range flips.
        auto rowsOf = [](const TargetBinding &t, const RECT &r, GLint &y0, GLint &y1) {
            y0 = t.flipped ? GLint(r.top) : GLint(t.height - r.top);
            y1 = t.flipped ? GLint(r.bottom) : GLint(t.height - r.bottom);
        };
        GLint sy0, sy1, dy0, dy1;
        rowsOf(a, from, sy0, sy1);
        rowsOf(b, to, dy0, dy1);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, copyFbos_[0]);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, a.texTarget, a.color, a.level);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFbos_[1]);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, b.texTarget, b.color, b.level);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, false);
        SetColorMask(0xF);
        glBlitFramebuffer(GLint(from.left), sy0, GLint(from.right), sy1, GLint(to.left), dy0, GLint(to.right), dy1,
                          GL_COLOR_BUFFER_BIT, linear ? GL_LINEAR : GL_NEAREST);
        DetachCopies();
        return glGetError() == GL_NO_ERROR;
    }

    bool Fill(Surface &surface, const RECT &area, D3DCOLOR color) override
    {
        if (surface.IsDepthStencil())
            return false;
        TargetBinding b = ColorBindingOf(surface, true);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFbos_[1]);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, b.texTarget, b.color, b.level);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, true);
        const GLint y = b.flipped ? GLint(area.top) : GLint(b.height - area.bottom);
        glScissor(GLint(area.left), y, GLint(area.right - area.left), GLint(area.bottom - area.top));
        memset(scissorBox_, 0xFF, sizeof scissorBox_);
        SetColorMask(0xF);
        float c[4];
        ColorOf(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        DetachCopies();
        return glGetError() == GL_NO_ERROR;
    }

    // --- queries ------------------------------------------------------------------------

    // An occlusion query counts GL_SAMPLES_PASSED, one at a time; an event is a fence; a
    // timestamp GL_TIMESTAMP, in nanoseconds.  A result not in yet sends the commands on,
    // so that a program polling without D3DGETDATA_FLUSH is answered too.
    struct OcclusionSegment {
        GLuint name = 0;
        OcclusionSegment() { glGenQueries(1, &name); }
        ~OcclusionSegment() { glDeleteQueries(1, &name); }
        OcclusionSegment(const OcclusionSegment &) = delete;
        OcclusionSegment &operator=(const OcclusionSegment &) = delete;
    };
    class GlQuery final : public QueryWork {
    public:
        GlQuery(GlRenderer &gl, D3DQUERYTYPE type) : gl_(gl), type_(type)
        {
            if (type == D3DQUERYTYPE_TIMESTAMP)
                glGenQueries(1, &name_);
        }
        ~GlQuery() override
        {
            if (gl_.StopCounting(this) && gl_.counting_.empty())
                gl_.CutOcclusionSegment();  // the last one building: nothing counts on
            if (name_)
                glDeleteQueries(1, &name_);
            if (sync_)
                glDeleteSync(sync_);
        }
        void Begin() override
        {
            if (type_ != D3DQUERYTYPE_OCCLUSION)
                return;
            segments_.clear();  // a second begin starts the count again
            gl_.StopCounting(this);
            gl_.counting_.push_back(this);
            gl_.CutOcclusionSegment();
        }
        void End() override
        {
            if (type_ == D3DQUERYTYPE_OCCLUSION) {
                if (gl_.StopCounting(this))
                    gl_.CutOcclusionSegment();
            } else if (type_ == D3DQUERYTYPE_EVENT) {
                if (sync_)
                    glDeleteSync(sync_);
                sync_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            } else if (type_ == D3DQUERYTYPE_TIMESTAMP) {
                glQueryCounter(name_, GL_TIMESTAMP);
            }
        }
        bool Result(bool flush, void *data) override
        {
            if (flush)
                glFlush();
            if (type_ == D3DQUERYTYPE_EVENT) {
                const GLenum state =
                    sync_ ? glClientWaitSync(sync_, GL_SYNC_FLUSH_COMMANDS_BIT, 0) : GL_ALREADY_SIGNALED;
                if (state != GL_ALREADY_SIGNALED && state != GL_CONDITION_SATISFIED)
                    return false;
                const BOOL done = TRUE;
                memcpy(data, &done, sizeof done);
                return true;
            }
            if (type_ == D3DQUERYTYPE_OCCLUSION) {
                for (const auto &segment : segments_) {
                    GLuint available = 0;
                    glGetQueryObjectuiv(segment->name, GL_QUERY_RESULT_AVAILABLE, &available);
                    if (!available) {
                        glFlush();
                        return false;
                    }
                }
                GLuint64 total = 0;
                for (const auto &segment : segments_) {
                    GLuint64 samples = 0;
                    glGetQueryObjectui64v(segment->name, GL_QUERY_RESULT, &samples);
                    total += samples;
                }
                segments_.clear();
                const DWORD samples = DWORD(total);
                memcpy(data, &samples, sizeof samples);
                return true;
            }
            if (type_ == D3DQUERYTYPE_TIMESTAMP) {
                GLuint available = 0;
                glGetQueryObjectuiv(name_, GL_QUERY_RESULT_AVAILABLE, &available);
                if (!available) {
                    glFlush();
                    return false;
                }
                GLuint64 value = 0;
                glGetQueryObjectui64v(name_, GL_QUERY_RESULT, &value);
                memcpy(data, &value, sizeof value);
                return true;
            }
            return NewImmediateQuery(type_)->Result(flush, data);  // disjoint: FALSE; frequency: 1 GHz
        }

    private:
        friend class GlRenderer;
        GlRenderer &gl_;
        D3DQUERYTYPE type_;
        GLuint name_ = 0;  // a timestamp's
        GLsync sync_ = nullptr;
        std::vector<std::shared_ptr<OcclusionSegment>> segments_;  // what an occlusion query spans
    };

    std::unique_ptr<QueryWork> NewQuery(D3DQUERYTYPE type) override { return std::make_unique<GlQuery>(*this, type); }

private:
    // GL counts samples for one query at a time, where Direct3D's occlusion queries may
    // overlap: the samples are counted in consecutive segments, one GL query each, cut
    // wherever an occlusion query begins or ends, and a query answers the sum of the
    // segments it spans.  A program whose queries follow one another makes one each.
    std::vector<GlQuery *> counting_;            // the occlusion queries building
    std::shared_ptr<OcclusionSegment> segment_;  // the segment counting now
    // Takes `query` off the building list; false when it was not on it.
    bool StopCounting(GlQuery *query)
    {
        auto it = std::find(counting_.begin(), counting_.end(), query);
        if (it == counting_.end())
            return false;
        counting_.erase(it);
        return true;
    }
    // Ends the segment counting now and, while any occlusion query is building, begins the
    // next one, which every building query spans.
    void CutOcclusionSegment()
    {
        if (segment_)
            glEndQuery(GL_SAMPLES_PASSED);
        segment_.reset();
        if (counting_.empty())
            return;
        segment_ = std::make_shared<OcclusionSegment>();
        glBeginQuery(GL_SAMPLES_PASSED, segment_->name);
        for (GlQuery *query : counting_)
            query->segments_.push_back(segment_);
    }

    // The copy framebuffers let go of what they held, and the target is bound again.
    void DetachCopies()
    {
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, copyFbos_[0]);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, boundFbo_);
    }

    void SetEnabled(GLenum cap, int &shadow, bool on)
    {
        if (shadow == int(on))
            return;
        if (on)
            glEnable(cap);
        else
            glDisable(cap);
        shadow = on;
    }

    // The colour write mask of every render target, and of target i (1 to 3) alone.
    void SetColorMask(DWORD mask)
    {
        if (colorMask_ == mask &&
            std::all_of(std::begin(moreMasks_), std::end(moreMasks_), [&](DWORD m) { return m == mask; }))
            return;
        glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
        colorMask_ = mask;
        std::fill(std::begin(moreMasks_), std::end(moreMasks_), mask);
    }
    void SetMoreColorMask(int target, DWORD mask)
    {
        if (moreMasks_[target - 1] == mask)
            return;
        glColorMaski(GLuint(target), mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
        moreMasks_[target - 1] = mask;
    }

    // The colour attachments of the target framebuffer that draws and clears write, bit
    // i for attachment i (the back buffer's own framebuffer has one).
    void SetDrawBuffers(unsigned bits)
    {
        if (boundFbo_ != targetFbo_ || targetDrawBuffers_ == bits)
            return;
        GLenum buffers[kMaxRenderTargets];
        for (int i = 0; i < kMaxRenderTargets; i++)
            buffers[i] = (bits >> i) & 1 ? GLenum(GL_COLOR_ATTACHMENT0 + i) : GLenum(GL_NONE);
        glDrawBuffers(kMaxRenderTargets, buffers);
        targetDrawBuffers_ = bits;
    }

    void SetDepthMask(bool on)
    {
        if (depthMask_ == int(on))
            return;
        glDepthMask(on);
        depthMask_ = on;
    }

    // A Direct3D rectangle (top-left origin) as the GL scissor box of the target (bottom-left
    // origin, or top-left for a target stored with Direct3D's rows as GL's).
    void SetScissor(const RECT &r)
    {
        const GLint y = current_.flipped ? GLint(r.top) : GLint(current_.height - r.bottom);
        GLint box[4] = {GLint(r.left), y, GLint(r.right - r.left), GLint(r.bottom - r.top)};
        if (memcmp(box, scissorBox_, sizeof box) == 0)
            return;
        glScissor(box[0], box[1], box[2], box[3]);
        memcpy(scissorBox_, box, sizeof box);
    }

    void BindArrayBuffer(GLuint name)
    {
        if (arrayBuffer_ == name)
            return;
        glBindBuffer(GL_ARRAY_BUFFER, name);
        arrayBuffer_ = name;
    }

    void BindTextureName(GLuint name, int unit = 0, GLenum target = GL_TEXTURE_2D)
    {
        GLuint *bound = target == GL_TEXTURE_CUBE_MAP ? cubeTextures_ : target == GL_TEXTURE_3D ? volumeTextures_ : textures_;
        if (bound[unit] == name)
            return;
        if (activeUnit_ != unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            activeUnit_ = unit;
        }
        glBindTexture(target, name);
        bound[unit] = name;
    }

    void UseProgram(const Program &p)
    {
        if (program_ == p.name)
            return;
        glUseProgram(p.name);
        program_ = p.name;
    }

    // The GL buffer of a Direct3D buffer, with what changed since the last draw uploaded.
    GLuint Upload(Buffer &b, GLenum target)
    {
        auto *gl = static_cast<GlBuffer *>(b.core.backend.get());
        if (!gl) {
            auto fresh = std::make_unique<GlBuffer>();
            fresh->contextAlive = contextAlive_;
            glGenBuffers(1, &fresh->name);
            gl = fresh.get();
            b.core.backend = std::move(fresh);
        }
        if (gl->revision == b.core.revision && gl->size == b.data.size())
            return gl->name;
        if (target == GL_ARRAY_BUFFER)
            BindArrayBuffer(gl->name);
        else {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gl->name);
            elementBuffer_ = gl->name;
        }
        GLenum usage = (b.usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW;
        bool whole = gl->size != b.data.size() || b.discarded ||
                     (b.dirtyBegin == 0 && b.dirtyEnd >= b.data.size()) || b.dirtyBegin >= b.dirtyEnd;
        if (whole) {
            // Orphaning the storage lets the driver keep drawing from the old contents.
            glBufferData(target, GLsizeiptr(b.data.size()), b.data.data(), usage);
            gl->size = b.data.size();
        } else {
            glBufferSubData(target, GLintptr(b.dirtyBegin), GLsizeiptr(b.dirtyEnd - b.dirtyBegin),
                            b.data.data() + b.dirtyBegin);
        }
        b.discarded = false;
        b.dirtyBegin = b.dirtyEnd = 0;
        gl->revision = b.core.revision;
        return gl->name;
    }

    // The GL texture of a resource, made on first use.
    GLuint TextureNameOf(ResourceCore &core, GlTexture *&gl)
    {
        gl = static_cast<GlTexture *>(core.backend.get());
        if (!gl) {
            auto fresh = std::make_unique<GlTexture>();
            fresh->contextAlive = contextAlive_;
            fresh->serial = nextSerial_++;
            glGenTextures(1, &fresh->name);
            gl = fresh.get();
            core.backend = std::move(fresh);
        }
        return gl->name;
    }

    // One level of a 2D texture or cube face on `target`: as stored, or for a DXT format
    // as its S3TC blocks when GL takes them, else decoded to ARGB here.
    void UploadLevel(GLenum target, UINT i, D3DFORMAT format, const GlTextureFormat &f, const MipLevel &l)
    {
        if (!IsCompressedFormat(format)) {
            glTexImage2D(target, GLint(i), GLint(f.internal), GLsizei(l.width), GLsizei(l.height), 0, f.format, f.type,
                         l.data.data());
            return;
        }
        if (s3tc_) {
            // DXT1's three-colour blocks have transparent black, so it goes up with alpha;
            // DXT2 and DXT4 are DXT3 and DXT5 blocks whose colours are premultiplied.
            const GLenum internal = format == D3DFMT_DXT1                            ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                                    : format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
                                                                                     : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
            glCompressedTexImage2D(target, GLint(i), internal, GLsizei(l.width), GLsizei(l.height), 0,
                                   GLsizei(size_t(l.pitch) * RowCount(format, l.height)), l.data.data());
            return;
        }
        std::vector<uint32_t> decoded(size_t(l.width) * l.height);
        DecodeCompressed(format, l.data.data(), l.pitch, l.width, l.height, decoded.data());
        glTexImage2D(target, GLint(i), GLint(f.internal), GLsizei(l.width), GLsizei(l.height), 0, f.format, f.type,
                     decoded.data());
    }

    // Binds the texture on `unit` (a 2D, cube or volume texture on the GL target of its
    // kind), uploading its levels when they changed, and applies the unit's sampler states.
    void BindTexture(const DeviceState &s, int unit)
    {
        IDirect3DBaseTexture9 *base = s.textures[unit];
        const D3DRESOURCETYPE type = base->GetType();
        GlTexture *gl = nullptr;
        GLenum target = GL_TEXTURE_2D;
        ResourceCore *core = nullptr;
        D3DFORMAT format = D3DFMT_A8R8G8B8;
        UINT levelCount = 1;
        DWORD lod = 0;
        if (type == D3DRTYPE_CUBETEXTURE) {
            auto *t = static_cast<CubeTexture *>(base);
            target = GL_TEXTURE_CUBE_MAP, core = &t->core, format = t->format, levelCount = t->LevelTotal(), lod = t->lod;
            if (t->usage & D3DUSAGE_RENDERTARGET)
                TargetTexture(*t, gl);  // drawn here, never uploaded
        } else if (type == D3DRTYPE_VOLUMETEXTURE) {
            auto *t = static_cast<VolumeTexture *>(base);
            target = GL_TEXTURE_3D, core = &t->core, format = t->format, levelCount = UINT(t->levels.size()), lod = t->lod;
        } else {
            auto *t = static_cast<Texture *>(base);
            core = &t->core, format = t->format, levelCount = UINT(t->levels.size()), lod = t->lod;
            if (t->usage & D3DUSAGE_RENDERTARGET)
                TargetTexture(*t, gl);  // drawn here, never uploaded
        }
        const bool mipmapped = levelCount > 1;
        BindTextureName(TextureNameOf(*core, gl), unit, target);
        if (activeUnit_ != unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            activeUnit_ = unit;
        }
        LevelChains *chains = type == D3DRTYPE_TEXTURE       ? static_cast<LevelChains *>(static_cast<Texture *>(base))
                              : type == D3DRTYPE_CUBETEXTURE ? static_cast<CubeTexture *>(base)
                                                             : nullptr;
        if (chains && chains->targetMipsStale) {
            // A render-target texture with automatic mipmaps, drawn into: its lower levels
            // made from level 0 now.
            glGenerateMipmap(target);
            chains->targetMipsStale = false;
        }
        if (gl->revision != core->revision) {
            GlTextureFormat f = GlTexFormat(format);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            // A render-target texture's levels are drawn here: only its LOD is applied.
            const bool drawnHere = chains && chains->IsRenderTarget();
            for (UINT i = 0; i < levelCount && !drawnHere; i++) {
                if (type == D3DRTYPE_CUBETEXTURE) {
                    // D3DCUBEMAP_FACES and GL's cube-map targets run in the same order, and
                    // GL's face orientation is Direct3D's when rows go in top first.
                    auto *t = static_cast<CubeTexture *>(base);
                    for (UINT face = 0; face < 6; face++)
                        UploadLevel(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face), i, format, f, t->Level(face, i));
                } else if (type == D3DRTYPE_VOLUMETEXTURE) {
                    const VolumeLevel &l = static_cast<VolumeTexture *>(base)->Level(i);
                    const void *texels = l.data.data();
                    std::vector<uint32_t> decoded;
                    if (IsCompressedFormat(format)) {
                        // Each slice is its own rows of blocks; GL takes S3TC for 2D images only.
                        decoded.resize(size_t(l.width) * l.height * l.depth);
                        for (UINT z = 0; z < l.depth; z++)
                            DecodeCompressed(format, &l.data[size_t(z) * l.slicePitch], l.rowPitch, l.width, l.height,
                                             &decoded[size_t(z) * l.width * l.height]);
                        texels = decoded.data();
                    }
                    glTexImage3D(GL_TEXTURE_3D, GLint(i), GLint(f.internal), GLsizei(l.width), GLsizei(l.height),
                                 GLsizei(l.depth), 0, f.format, f.type, texels);
                } else {
                    UploadLevel(GL_TEXTURE_2D, i, format, f, static_cast<Texture *>(base)->Level(i));
                }
            }
            glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, GLint(lod));
            glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(levelCount - 1));
            glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
            gl->revision = core->revision;
        }
        // Sampler state, applied only when it changed.
        const DWORD *sm = s.sampler[unit];
        const GLuint sampler_ = samplers_[unit];
        if (memcmp(sm, samplerShadow_[unit], sizeof samplerShadow_[unit]) != 0 ||
            mipmapped != samplerMipmapped_[unit]) {
            memcpy(samplerShadow_[unit], sm, sizeof samplerShadow_[unit]);
            samplerMipmapped_[unit] = mipmapped;
            bool magLinear = sm[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
            bool minLinear = sm[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
            GLenum minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
            if (mipmapped && sm[D3DSAMP_MIPFILTER] == D3DTEXF_POINT)
                minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
            else if (mipmapped && sm[D3DSAMP_MIPFILTER] == D3DTEXF_LINEAR)
                minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
            glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
            glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
            glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GLint(GlAddress(sm[D3DSAMP_ADDRESSU], mirrorClamp_)));
            glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GLint(GlAddress(sm[D3DSAMP_ADDRESSV], mirrorClamp_)));
            glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_R, GLint(GlAddress(sm[D3DSAMP_ADDRESSW], mirrorClamp_)));
            float border[4];
            ColorOf(sm[D3DSAMP_BORDERCOLOR], border);
            glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, border);
            float bias;
            memcpy(&bias, &sm[D3DSAMP_MIPMAPLODBIAS], 4);
            glSamplerParameterf(sampler_, GL_TEXTURE_LOD_BIAS, std::isfinite(bias) ? bias : 0.0f);
            glSamplerParameterf(sampler_, GL_TEXTURE_MIN_LOD, float(sm[D3DSAMP_MAXMIPLEVEL]));
        }
    }

    void ApplyRasterState(const DeviceState &s)
    {
        const DWORD *r = s.render;
        // Depth.
        bool depth = r[D3DRS_ZENABLE] != D3DZB_FALSE && current_.depth;
        SetEnabled(GL_DEPTH_TEST, depthTest_, depth);
        if (depth) {
            SetDepthMask(r[D3DRS_ZWRITEENABLE] != FALSE);
            if (depthFunc_ != r[D3DRS_ZFUNC]) {
                glDepthFunc(GlCompare(r[D3DRS_ZFUNC]));
                depthFunc_ = r[D3DRS_ZFUNC];
            }
        }
        ApplyStencil(r);
        // Depth bias: Direct3D adds D3DRS_DEPTHBIAS to the depth as it stands, and the
        // face's depth slope times D3DRS_SLOPESCALEDEPTHBIAS; GL counts its units in
        // steps of the depth buffer's resolution.
        float bias[2];
        memcpy(&bias[0], &r[D3DRS_SLOPESCALEDEPTHBIAS], 4);
        memcpy(&bias[1], &r[D3DRS_DEPTHBIAS], 4);
        for (float &b : bias)
            b = std::isfinite(b) ? b : 0.0f;
        const bool offset = depth && (bias[0] != 0 || bias[1] != 0);
        SetEnabled(GL_POLYGON_OFFSET_FILL, offsetOn_, offset);
        if (offset && memcmp(bias, depthBias_, sizeof bias) != 0) {
            const bool d16 = current_.depthFormat == D3DFMT_D16 || current_.depthFormat == D3DFMT_D16_LOCKABLE;
            glPolygonOffset(bias[0], bias[1] * float(d16 ? 65535 : 16777215));
            memcpy(depthBias_, bias, sizeof bias);
        }
        // Culling: Direct3D culls counter-clockwise faces by default, and its front faces
        // are clockwise (glFrontFace(GL_CW) at start).
        DWORD cull = r[D3DRS_CULLMODE];
        SetEnabled(GL_CULL_FACE, cullOn_, cull != D3DCULL_NONE);
        if (cull != D3DCULL_NONE && cullMode_ != cull) {
            glCullFace(cull == D3DCULL_CCW ? GL_BACK : GL_FRONT);
            cullMode_ = cull;
        }
        // Blending.
        bool blend = r[D3DRS_ALPHABLENDENABLE] != FALSE;
        SetEnabled(GL_BLEND, blendOn_, blend);
        if (blend) {
            DWORD src = r[D3DRS_SRCBLEND], dst = r[D3DRS_DESTBLEND];
            if (src == D3DBLEND_BOTHSRCALPHA)
                src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
            else if (src == D3DBLEND_BOTHINVSRCALPHA)
                src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
            // A back buffer without alpha (X8R8G8B8, R5G6B5, ...) reads as alpha one, though
            // the GL framebuffer keeps whatever alpha was written.
            if (!TargetHasAlpha()) {
                src = WithOpaqueTarget(src);
                dst = WithOpaqueTarget(dst);
            }
            // With D3DRS_SEPARATEALPHABLENDENABLE the alpha channel has factors and an
            // operation of its own; otherwise it blends as the colour does.
            const bool separate = r[D3DRS_SEPARATEALPHABLENDENABLE] != FALSE;
            DWORD srcAlpha = separate ? r[D3DRS_SRCBLENDALPHA] : src, dstAlpha = separate ? r[D3DRS_DESTBLENDALPHA] : dst;
            if (!TargetHasAlpha()) {
                srcAlpha = WithOpaqueTarget(srcAlpha);
                dstAlpha = WithOpaqueTarget(dstAlpha);
            }
            const DWORD blend[4] = {src, dst, srcAlpha, dstAlpha};
            if (memcmp(blend, blend_, sizeof blend) != 0) {
                glBlendFuncSeparate(GlBlend(src), GlBlend(dst), GlBlend(srcAlpha), GlBlend(dstAlpha));
                memcpy(blend_, blend, sizeof blend);
            }
            const DWORD ops[2] = {r[D3DRS_BLENDOP], separate ? r[D3DRS_BLENDOPALPHA] : r[D3DRS_BLENDOP]};
            if (memcmp(ops, blendOps_, sizeof ops) != 0) {
                glBlendEquationSeparate(GlBlendOp(ops[0]), GlBlendOp(ops[1]));
                memcpy(blendOps_, ops, sizeof ops);
            }
            if (r[D3DRS_BLENDFACTOR] != blendFactor_) {
                float c[4];
                ColorOf(r[D3DRS_BLENDFACTOR], c);
                glBlendColor(c[0], c[1], c[2], c[3]);
                blendFactor_ = r[D3DRS_BLENDFACTOR];
            }
        }
        SetColorMask(r[D3DRS_COLORWRITEENABLE] & 0xF);
        if (current_.Attachments() != 1) {
            const D3DRENDERSTATETYPE more[] = {D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2,
                                               D3DRS_COLORWRITEENABLE3};
            for (int i = 1; i < kMaxRenderTargets; i++)
                SetMoreColorMask(i, r[more[i - 1]] & 0xF);
        }
        if (r[D3DRS_FILLMODE] != fillMode_) {
            glPolygonMode(GL_FRONT_AND_BACK, r[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                             : r[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                      : GL_FILL);
            fillMode_ = r[D3DRS_FILLMODE];
        }
        // Viewport and depth range.
        const D3DVIEWPORT9 &v = s.viewport;
        const GLint vy = current_.flipped ? GLint(v.Y) : GLint(current_.height - GLint(v.Y + v.Height));
        GLint box[4] = {GLint(v.X), vy, GLint(v.Width), GLint(v.Height)};
        if (memcmp(box, viewportBox_, sizeof box) != 0) {
            glViewport(box[0], box[1], box[2], box[3]);
            memcpy(viewportBox_, box, sizeof box);
        }
        if (v.MinZ != depthRange_[0] || v.MaxZ != depthRange_[1]) {
            glDepthRange(v.MinZ, v.MaxZ);
            depthRange_[0] = v.MinZ, depthRange_[1] = v.MaxZ;
        }
        bool scissor = r[D3DRS_SCISSORTESTENABLE] != FALSE;
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, scissor);
        if (scissor)
            SetScissor(s.scissor);
    }

    // The stencil test, one-sided or with counter-clockwise faces on states of their own.
    // GL's front faces are Direct3D's clockwise ones (glFrontFace(GL_CW)).  A depth
    // format without stencil bits has no stencil to test: the test is off.
    void ApplyStencil(const DWORD *r)
    {
        const bool on = r[D3DRS_STENCILENABLE] != FALSE && HasStencil();
        SetEnabled(GL_STENCIL_TEST, stencilOn_, on);
        if (!on)
            return;
        const bool twoSided = r[D3DRS_TWOSIDEDSTENCILMODE] != FALSE;
        const DWORD state[] = {r[D3DRS_STENCILFUNC],     r[D3DRS_STENCILREF],       r[D3DRS_STENCILMASK],
                               r[D3DRS_STENCILWRITEMASK], r[D3DRS_STENCILFAIL],     r[D3DRS_STENCILZFAIL],
                               r[D3DRS_STENCILPASS],      DWORD(twoSided),           r[D3DRS_CCW_STENCILFUNC],
                               r[D3DRS_CCW_STENCILFAIL],  r[D3DRS_CCW_STENCILZFAIL], r[D3DRS_CCW_STENCILPASS]};
        static_assert(sizeof state == sizeof stencil_, "the stencil shadow holds every state");
        if (memcmp(state, stencil_, sizeof state) == 0)
            return;
        memcpy(stencil_, state, sizeof state);
        const GLint ref = GLint(r[D3DRS_STENCILREF] & 0xFF);
        const GLuint mask = r[D3DRS_STENCILMASK];
        glStencilMask(r[D3DRS_STENCILWRITEMASK]);
        glStencilFuncSeparate(GL_FRONT, GlCompare(r[D3DRS_STENCILFUNC]), ref, mask);
        glStencilOpSeparate(GL_FRONT, GlStencilOp(r[D3DRS_STENCILFAIL]), GlStencilOp(r[D3DRS_STENCILZFAIL]),
                            GlStencilOp(r[D3DRS_STENCILPASS]));
        const DWORD func = twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC,
                    fail = twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL,
                    zfail = twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL,
                    pass = twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS;
        glStencilFuncSeparate(GL_BACK, GlCompare(r[func]), ref, mask);
        glStencilOpSeparate(GL_BACK, GlStencilOp(r[fail]), GlStencilOp(r[zfail]), GlStencilOp(r[pass]));
    }

    bool HasStencil() const
    {
        return current_.depth && HasStencilBits(current_.depthFormat);
    }

    void MakeKeys(const DeviceState &s, const VertexDeclaration &decl, D3DPRIMITIVETYPE type, VertexKey &vk,
                  FragmentKey &fk)
    {
        const DWORD *r = s.render;
        const DWORD *st = s.stage[0];
        DWORD texIndex = st[D3DTSS_TEXCOORDINDEX] & 7;
        vk.texIndex = uint8_t(texIndex);
        uint8_t setSize[8] = {};  // coordinates in each texture coordinate set of the layout
        bool hasBlendIndices = false;
        uint8_t tweens = 0;
        if (s.vertexShader) {
            vk.shaderId = s.vertexShader->id;
        } else {
            for (const auto &e : decl.elements) {
                if (e.Usage == D3DDECLUSAGE_POSITIONT)
                    vk.pretransformed = 1;
                else if (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 0)
                    vk.hasNormal = 1;
                else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0)
                    vk.hasDiffuse = 1;
                else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 1)
                    vk.hasSpecular = 1;
                else if (e.Usage == D3DDECLUSAGE_PSIZE && e.UsageIndex == 0)
                    vk.hasPointSize = 1;
                else if (e.Usage == D3DDECLUSAGE_BLENDINDICES && e.UsageIndex == 0)
                    hasBlendIndices = true;
                else if (e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 1)
                    tweens |= kTweenPosition;
                else if (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 1)
                    tweens |= kTweenNormal;
                else if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex < 8)
                    setSize[e.UsageIndex] = uint8_t(GlDeclType(e.Type).size == GL_BGRA ? 4 : GlDeclType(e.Type).size);
            }
            vk.texSize = setSize[texIndex];
            vk.lighting = r[D3DRS_LIGHTING] && !vk.pretransformed;
            const DWORD blend = r[D3DRS_VERTEXBLEND];
            if (blend == D3DVBF_TWEENING && !vk.pretransformed) {
                vk.tween = vk.hasNormal ? tweens : tweens & kTweenPosition;
            } else if (blend != D3DVBF_DISABLE && !vk.pretransformed) {
                vk.blendMatrices = uint8_t(blend == D3DVBF_0WEIGHTS ? 1 : std::min<DWORD>(blend, 3) + 1);
                vk.indexedBlend = r[D3DRS_INDEXEDVERTEXBLENDENABLE] && hasBlendIndices;
            }
            if (vk.lighting) {
                vk.normalize = r[D3DRS_NORMALIZENORMALS] != FALSE;
                vk.specularEnable = r[D3DRS_SPECULARENABLE] != FALSE;
                vk.localViewer = r[D3DRS_LOCALVIEWER] != FALSE;
                // A colour source that names a vertex colour the layout lacks, or any
                // colour source while D3DRS_COLORVERTEX is off, reads the material.
                auto source = [&](DWORD v) -> uint8_t {
                    if (!r[D3DRS_COLORVERTEX])
                        return D3DMCS_MATERIAL;
                    if (v == D3DMCS_COLOR1 && vk.hasDiffuse)
                        return D3DMCS_COLOR1;
                    if (v == D3DMCS_COLOR2 && vk.hasSpecular)
                        return D3DMCS_COLOR2;
                    return D3DMCS_MATERIAL;
                };
                vk.diffuseSource = source(r[D3DRS_DIFFUSEMATERIALSOURCE]);
                vk.ambientSource = source(r[D3DRS_AMBIENTMATERIALSOURCE]);
                vk.specularSource = source(r[D3DRS_SPECULARMATERIALSOURCE]);
                vk.emissiveSource = source(r[D3DRS_EMISSIVEMATERIALSOURCE]);
                const D3DLIGHT9 *active[kMaxLights];
                const int lit = s.ActiveLights(active);
                for (int i = 0; i < kMaxLights; i++)
                    vk.lightTypes[i] = i < lit ? uint8_t(active[i]->Type) : 0;
                // Unlit inputs keep their vertex colours out of the key.
                if (!vk.diffuseSource && !vk.ambientSource && !vk.specularSource && !vk.emissiveSource)
                    vk.hasDiffuse = vk.hasSpecular = 0;
            }
        }
        fk.alphaFunc = r[D3DRS_ALPHATESTENABLE] ? uint8_t(r[D3DRS_ALPHAFUNC]) : uint8_t(D3DCMP_ALWAYS);
        fk.srgbWrite = r[D3DRS_SRGBWRITEENABLE] != FALSE;
        if (s.pixelShader) {
            fk.floatTarget = s.renderTarget && IsFloatFormat(s.renderTarget->format);
            // The shader replaces the stages.  Its t# are the coordinates the vertex stage
            // makes for stage #: a vertex shader's oT#, or the fixed-function stage's set
            // chosen by D3DTSS_TEXCOORDINDEX (generated and transformed as for the stage).
            const ParsedShader &ps = s.pixelShader->parsed;
            fk.pixelShaderId = s.pixelShader->id;
            if (vk.shaderId)
                vk.texIndex = 0;
            for (int t = 1; t < kMaxStages; t++)
                if ((ps.texcoordInputs >> t) & 1)
                    vk.stageSet[t] = vk.shaderId ? uint8_t(t) : uint8_t(s.stage[t][D3DTSS_TEXCOORDINDEX] & 7);
            const bool ps1 = D3DSHADER_VERSION_MAJOR(ps.version) == 1;
            for (int i = 0; i < kPsSamplers; i++) {
                if (!ps.samplerTypes[i] || !s.textures[i])
                    continue;
                if (s.sampler[i][D3DSAMP_SRGBTEXTURE])
                    fk.srgbSamplers = uint8_t(fk.srgbSamplers | (1u << i));
                const D3DRESOURCETYPE type = s.textures[i]->GetType();
                if (ps1 && type == D3DRTYPE_CUBETEXTURE)
                    fk.ps1Cube = uint8_t(fk.ps1Cube | (1u << i));
                else if (ps1 && type == D3DRTYPE_VOLUMETEXTURE)
                    fk.ps1Volume = uint8_t(fk.ps1Volume | (1u << i));
            }
        }
        fk.addSpecular = !s.pixelShader && r[D3DRS_SPECULARENABLE] != FALSE;
        // D3DTTFF_PROJECTED divides the coordinates of the stages and of ps_1_1..1_3's tex;
        // later pixel shaders divide when they ask (texldp, _dz, _dw).
        const DWORD psVersion = s.pixelShader ? s.pixelShader->parsed.version : 0;
        const bool projects = !s.pixelShader || (psVersion >= D3DPS_VERSION(1, 1) && psVersion <= D3DPS_VERSION(1, 3));
        // The stages up to the first disabled one.
        for (int stage = 0; stage < kMaxStages && !s.pixelShader; stage++) {
            const DWORD *t = s.stage[stage];
            if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE)
                break;
            StageKey &k = fk.stages[stage];
            k.colorOp = uint8_t(t[D3DTSS_COLOROP]);
            k.colorArg1 = uint8_t(t[D3DTSS_COLORARG1]), k.colorArg2 = uint8_t(t[D3DTSS_COLORARG2]);
            k.colorArg0 = uint8_t(t[D3DTSS_COLORARG0]);
            k.alphaOp = uint8_t(t[D3DTSS_ALPHAOP]);
            k.alphaArg1 = uint8_t(t[D3DTSS_ALPHAARG1]), k.alphaArg2 = uint8_t(t[D3DTSS_ALPHAARG2]);
            k.alphaArg0 = uint8_t(t[D3DTSS_ALPHAARG0]);
            k.hasTexture = s.textures[stage] != nullptr;
            if (k.hasTexture && s.textures[stage]->GetType() == D3DRTYPE_CUBETEXTURE)
                k.target = kTargetCube;
            else if (k.hasTexture && s.textures[stage]->GetType() == D3DRTYPE_VOLUMETEXTURE)
                k.target = kTargetVolume;
            k.toTemp = t[D3DTSS_RESULTARG] == D3DTA_TEMP;
            k.srgb = k.hasTexture && s.sampler[stage][D3DSAMP_SRGBTEXTURE];
            if (stage > 0)
                vk.stageSet[stage] = uint8_t(t[D3DTSS_TEXCOORDINDEX] & 7);
        }
        vk.flat = fk.flat = r[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
        vk.clipPlanes = vk.pretransformed ? 0 : uint8_t(r[D3DRS_CLIPPLANEENABLE] & 0x3F);
        if (type == D3DPT_POINTLIST) {
            vk.points = 1;
            vk.pointScale = !vk.shaderId && r[D3DRS_POINTSCALEENABLE] != FALSE;
            fk.pointSprite = r[D3DRS_POINTSPRITEENABLE] != FALSE;
        }
        // A vertex shader writes all four coordinates of each set; with D3DTTFF_PROJECTED
        // the pixel stage divides them by the fourth.
        for (int stage = 0; stage < kMaxStages && vk.shaderId && projects; stage++)
            if (s.stage[stage][D3DTSS_TEXTURETRANSFORMFLAGS] & D3DTTFF_PROJECTED)
                fk.projected |= uint8_t(1 << stage);
        // Texture transforms of the fixed-function stage.
        for (int stage = 0; stage < kMaxStages && !vk.shaderId; stage++) {
            const DWORD flags = s.stage[stage][D3DTSS_TEXTURETRANSFORMFLAGS];
            if (stage > 0 && vk.stageSet[stage] == 0xFF)
                continue;
            vk.stageSize[stage] = setSize[stage == 0 ? texIndex : vk.stageSet[stage]];
            if (!vk.pretransformed)
                vk.texGen[stage] = uint8_t(std::min<DWORD>(s.stage[stage][D3DTSS_TEXCOORDINDEX] >> 16, kGenSphereMap));
            if (vk.texGen[stage] && !vk.lighting) {  // generated normals and reflections follow these too
                vk.normalize = r[D3DRS_NORMALIZENORMALS] != FALSE;
                vk.localViewer = r[D3DRS_LOCALVIEWER] != FALSE;
            }
            if (flags & 7) {
                vk.texTransform[stage] = uint8_t(std::min<DWORD>(flags & 7, 4) | (flags & D3DTTFF_PROJECTED ? kTexProjected : 0));
                if ((flags & D3DTTFF_PROJECTED) && projects)
                    fk.projected |= uint8_t(1 << stage);
            }
        }
        // Fog: table fog when a table mode is set, else vertex fog by its mode, else the
        // factor each vertex brings.
        if (r[D3DRS_FOGENABLE]) {
            DWORD table = r[D3DRS_FOGTABLEMODE], vertexMode = r[D3DRS_FOGVERTEXMODE];
            if (table >= D3DFOG_EXP && table <= D3DFOG_LINEAR) {
                fk.fog = uint8_t(table);
                fk.fogFromFragmentDepth = vk.shaderId != 0;
                vk.fog = vk.shaderId ? kFogNone : kFogDepth;
            } else {
                fk.fog = kFogFactor;
                if (!vk.shaderId && !vk.pretransformed && vertexMode >= D3DFOG_EXP && vertexMode <= D3DFOG_LINEAR)
                    vk.fog = uint8_t(kFogVertexExp + (vertexMode - D3DFOG_EXP));
                else
                    vk.fog = kFogSpecularAlpha;
                vk.rangeFog = r[D3DRS_RANGEFOGENABLE] != FALSE;
            }
        }
    }

    GLuint Compile(GLenum type, const std::string &source, std::string &log)
    {
        auto found = shaders_.find(source);
        if (found != shaders_.end())
            return found->second;
        GLuint shader = glCreateShader(type);
        const char *text = source.c_str();
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char buf[2048];
            glGetShaderInfoLog(shader, sizeof buf, nullptr, buf);
            log = buf;
            glDeleteShader(shader);
            return 0;
        }
        shaders_[source] = shader;
        return shader;
    }

    // A program of the two shaders, not yet linked; 0 when either does not compile, the
    // compiler's log in log.
    GLuint NewProgram(const std::string &vertexSource, const std::string &fragmentSource, std::string &log)
    {
        GLuint vs = Compile(GL_VERTEX_SHADER, vertexSource, log);
        GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, fragmentSource, log) : 0;
        if (!fs)
            return 0;
        GLuint program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        return program;
    }

    // Links the program; when that fails, deletes it and leaves the linker's log in log.
    static bool Link(GLuint program, std::string &log)
    {
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok)
            return true;
        char buf[2048];
        glGetProgramInfoLog(program, sizeof buf, nullptr, buf);
        log = buf;
        glDeleteProgram(program);
        return false;
    }

    Program *ProgramFor(const DeviceState &s, const VertexKey &vk, const FragmentKey &fk)
    {
        auto key = std::make_pair(vk, fk);
        if (lastProgram_ && lastKey_.first == vk && lastKey_.second == fk)
            return lastProgram_;
        auto found = programs_.find(key);
        if (found != programs_.end()) {
            lastKey_ = key;
            lastProgram_ = &found->second;
            return lastProgram_;
        }
        Program p;
        std::string vertexSource, log;
        if (vk.shaderId) {
            ShaderVariant variant;
            variant.stageSets = vk.stageSet;
            variant.points = vk.points != 0;
            variant.clipPlanes = vk.clipPlanes;
            variant.flat = vk.flat != 0;
            vertexSource = TranslateToGlsl(s.vertexShader->parsed, vk.texIndex, variant);
            p.fixedFunction = false;
            p.constantCount = ConstantArraySize(s.vertexShader->parsed);
        } else {
            vertexSource = FixedFunctionVertexGlsl(vk);
        }
        if (fk.pixelShaderId) {
            p.psConstantCount = std::max<UINT>(1, s.pixelShader->parsed.maxConst);
            p.colorOutputs = uint8_t(1 | s.pixelShader->parsed.colorOutputs);
        }
        p.name = NewProgram(vertexSource, fk.pixelShaderId ? TranslatePixelShaderToGlsl(s.pixelShader->parsed, fk)
                                                           : FragmentGlsl(fk), log);
        if (!p.name) {
            Diagnostic(kLib, "GLSL", "", "compile failed: " + log);
            return nullptr;
        }
        // Fixed attribute locations, one per input.
        GLint next = 0;
        auto bind = [&](const char *name, BYTE usage, BYTE index) {
            glBindAttribLocation(p.name, GLuint(next), name);
            p.inputs.push_back({usage, index, next});
            next++;
        };
        if (vk.shaderId) {
            for (const auto &in : s.vertexShader->parsed.inputs) {
                std::string name = "a_v" + std::to_string(in.reg);
                bind(name.c_str(), in.usage, in.usageIndex);
            }
        } else {
            bind(kAttrPosition, vk.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION, 0);
            bool generatesFromNormals = false;
            for (uint8_t g : vk.texGen)
                generatesFromNormals |= g == kGenNormal || g == kGenReflection || g == kGenSphereMap;
            if (vk.hasNormal && (vk.lighting || generatesFromNormals))
                bind(kAttrNormal, D3DDECLUSAGE_NORMAL, 0);
            if (vk.hasDiffuse)
                bind(kAttrDiffuse, D3DDECLUSAGE_COLOR, 0);
            if (vk.hasSpecular)
                bind(kAttrSpecular, D3DDECLUSAGE_COLOR, 1);
            if (vk.texSize)
                bind(kAttrTexcoord, D3DDECLUSAGE_TEXCOORD, vk.texIndex);
            if (vk.points && vk.hasPointSize)
                bind(kAttrPointSize, D3DDECLUSAGE_PSIZE, 0);
            if (vk.blendMatrices > 1)
                bind(kAttrBlendWeight, D3DDECLUSAGE_BLENDWEIGHT, 0);
            if (vk.indexedBlend)
                bind(kAttrBlendIndices, D3DDECLUSAGE_BLENDINDICES, 0);
            if (vk.tween & kTweenPosition)
                bind(kAttrPosition1, D3DDECLUSAGE_POSITION, 1);
            if (vk.tween & kTweenNormal)
                bind(kAttrNormal1, D3DDECLUSAGE_NORMAL, 1);
            bool bound[8] = {};
            for (int stage = 1; stage < kMaxStages; stage++) {
                uint8_t set = vk.stageSet[stage];
                if (set == 0xFF || bound[set & 7])
                    continue;
                bound[set & 7] = true;
                std::string name = "a_tc" + std::to_string(set & 7);
                bind(name.c_str(), D3DDECLUSAGE_TEXCOORD, BYTE(set & 7));
            }
        }
        if (vk.feedback) {
            // Position and colours, then the texture sets the vertex stage writes.
            std::vector<std::string> names = {"gl_Position", "v_diffuse", "v_specular"};
            for (UINT set = 0; set + 1 < vk.feedback && set < kMaxStages; set++) {
                const bool writes = set == 0 ? vk.shaderId || vk.texSize || vk.texGen[0] : vk.stageSet[set] != 0xFF;
                if (writes) {
                    names.push_back("v_tex" + std::to_string(set));
                    p.feedbackSets |= 1u << set;
                }
            }
            std::vector<const char *> pointers;
            for (const auto &name : names)
                pointers.push_back(name.c_str());
            glTransformFeedbackVaryings(p.name, GLsizei(pointers.size()), pointers.data(), GL_INTERLEAVED_ATTRIBS);
        }
        glBindFragDataLocation(p.name, 0, "o_color");
        for (int i = 1; i < kMaxRenderTargets; i++)
            if ((p.colorOutputs >> i) & 1)
                glBindFragDataLocation(p.name, GLuint(i), ("o_color" + std::to_string(i)).c_str());
        if (!Link(p.name, log)) {
            Diagnostic(kLib, "GLSL", "", "link failed: " + log);
            return nullptr;
        }
        auto loc = [&](const char *name) { return glGetUniformLocation(p.name, name); };
        p.worldView = loc("u_worldView");
        p.projection = loc("u_projection");
        p.normalMatrix = loc("u_normalMatrix");
        p.pixel = loc("u_pixel");
        p.viewport = loc("u_viewport");
        p.depthRange = loc("u_depthRange");
        p.materialDiffuse = loc("u_materialDiffuse");
        p.materialAmbient = loc("u_materialAmbient");
        p.materialSpecular = loc("u_materialSpecular");
        p.materialEmissive = loc("u_materialEmissive");
        p.materialPower = loc("u_materialPower");
        p.ambient = loc("u_ambient");
        p.lightDiffuse = loc("u_lightDiffuse");
        p.lightSpecular = loc("u_lightSpecular");
        p.lightAmbient = loc("u_lightAmbient");
        p.lightPosition = loc("u_lightPosition");
        p.lightDirection = loc("u_lightDirection");
        p.lightAttenuation = loc("u_lightAttenuation");
        p.lightSpot = loc("u_lightSpot");
        p.constants = loc("c");
        p.psConstants = loc("pc");
        p.intConstants = loc("u_vsI");
        p.boolConstants = loc("u_vsB");
        p.texture0 = loc("u_texture0");
        p.tfactor = loc("u_tfactor");
        p.stageConstant = loc("u_stageConstant");
        p.bumpMatrix = loc("u_bumpMatrix");
        p.alphaRef = loc("u_alphaRef");
        p.fog = loc("u_fog");
        p.fogColor = loc("u_fogColor");
        p.clipPlane = loc("u_clipPlane");
        p.texMatrix = loc("u_texMatrix");
        p.blendWorldView = loc("u_blendWorldView");
        p.tween = loc("u_tween");
        p.blendNormal = loc("u_blendNormal");
        p.point = loc("u_point");
        p.pointScale = loc("u_pointScale");
        UseProgram(p);
        if (p.texture0 >= 0)
            glUniform1i(p.texture0, 0);
        for (int stage = 1; stage < kMaxStages; stage++) {
            GLint unit = loc(("u_texture" + std::to_string(stage)).c_str());
            if (unit >= 0)
                glUniform1i(unit, stage);
        }
        auto inserted = programs_.emplace(key, p).first;
        lastKey_ = key;
        lastProgram_ = &inserted->second;
        return lastProgram_;
    }

    void UploadUniforms(const DeviceState &s, Program &p, const VertexKey &vk)
    {
        const D3DVIEWPORT9 &v = s.viewport;
        // Direct3D's pixel centres sit on whole coordinates, OpenGL's half a pixel further
        // on: half a pixel right and down.  Direct3D fills a pixel whose centre lies on a
        // top edge and leaves one on a bottom edge; OpenGL, whose rows run bottom up, does
        // the opposite, so the rows move 1/128 pixel less than half: edges through
        // centres fall just above them, and every other edge is unchanged to the eye.
        // z turns clip space upside down for a target stored with Direct3D's row 0 as GL's.
        float pixel[4] = {1.0f / float(v.Width), -(1.0f - 1.0f / 64.0f) / float(v.Height),
                          current_.flipped ? -1.0f : 1.0f, 0};
        if (p.pixel >= 0 && memcmp(pixel, p.pixelValue, sizeof pixel) != 0) {
            glUniform4fv(p.pixel, 1, pixel);
            memcpy(p.pixelValue, pixel, sizeof pixel);
        }
        if (p.constantRevision != s.constantRevision) {
            if (!p.fixedFunction && p.constants >= 0)
                glUniform4fv(p.constants, GLsizei(p.constantCount), &s.vsConstF[0][0]);
            if (p.psConstants >= 0)
                glUniform4fv(p.psConstants, GLsizei(p.psConstantCount), &s.psConstF[0][0]);
            p.constantRevision = s.constantRevision;
        }
        // The integer and boolean banks are small: compared rather than counted in a revision.
        if (p.intConstants >= 0 && memcmp(p.intValue, s.vsConstI, sizeof p.intValue) != 0) {
            glUniform4iv(p.intConstants, 16, &s.vsConstI[0][0]);
            memcpy(p.intValue, s.vsConstI, sizeof p.intValue);
        }
        if (p.boolConstants >= 0 && memcmp(p.boolValue, s.vsConstB, sizeof p.boolValue) != 0) {
            glUniform1iv(p.boolConstants, 16, reinterpret_cast<const GLint *>(s.vsConstB));
            memcpy(p.boolValue, s.vsConstB, sizeof p.boolValue);
        }
        if (p.fixedFunction && p.transformRevision != s.transformRevision) {
            // Direct3D matrices are row-major for row vectors; GL reading them as
            // column-major gives the transposes, which act on column vectors the same way.
            D3DMATRIX worldView = Multiply(s.world, s.view);
            if (p.worldView >= 0)
                glUniformMatrix4fv(p.worldView, 1, GL_FALSE, &worldView.m[0][0]);
            if (p.projection >= 0)
                glUniformMatrix4fv(p.projection, 1, GL_FALSE, &s.projection.m[0][0]);
            if (p.normalMatrix >= 0) {
                float n[9];
                NormalMatrix(worldView, n);
                glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, n);
            }
            float vp[4] = {float(v.X), float(v.Y), float(v.Width), float(v.Height)};
            if (p.viewport >= 0)
                glUniform4fv(p.viewport, 1, vp);
            if (p.depthRange >= 0)
                glUniform2f(p.depthRange, v.MinZ, v.MaxZ);
            p.transformRevision = s.transformRevision;
            p.lightingRevision = 0;  // light positions are in camera space
        }
        if (p.fixedFunction && vk.lighting && p.lightingRevision != s.lightingRevision) {
            const D3DMATERIAL9 &m = s.material;
            glUniform4fv(p.materialDiffuse, 1, &m.Diffuse.r);
            glUniform4fv(p.materialAmbient, 1, &m.Ambient.r);
            glUniform4fv(p.materialSpecular, 1, &m.Specular.r);
            glUniform4fv(p.materialEmissive, 1, &m.Emissive.r);
            glUniform1f(p.materialPower, m.Power);
            float ambient[4];
            ColorOf(s.render[D3DRS_AMBIENT], ambient);
            glUniform4fv(p.ambient, 1, ambient);
            float diffuse[kMaxLights][4], specular[kMaxLights][4], amb[kMaxLights][4];
            float position[kMaxLights][3], direction[kMaxLights][3], atten[kMaxLights][4], spot[kMaxLights][3];
            const D3DMATRIX &view = s.view;
            const D3DLIGHT9 *active[kMaxLights];
            const int lit = s.ActiveLights(active);
            const D3DLIGHT9 off = {};
            for (int i = 0; i < kMaxLights; i++) {
                const D3DLIGHT9 &l = i < lit ? *active[i] : off;
                memcpy(diffuse[i], &l.Diffuse, 16);
                memcpy(specular[i], &l.Specular, 16);
                memcpy(amb[i], &l.Ambient, 16);
                // Lights are given in world space; lighting is done in camera space.
                const D3DVECTOR &P = l.Position, &D = l.Direction;
                for (int c = 0; c < 3; c++) {
                    position[i][c] = P.x * view.m[0][c] + P.y * view.m[1][c] + P.z * view.m[2][c] + view.m[3][c];
                    direction[i][c] = D.x * view.m[0][c] + D.y * view.m[1][c] + D.z * view.m[2][c];
                }
                atten[i][0] = l.Range > 0 ? l.Range : 3.4e38f;
                atten[i][1] = l.Attenuation0, atten[i][2] = l.Attenuation1, atten[i][3] = l.Attenuation2;
                spot[i][0] = std::cos(l.Theta / 2), spot[i][1] = std::cos(l.Phi / 2), spot[i][2] = l.Falloff;
            }
            glUniform4fv(p.lightDiffuse, kMaxLights, &diffuse[0][0]);
            glUniform4fv(p.lightSpecular, kMaxLights, &specular[0][0]);
            glUniform4fv(p.lightAmbient, kMaxLights, &amb[0][0]);
            glUniform3fv(p.lightPosition, kMaxLights, &position[0][0]);
            glUniform3fv(p.lightDirection, kMaxLights, &direction[0][0]);
            glUniform4fv(p.lightAttenuation, kMaxLights, &atten[0][0]);
            glUniform3fv(p.lightSpot, kMaxLights, &spot[0][0]);
            p.lightingRevision = s.lightingRevision;
        }
        if (p.tfactor >= 0 && (!p.tfactorSet || p.tfactorValue != s.render[D3DRS_TEXTUREFACTOR])) {
            float c[4];
            ColorOf(s.render[D3DRS_TEXTUREFACTOR], c);
            glUniform4fv(p.tfactor, 1, c);
            p.tfactorValue = s.render[D3DRS_TEXTUREFACTOR];
            p.tfactorSet = true;
        }
        if (p.tween >= 0) {
            float t;
            memcpy(&t, &s.render[D3DRS_TWEENFACTOR], 4);
            glUniform1f(p.tween, t);
        }
        if (p.bumpMatrix >= 0) {
            float m[kMaxStages][4];
            for (int stage = 0; stage < kMaxStages; stage++)
                memcpy(m[stage], &s.stage[stage][D3DTSS_BUMPENVMAT00], sizeof m[stage]);  // 00, 01, 10, 11
            glUniform4fv(p.bumpMatrix, kMaxStages, &m[0][0]);
        }
        if (p.stageConstant >= 0) {
            float c[kMaxStages][4];
            for (int stage = 0; stage < kMaxStages; stage++)
                ColorOf(s.stage[stage][D3DTSS_CONSTANT], c[stage]);
            glUniform4fv(p.stageConstant, kMaxStages, &c[0][0]);
        }
        if (p.fog >= 0 || p.fogColor >= 0) {
            const DWORD *r = s.render;
            float fog[4], color[4];
            memcpy(&fog[0], &r[D3DRS_FOGSTART], 4);
            memcpy(&fog[1], &r[D3DRS_FOGEND], 4);
            memcpy(&fog[2], &r[D3DRS_FOGDENSITY], 4);
            // Table fog reads w under a perspective projection (one whose fourth column
            // is not (0, 0, 0, 1)), the device depth otherwise.
            const D3DMATRIX &pr = s.projection;
            fog[3] = (pr._14 != 0 || pr._24 != 0 || pr._34 != 0 || pr._44 != 1) ? 1.0f : 0.0f;
            ColorOf(r[D3DRS_FOGCOLOR], color);
            if (p.fog >= 0)
                glUniform4fv(p.fog, 1, fog);
            if (p.fogColor >= 0)
                glUniform4fv(p.fogColor, 1, color);
        }
        if (p.clipPlane >= 0 && vk.clipPlanes) {
            // Planes are given in world space for the fixed-function stage, which clips in
            // camera space: a plane p (a column) becomes inverse(view) p.  A vertex shader's
            // planes are in clip space already.
            float planes[6][4];
            memcpy(planes, s.clipPlanes, sizeof planes);
            D3DMATRIX inverse;
            if (p.fixedFunction && Inverse(s.view, inverse))
                for (auto &plane : planes) {
                    float q[4];
                    for (int r = 0; r < 4; r++)
                        q[r] = inverse.m[r][0] * plane[0] + inverse.m[r][1] * plane[1] + inverse.m[r][2] * plane[2] +
                               inverse.m[r][3] * plane[3];
                    memcpy(plane, q, sizeof q);
                }
            glUniform4fv(p.clipPlane, 6, &planes[0][0]);
        }
        if (p.blendWorldView >= 0) {
            // Only in programs that blend: each world matrix they can read, times the view.
            const int count = vk.indexedBlend ? kMaxBlendMatrices : vk.blendMatrices;
            D3DMATRIX worldView[kMaxBlendMatrices];
            float normal[kMaxBlendMatrices][9];
            for (int i = 0; i < count; i++) {
                worldView[i] = Multiply(i == 0 ? s.world : s.moreWorlds[i - 1], s.view);
                NormalMatrix(worldView[i], normal[i]);
            }
            glUniformMatrix4fv(p.blendWorldView, count, GL_FALSE, &worldView[0].m[0][0]);
            if (p.blendNormal >= 0)
                glUniformMatrix3fv(p.blendNormal, count, GL_FALSE, normal[0]);
        }
        if (p.texMatrix >= 0)  // only in programs with a texture transform
            glUniformMatrix4fv(p.texMatrix, kMaxStages, GL_FALSE, &s.textureMatrix[0].m[0][0]);
        if (p.point >= 0) {
            // Point sizes and their scale factors, only in the programs of point lists.
            float point[4], scale[3];
            memcpy(&point[0], &s.render[D3DRS_POINTSIZE], 4);
            memcpy(&point[1], &s.render[D3DRS_POINTSIZE_MIN], 4);
            memcpy(&point[2], &s.render[D3DRS_POINTSIZE_MAX], 4);
            point[2] = std::min(point[2], kMaxPointSize);
            point[3] = float(v.Height);
            memcpy(&scale[0], &s.render[D3DRS_POINTSCALE_A], 4);
            memcpy(&scale[1], &s.render[D3DRS_POINTSCALE_B], 4);
            memcpy(&scale[2], &s.render[D3DRS_POINTSCALE_C], 4);
            glUniform4fv(p.point, 1, point);
            if (p.pointScale >= 0)
                glUniform3fv(p.pointScale, 1, scale);
        }
        if (p.alphaRef >= 0 && p.alphaRefValue != s.render[D3DRS_ALPHAREF]) {
            glUniform1f(p.alphaRef, float(s.render[D3DRS_ALPHAREF] & 0xFF));
            p.alphaRefValue = s.render[D3DRS_ALPHAREF];
        }
    }

    void Capture()
    {
        std::vector<uint8_t> rows(size_t(width_) * height_ * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        for (size_t i = 3; i < rows.size(); i += 4)
            rows[i] = 255;
        char name[64];
        snprintf(name, sizeof name, "/frame_%06llu.png", static_cast<unsigned long long>(frame_));
        std::string path = captureFolder_ + name;
        // Written under a hidden name and renamed when complete, so that whoever watches the
        // folder never reads a half-written picture.  GL rows are bottom first: a negative
        // stride writes them top first.
        std::string partial = captureFolder_ + "/.frame.png";
        if (!stbi_write_png(partial.c_str(), width_, height_, 4, rows.data() + size_t(height_ - 1) * width_ * 4,
                            -width_ * 4) ||
            rename(partial.c_str(), path.c_str()) != 0)
            Diagnostic(kLib, path, "", "cannot write the captured frame");
    }

    SDL_Window *window_;
    SDL_GLContext context_;
    D3DPRESENT_PARAMETERS pp_;
    bool TargetHasAlpha() const
    {
        return current_.format == D3DFMT_A8R8G8B8 || current_.format == D3DFMT_A1R5G5B5 ||
               current_.format == D3DFMT_A2R10G10B10;
    }
    FullScreen full_;
    bool mirrorClamp_ = false;  // GL_MIRROR_CLAMP_TO_EDGE is there
    bool s3tc_ = false;         // DXT textures go up as S3TC blocks
    GLsizei width_ = 0, height_ = 0;
    GLuint vao_ = 0, fbo_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    // The picture a window shows, kept where the window's own buffers cannot be trusted to
    // keep it between swaps: sized as its drawable, black when (re)made.
    struct WindowImage {
        GLuint fbo = 0, color = 0;
        GLsizei width = 0, height = 0;
    };
    std::unordered_map<SDL_Window *, WindowImage> images_;
    WindowImage &ImageOf(SDL_Window *window, GLsizei width, GLsizei height)
    {
        WindowImage &image = images_[window];
        if (image.fbo && image.width == width && image.height == height)
            return image;
        if (!image.fbo) {
            glGenFramebuffers(1, &image.fbo);
            glGenRenderbuffers(1, &image.color);
        }
        image.width = width, image.height = height;
        glBindRenderbuffer(GL_RENDERBUFFER, image.color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, std::max(width, 1), std::max(height, 1));
        glBindFramebuffer(GL_FRAMEBUFFER, image.fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, image.color);
        SetEnabled(GL_SCISSOR_TEST, scissorOn_, false);
        SetColorMask(0xF);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindFramebuffer(GL_FRAMEBUFFER, boundFbo_);
        return image;
    }
    GLuint frontBuffer_ = 0;  // the last presented frame, once keepFront_
    bool keepFront_ = false;  // set by the first GetFrontBufferData
    GLsizei frontWidth_ = 0, frontHeight_ = 0;
    GLuint streamVertices_ = 0, streamIndices_ = 0;
    GLuint feedbackBuffer_ = 0;  // ProcessVertices' transform feedback output
    std::unordered_map<std::pair<VertexKey, FragmentKey>, Program, ProgramKeyHash> programs_;
    std::unordered_map<std::string, GLuint> shaders_;
    std::pair<VertexKey, FragmentKey> lastKey_;
    Program *lastProgram_ = nullptr;

    // Shadow of the GL state (-1 / ~0: unknown).
    GLuint boundFbo_ = ~0u;       // the framebuffer bound for drawing
    GLuint targetFbo_ = 0;        // off-screen targets' framebuffer, with `attached_`
    GLuint copyFbos_[2] = {};     // read and draw framebuffers of the copies
    TargetBinding attached_;      // what targetFbo_ has attached
    TargetBinding current_;       // what draws go to now
    uint64_t nextSerial_ = 16;    // 1 and 2 name the back buffer's colour and depth
    int clipOn_[6] = {-1, -1, -1, -1, -1, -1};
    int depthTest_ = -1, cullOn_ = -1, blendOn_ = -1, scissorOn_ = -1, depthMask_ = -1, stencilOn_ = -1, offsetOn_ = -1;
    DWORD depthFunc_ = ~0u, cullMode_ = ~0u, blend_[4] = {~0u, ~0u, ~0u, ~0u}, blendOps_[2] = {~0u, ~0u};
    DWORD stencil_[12] = {~0u};  // the stencil states last applied; ~0u first: none yet
    float depthBias_[2] = {NAN, NAN};
    DWORD blendFactor_ = ~0u, colorMask_ = ~0u, fillMode_ = ~0u;
    DWORD moreMasks_[kMaxRenderTargets - 1] = {~0u, ~0u, ~0u};
    unsigned targetDrawBuffers_ = 1;  // what glDrawBuffers last gave targetFbo_
    GLint viewportBox_[4] = {-1, -1, -1, -1};
    GLint scissorBox_[4] = {-1, -1, -1, -1};
    float depthRange_[2] = {-1, -1};
    GLuint program_ = 0, arrayBuffer_ = 0, elementBuffer_ = 0;
    GLuint textures_[kMaxStages] = {};  // bound on each texture unit
    GLuint cubeTextures_[kMaxStages] = {}, volumeTextures_[kMaxStages] = {};  // ... to its cube and 3D targets
    int activeUnit_ = 0;
    AttribShadow attribs_[16];
    GLuint samplers_[kMaxStages] = {};  // one sampler object per texture unit
    DWORD samplerShadow_[kMaxStages][kSamplerStates];
    bool samplerMipmapped_[kMaxStages] = {};

    // Frame capture.
    std::string captureFolder_;
    int captureEvery_ = 1;
    uint64_t frame_ = 0;
};

}  // namespace

bool DrawRawOpenGlQuads(IDirect3DDevice9 *device, int count)
{
    auto *gl = dynamic_cast<GlRenderer *>(static_cast<Device *>(device)->renderer.get());
    if (!gl)
        return false;
    gl->DrawRawQuads(count);
    return true;
}

bool FinishOpenGl(IDirect3DDevice9 *device)
{
    if (!dynamic_cast<GlRenderer *>(static_cast<Device *>(device)->renderer.get()))
        return false;
    glFinish();
    return true;
}

std::unique_ptr<Renderer> CreateGlRenderer(SDL_Window *window, const D3DPRESENT_PARAMETERS &pp, std::string &why)
{
    const FullScreen full = pp.Windowed ? FullScreen() : EnterFullScreen(window, pp);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        why = std::string("no OpenGL 3.3 core context: ") + SDL_GetError();
        LeaveFullScreen(window, full);
        return nullptr;
    }
    SDL_GL_MakeCurrent(window, context);
    if (epoxy_gl_version() < 33 || !epoxy_is_desktop_gl()) {
        why = "the OpenGL context is version " + std::to_string(epoxy_gl_version()) + ", 3.3 core is needed";
        SDL_GL_DeleteContext(context);
        LeaveFullScreen(window, full);
        return nullptr;
    }
    // Direct3D presents at once for D3DPRESENT_INTERVAL_IMMEDIATE, at the retrace otherwise.
    SDL_GL_SetSwapInterval(pp.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    return std::make_unique<GlRenderer>(window, context, pp, full);
}

}  // namespace tavrok::d3d9
