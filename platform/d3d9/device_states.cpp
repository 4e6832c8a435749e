/*
 * device_states.cpp - the Direct3D 9 default states and which values the device honours.
 *
 * SetDefaultStates writes the documented defaults of every render, texture-stage and
 * sampler state, the identity transforms and the full-target viewport.  The Check*
 * functions name the values that the OpenGL back end does not draw (stencil,
 * clip planes, vertex blending, point sprites, bump mapping, ...):
 * setting one is reported once as unsupported and fails, though the value is kept so
 * that Get* returns it.
 */
#include "d3d9_private.h"

#include <cstring>

namespace tavrok::d3d9 {

namespace {

DWORD FloatBits(float f)
{
    DWORD d;
    memcpy(&d, &f, 4);
    return d;
}

void Identity(D3DMATRIX &m)
{
    memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
}

}  // namespace

void SetDefaultStates(DeviceState &s, const D3DPRESENT_PARAMETERS &pp)
{
    DWORD *r = s.render;
    r[D3DRS_ZENABLE] = pp.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRS_FILLMODE] = D3DFILL_SOLID;
    r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRS_ZWRITEENABLE] = TRUE;
    r[D3DRS_ALPHATESTENABLE] = FALSE;
    r[D3DRS_LASTPIXEL] = TRUE;
    r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRS_CULLMODE] = D3DCULL_CCW;
    r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRS_ALPHAREF] = 0;
    r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_DITHERENABLE] = FALSE;
    r[D3DRS_ALPHABLENDENABLE] = FALSE;
    r[D3DRS_FOGENABLE] = FALSE;
    r[D3DRS_SPECULARENABLE] = FALSE;
    r[D3DRS_FOGCOLOR] = 0;
    r[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    r[D3DRS_FOGSTART] = FloatBits(0.0f);
    r[D3DRS_FOGEND] = FloatBits(1.0f);
    r[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    r[D3DRS_RANGEFOGENABLE] = FALSE;
    r[D3DRS_STENCILENABLE] = FALSE;
    r[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_STENCILREF] = 0;
    r[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    for (int i = D3DRS_WRAP0; i <= D3DRS_WRAP7; i++)
        r[i] = 0;
    r[D3DRS_CLIPPING] = TRUE;
    r[D3DRS_LIGHTING] = TRUE;
    r[D3DRS_AMBIENT] = 0;
    r[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    r[D3DRS_COLORVERTEX] = TRUE;
    r[D3DRS_LOCALVIEWER] = TRUE;
    r[D3DRS_NORMALIZENORMALS] = FALSE;
    r[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    r[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    r[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_VERTEXBLEND] = D3DVBF_DISABLE;
    r[D3DRS_CLIPPLANEENABLE] = 0;
    r[D3DRS_POINTSIZE] = FloatBits(1.0f);
    r[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    r[D3DRS_POINTSPRITEENABLE] = FALSE;
    r[D3DRS_POINTSCALEENABLE] = FALSE;
    r[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    r[D3DRS_POINTSCALE_B] = FloatBits(0.0f);
    r[D3DRS_POINTSCALE_C] = FloatBits(0.0f);
    r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    r[D3DRS_PATCHEDGESTYLE] = D3DPATCHEDGE_DISCRETE;
    r[D3DRS_DEBUGMONITORTOKEN] = D3DDMT_ENABLE;
    r[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    r[D3DRS_INDEXEDVERTEXBLENDENABLE] = FALSE;
    r[D3DRS_COLORWRITEENABLE] = 0x0000000F;
    r[D3DRS_TWEENFACTOR] = FloatBits(0.0f);
    r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    r[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    r[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    r[D3DRS_SCISSORTESTENABLE] = FALSE;
    r[D3DRS_SLOPESCALEDEPTHBIAS] = 0;
    r[D3DRS_ANTIALIASEDLINEENABLE] = FALSE;
    r[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_ADAPTIVETESS_X] = FloatBits(0.0f);
    r[D3DRS_ADAPTIVETESS_Y] = FloatBits(0.0f);
    r[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    r[D3DRS_ADAPTIVETESS_W] = FloatBits(0.0f);
    r[D3DRS_ENABLEADAPTIVETESSELLATION] = FALSE;
    r[D3DRS_TWOSIDEDSTENCILMODE] = FALSE;
    r[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_COLORWRITEENABLE1] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE2] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE3] = 0x0000000F;
    r[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    r[D3DRS_SRGBWRITEENABLE] = 0;
    r[D3DRS_DEPTHBIAS] = 0;
    for (int i = D3DRS_WRAP8; i <= D3DRS_WRAP15; i++)
        r[i] = 0;
    r[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    r[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    r[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    r[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (int i = 0; i < kMaxStages; i++) {
        DWORD *t = s.stage[i];
        t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_BUMPENVMAT00] = t[D3DTSS_BUMPENVMAT01] = t[D3DTSS_BUMPENVMAT10] = t[D3DTSS_BUMPENVMAT11] = 0;
        t[D3DTSS_TEXCOORDINDEX] = DWORD(i);
        t[D3DTSS_BUMPENVLSCALE] = t[D3DTSS_BUMPENVLOFFSET] = 0;
        t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        t[D3DTSS_CONSTANT] = 0;
    }
    for (int i = 0; i < kMaxSamplers; i++) {
        DWORD *t = s.sampler[i];
        t[D3DSAMP_ADDRESSU] = t[D3DSAMP_ADDRESSV] = t[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        t[D3DSAMP_BORDERCOLOR] = 0;
        t[D3DSAMP_MAGFILTER] = t[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        t[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        t[D3DSAMP_MIPMAPLODBIAS] = 0;
        t[D3DSAMP_MAXMIPLEVEL] = 0;
        t[D3DSAMP_MAXANISOTROPY] = 1;
        t[D3DSAMP_SRGBTEXTURE] = 0;
        t[D3DSAMP_ELEMENTINDEX] = 0;
        t[D3DSAMP_DMAPOFFSET] = 0;
    }
    Identity(s.world);
    for (auto &m : s.moreWorlds)
        Identity(m);
    Identity(s.view);
    Identity(s.projection);
    for (auto &m : s.textureMatrix)
        Identity(m);
    s.viewport = {0, 0, pp.BackBufferWidth, pp.BackBufferHeight, 0.0f, 1.0f};
    s.scissor = {0, 0, LONG(pp.BackBufferWidth), LONG(pp.BackBufferHeight)};
    s.autoDepth = pp.EnableAutoDepthStencil != FALSE;
}

// What the back end does not draw, or null when it does.
const char *UnsupportedRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    switch (state) {
    case D3DRS_ZENABLE: return value == D3DZB_USEW ? "D3DRS_ZENABLE = D3DZB_USEW" : nullptr;
    case D3DRS_SHADEMODE: return value == D3DSHADE_PHONG ? "D3DRS_SHADEMODE = D3DSHADE_PHONG" : nullptr;
    case D3DRS_VERTEXBLEND:
        return value > D3DVBF_3WEIGHTS && value != D3DVBF_0WEIGHTS && value != D3DVBF_TWEENING
                   ? "an unknown D3DVERTEXBLENDFLAGS value"
                   : nullptr;
    case D3DRS_ENABLEADAPTIVETESSELLATION: return value ? "adaptive tessellation" : nullptr;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
        return (value < D3DBLEND_ZERO || value > D3DBLEND_INVBLENDFACTOR) ? "an unknown D3DBLEND value" : nullptr;
    case D3DRS_ZFUNC:
    case D3DRS_ALPHAFUNC:
    case D3DRS_STENCILFUNC:
    case D3DRS_CCW_STENCILFUNC:
        return (value < D3DCMP_NEVER || value > D3DCMP_ALWAYS) ? "an unknown D3DCMPFUNC value" : nullptr;
    case D3DRS_CULLMODE:
        return (value < D3DCULL_NONE || value > D3DCULL_CCW) ? "an unknown D3DCULL value" : nullptr;
    case D3DRS_FILLMODE:
        return (value < D3DFILL_POINT || value > D3DFILL_SOLID) ? "an unknown D3DFILLMODE value" : nullptr;
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_CCW_STENCILFAIL:
    case D3DRS_CCW_STENCILZFAIL:
    case D3DRS_CCW_STENCILPASS:
        return (value < D3DSTENCILOP_KEEP || value > D3DSTENCILOP_DECR) ? "an unknown D3DSTENCILOP value" : nullptr;
    case D3DRS_BLENDOP:
    case D3DRS_BLENDOPALPHA:
        return (value < D3DBLENDOP_ADD || value > D3DBLENDOP_MAX) ? "an unknown D3DBLENDOP value" : nullptr;
    default:
        if (state >= D3DRS_WRAP0 && state <= D3DRS_WRAP7 && value)
            return "texture wrapping (D3DRS_WRAPn)";
        if (state >= D3DRS_WRAP8 && state <= D3DRS_WRAP15 && value)
            return "texture wrapping (D3DRS_WRAPn)";
        return nullptr;
    }
}

const char *UnsupportedStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
        switch (value) {
        case D3DTOP_DISABLE:
        case D3DTOP_SELECTARG1:
        case D3DTOP_SELECTARG2:
        case D3DTOP_MODULATE:
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATE4X:
        case D3DTOP_ADD:
        case D3DTOP_ADDSIGNED:
        case D3DTOP_ADDSIGNED2X:
        case D3DTOP_SUBTRACT:
        case D3DTOP_ADDSMOOTH:
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDFACTORALPHA:
        case D3DTOP_BLENDCURRENTALPHA:
        case D3DTOP_BLENDTEXTUREALPHAPM:
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
        case D3DTOP_MODULATECOLOR_ADDALPHA:
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        case D3DTOP_DOTPRODUCT3:
        case D3DTOP_MULTIPLYADD:
        case D3DTOP_LERP:
            return nullptr;
        case D3DTOP_BUMPENVMAP:
            return type == D3DTSS_COLOROP ? nullptr : "D3DTOP_BUMPENVMAP as an alpha operation";
        default:
            return "D3DTOP_PREMODULATE and D3DTOP_BUMPENVMAPLUMINANCE";
        }
    case D3DTSS_COLORARG0:
    case D3DTSS_ALPHAARG0:
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
        return (value & D3DTA_SELECTMASK) > D3DTA_CONSTANT || (value & ~DWORD(0x3F)) ? "an unknown D3DTA value" : nullptr;
    case D3DTSS_TEXCOORDINDEX:
        return (value & 0xFFFF) > 7 || value > (D3DTSS_TCI_SPHEREMAP | 7) ? "an unknown D3DTSS_TCI value" : nullptr;
    case D3DTSS_TEXTURETRANSFORMFLAGS:
        return (value & ~DWORD(D3DTTFF_PROJECTED)) > D3DTTFF_COUNT4 ? "an unknown D3DTEXTURETRANSFORMFLAGS value" : nullptr;
    case D3DTSS_RESULTARG:
        return value != D3DTA_CURRENT && value != D3DTA_TEMP ? "D3DTSS_RESULTARG other than CURRENT and TEMP" : nullptr;
    default:
        return nullptr;
    }
}

const char *UnsupportedSamplerState(D3DSAMPLERSTATETYPE type, DWORD value)
{
    switch (type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW:
        return (value < D3DTADDRESS_WRAP || value > D3DTADDRESS_MIRRORONCE) ? "an unknown D3DTEXTUREADDRESS value"
                                                                            : nullptr;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER:
        return (value > D3DTEXF_LINEAR && value != D3DTEXF_ANISOTROPIC) ? "texture filters other than NONE, POINT, "
                                                                          "LINEAR and ANISOTROPIC"
                                                                        : nullptr;
    case D3DSAMP_MIPFILTER:
        return value > D3DTEXF_LINEAR ? "mip filters other than NONE, POINT and LINEAR" : nullptr;
    default:
        return nullptr;
    }
}

}  // namespace tavrok::d3d9
