// A writer of hand-made constant tables for the shader tests: the "CTAB" comment block an
// HLSL compiler leaves in a shader, in the layout d3dx9shader.h documents; and the shaders
// they go in, assembled from text.
#ifndef TAVROK_TESTS_D3DX9_CTAB_BUILDER_H
#define TAVROK_TESTS_D3DX9_CTAB_BUILDER_H

#include <d3dx9.h>
#include <d3dx9shader.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace ctabtest {

// Writes a CTAB block in the documented layout: the header, room for the constant
// records, then strings, types and member lists as they are added (offsets from the start
// of the data).
class CtabBuilder {
public:
    static constexpr DWORD kHeader = 28, kInfo = 20, kRoom = 8;

    explicit CtabBuilder(DWORD version) : bytes_(kHeader + kInfo * kRoom, 0)
    {
        Put32(0, kHeader);
        Put32(4, String("tavrok test builder"));
        Put32(8, version);
        Put32(16, kHeader);
        Put32(24, String((version >> 16) == 0xFFFF ? "ps_2_0" : "vs_2_0"));
    }

    DWORD String(const std::string &s)
    {
        DWORD at = Align();
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        bytes_.push_back(0);
        return at;
    }
    DWORD Type(WORD cls, WORD type, WORD rows, WORD columns, WORD elements = 1, WORD members = 0, DWORD memberInfo = 0)
    {
        DWORD at = Align();
        bytes_.resize(at + 16);
        Put16(at, cls), Put16(at + 2, type), Put16(at + 4, rows), Put16(at + 6, columns);
        Put16(at + 8, elements), Put16(at + 10, members), Put32(at + 12, memberInfo);
        return at;
    }
    DWORD Members(const std::vector<std::pair<std::string, DWORD>> &members)
    {
        std::vector<DWORD> names;
        for (const auto &m : members)
            names.push_back(String(m.first));
        DWORD at = Align();
        bytes_.resize(at + 8 * members.size());
        for (size_t i = 0; i < members.size(); ++i)
            Put32(at + 8 * DWORD(i), names[i]), Put32(at + 8 * DWORD(i) + 4, members[i].second);
        return at;
    }
    DWORD Floats(const std::vector<float> &values)
    {
        DWORD at = Align();
        bytes_.resize(at + 4 * values.size());
        memcpy(&bytes_[at], values.data(), 4 * values.size());
        return at;
    }
    // Returns the offset of the constant's record.
    DWORD Constant(const std::string &name, WORD set, WORD index, WORD count, DWORD type, DWORD defaultValue = 0)
    {
        const DWORD nameAt = String(name);
        const DWORD at = kHeader + kInfo * constants_;
        Put32(at, nameAt), Put16(at + 4, set), Put16(at + 6, index), Put16(at + 8, count);
        Put32(at + 12, type), Put32(at + 16, defaultValue);
        Put32(12, ++constants_);
        return at;
    }

    void Put16(DWORD at, WORD v) { memcpy(&bytes_[at], &v, 2); }
    void Put32(DWORD at, DWORD v) { memcpy(&bytes_[at], &v, 4); }
    DWORD Size() const { return DWORD(bytes_.size()); }

    // The comment block: its token, "CTAB", the data padded to whole DWORDs.
    std::vector<DWORD> Comment() const
    {
        std::vector<uint8_t> padded = bytes_;
        padded.resize((padded.size() + 3) & ~size_t(3));
        std::vector<DWORD> block = {D3DSHADER_COMMENT(DWORD(padded.size() / 4 + 1)), MAKEFOURCC('C', 'T', 'A', 'B')};
        const size_t start = block.size();
        block.resize(start + padded.size() / 4);
        memcpy(&block[start], padded.data(), padded.size());
        return block;
    }

private:
    DWORD Align()
    {
        bytes_.resize((bytes_.size() + 3) & ~size_t(3));
        return DWORD(bytes_.size());
    }
    std::vector<uint8_t> bytes_;
    DWORD constants_ = 0;
};

// The tokens of `text` assembled with `flags`; empty when it does not assemble.
inline std::vector<DWORD> Assemble(const std::string &text, DWORD flags = 0)
{
    LPD3DXBUFFER shader = nullptr;
    std::vector<DWORD> code;
    if (SUCCEEDED(D3DXAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, flags, &shader, nullptr))) {
        const DWORD *words = static_cast<const DWORD *>(shader->GetBufferPointer());
        code.assign(words, words + shader->GetBufferSize() / sizeof(DWORD));
        shader->Release();
    }
    return code;
}

// `code` with `comment` placed right after its version token.
inline std::vector<DWORD> WithComment(std::vector<DWORD> code, const std::vector<DWORD> &comment)
{
    code.insert(code.begin() + 1, comment.begin(), comment.end());
    return code;
}

}  // namespace ctabtest

#endif
