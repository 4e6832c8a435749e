/*
 * writer.cpp - encodes a parsed document as text, binary (32- or 64-bit floats) or
 * compressed text/binary.
 *
 * Values are read back out of each node's data block by walking its template, so what is
 * written is exactly what GetData returned.  Text output uses the separators real files use
 * (';' after each member, ',' between array elements); binary output groups consecutive
 * integers and floats into lists.  Compression goes through DeflateMszip.  Nothing here
 * touches the file system; the caller writes the bytes.
 */
#include "xwriter.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tavrok::dxfile {
namespace {

class Sink {
public:
    virtual ~Sink() = default;
    virtual void Int(uint32_t v, bool isSigned) = 0;
    virtual void Real(double v, bool isDouble) = 0;
    virtual void Str(const char *s) = 0;
    virtual void EndMember() = 0;      // after a member's value(s)
    virtual void ElementSep() = 0;     // between array elements
    virtual void BeginStructElement() {}
    virtual void MemberBreak() {}      // between the top-level members of an object
};

// Walks a template instance over a data block, feeding values to a sink.
class Walker {
public:
    Walker(const uint8_t *data, size_t size, Sink &sink) : p_(data), end_(data + size), sink_(sink) {}

    void Members(const Template &t, int depth = 0)
    {
        uint32_t values[64] = {};
        std::vector<uint32_t> big;
        uint32_t *vals = values;
        if (t.members.size() > 64) {
            big.resize(t.members.size());
            vals = big.data();
        }
        for (size_t i = 0; i < t.members.size(); ++i) {
            const Member &m = t.members[i];
            if (m.dims.empty()) {
                vals[i] = One(m);
                sink_.EndMember();
                if (depth == 0 && i + 1 < t.members.size())
                    sink_.MemberBreak();
                continue;
            }
            uint64_t count = 1;
            for (const Dim &d : m.dims)
                count *= d.member >= 0 ? vals[d.member] : d.fixed;
            if (m.type && !m.type->hasValues)
                continue;
            for (uint64_t k = 0; k < count; ++k) {
                if (k > 0)
                    sink_.ElementSep();
                if (m.type)
                    sink_.BeginStructElement();
                One(m);
            }
            sink_.EndMember();
            if (depth == 0 && i + 1 < t.members.size())
                sink_.MemberBreak();
        }
    }

private:
    uint32_t One(const Member &m)
    {
        if (m.type) {
            Members(*m.type, 1);
            return 0;
        }
        uint32_t n = PrimSize(m.prim);
        if (size_t(end_ - p_) < n)
            return 0;  // cannot happen for a block the parser built
        uint32_t v = 0;
        switch (m.prim) {
        case T_FLOAT: {
            float f;
            memcpy(&f, p_, 4);
            sink_.Real(f, false);
            break;
        }
        case T_DOUBLE: {
            double d;
            memcpy(&d, p_, 8);
            sink_.Real(d, true);
            break;
        }
        case T_LPSTR:
        case T_CSTRING:
        case T_UNICODE: {
            const char *s;
            memcpy(&s, p_, sizeof s);
            sink_.Str(s);
            break;
        }
        default:
            memcpy(&v, p_, n);
            if (m.prim == T_CHAR)
                v = uint32_t(int32_t(int8_t(v)));
            else if (m.prim == T_SWORD)
                v = uint32_t(int32_t(int16_t(v)));
            sink_.Int(v, m.prim == T_CHAR || m.prim == T_SWORD || m.prim == T_SDWORD);
            break;
        }
        p_ += n;
        return v;
    }

    const uint8_t *p_;
    const uint8_t *end_;
    Sink &sink_;
};

// ---- text ----

class TextSink final : public Sink {
public:
    explicit TextSink(std::string &out) : out_(out) {}
    void Indent(int n) { indent_ = n; }
    void Begin() { Line(); }
    void Int(uint32_t v, bool isSigned) override
    {
        char buf[16];
        snprintf(buf, sizeof buf, isSigned ? "%d" : "%u", isSigned ? int32_t(v) : v);
        Put(buf);
    }
    void Real(double v, bool isDouble) override
    {
        if (isDouble) {
            char buf[40];
            snprintf(buf, sizeof buf, "%.17g", v);
            Put(buf);
        } else {
            Put(FormatFloat(float(v)).c_str());
        }
    }
    void Str(const char *s) override
    {
        out_ += '"';
        out_ += s ? s : "";
        out_ += '"';
        ++onLine_;
    }
    void EndMember() override { out_ += ';'; }
    void ElementSep() override
    {
        out_ += ',';
        if (onLine_ >= 8)
            Line();
    }
    void BeginStructElement() override
    {
        if (onLine_ > 0)
            Line();
    }
    void MemberBreak() override { Line(); }
    void Line()
    {
        out_ += '\n';
        out_.append(size_t(indent_), ' ');
        onLine_ = 0;
    }

private:
    void Put(const char *s)
    {
        out_ += s;
        ++onLine_;
    }
    std::string &out_;
    int indent_ = 0;
    int onLine_ = 0;
};

void TextTemplate(const Template &t, std::string &out)
{
    out += "template " + t.name + " {\n <" + FormatGuid(t.guid) + ">\n";
    for (const Member &m : t.members) {
        out += ' ';
        if (!m.dims.empty())
            out += "array ";
        out += m.type ? m.type->name : PrimName(m.prim);
        if (!m.name.empty())
            out += ' ' + m.name;
        for (const Dim &d : m.dims)
            out += '[' + (d.member >= 0 ? t.members[size_t(d.member)].name : std::to_string(d.fixed)) + ']';
        out += ";\n";
    }
    if (t.openness == Template::Open) {
        out += " [...]\n";
    } else if (t.openness == Template::Restricted) {
        out += " [";
        for (size_t i = 0; i < t.restrictions.size(); ++i) {
            const Restriction &r = t.restrictions[i];
            if (i)
                out += ", ";
            out += r.name;
            if (r.hasGuid)
                out += " <" + FormatGuid(r.guid) + ">";
        }
        out += "]\n";
    }
    out += "}\n\n";
}

void TextObject(const Node &n, int indent, std::string &out)
{
    std::string pad(size_t(indent), ' ');
    if (n.kind == Node::Reference) {
        out += pad + "{ ";
        if (!n.refName.empty())
            out += n.refName + ' ';
        if (n.refHasId)
            out += '<' + FormatGuid(n.refId) + "> ";
        out += "}\n";
        return;
    }
    out += pad + n.tmpl->name;
    if (!n.name.empty())
        out += ' ' + n.name;
    out += " {\n";
    if (n.hasId)
        out += pad + " <" + FormatGuid(n.id) + ">\n";
    if (!n.tmpl->members.empty()) {
        TextSink sink(out);
        sink.Indent(indent + 1);
        out += pad + ' ';
        Walker(n.data.data(), n.data.size(), sink).Members(*n.tmpl);
        out += '\n';
    }
    for (const Node *c : n.children)
        TextObject(*c, indent + 1, out);
    out += pad + "}\n";
}

// ---- binary ----

class BinaryOut {
public:
    BinaryOut(std::vector<uint8_t> &out, bool doubles) : out_(out), doubles_(doubles) {}
    void Token(uint16_t t)
    {
        out_.push_back(uint8_t(t));
        out_.push_back(uint8_t(t >> 8));
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_.push_back(uint8_t(v >> (8 * i)));
    }
    void Name(const std::string &s)
    {
        Token(T_NAME);
        U32(uint32_t(s.size()));
        out_.insert(out_.end(), s.begin(), s.end());
    }
    void Guid(const GUID &g)
    {
        Token(T_GUID);
        U32(g.Data1);
        out_.push_back(uint8_t(g.Data2));
        out_.push_back(uint8_t(g.Data2 >> 8));
        out_.push_back(uint8_t(g.Data3));
        out_.push_back(uint8_t(g.Data3 >> 8));
        out_.insert(out_.end(), g.Data4, g.Data4 + 8);
    }
    std::vector<uint8_t> &out_;
    bool doubles_;
};

class BinarySink final : public Sink {
public:
    explicit BinarySink(BinaryOut &out) : o_(out) {}
    ~BinarySink() override { Flush(); }
    void Int(uint32_t v, bool) override
    {
        if (kind_ != T_INTEGER_LIST)
            Start(T_INTEGER_LIST);
        o_.U32(v);
        ++count_;
    }
    void Real(double v, bool) override
    {
        if (kind_ != T_FLOAT_LIST)
            Start(T_FLOAT_LIST);
        if (o_.doubles_) {
            uint8_t b[8];
            memcpy(b, &v, 8);
            o_.out_.insert(o_.out_.end(), b, b + 8);
        } else {
            float f = float(v);
            uint8_t b[4];
            memcpy(b, &f, 4);
            o_.out_.insert(o_.out_.end(), b, b + 4);
        }
        ++count_;
    }
    void Str(const char *s) override
    {
        Flush();
        size_t n = s ? strlen(s) : 0;
        o_.Token(T_STRING);
        o_.U32(uint32_t(n));
        if (n)
            o_.out_.insert(o_.out_.end(), s, s + n);
        o_.Token(T_SEMICOLON);  // the list separator that follows every string
    }
    void EndMember() override {}
    void ElementSep() override {}
    void Flush()
    {
        if (kind_ == T_NONE)
            return;
        uint8_t *c = o_.out_.data() + countAt_;
        for (int i = 0; i < 4; ++i)
            c[i] = uint8_t(count_ >> (8 * i));
        kind_ = T_NONE;
    }

private:
    void Start(uint16_t kind)
    {
        Flush();
        o_.Token(kind);
        countAt_ = o_.out_.size();
        o_.U32(0);
        kind_ = kind;
        count_ = 0;
    }
    BinaryOut &o_;
    uint16_t kind_ = T_NONE;
    size_t countAt_ = 0;
    uint32_t count_ = 0;
};

void BinaryTemplate(const Template &t, BinaryOut &o)
{
    o.Token(T_TEMPLATE);
    o.Name(t.name);
    o.Token(T_OBRACE);
    o.Guid(t.guid);
    for (const Member &m : t.members) {
        if (!m.dims.empty())
            o.Token(T_ARRAY);
        if (m.type)
            o.Name(m.type->name);
        else
            o.Token(m.prim);
        if (!m.name.empty())
            o.Name(m.name);
        for (const Dim &d : m.dims) {
            o.Token(T_OBRACKET);
            if (d.member >= 0) {
                o.Name(t.members[size_t(d.member)].name);
            } else {
                o.Token(T_INTEGER);
                o.U32(d.fixed);
            }
            o.Token(T_CBRACKET);
        }
        o.Token(T_SEMICOLON);
    }
    if (t.openness == Template::Open) {
        o.Token(T_OBRACKET);
        o.Token(T_DOT);
        o.Token(T_DOT);
        o.Token(T_DOT);
        o.Token(T_CBRACKET);
    } else if (t.openness == Template::Restricted) {
        o.Token(T_OBRACKET);
        for (size_t i = 0; i < t.restrictions.size(); ++i) {
            if (i)
                o.Token(T_COMMA);
            o.Name(t.restrictions[i].name);
            if (t.restrictions[i].hasGuid)
                o.Guid(t.restrictions[i].guid);
        }
        o.Token(T_CBRACKET);
    }
    o.Token(T_CBRACE);
}

void BinaryObject(const Node &n, BinaryOut &o)
{
    if (n.kind == Node::Reference) {
        o.Token(T_OBRACE);
        if (!n.refName.empty())
            o.Name(n.refName);
        if (n.refHasId)
            o.Guid(n.refId);
        o.Token(T_CBRACE);
        return;
    }
    o.Name(n.tmpl->name);
    if (!n.name.empty())
        o.Name(n.name);
    o.Token(T_OBRACE);
    if (n.hasId)
        o.Guid(n.id);
    {
        BinarySink sink(o);
        Walker(n.data.data(), n.data.size(), sink).Members(*n.tmpl);
    }
    for (const Node *c : n.children)
        BinaryObject(*c, o);
    o.Token(T_CBRACE);
}

std::vector<uint8_t> Finish(const char *header, std::vector<uint8_t> body, bool compress)
{
    std::vector<uint8_t> out(header, header + 16);
    if (compress) {
        std::vector<uint8_t> packed = DeflateMszip(body);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

std::vector<uint8_t> EncodeAll(const std::vector<std::shared_ptr<const Template>> &templates,
                               const std::vector<Node *> *objects, OutFormat format)
{
    bool text = format == OutFormat::Text || format == OutFormat::TextZip;
    bool zip = format == OutFormat::TextZip || format == OutFormat::BinaryZip;
    std::vector<uint8_t> body;
    if (text) {
        std::string s = "\n";
        for (const auto &t : templates)
            TextTemplate(*t, s);
        if (objects)
            for (const Node *n : *objects) {
                TextObject(*n, 0, s);
                s += '\n';
            }
        body.assign(s.begin(), s.end());
    } else {
        BinaryOut o(body, format == OutFormat::Binary64);
        for (const auto &t : templates)
            BinaryTemplate(*t, o);
        if (objects)
            for (const Node *n : *objects)
                BinaryObject(*n, o);
    }
    const char *header = format == OutFormat::Text        ? "xof 0302txt 0032"
                         : format == OutFormat::Binary32  ? "xof 0302bin 0032"
                         : format == OutFormat::Binary64  ? "xof 0302bin 0064"
                         : format == OutFormat::TextZip   ? "xof 0303tzip0032"
                                                          : "xof 0303bzip0032";
    return Finish(header, std::move(body), zip);
}

}  // namespace

std::string FormatFloat(float f)
{
    char buf[48];
    if (std::isfinite(f)) {
        snprintf(buf, sizeof buf, "%.6f", double(f));
        if (strtof(buf, nullptr) == f)
            return buf;
    }
    snprintf(buf, sizeof buf, "%.9g", double(f));
    return buf;
}

bool ParseOutFormat(const std::string &name, OutFormat &format)
{
    static const struct {
        const char *name;
        OutFormat format;
    } kNames[] = {
        {"txt", OutFormat::Text},          // "xof 0302txt 0032"
        {"bin32", OutFormat::Binary32},    // "xof 0302bin 0032"
        {"bin64", OutFormat::Binary64},    // "xof 0302bin 0064"
        {"tzip", OutFormat::TextZip},      // "xof 0303tzip0032"
        {"bzip", OutFormat::BinaryZip},    // "xof 0303bzip0032"
    };
    for (const auto &k : kNames)
        if (name == k.name) {
            format = k.format;
            return true;
        }
    return false;
}

void LoadDocument(const uint8_t *bytes, size_t size, TemplateSet &templates, Document &doc)
{
    ReadHeaderAndBody(bytes, size, doc);
    const uint8_t *b = doc.body.data();
    const uint8_t *e = b + doc.body.size();
    std::unique_ptr<Lexer> lexer = doc.header.encoding == Encoding::Text
                                       ? MakeTextLexer(b, e)
                                       : MakeBinaryLexer(b, e, doc.header.encoding == Encoding::Binary64);
    Parser parser(doc, templates, std::move(lexer));
    while (parser.NextObject()) {
    }
}

std::vector<uint8_t> Encode(const Document &doc, OutFormat format) { return EncodeAll(doc.declared, &doc.top, format); }

std::vector<uint8_t> EncodeTemplates(const std::vector<std::shared_ptr<const Template>> &templates, OutFormat format)
{
    return EncodeAll(templates, nullptr, format);
}

}  // namespace tavrok::dxfile
