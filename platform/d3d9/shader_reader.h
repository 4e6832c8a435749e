/*
 * shader_reader.h - what the vertex and pixel shader parsers share: a bounded reader of
 * the token stream, the step to the next instruction token and the decoding of a parameter
 * token.
 *
 * The reader never reads past the `count` tokens it was given; each failure leaves the
 * token position and the reason in `why`, for the one diagnostic line of the caller.
 */
#ifndef TAVROK_D3D9_SHADER_READER_H
#define TAVROK_D3D9_SHADER_READER_H

#include "d3d9_private.h"

#include <string>

namespace tavrok::d3d9 {

// The register type of a parameter token, split over bits 28-30 and 11-12.
inline DWORD RegType(DWORD token)
{
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) |
           ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}

struct Reader {
    const DWORD *tokens;
    size_t count;
    size_t pos = 0;
    std::string &why;

    bool Next(DWORD &out)
    {
        if (pos >= count) {
            why = "the token stream ends without an end token";
            return false;
        }
        out = tokens[pos++];
        return true;
    }
    std::string Where() const { return "token " + std::to_string(pos == 0 ? 0 : pos - 1); }
};

inline bool Fail(Reader &r, const std::string &reason)
{
    r.why = r.Where() + ": " + reason;
    return false;
}

// Steps to the next instruction token, skipping comments.  `end` is set at the end token
// (which must be exactly `endToken`); a parameter token here, a comment running past the
// stream or a stream without an end token fail.
inline bool NextInstruction(Reader &r, DWORD endToken, DWORD &t, bool &end)
{
    end = false;
    for (;;) {
        if (!r.Next(t))
            return false;
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_END) {
            if (t != endToken)
                return Fail(r, "malformed end token");
            end = true;
            return true;
        }
        if (opcode == D3DSIO_COMMENT) {
            const size_t length = (t & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (length > r.count - r.pos)
                return Fail(r, "comment runs past the end of the stream");
            r.pos += length;
            continue;
        }
        if (t & 0x80000000u)
            return Fail(r, "parameter token where an instruction was expected");
        return true;
    }
}

// Reads one parameter token into `p`: its register, whether it is indexed, and the write
// mask and modifier of a destination (which must write something) or the swizzle and
// modifier of a source.  The token is left in `t` for the caller's own checks.
inline bool ReadParamToken(Reader &r, bool dest, ShaderParam &p, DWORD &t)
{
    if (!r.Next(t))
        return false;
    if (!(t & 0x80000000u))
        return Fail(r, "parameter token without its high bit");
    p.regType = RegType(t);
    p.regNum = t & D3DSP_REGNUM_MASK;
    p.relative = (t & D3DSHADER_ADDRESSMODE_MASK) != 0;
    if (dest) {
        p.mask = (t & D3DSP_WRITEMASK_ALL) >> 16;
        p.modifier = (t & D3DSP_DSTMOD_MASK) >> D3DSP_DSTMOD_SHIFT;
        if (p.mask == 0)
            return Fail(r, "destination with an empty write mask");
    } else {
        p.swizzle = (t & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT;
        p.modifier = (t & D3DSP_SRCMOD_MASK) >> D3DSP_SRCMOD_SHIFT;
    }
    return true;
}

// How many consecutive registers source `index` of `opcode` reads: the matrix
// instructions read their second source's rows, 4, 3 or 2 of them.
inline DWORD MatrixRows(DWORD opcode, int index)
{
    if (index != 1)
        return 1;
    switch (opcode) {
    case D3DSIO_M4x4:
    case D3DSIO_M3x4: return 4;
    case D3DSIO_M4x3:
    case D3DSIO_M3x3: return 3;
    case D3DSIO_M3x2: return 2;
    default: return 1;
    }
}

}  // namespace tavrok::d3d9

#endif
