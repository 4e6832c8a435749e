/*
 * parser.cpp - templates and data objects from a token stream.
 *
 * One parser serves text and binary bodies.  Templates are registered as they are met;
 * each data object is checked against its template while its data block is laid out:
 * members in template order without padding, arrays and nested templates inline, array
 * sizes taken from earlier members of the same template, strings copied and stored as
 * pointers.  Separators (';' and ',') between values are accepted wherever real files
 * put them.  Child objects are checked against the template's restrictions.  Nesting of
 * objects is bounded so that no file can exhaust the stack.  Does not resolve references:
 * Document::Resolve does that on demand.
 */
#include "dxfile_private.h"

#include <algorithm>
#include <cstring>

namespace tavrok::dxfile {
namespace {

constexpr int kMaxDepth = 128;
constexpr uint32_t kMaxTemplateDepth = 32;

}  // namespace

Parser::Parser(Document &doc, TemplateSet &templates, std::unique_ptr<Lexer> lexer)
    : doc_(doc), templates_(templates), lexer_(std::move(lexer))
{
    Advance();
}

void Parser::Advance() { lexer_->Next(cur_); }

void Parser::Fail(HRESULT code, const std::string &reason) { throw ParseError{code, lexer_->Where(), reason}; }

std::string Parser::Describe(const Token &t) const
{
    switch (t.kind) {
    case T_NAME: return "name '" + std::string(t.text.substr(0, 40)) + "'";
    case T_STRING: return "string \"" + std::string(t.text.substr(0, 40)) + "\"";
    case T_INTEGER: return "integer " + std::to_string(t.integer);
    case T_REAL: return "number " + std::to_string(t.real);
    case T_GUID: return "GUID <" + FormatGuid(t.guid) + ">";
    case T_OBRACE: return "'{'";
    case T_CBRACE: return "'}'";
    case T_OBRACKET: return "'['";
    case T_CBRACKET: return "']'";
    case T_COMMA: return "','";
    case T_SEMICOLON: return "';'";
    case T_DOT: return "'.'";
    case T_TEMPLATE: return "'template'";
    case T_ARRAY: return "'array'";
    case T_EOF: return "the end of the file";
    default:
        if (t.kind >= T_WORD && t.kind <= T_CSTRING)
            return std::string("type ") + PrimName(t.kind);
        return "token " + std::to_string(t.kind);
    }
}

void Parser::Expect(uint16_t kind, const char *what)
{
    if (cur_.kind != kind)
        Fail(DXFILEERR_PARSEERROR, std::string("expected ") + what + ", found " + Describe(cur_));
    Advance();
}

void Parser::SkipSeparators()
{
    while (cur_.kind == T_SEMICOLON || cur_.kind == T_COMMA)
        Advance();
}

Node *Parser::NextObject()
{
    for (;;) {
        if (cur_.kind == T_EOF)
            return nullptr;
        if (cur_.kind == T_TEMPLATE) {
            ParseTemplate();
            continue;
        }
        if (cur_.kind == T_SEMICOLON || cur_.kind == T_COMMA) {
            Advance();
            continue;
        }
        if (cur_.kind != T_NAME)
            Fail(DXFILEERR_PARSEERROR, "expected a template or a data object, found " + Describe(cur_));
        Node *n = ParseObject(nullptr, 0);
        doc_.top.push_back(n);
        return n;
    }
}

uint16_t Parser::ParsePrimOrTemplate(std::shared_ptr<const Template> &type)
{
    if (cur_.kind >= T_WORD && cur_.kind <= T_CSTRING && cur_.kind != T_VOID) {
        uint16_t p = cur_.kind;
        Advance();
        return p;
    }
    if (cur_.kind == T_NAME) {
        type = templates_.FindShared(cur_.text);
        if (!type)
            Fail(DXFILEERR_NOTEMPLATE, "member type '" + std::string(cur_.text.substr(0, 40)) + "' is not a known template");
        Advance();
        return 0;
    }
    Fail(DXFILEERR_PARSEERROR, "expected a member type, found " + Describe(cur_));
}

void Parser::ParseTemplate()
{
    Advance();  // 'template'
    if (cur_.kind != T_NAME)
        Fail(DXFILEERR_PARSEERROR, "expected a template name, found " + Describe(cur_));
    auto t = std::make_shared<Template>();
    t->name = std::string(cur_.text);
    Advance();
    Expect(T_OBRACE, "'{' after the template name");
    if (cur_.kind != T_GUID)
        Fail(DXFILEERR_PARSEERROR, "expected the template's GUID in angle brackets, found " + Describe(cur_));
    t->guid = cur_.guid;
    Advance();

    for (;;) {
        if (cur_.kind == T_CBRACE || cur_.kind == T_OBRACKET)
            break;
        Member m;
        bool array = false;
        if (cur_.kind == T_ARRAY) {
            array = true;
            Advance();
        }
        m.prim = ParsePrimOrTemplate(m.type);
        if (cur_.kind == T_NAME) {
            m.name = std::string(cur_.text);
            Advance();
        } else if (array) {
            Fail(DXFILEERR_PARSEERROR, "expected the array's name, found " + Describe(cur_));
        }
        if (array) {
            if (cur_.kind != T_OBRACKET)
                Fail(DXFILEERR_PARSEERROR, "expected '[' and the array's size, found " + Describe(cur_));
            while (cur_.kind == T_OBRACKET) {
                Advance();
                Dim d;
                if (cur_.kind == T_INTEGER) {
                    d.fixed = cur_.integer;
                } else if (cur_.kind == T_NAME) {
                    for (size_t i = 0; i < t->members.size(); ++i) {
                        const Member &earlier = t->members[i];
                        if (earlier.name == cur_.text && earlier.dims.empty() && earlier.prim != 0 &&
                            !IsStringPrim(earlier.prim) && earlier.prim != T_FLOAT && earlier.prim != T_DOUBLE)
                            d.member = int(i);
                    }
                    if (d.member < 0)
                        Fail(DXFILEERR_BADARRAYSIZE, "array size '" + std::string(cur_.text.substr(0, 40)) +
                                                         "' is not an earlier integer member of " + t->name);
                } else {
                    Fail(DXFILEERR_PARSEERROR, "expected an array size, found " + Describe(cur_));
                }
                Advance();
                Expect(T_CBRACKET, "']' after the array size");
                m.dims.push_back(d);
            }
        }
        Expect(T_SEMICOLON, "';' after a template member");
        if (m.type)
            t->depth = std::max(t->depth, m.type->depth + 1);
        if (t->depth > kMaxTemplateDepth)
            Fail(DXFILEERR_PARSEERROR, "template " + t->name + " nests templates too deeply");
        bool values = m.type ? m.type->hasValues : true;
        if (values)
            t->hasValues = true;
        t->members.push_back(std::move(m));
        // Track whether the template is still one flat run of FLOATs or of DWORDs.
        const Member &added = t->members.back();
        uint32_t n = 0;
        uint16_t prim = 0;
        if (added.type && added.dims.empty()) {
            n = added.type->flatCount;
            prim = added.type->flatPrim;
        } else if (!added.type && (added.prim == T_FLOAT || added.prim == T_DWORD)) {
            prim = added.prim;
            uint64_t total = 1;
            for (const Dim &d : added.dims)
                total = d.member < 0 ? total * d.fixed : 0;
            n = total > 0 && total < 65536 ? uint32_t(total) : 0;
        }
        bool first = t->members.size() == 1;
        if (n > 0 && (first || (t->flatCount > 0 && t->flatPrim == prim)) && t->flatCount + n < 65536) {
            t->flatCount += n;
            t->flatPrim = prim;
        } else {
            t->flatCount = 0;
            t->flatPrim = 0;
        }
        t->dwordsOnly = (first || t->dwordsOnly) && !added.type && added.prim == T_DWORD;
        const bool number = added.type ? added.type->numbersOnly || added.type->flatCount > 0 || !added.type->hasValues
                                       : added.prim == T_DWORD || added.prim == T_FLOAT;
        t->numbersOnly = (first || t->numbersOnly) && number;
        if (t->members.size() > 4096)
            Fail(DXFILEERR_PARSEERROR, "template " + t->name + " has too many members");
    }

    if (cur_.kind == T_OBRACKET) {
        Advance();
        if (cur_.kind == T_DOT) {
            Advance();
            Expect(T_DOT, "'...' for an open template");
            Expect(T_DOT, "'...' for an open template");
            t->openness = Template::Open;
        } else {
            t->openness = Template::Restricted;
            for (;;) {
                if (cur_.kind != T_NAME)
                    Fail(DXFILEERR_PARSEERROR, "expected a template name in the restriction list, found " + Describe(cur_));
                Restriction r;
                r.name = std::string(cur_.text);
                Advance();
                if (cur_.kind == T_GUID) {
                    r.guid = cur_.guid;
                    r.hasGuid = true;
                    Advance();
                }
                t->restrictions.push_back(std::move(r));
                if (cur_.kind != T_COMMA)
                    break;
                Advance();
            }
        }
        Expect(T_CBRACKET, "']' closing the template's restrictions");
    }
    Expect(T_CBRACE, "'}' closing the template");
    doc_.declared.push_back(t);
    templates_.Add(std::move(t));
}

uint64_t Parser::TakeInteger()
{
    SkipSeparators();
    if (cur_.kind != T_INTEGER && cur_.kind != T_REAL)
        Fail(DXFILEERR_PARSEERROR, "expected an integer value, found " + Describe(cur_));
    uint64_t v = cur_.integer;
    Advance();
    return v;
}

double Parser::TakeReal()
{
    SkipSeparators();
    if (cur_.kind != T_INTEGER && cur_.kind != T_REAL)
        Fail(DXFILEERR_PARSEERROR, "expected a number, found " + Describe(cur_));
    double v = cur_.real;
    Advance();
    return v;
}

namespace {

// Appends n bytes to a data block.
inline void Put(Bytes &d, const void *p, size_t n)
{
    const size_t at = d.size();
    d.resize(at + n);
    memcpy(d.data() + at, p, n);
}

// Values of an instance's scalar integer members, for the arrays sized by them.
class MemberValues {
public:
    explicit MemberValues(size_t members) : at_(small_)
    {
        if (members > 16) {
            big_.resize(members);
            at_ = big_.data();
        }
    }
    MemberValues(const MemberValues &) = delete;
    MemberValues &operator=(const MemberValues &) = delete;
    uint32_t &operator[](size_t i) { return at_[i]; }
    uint32_t *data() { return at_; }

private:
    uint32_t small_[16];
    std::vector<uint32_t> big_;
    uint32_t *at_;
};

// How many values one element of a DWORD-only template takes at the start of the `left`
// values at `raw`, with its scalar members' values in `values`; false when it does not fit.
bool MeasureDwordRecord(const Template &t, const uint8_t *raw, uint32_t left, uint32_t *values, uint32_t &size)
{
    uint64_t used = 0;
    for (size_t i = 0; i < t.members.size(); ++i) {
        const Member &m = t.members[i];
        uint64_t n = 1;
        for (const Dim &dim : m.dims) {
            n *= dim.member >= 0 ? values[dim.member] : dim.fixed;
            if (n > left)
                return false;
        }
        if (m.dims.empty() && used < left)
            memcpy(&values[i], raw + 4 * used, 4);
        used += n;
        if (used > left)
            return false;
    }
    size = uint32_t(used);
    return true;
}

}  // namespace

// Appends 32-bit values (FLOATs or DWORDs) to a data block.  The first value is the
// current token; after it the lexer reads values straight into the block for as long as
// it meets them (`direct_`), and anything else is taken one token at a time again, with
// the errors and conversions between kinds of the token-by-token reading.  Done() moves
// the parser on to the token after the last value read.
//
// While the run lasts the block may be longer than what has been read into it: room is
// made ahead, and Size() tells where the values end.  The block is cut to that size when
// the run ends, by error or not.
class Parser::ValueRun {
public:
    ValueRun(Parser &parser, Bytes &block) : p_(parser), d_(block), end_(block.size()) {}
    ValueRun(const ValueRun &) = delete;
    ValueRun &operator=(const ValueRun &) = delete;
    ~ValueRun() { d_.resize(end_); }

    void Take(bool floats, uint64_t count)
    {
        while (count > 0) {
            // At most a megabyte ahead, so that a damaged count cannot ask for more memory
            // than the file could fill.
            const uint32_t want = uint32_t(std::min<uint64_t>(count, 1u << 18));
            Room(want);
            if (direct_) {
                const uint32_t got = p_.lexer_->ReadValues(floats, want, d_.data() + end_);
                end_ += 4 * size_t(got);
                count -= got;
                if (got == want)
                    continue;
                direct_ = false;
                p_.Advance();
            }
            p_.SkipSeparators();
            const Token &t = p_.cur_;
            if (t.kind != T_INTEGER && t.kind != T_REAL)
                p_.Fail(DXFILEERR_PARSEERROR, floats ? "expected a number, found " + p_.Describe(t)
                                                     : "expected an integer value, found " + p_.Describe(t));
            if (floats) {
                const float f = float(t.real);
                memcpy(d_.data() + end_, &f, 4);
            } else {
                memcpy(d_.data() + end_, &t.integer, 4);
            }
            end_ += 4;
            --count;
            direct_ = true;
        }
    }

    bool Direct() const { return direct_; }
    size_t Size() const { return end_; }
    const uint8_t *At(size_t offset) const { return d_.data() + offset; }

    void Done()
    {
        if (direct_)
            p_.Advance();
        direct_ = false;
    }

private:
    void Room(uint32_t values)
    {
        const size_t need = end_ + 4 * size_t(values);
        if (need > d_.size())
            d_.resize(need);  // grows by doubling, and leaves the new bytes as they are
    }

    Parser &p_;
    Bytes &d_;
    size_t end_;           // the values read so far end here
    bool direct_ = false;  // the current token's value is taken: the lexer reads on after it
};

void Parser::ParseRun(uint16_t prim, uint64_t count, Node &node)
{
    ValueRun run(*this, node.data);
    run.Take(prim == T_FLOAT, count);
    run.Done();
}

uint64_t Parser::ArrayCount(const Template &t, const Member &m, const uint32_t *values, ValueRun *run)
{
    uint64_t count = 1;
    for (const Dim &dim : m.dims) {
        count *= dim.member >= 0 ? values[dim.member] : dim.fixed;
        if (count > 0xffffffffull) {
            if (run)
                run->Done();  // the error names the token after the last value read
            Fail(DXFILEERR_BADARRAYSIZE, "array " + m.name + " of " + t.name + " is too large");
        }
    }
    return count;
}

void Parser::TakeNumberMembers(const Template &t, ValueRun &run, Node &node, bool topLevel)
{
    // As ParseMembers, with every value taken through the one run.
    MemberValues values(t.members.size());
    for (size_t i = 0; i < t.members.size(); ++i) {
        const Member &m = t.members[i];
        if (topLevel)
            node.memberOffsets.push_back(uint32_t(run.Size()));
        if (m.dims.empty() && !m.type) {
            const size_t at = run.Size();
            run.Take(m.prim == T_FLOAT, 1);
            memcpy(&values[i], run.At(at), 4);  // a DWORD's value sizes later arrays
            continue;
        }
        const uint64_t count = ArrayCount(t, m, values.data(), &run);
        if (!m.type)
            run.Take(m.prim == T_FLOAT, count);
        else if (!m.type->hasValues)
            continue;
        else if (m.type->flatCount > 0)
            run.Take(m.type->flatPrim == T_FLOAT, count * m.type->flatCount);
        else if (m.type->dwordsOnly)
            TakeDwordRecords(*m.type, count, run, node);
        else
            for (uint64_t k = 0; k < count; ++k)
                TakeNumberMembers(*m.type, run, node, false);
    }
    if (topLevel)
        node.memberOffsets.push_back(uint32_t(run.Size()));
}

void Parser::TakeDwordRecords(const Template &t, uint64_t count, ValueRun &run, Node &node)
{
    MemberValues values(t.members.size());
    for (uint64_t k = 0; k < count; ++k) {
        if (run.Direct()) {
            // Whole elements in the binary list ahead are copied as they are: the block
            // holds the same values in the same order.  Only their sizes are read here.
            uint32_t left = 0, span = 0, size = 0;
            const uint8_t *ahead = lexer_->IntegersAhead(left);
            while (k < count && MeasureDwordRecord(t, ahead + 4 * size_t(span), left - span, values.data(), size)) {
                span += size;
                ++k;
            }
            run.Take(false, span);
            if (k == count)
                break;
        }
        TakeNumberMembers(t, run, node, false);
    }
}

void Parser::ParseValue(const Member &m, Node &node)
{
    Bytes &d = node.data;
    if (m.type) {
        if (m.type->flatCount > 0)
            ParseRun(m.type->flatPrim, m.type->flatCount, node);
        else
            ParseMembers(*m.type, node, false);
        return;
    }
    switch (m.prim) {
    case T_FLOAT: {
        float f = float(TakeReal());
        Put(d, &f, 4);
        return;
    }
    case T_DOUBLE: {
        double f = TakeReal();
        Put(d, &f, 8);
        return;
    }
    case T_LPSTR:
    case T_CSTRING:
    case T_UNICODE: {
        SkipSeparators();
        if (cur_.kind != T_STRING)
            Fail(DXFILEERR_PARSEERROR, "expected a quoted string, found " + Describe(cur_));
        auto s = std::make_unique<char[]>(cur_.text.size() + 1);
        memcpy(s.get(), cur_.text.data(), cur_.text.size());
        s[cur_.text.size()] = 0;
        char *ptr = s.get();
        node.strings.push_back(std::move(s));
        Put(d, &ptr, sizeof(char *));
        Advance();
        return;
    }
    default: {
        uint32_t v = uint32_t(TakeInteger());
        uint32_t n = PrimSize(m.prim);
        Put(d, &v, n);  // little-endian: the low bytes
        return;
    }
    }
}

void Parser::ParseMembers(const Template &t, Node &node, bool topLevel)
{
    if (t.numbersOnly) {
        ValueRun run(*this, node.data);
        TakeNumberMembers(t, run, node, topLevel);
        run.Done();
        return;
    }
    MemberValues values(t.members.size());
    for (size_t i = 0; i < t.members.size(); ++i) {
        const Member &m = t.members[i];
        if (topLevel)
            node.memberOffsets.push_back(uint32_t(node.data.size()));
        if (m.dims.empty()) {
            size_t at = node.data.size();
            ParseValue(m, node);
            values[i] = 0;
            if (!m.type && !IsStringPrim(m.prim) && m.prim != T_FLOAT && m.prim != T_DOUBLE) {
                uint32_t v = 0;
                memcpy(&v, node.data.data() + at, PrimSize(m.prim));
                if (m.prim == T_CHAR)
                    v = uint32_t(int32_t(int8_t(v)));
                else if (m.prim == T_SWORD)
                    v = uint32_t(int32_t(int16_t(v)));
                values[i] = v;
            }
            continue;
        }
        const uint64_t count = ArrayCount(t, m, values.data(), nullptr);
        if (m.type && !m.type->hasValues)
            continue;  // elements without values take no room and no tokens
        if (m.type && m.type->flatCount > 0)
            ParseRun(m.type->flatPrim, count * m.type->flatCount, node);
        else if (!m.type && (m.prim == T_FLOAT || m.prim == T_DWORD))
            ParseRun(m.prim, count, node);
        else
            for (uint64_t k = 0; k < count; ++k)
                ParseValue(m, node);
    }
    if (topLevel)
        node.memberOffsets.push_back(uint32_t(node.data.size()));
}

Node *Parser::ParseObject(const Template *parentTmpl, int depth)
{
    if (depth >= kMaxDepth)
        Fail(DXFILEERR_PARSEERROR, "data objects nested more than " + std::to_string(kMaxDepth) + " deep");
    std::shared_ptr<const Template> t = templates_.FindShared(cur_.text);
    if (!t)
        Fail(DXFILEERR_NOTEMPLATE, "'" + std::string(cur_.text.substr(0, 40)) + "' is not a known template");
    if (parentTmpl) {
        bool allowed = parentTmpl->openness == Template::Open;
        if (parentTmpl->openness == Template::Restricted) {
            for (const Restriction &r : parentTmpl->restrictions)
                if (SameName(r.name, t->name) || (r.hasGuid && IsEqualGUID(r.guid, t->guid)))
                    allowed = true;
        }
        if (!allowed)
            Fail(DXFILEERR_PARSEERROR, "template " + parentTmpl->name + " does not take a child " + t->name);
    }
    Advance();
    Node *node = doc_.NewNode();
    node->tmpl = t;
    if (cur_.kind == T_NAME) {
        node->name = std::string(cur_.text);
        Advance();
    }
    Expect(T_OBRACE, "'{' opening the data object");
    if (cur_.kind == T_GUID) {
        node->id = cur_.guid;
        node->hasId = true;
        Advance();
    }
    node->memberOffsets.reserve(t->members.size() + 1);
    ParseMembers(*t, *node, true);
    if (!node->name.empty())
        doc_.byName.emplace(node->name, node);

    for (;;) {
        SkipSeparators();
        if (cur_.kind == T_CBRACE) {
            Advance();
            break;
        }
        if (cur_.kind == T_OBRACE) {
            if (t->openness == Template::Closed)
                Fail(DXFILEERR_PARSEERROR, "template " + t->name + " takes no child objects");
            Advance();
            Node *ref = doc_.NewNode();
            ref->kind = Node::Reference;
            if (cur_.kind == T_NAME) {
                ref->refName = std::string(cur_.text);
                Advance();
            }
            if (cur_.kind == T_GUID) {
                ref->refId = cur_.guid;
                ref->refHasId = true;
                Advance();
            }
            if (ref->refName.empty() && !ref->refHasId)
                Fail(DXFILEERR_PARSEERROR, "expected a name or GUID in a reference, found " + Describe(cur_));
            Expect(T_CBRACE, "'}' closing the reference");
            node->children.push_back(ref);
            continue;
        }
        if (cur_.kind == T_NAME) {
            node->children.push_back(ParseObject(t.get(), depth + 1));
            continue;
        }
        Fail(DXFILEERR_PARSEERROR, "expected a child object, a reference or '}' in " + t->name + ", found " + Describe(cur_));
    }
    return node;
}

}  // namespace tavrok::dxfile
