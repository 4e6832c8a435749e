/*
 * shader_reader.h - what the vertex and pixel shader parsers share: a bounded reader of
 * the token stream and the register type of a parameter token.
 *
 * The reader never reads past the `count` tokens it was given; each failure leaves the
 * token position and the reason in `why`, for the one diagnostic line of the caller.
 */
#ifndef TAVROK_D3D9_SHADER_READER_H
#define TAVROK_D3D9_SHADER_READER_H

#include <d3d9.h>

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

}  // namespace tavrok::d3d9

#endif
