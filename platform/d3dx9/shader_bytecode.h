/*
 * shader_bytecode.h - what the shader inspection files share (private to d3dx9): the walk
 * over a shader's token stream, instruction by instruction, and the reading of the
 * constant table of its "CTAB" comment block.
 *
 * The bytecode comes without its size, so the walk stops at the end token or after
 * kMaxShaderTokens tokens, whichever comes first; every failure names the token.
 */
#ifndef TAVROK_D3DX9_SHADER_BYTECODE_H
#define TAVROK_D3DX9_SHADER_BYTECODE_H

#include <d3dx9.h>
#include <d3dx9shader.h>

#include "d3dx9_private.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrok::d3dx9 {

constexpr size_t kMaxShaderTokens = size_t(1) << 20;

// The register type of a parameter token, split over bits 28-30 and 11-12.
inline DWORD ParamRegType(DWORD token)
{
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) | ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}
inline unsigned ParamRegNumber(DWORD token) { return token & D3DSP_REGNUM_MASK; }

struct ShaderInstruction {
    size_t at;            // token index of the instruction token
    DWORD token;          // the instruction token itself
    DWORD opcode;         // its low 16 bits
    const DWORD *params;  // the tokens that follow it
    size_t count;         // how many
};

struct ShaderComment {
    size_t at;
    const DWORD *data;  // the comment's DWORDs (its first one is usually a FOURCC)
    size_t count;
};

struct ShaderWalk {
    DWORD version = 0;
    bool pixel = false;
    std::vector<ShaderInstruction> instructions;
    std::vector<ShaderComment> comments;
    size_t tokens = 0;  // up to and including the end token
};

// Walks `code` from its version token to its end token.  False, with the reason in `why`,
// for a NULL stream, a version token that is neither vs_ nor ps_, a comment or
// instruction running past kMaxShaderTokens, or a parameter token where an instruction
// token belongs.
bool WalkShader(const DWORD *code, ShaderWalk &walk, std::string &why);

// A constant table read from CTAB data: every constant, member and array element as one
// node; offsets are those of the data (names are NUL-terminated strings there).
struct CtabNode {
    DWORD nameOffset = 0;
    D3DXCONSTANT_DESC desc{};       // Name and DefaultValue left NULL: the reader's owner sets them
    DWORD defaultOffset = 0;        // 0: no default value
    int parent = -1;
    std::vector<int> members;       // struct members (of a single, non-array struct)
    std::vector<int> elements;      // array elements
};

struct CtabTable {
    DWORD creatorOffset = 0;
    DWORD version = 0;
    DWORD flags = 0;
    DWORD targetOffset = 0;
    std::vector<int> constants;  // the top-level nodes, in the table's order
    std::vector<CtabNode> nodes;
};

// Reads the CTAB data (after the FOURCC): every offset and count is checked against
// `size`, strings must end inside it, type nesting is limited; false with the reason.
bool ReadConstantTable(const uint8_t *data, size_t size, CtabTable &table, std::string &why);

// The "CTAB" comment of a walked shader; false when there is none.
bool FindConstantTableData(const ShaderWalk &walk, const uint8_t *&data, size_t &size);

}  // namespace tavrok::d3dx9

#endif
