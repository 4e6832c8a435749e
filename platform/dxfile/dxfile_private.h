/*
 * dxfile_private.h - what the files of the DirectX File reader share.
 *
 * The reader turns a file's bytes into a Document: templates (Template) and a tree of
 * nodes (Node), each data node holding its data block already laid out the way GetData
 * returns it.  Text and binary files go through one parser; a Lexer per encoding turns the
 * bytes into the same tokens (binary lists come out one value at a time), and both read runs
 * of numbers in bulk for the parser.  Compressed files are inflated first (mszip.cpp).
 * Errors inside the parser are thrown as ParseError and turned into one diagnostic line and
 * an HRESULT at the COM boundary.
 *
 * Nothing here is seen by the program: it includes dxfile.h only.  The writer (xwriter.h)
 * and the tools use these types directly.
 */
#ifndef TAVROK_DXFILE_PRIVATE_H
#define TAVROK_DXFILE_PRIVATE_H

#include <dxfile.h>
#include <tavrok/com_object.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrok::dxfile {

// A vector whose growth leaves the new elements uninitialised.  The reader writes every
// byte it grows a buffer by (a file read into it, blocks inflated onto its end, values
// read into a data block), so zero-filling first would be one more pass over it all.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U> &) noexcept
    {
    }
    template <class U>
    void construct(U *p) noexcept
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <class U, class... Args>
    void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};
using Bytes = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

// Token codes: the binary encoding's own values, plus a synthetic single float value and
// the end of the stream.
enum Tok : uint16_t {
    T_NONE = 0,
    T_NAME = 1,
    T_STRING = 2,
    T_INTEGER = 3,
    T_GUID = 5,
    T_INTEGER_LIST = 6,
    T_FLOAT_LIST = 7,
    T_OBRACE = 10,
    T_CBRACE = 11,
    T_OPAREN = 12,
    T_CPAREN = 13,
    T_OBRACKET = 14,
    T_CBRACKET = 15,
    T_OANGLE = 16,
    T_CANGLE = 17,
    T_DOT = 18,
    T_COMMA = 19,
    T_SEMICOLON = 20,
    T_TEMPLATE = 31,
    T_WORD = 40,
    T_DWORD = 41,
    T_FLOAT = 42,
    T_DOUBLE = 43,
    T_CHAR = 44,
    T_UCHAR = 45,
    T_SWORD = 46,
    T_SDWORD = 47,
    T_VOID = 48,
    T_LPSTR = 49,
    T_UNICODE = 50,
    T_CSTRING = 51,
    T_ARRAY = 52,
    T_REAL = 0x100,  // one floating-point value (text number with a fraction, or a float list element)
    T_EOF = 0xffff,
};

struct Token {
    uint16_t kind = T_NONE;
    uint32_t integer = 0;
    double real = 0.0;
    std::string_view text;  // names and strings; points into the source buffer
    GUID guid{};
};

// Thrown by lexers and the parser; the COM layer reports it once.
struct ParseError {
    HRESULT code;
    std::string where;
    std::string reason;
};

class Lexer {
public:
    virtual ~Lexer() = default;
    virtual void Next(Token &token) = 0;      // throws ParseError
    virtual std::string Where() const = 0;    // position of the last token: "12" or "byte 420"
    // Reads up to `n` values that follow the token last returned straight into `out`, as
    // 32-bit floats (`floats`) or integers, the way the parser stores them when it takes
    // them one token at a time.  Stops before anything else (the position is then as if
    // nothing had been read after the last value) and returns how many it read.  Text
    // skips the separators between values; binary reads from the current list only.
    virtual uint32_t ReadValues(bool floats, uint32_t n, uint8_t *out) = 0;
    // The integers of the current binary list after the token last returned, as stored
    // (little-endian 32-bit values): where they are, and their number in `count` (0 and
    // null for text, or when no integer list is being read).  ReadValues takes them.
    virtual const uint8_t *IntegersAhead(uint32_t &count) const
    {
        count = 0;
        return nullptr;
    }
};

// Creates the lexer for a stream body (after the 16-byte header).
std::unique_ptr<Lexer> MakeTextLexer(const uint8_t *begin, const uint8_t *end);
std::unique_ptr<Lexer> MakeBinaryLexer(const uint8_t *begin, const uint8_t *end, bool doubles);

struct Template;

struct Dim {
    uint32_t fixed = 0;
    int member = -1;  // index of an earlier member of the same template holding the size
};

struct Member {
    uint16_t prim = 0;  // T_WORD..T_CSTRING, or 0 for a template-typed member
    std::shared_ptr<const Template> type;
    std::string name;
    std::vector<Dim> dims;  // empty: a single value
};

struct Restriction {
    std::string name;
    GUID guid{};
    bool hasGuid = false;
};

struct Template {
    enum Openness { Closed, Open, Restricted };
    std::string name;
    GUID guid{};
    std::vector<Member> members;
    Openness openness = Closed;
    std::vector<Restriction> restrictions;
    uint32_t depth = 1;         // nesting of template-typed members, for bounding recursion
    bool hasValues = false;     // whether an instance consumes at least one value
    // When every value of an instance is a FLOAT (Vector, Matrix4x4, ColorRGBA...) or every
    // one a DWORD, their number: such instances are read as one run of values.
    uint32_t flatCount = 0;
    uint16_t flatPrim = 0;
    // Whether every value of an instance is a DWORD or a FLOAT (a Mesh, an AnimationKey):
    // such instances are read as one run of values.  Whether every member is a DWORD or an
    // array of DWORDs (a face: its corner count, then its corners): binary integer lists
    // of such elements are copied whole.
    bool numbersOnly = false;
    bool dwordsOnly = false;
};

// Bytes a primitive member takes in a data block (inline: the parser asks once per value).
inline uint32_t PrimSize(uint16_t prim)
{
    switch (prim) {
    case T_WORD: return 2;
    case T_DWORD: return 4;
    case T_FLOAT: return 4;
    case T_DOUBLE: return 8;
    case T_CHAR: return 1;
    case T_UCHAR: return 1;
    case T_SWORD: return 2;
    case T_SDWORD: return 4;
    case T_LPSTR:
    case T_UNICODE:
    case T_CSTRING: return sizeof(char *);
    default: return 0;
    }
}

inline bool IsStringPrim(uint16_t prim) { return prim == T_LPSTR || prim == T_UNICODE || prim == T_CSTRING; }

const char *PrimName(uint16_t prim);  // "DWORD", "STRING", ...

// Template names ignore ASCII case: the lower-case key, and the comparison.
std::string FoldCase(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

class TemplateSet {
public:
    void Add(std::shared_ptr<const Template> t);
    const Template *Find(std::string_view name) const;
    std::shared_ptr<const Template> FindShared(std::string_view name) const;
    size_t Size() const { return byName_.size(); }
private:
    std::unordered_map<std::string, std::shared_ptr<const Template>> byName_;
};

struct Node {
    enum Kind { Data, Reference };
    Kind kind = Data;
    std::shared_ptr<const Template> tmpl;
    std::string name;
    GUID id{};
    bool hasId = false;
    Bytes data;
    std::vector<uint32_t> memberOffsets;  // one per template member, plus the end
    std::vector<std::unique_ptr<char[]>> strings;
    std::vector<Node *> children;
    // References: the name and/or GUID given in braces.
    std::string refName;
    GUID refId{};
    bool refHasId = false;
};

enum class Encoding { Text, Binary32, Binary64 };

struct Header {
    Encoding encoding = Encoding::Text;
    bool compressed = false;
    int minor = 2;
};

// Everything read from one file: the templates it declares, in order, and its nodes.
struct Document {
    std::string fileName;
    Header header;
    Bytes body;  // the stream after the header (inflated when compressed)
    std::deque<Node> nodes;
    std::vector<Node *> top;
    std::vector<std::shared_ptr<const Template>> declared;
    std::unordered_multimap<std::string, Node *> byName;

    Node *NewNode() { return &nodes.emplace_back(); }
    const Node *Resolve(const Node &reference) const;
};

// Reads the 16-byte header and the body (inflating compressed files); throws ParseError
// with DXFILEERR_BADFILETYPE, _BADFILEVERSION, _BADFILEFLOATSIZE, _BADFILECOMPRESSIONTYPE
// or _BADFILE.
void ReadHeaderAndBody(const uint8_t *bytes, size_t size, Document &doc);
// The same for a whole file read into `bytes`, whose storage becomes the body when the file
// is not compressed.
void ReadHeaderAndBody(Bytes &&bytes, Document &doc);

// MSZIP blocks after a compressed file's header: inflate into `out`; throws ParseError.
void InflateMszip(const uint8_t *begin, const uint8_t *end, Bytes &out);
// The inverse, for the writer: `in` is the stream body to compress.
std::vector<uint8_t> DeflateMszip(const std::vector<uint8_t> &in);

class Parser {
public:
    Parser(Document &doc, TemplateSet &templates, std::unique_ptr<Lexer> lexer);
    // Parses the next top-level data object, registering templates met on the way.
    // Returns null at the end of the stream; throws ParseError.
    Node *NextObject();

private:
    void Advance();
    [[noreturn]] void Fail(HRESULT code, const std::string &reason);
    std::string Describe(const Token &t) const;
    void Expect(uint16_t kind, const char *what);
    void SkipSeparators();
    void ParseTemplate();
    uint16_t ParsePrimOrTemplate(std::shared_ptr<const Template> &type);
    Node *ParseObject(const Template *parentTmpl, int depth);
    void ParseMembers(const Template &t, Node &node, bool topLevel);
    void ParseValue(const Member &m, Node &node);
    class ValueRun;
    void ParseRun(uint16_t prim, uint64_t count, Node &node);
    uint64_t ArrayCount(const Template &t, const Member &m, const uint32_t *values, ValueRun *run);
    void TakeNumberMembers(const Template &t, ValueRun &run, Node &node, bool topLevel);
    void TakeDwordRecords(const Template &t, uint64_t count, ValueRun &run, Node &node);
    uint64_t TakeInteger();
    double TakeReal();

    Document &doc_;
    TemplateSet &templates_;
    std::unique_ptr<Lexer> lexer_;
    Token cur_;
};

// Parses a whole template block (RegisterTemplates' input, or a template file) into
// `templates`; data objects in it are parsed and dropped.  Throws ParseError.
void ParseTemplateBlock(const uint8_t *bytes, size_t size, const std::string &name,
                        TemplateSet &templates, std::vector<std::shared_ptr<const Template>> *declared);

// The retained-mode and extension template sets, registered together.
void AddStandardTemplates(TemplateSet &templates, bool withExtensions);

// The extension block (skinning templates and the like), generated beside D3DRM_XTEMPLATES.
extern const unsigned char kExtensionTemplates[];
extern const size_t kExtensionTemplatesSize;

std::string FormatGuid(const GUID &g);
bool ParseGuid(std::string_view text, GUID &g);

}  // namespace tavrok::dxfile

// ---- the COM side (file.cpp, enum_object.cpp, data_object.cpp) ----

namespace tavrok::dxfile {

// One opened file: its document, its templates (the registered ones plus those the file
// declares) and the parser positioned after the last object read.  Shared by the
// enumerator and every object handed out, so that any of them keeps it alive.
struct Session {
    Document doc;
    TemplateSet templates;
    std::unique_ptr<Parser> parser;
    size_t next = 0;         // next index of doc.top for GetNextDataObject
    HRESULT failed = S_OK;   // sticky parse failure, reported once

    // Makes sure doc.top holds more than `index` objects if the file has them; returns
    // S_OK, DXFILEERR_NOMOREOBJECTS or the parse error.
    HRESULT Reach(size_t index);
    HRESULT ParseAll();
};

// The name diagnostics give a source read from memory.
inline constexpr const char kMemorySource[] = "<memory>";

// One diagnostic line for a parse error in `file`.
void Report(const std::string &file, const ParseError &e);

IDirectXFileEnumObject *NewEnumObject(std::shared_ptr<Session> session);
IDirectXFileData *NewDataObject(std::shared_ptr<Session> session, const Node *node);
IDirectXFileDataReference *NewDataReference(std::shared_ptr<Session> session, const Node *node);

}  // namespace tavrok::dxfile

#endif
