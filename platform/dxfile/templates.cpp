/*
 * templates.cpp - the template registry, primitive sizes, GUID text and reference lookup.
 *
 * A TemplateSet maps template names to shared, immutable templates: redefining a name
 * replaces the entry while objects already parsed keep the definition they were read with.
 * Names are compared ignoring ASCII case, as exporters spell them either way
 * ("TextureFileName" for TextureFilename); a template keeps the spelling it was declared with.
 * Also parses a whole template block (what RegisterTemplates receives).  Relies on the
 * lexers and the parser; knows nothing of COM objects.
 */
#include "dxfile_private.h"

#include <cstdio>
#include <cstring>

namespace tavrok::dxfile {

const char *PrimName(uint16_t prim)
{
    switch (prim) {
    case T_WORD: return "WORD";
    case T_DWORD: return "DWORD";
    case T_FLOAT: return "FLOAT";
    case T_DOUBLE: return "DOUBLE";
    case T_CHAR: return "CHAR";
    case T_UCHAR: return "UCHAR";
    case T_SWORD: return "SWORD";
    case T_SDWORD: return "SDWORD";
    case T_LPSTR: return "STRING";
    case T_UNICODE: return "UNICODE";
    case T_CSTRING: return "CSTRING";
    default: return "?";
    }
}

std::string FoldCase(std::string_view name)
{
    std::string key(name);
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return key;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void TemplateSet::Add(std::shared_ptr<const Template> t)
{
    std::string key = FoldCase(t->name);
    byName_[key] = std::move(t);
}

const Template *TemplateSet::Find(std::string_view name) const
{
    auto it = byName_.find(FoldCase(name));
    return it == byName_.end() ? nullptr : it->second.get();
}

std::shared_ptr<const Template> TemplateSet::FindShared(std::string_view name) const
{
    auto it = byName_.find(FoldCase(name));
    return it == byName_.end() ? nullptr : it->second;
}

std::string FormatGuid(const GUID &g)
{
    char buf[40];
    snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
             g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool ParseGuid(std::string_view text, GUID &g)
{
    // 8-4-4-4-12 hexadecimal digits.
    static const int groups[] = {8, 4, 4, 4, 12};
    if (text.size() != 36)
        return false;
    uint8_t bytes[16];
    size_t pos = 0;
    int b = 0;
    for (int gi = 0; gi < 5; ++gi) {
        if (gi > 0) {
            if (text[pos] != '-')
                return false;
            ++pos;
        }
        for (int k = 0; k < groups[gi]; k += 2) {
            int v = 0;
            for (int h = 0; h < 2; ++h) {
                char c = text[pos++];
                int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
                if (d < 0)
                    return false;
                v = v * 16 + d;
            }
            bytes[b++] = uint8_t(v);
        }
    }
    g.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    g.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    memcpy(g.Data4, bytes + 8, 8);
    return true;
}

const Node *Document::Resolve(const Node &reference) const
{
    if (!reference.refName.empty()) {
        auto range = byName.equal_range(reference.refName);
        for (auto it = range.first; it != range.second; ++it) {
            if (!reference.refHasId || (it->second->hasId && IsEqualGUID(it->second->id, reference.refId)))
                return it->second;
        }
        return nullptr;
    }
    if (reference.refHasId) {
        for (const Node &n : nodes)
            if (n.kind == Node::Data && n.hasId && IsEqualGUID(n.id, reference.refId))
                return &n;
    }
    return nullptr;
}

void ParseTemplateBlock(const uint8_t *bytes, size_t size, const std::string &name, TemplateSet &templates,
                        std::vector<std::shared_ptr<const Template>> *declared)
{
    Document doc;
    doc.fileName = name;
    ReadHeaderAndBody(bytes, size, doc);
    const uint8_t *b = doc.body.data();
    const uint8_t *e = b + doc.body.size();
    std::unique_ptr<Lexer> lexer = doc.header.encoding == Encoding::Text
                                       ? MakeTextLexer(b, e)
                                       : MakeBinaryLexer(b, e, doc.header.encoding == Encoding::Binary64);
    Parser parser(doc, templates, std::move(lexer));
    while (parser.NextObject()) {
    }
    if (declared)
        *declared = doc.declared;
}

}  // namespace tavrok::dxfile
