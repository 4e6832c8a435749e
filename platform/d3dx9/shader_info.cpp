/*
 * shader_info.cpp - what D3DX reads from compiled shader bytecode without running it:
 * D3DXGetShaderVersion, D3DXGetShaderSize, D3DXFindShaderComment, the input and output
 * semantics, the samplers, and the best shader profiles a device offers.
 *
 * The token walk (WalkShader) is shared with the disassembler and the constant table.
 * Version 2 instruction tokens carry the count of their parameter tokens; version 1 ones
 * do not, so there the parameters are the tokens with bit 31 set that follow (def's four
 * values excepted, which are raw floats).
 */
#include "shader_bytecode.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cstring>

namespace tavrok::d3dx9 {

bool WalkShader(const DWORD *code, ShaderWalk &walk, std::string &why)
{
    walk = ShaderWalk();
    if (!code) {
        why = "no shader bytecode";
        return false;
    }
    const DWORD version = code[0];
    const DWORD kind = version >> 16;
    if (kind != 0xFFFE && kind != 0xFFFF) {
        char text[64];
        snprintf(text, sizeof text, "token 0: 0x%08X is not a shader version token", version);
        why = text;
        return false;
    }
    walk.version = version;
    walk.pixel = kind == 0xFFFF;
    const bool counted = D3DSHADER_VERSION_MAJOR(version) >= 2;
    size_t at = 1;
    for (;;) {
        if (at >= kMaxShaderTokens) {
            why = "no end token within " + std::to_string(kMaxShaderTokens) + " tokens";
            return false;
        }
        const DWORD token = code[at];
        const DWORD opcode = token & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_END) {
            if (token != D3DVS_END()) {
                why = "token " + std::to_string(at) + ": malformed end token";
                return false;
            }
            walk.tokens = at + 1;
            return true;
        }
        if (token & 0x80000000u) {
            why = "token " + std::to_string(at) + ": a parameter token where an instruction belongs";
            return false;
        }
        if (opcode == D3DSIO_COMMENT) {
            const size_t length = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (at + 1 + length >= kMaxShaderTokens) {
                why = "token " + std::to_string(at) + ": the comment runs past the shader";
                return false;
            }
            walk.comments.push_back(ShaderComment{at, code + at + 1, length});
            at += 1 + length;
            continue;
        }
        size_t count = 0;
        if (counted) {
            count = (token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
        } else if (opcode == D3DSIO_DEF) {
            count = 5;
        } else {
            while (at + 1 + count < kMaxShaderTokens && (code[at + 1 + count] & 0x80000000u))
                ++count;
        }
        if (at + 1 + count >= kMaxShaderTokens) {
            why = "token " + std::to_string(at) + ": the instruction runs past the shader";
            return false;
        }
        walk.instructions.push_back(ShaderInstruction{at, token, opcode, code + at + 1, count});
        at += 1 + count;
    }
}

bool FindConstantTableData(const ShaderWalk &walk, const uint8_t *&data, size_t &size)
{
    for (const ShaderComment &comment : walk.comments) {
        if (comment.count >= 1 && comment.data[0] == MAKEFOURCC('C', 'T', 'A', 'B')) {
            data = reinterpret_cast<const uint8_t *>(comment.data + 1);
            size = (comment.count - 1) * sizeof(DWORD);
            return true;
        }
    }
    return false;
}

namespace {

// One diagnostic line for a call refused because of its bytecode.
HRESULT Refuse(const char *call, const std::string &why, HRESULT hr)
{
    Diagnostic(kLibrary, "", "", std::string(call) + ": " + why);
    return hr;
}

void AddSemantic(std::vector<D3DXSEMANTIC> &list, UINT usage, UINT index)
{
    for (const D3DXSEMANTIC &s : list)
        if (s.Usage == usage && s.UsageIndex == index)
            return;
    list.push_back(D3DXSEMANTIC{usage, index});
}

// The destination parameter of an instruction (its first parameter), when it has one.
bool Destination(const ShaderInstruction &in, DWORD &dst)
{
    switch (in.opcode) {
    case D3DSIO_NOP: case D3DSIO_PHASE: case D3DSIO_DEF: case D3DSIO_DEFI: case D3DSIO_DEFB: case D3DSIO_DCL:
    case D3DSIO_TEXKILL: case D3DSIO_CALL: case D3DSIO_CALLNZ: case D3DSIO_LOOP: case D3DSIO_RET:
    case D3DSIO_ENDLOOP: case D3DSIO_LABEL: case D3DSIO_REP: case D3DSIO_ENDREP: case D3DSIO_IF: case D3DSIO_IFC:
    case D3DSIO_ELSE: case D3DSIO_ENDIF: case D3DSIO_BREAK: case D3DSIO_BREAKC: case D3DSIO_BREAKP:
        return false;
    default:
        break;
    }
    if (in.count == 0)
        return false;
    dst = in.params[0];
    return true;
}

// The source parameters of an instruction that has a destination (relative-address
// tokens of version 2 and later skipped).
std::vector<DWORD> Sources(const ShaderInstruction &in, DWORD version)
{
    std::vector<DWORD> sources;
    size_t i = 1;
    if (D3DSHADER_VERSION_MAJOR(version) >= 3 && in.count > 0 && (in.params[0] & D3DSHADER_ADDRESSMODE_MASK))
        ++i;
    for (; i < in.count; ++i) {
        sources.push_back(in.params[i]);
        if (D3DSHADER_VERSION_MAJOR(version) >= 2 && (in.params[i] & D3DSHADER_ADDRESSMODE_MASK))
            ++i;
    }
    return sources;
}

enum class Direction { Input, Output };

HRESULT Semantics(const char *call, const DWORD *function, Direction direction, D3DXSEMANTIC *semantics, UINT *count)
{
    if (!function || !count)
        return Refuse(call, !function ? "no shader bytecode" : "no count to fill", D3DERR_INVALIDCALL);
    ShaderWalk walk;
    std::string why;
    if (!WalkShader(function, walk, why))
        return Refuse(call, why, D3DXERR_INVALIDDATA);
    const unsigned major = D3DSHADER_VERSION_MAJOR(walk.version);
    std::vector<D3DXSEMANTIC> list;
    for (const ShaderInstruction &in : walk.instructions) {
        if (in.opcode == D3DSIO_DCL && in.count >= 2) {
            const DWORD usage = in.params[0], reg = in.params[1];
            const DWORD type = ParamRegType(reg);
            const unsigned number = ParamRegNumber(reg);
            const bool input = type == D3DSPR_INPUT || (walk.pixel && type == D3DSPR_TEXTURE);
            const bool output = type == D3DSPR_OUTPUT && !walk.pixel && major >= 3;
            if (direction == Direction::Input ? !input : !output)
                continue;
            if (walk.pixel && major < 3)  // ps_2_x: t# carries texture coordinates, v# colours
                AddSemantic(list, type == D3DSPR_TEXTURE ? D3DDECLUSAGE_TEXCOORD : D3DDECLUSAGE_COLOR, number);
            else
                AddSemantic(list, (usage & D3DSP_DCL_USAGE_MASK) >> D3DSP_DCL_USAGE_SHIFT,
                            (usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT);
            continue;
        }
        DWORD dst = 0;
        const bool hasDst = Destination(in, dst);
        if (direction == Direction::Output && hasDst) {
            const DWORD type = ParamRegType(dst);
            const unsigned number = ParamRegNumber(dst);
            if (!walk.pixel && major < 3) {
                if (type == D3DSPR_RASTOUT)
                    AddSemantic(list, number == D3DSRO_POSITION ? D3DDECLUSAGE_POSITION
                                      : number == D3DSRO_FOG    ? D3DDECLUSAGE_FOG
                                                                : D3DDECLUSAGE_PSIZE, 0);
                else if (type == D3DSPR_ATTROUT)
                    AddSemantic(list, D3DDECLUSAGE_COLOR, number);
                else if (type == D3DSPR_TEXCRDOUT)
                    AddSemantic(list, D3DDECLUSAGE_TEXCOORD, number);
            } else if (walk.pixel) {
                if (type == D3DSPR_COLOROUT)
                    AddSemantic(list, D3DDECLUSAGE_COLOR, number);
                else if (type == D3DSPR_DEPTHOUT)
                    AddSemantic(list, D3DDECLUSAGE_DEPTH, 0);
                else if (major == 1 && type == D3DSPR_TEMP && number == 0)  // ps_1_x: r0 is the colour
                    AddSemantic(list, D3DDECLUSAGE_COLOR, 0);
            }
        }
        // ps_1_x declares nothing: its inputs are the t# it loads and the v# it reads.
        if (direction == Direction::Input && walk.pixel && major == 1) {
            const bool texture = in.opcode == D3DSIO_TEX || in.opcode == D3DSIO_TEXCOORD ||
                                 (in.opcode >= D3DSIO_TEXBEM && in.opcode <= D3DSIO_TEXM3x3VSPEC) ||
                                 (in.opcode >= D3DSIO_TEXREG2RGB && in.opcode <= D3DSIO_TEXDEPTH);
            const bool ps14 = D3DSHADER_VERSION_MINOR(walk.version) == 4;
            if (texture && !ps14 && hasDst && ParamRegType(dst) == D3DSPR_TEXTURE)
                AddSemantic(list, D3DDECLUSAGE_TEXCOORD, ParamRegNumber(dst));
            std::vector<DWORD> sources = hasDst ? Sources(in, walk.version) : std::vector<DWORD>();
            for (DWORD s : sources) {
                if (ParamRegType(s) == D3DSPR_INPUT)
                    AddSemantic(list, D3DDECLUSAGE_COLOR, ParamRegNumber(s));
                else if (ParamRegType(s) == D3DSPR_TEXTURE && ps14)
                    AddSemantic(list, D3DDECLUSAGE_TEXCOORD, ParamRegNumber(s));
            }
        }
    }
    if (list.size() > MAXD3DDECLLENGTH)
        list.resize(MAXD3DDECLLENGTH);
    if (semantics)
        std::copy(list.begin(), list.end(), semantics);
    *count = static_cast<UINT>(list.size());
    return D3D_OK;
}

constexpr unsigned kMaxSamplers = 16;
constexpr DWORD kVs20Predication = 1u << 0;  // D3DVS20CAPS_PREDICATION, which d3d9caps.h leaves out

}  // namespace
}  // namespace tavrok::d3dx9

using namespace tavrok::d3dx9;

extern "C" DWORD WINAPI D3DXGetShaderVersion(CONST DWORD *pFunction)
{
    return pFunction ? pFunction[0] : 0;
}

extern "C" UINT WINAPI D3DXGetShaderSize(CONST DWORD *pFunction)
{
    ShaderWalk walk;
    std::string why;
    if (!pFunction)
        return 0;
    if (!WalkShader(pFunction, walk, why)) {
        Refuse("D3DXGetShaderSize", why, 0);
        return 0;
    }
    return static_cast<UINT>(walk.tokens * sizeof(DWORD));
}

extern "C" LPCSTR WINAPI D3DXGetVertexShaderProfile(LPDIRECT3DDEVICE9 pDevice)
{
    D3DCAPS9 caps;
    if (!pDevice || FAILED(pDevice->GetDeviceCaps(&caps)))
        return nullptr;
    const DWORD v = caps.VertexShaderVersion & 0xFFFF;
    if (v >= 0x0300)
        return "vs_3_0";
    if (v >= 0x0200)
        // vs_2_a: the extended vertex profile (dynamic flow control, 13 temporaries, predication).
        return caps.VS20Caps.DynamicFlowControlDepth >= 24 && caps.VS20Caps.NumTemps >= 13 &&
                       (caps.VS20Caps.Caps & kVs20Predication)
                   ? "vs_2_a"
                   : "vs_2_0";
    if (v >= 0x0101)
        return "vs_1_1";
    return nullptr;
}

extern "C" LPCSTR WINAPI D3DXGetPixelShaderProfile(LPDIRECT3DDEVICE9 pDevice)
{
    D3DCAPS9 caps;
    if (!pDevice || FAILED(pDevice->GetDeviceCaps(&caps)))
        return nullptr;
    const DWORD v = caps.PixelShaderVersion & 0xFFFF;
    if (v >= 0x0300)
        return "ps_3_0";
    if (v >= 0x0200)
    {
        // ps_2_a: every ps_2_x extension and 22 temporaries; ps_2_b: 32 temporaries and
        // 512 slots without the dependent-read and texture-instruction limits.
        const DWORD all = D3DPS20CAPS_ARBITRARYSWIZZLE | D3DPS20CAPS_GRADIENTINSTRUCTIONS | D3DPS20CAPS_PREDICATION |
                          D3DPS20CAPS_NODEPENDENTREADLIMIT | D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT;
        const DWORD limits = D3DPS20CAPS_NODEPENDENTREADLIMIT | D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT;
        const D3DPSHADERCAPS2_0 &ps = caps.PS20Caps;
        if ((ps.Caps & all) == all && ps.NumTemps >= 22 && ps.NumInstructionSlots >= 512)
            return "ps_2_a";
        if ((ps.Caps & limits) == limits && ps.NumTemps >= 32 && ps.NumInstructionSlots >= 512)
            return "ps_2_b";
        return "ps_2_0";
    }
    static const char *const kPs1[] = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4"};
    if (v >= 0x0101)
        return kPs1[std::min<DWORD>(v & 0xFF, 4) - 1];
    return nullptr;
}

extern "C" HRESULT WINAPI D3DXFindShaderComment(CONST DWORD *pFunction, DWORD FourCC, LPCVOID *ppData,
                                                UINT *pSizeInBytes)
{
    if (ppData)
        *ppData = nullptr;
    if (pSizeInBytes)
        *pSizeInBytes = 0;
    if (!pFunction)
        return Refuse("D3DXFindShaderComment", "no shader bytecode", D3DERR_INVALIDCALL);
    ShaderWalk walk;
    std::string why;
    if (!WalkShader(pFunction, walk, why))
        return Refuse("D3DXFindShaderComment", why, D3DXERR_INVALIDDATA);
    for (const ShaderComment &comment : walk.comments) {
        if (comment.count >= 1 && comment.data[0] == FourCC) {
            if (ppData)
                *ppData = comment.data + 1;
            if (pSizeInBytes)
                *pSizeInBytes = static_cast<UINT>((comment.count - 1) * sizeof(DWORD));
            return D3D_OK;
        }
    }
    return S_FALSE;
}

extern "C" HRESULT WINAPI D3DXGetShaderInputSemantics(CONST DWORD *pFunction, D3DXSEMANTIC *pSemantics, UINT *pCount)
{
    return Semantics("D3DXGetShaderInputSemantics", pFunction, Direction::Input, pSemantics, pCount);
}

extern "C" HRESULT WINAPI D3DXGetShaderOutputSemantics(CONST DWORD *pFunction, D3DXSEMANTIC *pSemantics,
                                                       UINT *pCount)
{
    return Semantics("D3DXGetShaderOutputSemantics", pFunction, Direction::Output, pSemantics, pCount);
}

extern "C" HRESULT WINAPI D3DXGetShaderSamplers(CONST DWORD *pFunction, LPCSTR *pSamplers, UINT *pCount)
{
    if (!pFunction)
        return Refuse("D3DXGetShaderSamplers", "no shader bytecode", D3DERR_INVALIDCALL);
    ShaderWalk walk;
    std::string why;
    if (!WalkShader(pFunction, walk, why))
        return Refuse("D3DXGetShaderSamplers", why, D3DXERR_INVALIDDATA);
    bool used[kMaxSamplers] = {};
    const unsigned major = D3DSHADER_VERSION_MAJOR(walk.version);
    for (const ShaderInstruction &in : walk.instructions) {
        if (in.count == 0)
            continue;
        const DWORD first = in.params[in.opcode == D3DSIO_DCL && in.count >= 2 ? 1 : 0];
        if (in.opcode == D3DSIO_DCL && ParamRegType(first) == D3DSPR_SAMPLER) {
            used[ParamRegNumber(first) % kMaxSamplers] = true;
        } else if (major == 1 && walk.pixel && in.opcode != D3DSIO_TEXCOORD && in.opcode != D3DSIO_TEXKILL &&
                   ((in.opcode >= D3DSIO_TEX && in.opcode <= D3DSIO_TEXM3x3VSPEC && in.opcode != D3DSIO_TEXM3x2PAD &&
                     in.opcode != D3DSIO_TEXM3x3PAD) ||
                    in.opcode == D3DSIO_TEXREG2RGB || in.opcode == D3DSIO_TEXDP3TEX)) {
            // ps_1_x samples stage n into t#n (ps_1_4: into r#n).
            used[ParamRegNumber(first) % kMaxSamplers] = true;
        }
    }
    // The names come from the constant table, when the shader has one.
    const char *names[kMaxSamplers] = {};
    const uint8_t *data = nullptr;
    size_t size = 0;
    CtabTable table;
    if (FindConstantTableData(walk, data, size)) {
        if (!ReadConstantTable(data, size, table, why))
            return Refuse("D3DXGetShaderSamplers", "constant table: " + why, D3DXERR_INVALIDDATA);
        for (int index : table.constants) {
            const CtabNode &node = table.nodes[index];
            if (node.desc.RegisterSet != D3DXRS_SAMPLER)
                continue;
            for (UINT r = node.desc.RegisterIndex; r < node.desc.RegisterIndex + node.desc.RegisterCount && r < kMaxSamplers; ++r)
                names[r] = reinterpret_cast<const char *>(data + node.nameOffset);
        }
    }
    UINT count = 0;
    for (unsigned i = 0; i < kMaxSamplers; ++i) {
        if (used[i])
            count = i + 1;
    }
    if (pSamplers)
        for (unsigned i = 0; i < count; ++i)
            pSamplers[i] = used[i] ? names[i] : nullptr;
    if (pCount)
        *pCount = count;
    return D3D_OK;
}
