/*
 * constant_table.cpp - ID3DXConstantTable, D3DXGetShaderConstantTable(Ex): the constants
 * an HLSL compiler lists in a shader's "CTAB" comment block, and the setting of their
 * values into the device's shader constant registers.
 *
 * The table is read once (ReadConstantTable) into one node per constant, struct member
 * and array element; a handle is the address of a node's description.  The Set methods
 * walk the constant's elements and members in order, take each value from the caller's
 * data, convert it to the constant's type and then to its register set, and place it:
 * float and int registers hold a vector or a matrix row per register (MATRIX_COLUMNS: a
 * column per register), bool registers one value each.  Registers only partly written
 * keep their other components (they are read from the device first).  A constant's
 * default value in the table is its data in the SetValue layout: every value of every
 * element, row by row, in the constant's type.
 */
#include "shader_bytecode.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <new>


namespace tavrok::d3dx9 {
namespace {

constexpr int kMaxTypeDepth = 16;
constexpr size_t kMaxNodes = 65536;
constexpr size_t kMaxTypeVisits = 1u << 18;

class CtabReader {
public:
    CtabReader(const uint8_t *data, size_t size, CtabTable &table, std::string &why)
        : data_(data), size_(size), table_(table), why_(why) {}

    bool Read();

private:
    bool Fail(const std::string &reason)
    {
        why_ = reason;
        return false;
    }
    bool InRange(DWORD offset, uint64_t bytes) const { return offset <= size_ && bytes <= size_ - offset; }
    bool String(DWORD offset, const std::string &what)
    {
        if (offset >= size_ || !memchr(data_ + offset, 0, size_ - offset))
            return Fail(what + " at offset " + std::to_string(offset) + " does not end inside the table");
        return true;
    }
    template <class T>
    bool Fetch(DWORD offset, T &out, const std::string &what)
    {
        if (!InRange(offset, sizeof(T)))
            return Fail(what + " at offset " + std::to_string(offset) + " runs past the table (" +
                        std::to_string(size_) + " bytes)");
        memcpy(&out, data_ + offset, sizeof(T));
        return true;
    }
    bool Measure(DWORD typeOffset, DWORD set, int depth, UINT &registers, UINT &bytes);
    bool Build(DWORD nameOffset, DWORD typeOffset, DWORD set, UINT index, UINT available, int parent, int depth,
               bool single, int &built, UINT &registers);

    const uint8_t *data_;
    size_t size_;
    CtabTable &table_;
    std::string &why_;
    size_t visits_ = 0;
};

// The registers and bytes one value of the type at `typeOffset` takes, all elements
// included.
bool CtabReader::Measure(DWORD typeOffset, DWORD set, int depth, UINT &registers, UINT &bytes)
{
    if (depth > kMaxTypeDepth)
        return Fail("types nest more than " + std::to_string(kMaxTypeDepth) + " deep");
    if (++visits_ > kMaxTypeVisits)
        return Fail("the types have too many members");
    D3DXSHADER_TYPEINFO type;
    if (!Fetch(typeOffset, type, "a type"))
        return false;
    if (type.Class > D3DXPC_STRUCT || type.Type > D3DXPT_UNSUPPORTED)
        return Fail("the type at offset " + std::to_string(typeOffset) + " has an unknown class or type");
    const UINT elements = type.Elements ? type.Elements : 1;
    UINT one = 0, oneBytes = 0;
    if (type.Class == D3DXPC_STRUCT) {
        if (type.StructMembers == 0)
            return Fail("the struct at offset " + std::to_string(typeOffset) + " has no members");
        if (!InRange(type.StructMemberInfo, uint64_t(type.StructMembers) * sizeof(D3DXSHADER_STRUCTMEMBERINFO)))
            return Fail("the members of the struct at offset " + std::to_string(typeOffset) + " run past the table");
        for (UINT m = 0; m < type.StructMembers; ++m) {
            D3DXSHADER_STRUCTMEMBERINFO member;
            memcpy(&member, data_ + type.StructMemberInfo + m * sizeof member, sizeof member);
            UINT r = 0, b = 0;
            if (!Measure(member.TypeInfo, set, depth + 1, r, b))
                return false;
            one += r;
            oneBytes += b;
        }
    } else if (type.Class == D3DXPC_OBJECT) {
        one = 1;
        oneBytes = sizeof(DWORD);
    } else {
        if (type.Rows < 1 || type.Rows > 4 || type.Columns < 1 || type.Columns > 4)
            return Fail("the type at offset " + std::to_string(typeOffset) + " has " + std::to_string(type.Rows) +
                        " x " + std::to_string(type.Columns) + " components (1 to 4 each)");
        one = set == D3DXRS_BOOL                       ? UINT(type.Rows) * type.Columns
              : type.Class == D3DXPC_MATRIX_COLUMNS ? type.Columns
                                                     : type.Rows;
        oneBytes = UINT(type.Rows) * type.Columns * sizeof(DWORD);
    }
    if (uint64_t(one) * elements > 0xFFFFFFu || uint64_t(oneBytes) * elements > 0xFFFFFFu)
        return Fail("the type at offset " + std::to_string(typeOffset) + " is too large");
    registers = one * elements;
    bytes = oneBytes * elements;
    return true;
}

// One node for the value of the type at `typeOffset` placed at register `index` with
// `available` registers of the constant left; `single` builds one element of an array.
// `registers` is the full size of the value (before the constant's count cuts it).
bool CtabReader::Build(DWORD nameOffset, DWORD typeOffset, DWORD set, UINT index, UINT available, int parent,
                       int depth, bool single, int &built, UINT &registers)
{
    if (table_.nodes.size() >= kMaxNodes)
        return Fail("more than " + std::to_string(kMaxNodes) + " constants, members and elements");
    if (!String(nameOffset, "a name"))
        return false;
    UINT bytes = 0;
    if (!Measure(typeOffset, set, depth, registers, bytes))
        return false;
    D3DXSHADER_TYPEINFO type;
    Fetch(typeOffset, type, "a type");
    const UINT elements = single || type.Elements == 0 ? 1 : type.Elements;
    if (single) {
        registers /= type.Elements ? type.Elements : 1;
        bytes /= type.Elements ? type.Elements : 1;
    }
    CtabNode node;
    node.nameOffset = nameOffset;
    node.parent = parent;
    D3DXCONSTANT_DESC &d = node.desc;
    d.RegisterSet = static_cast<D3DXREGISTER_SET>(set);
    d.RegisterIndex = index;
    d.RegisterCount = std::min(registers, available);
    d.Class = static_cast<D3DXPARAMETER_CLASS>(type.Class);
    d.Type = static_cast<D3DXPARAMETER_TYPE>(type.Type);
    d.Rows = type.Rows;
    d.Columns = type.Columns;
    d.Elements = elements;
    d.StructMembers = type.Class == D3DXPC_STRUCT ? type.StructMembers : 0;
    d.Bytes = bytes;
    built = static_cast<int>(table_.nodes.size());
    table_.nodes.push_back(node);

    if (elements > 1) {
        const UINT each = registers / elements;
        for (UINT e = 0; e < elements; ++e) {
            const UINT offset = e * each;
            int child = -1;
            UINT size = 0;
            if (!Build(nameOffset, typeOffset, set, index + offset, available > offset ? available - offset : 0, built,
                       depth + 1, true, child, size))
                return false;
            table_.nodes[built].elements.push_back(child);
        }
    } else if (type.Class == D3DXPC_STRUCT) {
        UINT offset = 0;
        for (UINT m = 0; m < type.StructMembers; ++m) {
            D3DXSHADER_STRUCTMEMBERINFO member;
            memcpy(&member, data_ + type.StructMemberInfo + m * sizeof member, sizeof member);
            int child = -1;
            UINT size = 0;
            if (!Build(member.Name, member.TypeInfo, set, index + offset, available > offset ? available - offset : 0,
                       built, depth + 1, false, child, size))
                return false;
            table_.nodes[built].members.push_back(child);
            offset += size;
        }
    }
    return true;
}

bool CtabReader::Read()
{
    D3DXSHADER_CONSTANTTABLE header;
    if (!Fetch(0, header, "the header"))
        return false;
    if (header.Size < sizeof header || header.Size > size_)
        return Fail("the header's size " + std::to_string(header.Size) + " is not that of the header");
    if (!String(header.Creator, "the creator's name"))
        return false;
    if (header.Target && !String(header.Target, "the target's name"))
        return false;
    const DWORD kind = header.Version >> 16;
    if (kind != 0xFFFE && kind != 0xFFFF)
        return Fail("the version is not a shader version");
    if (!InRange(header.ConstantInfo, uint64_t(header.Constants) * sizeof(D3DXSHADER_CONSTANTINFO)))
        return Fail(std::to_string(header.Constants) + " constants at offset " + std::to_string(header.ConstantInfo) +
                    " run past the table");
    table_.creatorOffset = header.Creator;
    table_.version = header.Version;
    table_.flags = header.Flags;
    table_.targetOffset = header.Target;
    for (DWORD i = 0; i < header.Constants; ++i) {
        D3DXSHADER_CONSTANTINFO info;
        memcpy(&info, data_ + header.ConstantInfo + i * sizeof info, sizeof info);
        if (info.RegisterSet > D3DXRS_SAMPLER)
            return Fail("constant " + std::to_string(i) + " has an unknown register set");
        int built = -1;
        UINT registers = 0;
        if (!Build(info.Name, info.TypeInfo, info.RegisterSet, info.RegisterIndex, info.RegisterCount, -1, 0, false,
                   built, registers))
            return Fail("constant " + std::to_string(i) + ": " + why_);
        CtabNode &node = table_.nodes[built];
        node.desc.RegisterCount = info.RegisterCount;
        if (info.DefaultValue) {
            if (!InRange(info.DefaultValue, node.desc.Bytes))
                return Fail("constant " + std::to_string(i) + ": its default value at offset " +
                            std::to_string(info.DefaultValue) + " runs past the table");
            node.defaultOffset = info.DefaultValue;
        }
        table_.constants.push_back(built);
    }
    return true;
}

// Where the values a Set call gives come from.  Flat: `count` 4-byte values one after the
// other (of `type`, or with D3DXPT_VOID of each constant's own type).  Rows: rows of four
// floats, `row(k)` the k-th (NULL past the last); an element takes `block` rows (a
// matrix: 4) or, with block 0, as many as it has rows (vectors); `transpose` swaps a
// block's rows and columns.
struct ValueSource {
    bool flat = true;
    const DWORD *values = nullptr;
    size_t count = 0;
    D3DXPARAMETER_TYPE type = D3DXPT_VOID;
    std::function<const float *(size_t)> row;
    size_t block = 0;
    bool transpose = false;

    size_t cursor = 0;  // values or rows used so far
};

class ConstantTable final : public tavrok::ComObject<ID3DXConstantTable, IID_ID3DXConstantTable> {
public:
    ConstantTable(std::vector<DWORD> words, size_t bytes, CtabTable table)
        : words_(std::move(words)), bytes_(bytes), table_(std::move(table))
    {
        const char *base = reinterpret_cast<const char *>(words_.data());
        for (const CtabNode &node : table_.nodes) {
            D3DXCONSTANT_DESC d = node.desc;
            d.Name = base + node.nameOffset;
            d.DefaultValue = node.defaultOffset ? base + node.defaultOffset : nullptr;
            descs_.push_back(d);
        }
        vertex_ = (table_.version >> 16) == 0xFFFE;
    }

    STDMETHODIMP_(LPVOID) GetBufferPointer() override { return words_.data(); }
    STDMETHODIMP_(DWORD) GetBufferSize() override { return static_cast<DWORD>(bytes_); }

    STDMETHODIMP GetDesc(D3DXCONSTANTTABLE_DESC *pDesc) override
    {
        if (!pDesc)
            return D3DERR_INVALIDCALL;
        pDesc->Creator = reinterpret_cast<const char *>(words_.data()) + table_.creatorOffset;
        pDesc->Version = table_.version;
        pDesc->Constants = static_cast<UINT>(table_.constants.size());
        return D3D_OK;
    }

    STDMETHODIMP GetConstantDesc(D3DXHANDLE hConstant, D3DXCONSTANT_DESC *pConstantDesc, UINT *pCount) override
    {
        const int node = Resolve(hConstant);
        if (node < 0)
            return Refuse("GetConstantDesc", hConstant);
        // One description per constant (samplers are listed once); *pCount says how many
        // the caller's array holds on the way in, how many were written on the way out.
        const UINT room = pCount ? *pCount : 1;
        if (pConstantDesc && room >= 1)
            *pConstantDesc = descs_[node];
        if (pCount)
            *pCount = pConstantDesc ? std::min<UINT>(room, 1) : 1;
        return D3D_OK;
    }

    STDMETHODIMP_(UINT) GetSamplerIndex(D3DXHANDLE hConstant) override
    {
        const int node = Resolve(hConstant);
        if (node < 0 || descs_[node].RegisterSet != D3DXRS_SAMPLER)
            return static_cast<UINT>(-1);
        return descs_[node].RegisterIndex;
    }

    STDMETHODIMP_(D3DXHANDLE) GetConstant(D3DXHANDLE hConstant, UINT Index) override
    {
        if (!hConstant)
            return Index < table_.constants.size() ? Handle(table_.constants[Index]) : nullptr;
        const int node = Resolve(hConstant);
        if (node < 0 || Index >= table_.nodes[node].members.size())
            return nullptr;
        return Handle(table_.nodes[node].members[Index]);
    }

    STDMETHODIMP_(D3DXHANDLE) GetConstantByName(D3DXHANDLE hConstant, LPCSTR pName) override
    {
        int parent = -1;
        if (hConstant) {
            parent = Resolve(hConstant);
            if (parent < 0)
                return nullptr;
        }
        const int node = pName ? Lookup(parent, pName) : -1;
        return node < 0 ? nullptr : Handle(node);
    }

    STDMETHODIMP_(D3DXHANDLE) GetConstantElement(D3DXHANDLE hConstant, UINT Index) override
    {
        const int node = Resolve(hConstant);
        if (node < 0 || Index >= table_.nodes[node].elements.size())
            return nullptr;
        return Handle(table_.nodes[node].elements[Index]);
    }

    STDMETHODIMP SetDefaults(LPDIRECT3DDEVICE9 pDevice) override
    {
        if (!pDevice)
            return Refuse("SetDefaults", nullptr, "no device");
        for (int node : table_.constants) {
            const CtabNode &n = table_.nodes[node];
            if (!n.defaultOffset || n.desc.RegisterSet == D3DXRS_SAMPLER)
                continue;
            ValueSource source;
            source.values = words_.data() + n.defaultOffset / sizeof(DWORD);
            source.count = n.desc.Bytes / sizeof(DWORD);
            if (n.defaultOffset % sizeof(DWORD)) {
                // An unaligned default: copy it out first.
                std::vector<DWORD> copy(source.count);
                memcpy(copy.data(), reinterpret_cast<const uint8_t *>(words_.data()) + n.defaultOffset,
                       copy.size() * sizeof(DWORD));
                source.values = copy.data();
                Write(pDevice, node, source);
            } else {
                Write(pDevice, node, source);
            }
        }
        return D3D_OK;
    }

    STDMETHODIMP SetValue(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, LPCVOID pData, UINT Bytes) override
    {
        ValueSource s;
        s.values = static_cast<const DWORD *>(pData);
        s.count = Bytes / sizeof(DWORD);
        return Set("SetValue", pDevice, hConstant, pData, s, false);
    }
    STDMETHODIMP SetBool(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, BOOL b) override
    {
        return SetBoolArray(pDevice, hConstant, &b, 1);
    }
    STDMETHODIMP SetBoolArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST BOOL *pb, UINT Count) override
    {
        return SetFlat("SetBoolArray", pDevice, hConstant, pb, Count, D3DXPT_BOOL);
    }
    STDMETHODIMP SetInt(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, INT n) override
    {
        return SetIntArray(pDevice, hConstant, &n, 1);
    }
    STDMETHODIMP SetIntArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST INT *pn, UINT Count) override
    {
        return SetFlat("SetIntArray", pDevice, hConstant, pn, Count, D3DXPT_INT);
    }
    STDMETHODIMP SetFloat(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, FLOAT f) override
    {
        return SetFloatArray(pDevice, hConstant, &f, 1);
    }
    STDMETHODIMP SetFloatArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST FLOAT *pf, UINT Count) override
    {
        return SetFlat("SetFloatArray", pDevice, hConstant, pf, Count, D3DXPT_FLOAT);
    }
    STDMETHODIMP SetVector(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXVECTOR4 *pVector) override
    {
        return SetVectorArray(pDevice, hConstant, pVector, 1);
    }
    STDMETHODIMP SetVectorArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXVECTOR4 *pVector,
                                UINT Count) override
    {
        ValueSource s;
        s.flat = false;
        s.row = [pVector, Count](size_t k) { return k < Count ? &pVector[k].x : nullptr; };
        return Set("SetVectorArray", pDevice, hConstant, pVector, s, true);
    }
    STDMETHODIMP SetMatrix(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix) override
    {
        return Matrices("SetMatrix", pDevice, hConstant, pMatrix, nullptr, 1, false);
    }
    STDMETHODIMP SetMatrixArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix,
                                UINT Count) override
    {
        return Matrices("SetMatrixArray", pDevice, hConstant, pMatrix, nullptr, Count, false);
    }
    STDMETHODIMP SetMatrixPointerArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX **ppMatrix,
                                       UINT Count) override
    {
        return Matrices("SetMatrixPointerArray", pDevice, hConstant, nullptr, ppMatrix, Count, false);
    }
    STDMETHODIMP SetMatrixTranspose(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix) override
    {
        return Matrices("SetMatrixTranspose", pDevice, hConstant, pMatrix, nullptr, 1, true);
    }
    STDMETHODIMP SetMatrixTransposeArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant, CONST D3DXMATRIX *pMatrix,
                                         UINT Count) override
    {
        return Matrices("SetMatrixTransposeArray", pDevice, hConstant, pMatrix, nullptr, Count, true);
    }
    STDMETHODIMP SetMatrixTransposePointerArray(LPDIRECT3DDEVICE9 pDevice, D3DXHANDLE hConstant,
                                                CONST D3DXMATRIX **ppMatrix, UINT Count) override
    {
        return Matrices("SetMatrixTransposePointerArray", pDevice, hConstant, nullptr, ppMatrix, Count, true);
    }

private:
    D3DXHANDLE Handle(int node) const { return reinterpret_cast<D3DXHANDLE>(&descs_[node]); }

    // A handle of this table, or else a constant's name ("a.b", "a[2]").
    int Resolve(D3DXHANDLE h) const
    {
        if (!h)
            return -1;
        const uintptr_t p = reinterpret_cast<uintptr_t>(h);
        const uintptr_t begin = reinterpret_cast<uintptr_t>(descs_.data());
        const uintptr_t end = begin + descs_.size() * sizeof(D3DXCONSTANT_DESC);
        if (p >= begin && p < end)
            return (p - begin) % sizeof(D3DXCONSTANT_DESC) == 0 ? static_cast<int>((p - begin) / sizeof(D3DXCONSTANT_DESC))
                                                                : -1;
        return Lookup(-1, h);
    }

    // `path` inside `parent` (-1: the top level): names separated by '.', each followed
    // by any number of "[n]" element indices.
    int Lookup(int parent, const char *path) const
    {
        const std::vector<int> *scope = parent < 0 ? &table_.constants : &table_.nodes[parent].members;
        const char *at = path;
        for (;;) {
            const char *end = at;
            while (*end && *end != '.' && *end != '[')
                ++end;
            const std::string name(at, end);
            int found = -1;
            for (int candidate : *scope)
                if (name == descs_[candidate].Name)
                    found = candidate;
            if (found < 0)
                return -1;
            at = end;
            while (*at == '[') {
                char *close = nullptr;
                const unsigned long index = strtoul(at + 1, &close, 10);
                if (close == at + 1 || *close != ']' || index >= table_.nodes[found].elements.size())
                    return -1;
                found = table_.nodes[found].elements[index];
                at = close + 1;
            }
            if (*at == '\0')
                return found;
            if (*at != '.')
                return -1;
            ++at;
            scope = &table_.nodes[found].members;
        }
    }

    HRESULT Refuse(const char *method, D3DXHANDLE h, const char *why = nullptr) const
    {
        std::string reason = why ? why : (h ? "the handle names no constant of this table" : "no constant handle");
        Diagnostic(kLibrary, "", "", std::string("ID3DXConstantTable::") + method + ": " + reason);
        return D3DERR_INVALIDCALL;
    }

    HRESULT SetFlat(const char *method, LPDIRECT3DDEVICE9 device, D3DXHANDLE h, const void *data, UINT count,
                    D3DXPARAMETER_TYPE type)
    {
        ValueSource s;
        s.values = static_cast<const DWORD *>(data);
        s.count = count;
        s.type = type;
        return Set(method, device, h, data, s, false);
    }

    HRESULT Matrices(const char *method, LPDIRECT3DDEVICE9 device, D3DXHANDLE h, const D3DXMATRIX *matrices,
                     const D3DXMATRIX *const *pointers, UINT count, bool transpose)
    {
        ValueSource s;
        s.flat = false;
        s.block = 4;
        s.transpose = transpose;
        s.row = [matrices, pointers, count](size_t k) -> const float * {
            if (k / 4 >= count)
                return nullptr;
            const D3DXMATRIX *m = matrices ? &matrices[k / 4] : pointers[k / 4];
            return m ? &m->m[k % 4][0] : nullptr;
        };
        return Set(method, device, h, matrices ? static_cast<const void *>(matrices) : pointers, s, true);
    }

    HRESULT Set(const char *method, LPDIRECT3DDEVICE9 device, D3DXHANDLE h, const void *data, ValueSource &source,
                bool shaped)
    {
        if (!device)
            return Refuse(method, h, "no device");
        const int node = Resolve(h);
        if (node < 0)
            return Refuse(method, h);
        if (!data)
            return Refuse(method, h, "no data");
        const D3DXCONSTANT_DESC &d = descs_[node];
        if (d.RegisterSet == D3DXRS_SAMPLER || d.Class == D3DXPC_OBJECT)
            return Refuse(method, h, "the constant is a sampler, set through SetTexture and SetSamplerState");
        if (shaped && d.Class == D3DXPC_STRUCT)
            return Refuse(method, h, "the constant is a struct (SetValue sets one)");
        return Write(device, node, source);
    }

    // The registers being written: four floats, ints or (x only) bools each, and which
    // components this call sets.
    struct Pending {
        DWORD value[4] = {};
        unsigned mask = 0;
    };

    HRESULT Write(LPDIRECT3DDEVICE9 device, int node, ValueSource &source)
    {
        std::map<UINT, Pending> registers[3];  // bool, int, float
        Place(node, source, registers);
        HRESULT result = D3D_OK;
        for (auto &[index, pending] : registers[D3DXRS_FLOAT4]) {
            float current[4] = {};
            if (vertex_)
                device->GetVertexShaderConstantF(index, current, 1);
            else
                device->GetPixelShaderConstantF(index, current, 1);
            for (int c = 0; c < 4; ++c)
                if (pending.mask & (1u << c))
                    memcpy(&current[c], &pending.value[c], sizeof(float));
            const HRESULT hr = vertex_ ? device->SetVertexShaderConstantF(index, current, 1)
                                       : device->SetPixelShaderConstantF(index, current, 1);
            if (FAILED(hr))
                result = hr;
        }
        for (auto &[index, pending] : registers[D3DXRS_INT4]) {
            int current[4] = {};
            if (vertex_)
                device->GetVertexShaderConstantI(index, current, 1);
            else
                device->GetPixelShaderConstantI(index, current, 1);
            for (int c = 0; c < 4; ++c)
                if (pending.mask & (1u << c))
                    current[c] = static_cast<int>(pending.value[c]);
            const HRESULT hr = vertex_ ? device->SetVertexShaderConstantI(index, current, 1)
                                       : device->SetPixelShaderConstantI(index, current, 1);
            if (FAILED(hr))
                result = hr;
        }
        for (auto &[index, pending] : registers[D3DXRS_BOOL]) {
            const BOOL value = pending.value[0] ? TRUE : FALSE;
            const HRESULT hr = vertex_ ? device->SetVertexShaderConstantB(index, &value, 1)
                                       : device->SetPixelShaderConstantB(index, &value, 1);
            if (FAILED(hr))
                result = hr;
        }
        return result;
    }

    // The next value for component (r, c) of an element: false when the source is spent.
    static bool Next(ValueSource &s, D3DXPARAMETER_TYPE leafType, UINT r, UINT c, double &value)
    {
        if (s.flat) {
            if (s.cursor >= s.count)
                return false;
            const DWORD raw = s.values[s.cursor++];
            const D3DXPARAMETER_TYPE type = s.type == D3DXPT_VOID ? leafType : s.type;
            if (type == D3DXPT_FLOAT) {
                float f;
                memcpy(&f, &raw, sizeof f);
                value = f;
            } else if (type == D3DXPT_BOOL) {
                value = raw ? 1.0 : 0.0;
            } else {
                value = static_cast<int32_t>(raw);
            }
            return true;
        }
        const float *row = s.transpose ? s.row(s.cursor + c) : s.row(s.cursor + r);
        if (!row)
            return false;
        value = row[s.transpose ? r : c];
        return true;
    }

    void Place(int node, ValueSource &source, std::map<UINT, Pending> *registers) const
    {
        const CtabNode &n = table_.nodes[node];
        const D3DXCONSTANT_DESC &d = descs_[node];
        if (!n.elements.empty()) {
            for (int element : n.elements)
                Place(element, source, registers);
            return;
        }
        if (!n.members.empty()) {
            for (int member : n.members)
                Place(member, source, registers);
            return;
        }
        if (d.Class == D3DXPC_OBJECT || d.RegisterSet == D3DXRS_SAMPLER)
            return;
        bool spent = false;
        for (UINT r = 0; r < d.Rows && !spent; ++r) {
            for (UINT c = 0; c < d.Columns; ++c) {
                double value = 0;
                if (!Next(source, d.Type, r, c, value)) {
                    spent = true;
                    break;
                }
                // The constant's own type first (a bool is 0 or 1, an int whole) ...
                if (d.Type == D3DXPT_BOOL)
                    value = value != 0.0 ? 1.0 : 0.0;
                else if (d.Type == D3DXPT_INT)
                    value = std::trunc(value);
                // ... then the register it lives in.
                UINT reg = 0, component = 0;
                if (d.RegisterSet == D3DXRS_BOOL) {
                    reg = r * d.Columns + c;
                } else if (d.Class == D3DXPC_MATRIX_COLUMNS) {
                    reg = c;
                    component = r;
                } else {
                    reg = r;
                    component = c;
                }
                if (reg >= d.RegisterCount)
                    continue;
                Pending &p = registers[d.RegisterSet][d.RegisterIndex + reg];
                p.mask |= 1u << component;
                if (d.RegisterSet == D3DXRS_FLOAT4) {
                    const float f = static_cast<float>(value);
                    memcpy(&p.value[component], &f, sizeof f);
                } else if (d.RegisterSet == D3DXRS_INT4) {
                    p.value[component] = static_cast<DWORD>(static_cast<int32_t>(value));
                } else {
                    p.value[0] = value != 0.0 ? 1 : 0;
                }
            }
        }
        if (!source.flat)
            source.cursor += source.block ? source.block : d.Rows;
    }

    std::vector<DWORD> words_;  // the CTAB data, DWORD-aligned
    size_t bytes_;
    CtabTable table_;
    std::vector<D3DXCONSTANT_DESC> descs_;  // one per node; a handle points at one
    bool vertex_ = true;
};

HRESULT GetTable(const char *call, const DWORD *function, LPD3DXCONSTANTTABLE *table)
{
    if (!table) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": no table pointer to fill");
        return D3DERR_INVALIDCALL;
    }
    *table = nullptr;
    if (!function) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": no shader bytecode");
        return D3DERR_INVALIDCALL;
    }
    ShaderWalk walk;
    std::string why;
    if (!WalkShader(function, walk, why)) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": " + why);
        return D3DXERR_INVALIDDATA;
    }
    const uint8_t *data = nullptr;
    size_t size = 0;
    if (!FindConstantTableData(walk, data, size)) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": the shader has no constant table (no CTAB comment)");
        return D3DXERR_INVALIDDATA;
    }
    CtabTable parsed;
    if (!ReadConstantTable(data, size, parsed, why)) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": malformed constant table: " + why);
        return D3DXERR_INVALIDDATA;
    }
    try {
        std::vector<DWORD> words(size / sizeof(DWORD) + 1, 0);  // one more: a NUL after the data
        memcpy(words.data(), data, size);
        *table = new ConstantTable(std::move(words), size, std::move(parsed));
    } catch (const std::bad_alloc &) {
        Diagnostic(kLibrary, "", "", std::string(call) + ": no memory for the constant table");
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

}  // namespace

bool ReadConstantTable(const uint8_t *data, size_t size, CtabTable &table, std::string &why)
{
    table = CtabTable();
    return CtabReader(data, size, table, why).Read();
}

}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXGetShaderConstantTable(CONST DWORD *pFunction, LPD3DXCONSTANTTABLE *ppConstantTable)
{
    return tavrok::d3dx9::GetTable("D3DXGetShaderConstantTable", pFunction, ppConstantTable);
}

extern "C" HRESULT WINAPI D3DXGetShaderConstantTableEx(CONST DWORD *pFunction, DWORD Flags,
                                                       LPD3DXCONSTANTTABLE *ppConstantTable)
{
    (void)Flags;  // handles are pointers already; no flag changes the table
    return tavrok::d3dx9::GetTable("D3DXGetShaderConstantTableEx", pFunction, ppConstantTable);
}
