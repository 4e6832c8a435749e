/*
 * dxfile.h - the DirectX File interfaces: reading .x model files.
 *
 * DirectXFileCreate gives an IDirectXFile that holds registered templates and opens files
 * as enumeration objects; each top-level data object of a file comes out of
 * IDirectXFileEnumObject::GetNextDataObject as an IDirectXFileData whose children are data
 * objects, references (IDirectXFileDataReference) or binary objects (IDirectXFileBinary).
 * Implemented in platform/dxfile; saving files is not implemented (those entry points report
 * themselves unsupported and fail).
 *
 * GetData with a null member name returns the object's members laid out in template order
 * without padding: DWORD, SDWORD and FLOAT take 4 bytes, WORD and SWORD 2, CHAR, UCHAR and
 * BYTE 1, DOUBLE 8; arrays and members of nested templates are inline; strings are pointers
 * (char*, 8 bytes on this system) to NUL-terminated copies owned by the object.
 */
#ifndef TAVROK_DXFILE_H
#define TAVROK_DXFILE_H

#include <objbase.h>

typedef DWORD DXFILEFORMAT;
#define DXFILEFORMAT_BINARY 0
#define DXFILEFORMAT_TEXT 1
#define DXFILEFORMAT_COMPRESSED 2

typedef DWORD DXFILELOADOPTIONS;
#define DXFILELOAD_FROMFILE 0x00L
#define DXFILELOAD_FROMRESOURCE 0x01L
#define DXFILELOAD_FROMMEMORY 0x02L
#define DXFILELOAD_FROMSTREAM 0x04L
#define DXFILELOAD_FROMURL 0x08L

typedef struct _DXFILELOADRESOURCE {
    HMODULE hModule;
    LPCSTR lpName;
    LPCSTR lpType;
} DXFILELOADRESOURCE, *LPDXFILELOADRESOURCE;

typedef struct _DXFILELOADMEMORY {
    LPVOID lpMemory;
    DWORD dSize;
} DXFILELOADMEMORY, *LPDXFILELOADMEMORY;

interface IDirectXFile;
interface IDirectXFileEnumObject;
interface IDirectXFileSaveObject;
interface IDirectXFileObject;
interface IDirectXFileData;
interface IDirectXFileDataReference;
interface IDirectXFileBinary;

typedef IDirectXFile *LPDIRECTXFILE;
typedef IDirectXFileEnumObject *LPDIRECTXFILEENUMOBJECT;
typedef IDirectXFileSaveObject *LPDIRECTXFILESAVEOBJECT;
typedef IDirectXFileObject *LPDIRECTXFILEOBJECT;
typedef IDirectXFileData *LPDIRECTXFILEDATA;
typedef IDirectXFileDataReference *LPDIRECTXFILEDATAREFERENCE;
typedef IDirectXFileBinary *LPDIRECTXFILEBINARY;

STDAPI DirectXFileCreate(LPDIRECTXFILE *lplpDirectXFile);

DEFINE_GUID(CLSID_CDirectXFile, 0x4516ec43, 0x8f20, 0x11d0, 0x9b, 0x6d, 0x00, 0x00, 0xc0, 0x78, 0x1b, 0xc3);
DEFINE_GUID(IID_IDirectXFile, 0x3d82ab40, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileEnumObject, 0x3d82ab41, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileSaveObject, 0x3d82ab42, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileObject, 0x3d82ab43, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileData, 0x3d82ab44, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileDataReference, 0x3d82ab45, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(IID_IDirectXFileBinary, 0x3d82ab46, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);
DEFINE_GUID(TID_DXFILEHeader, 0x3d82ab43, 0x62da, 0x11cf, 0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33);

#undef INTERFACE
#define INTERFACE IDirectXFile
DECLARE_INTERFACE_(IDirectXFile, IUnknown)
{
    STDMETHOD(CreateEnumObject)(THIS_ LPVOID pvSource, DXFILELOADOPTIONS dwLoadOptions,
                                LPDIRECTXFILEENUMOBJECT *ppEnumObj) PURE;
    STDMETHOD(CreateSaveObject)(THIS_ LPCSTR szFileName, DXFILEFORMAT dwFileFormat,
                                LPDIRECTXFILESAVEOBJECT *ppSaveObj) PURE;
    STDMETHOD(RegisterTemplates)(THIS_ LPVOID pvData, DWORD cbSize) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileEnumObject
DECLARE_INTERFACE_(IDirectXFileEnumObject, IUnknown)
{
    STDMETHOD(GetNextDataObject)(THIS_ LPDIRECTXFILEDATA *ppDataObj) PURE;
    STDMETHOD(GetDataObjectById)(THIS_ REFGUID rguid, LPDIRECTXFILEDATA *ppDataObj) PURE;
    STDMETHOD(GetDataObjectByName)(THIS_ LPCSTR szName, LPDIRECTXFILEDATA *ppDataObj) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileSaveObject
DECLARE_INTERFACE_(IDirectXFileSaveObject, IUnknown)
{
    STDMETHOD(SaveTemplates)(THIS_ DWORD cTemplates, const GUID **ppguidTemplates) PURE;
    STDMETHOD(CreateDataObject)(THIS_ REFGUID rguidTemplate, LPCSTR szName, const GUID *pguid,
                                DWORD cbSize, LPVOID pvData, LPDIRECTXFILEDATA *ppDataObj) PURE;
    STDMETHOD(SaveData)(THIS_ LPDIRECTXFILEDATA pDataObj) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileObject
DECLARE_INTERFACE_(IDirectXFileObject, IUnknown)
{
    STDMETHOD(GetName)(THIS_ LPSTR pstrNameBuf, LPDWORD pdwBufLen) PURE;
    STDMETHOD(GetId)(THIS_ LPGUID pGuid) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileData
DECLARE_INTERFACE_(IDirectXFileData, IDirectXFileObject)
{
    STDMETHOD(GetData)(THIS_ LPCSTR szMember, DWORD *pcbSize, void **ppvData) PURE;
    STDMETHOD(GetType)(THIS_ const GUID **ppguid) PURE;
    STDMETHOD(GetNextObject)(THIS_ LPDIRECTXFILEOBJECT *ppChildObj) PURE;
    STDMETHOD(AddDataObject)(THIS_ LPDIRECTXFILEDATA pDataObj) PURE;
    STDMETHOD(AddDataReference)(THIS_ LPCSTR szRef, const GUID *pguidRef) PURE;
    STDMETHOD(AddBinaryObject)(THIS_ LPCSTR szName, const GUID *pguid, LPCSTR szMimeType,
                               LPVOID pvData, DWORD cbSize) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileDataReference
DECLARE_INTERFACE_(IDirectXFileDataReference, IDirectXFileObject)
{
    STDMETHOD(Resolve)(THIS_ LPDIRECTXFILEDATA *ppDataObj) PURE;
};

#undef INTERFACE
#define INTERFACE IDirectXFileBinary
DECLARE_INTERFACE_(IDirectXFileBinary, IDirectXFileObject)
{
    STDMETHOD(GetSize)(THIS_ DWORD *pcbSize) PURE;
    STDMETHOD(GetMimeType)(THIS_ LPCSTR *pszMimeType) PURE;
    STDMETHOD(Read)(THIS_ LPVOID pvData, DWORD cbSize, LPDWORD pcbRead) PURE;
};
#undef INTERFACE

#define _FACDD 0x876
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)

#define DXFILE_OK 0

#define DXFILEERR_BADOBJECT MAKE_DDHRESULT(850)
#define DXFILEERR_BADVALUE MAKE_DDHRESULT(851)
#define DXFILEERR_BADTYPE MAKE_DDHRESULT(852)
#define DXFILEERR_BADSTREAMHANDLE MAKE_DDHRESULT(853)
#define DXFILEERR_BADALLOC MAKE_DDHRESULT(854)
#define DXFILEERR_NOTFOUND MAKE_DDHRESULT(855)
#define DXFILEERR_NOTDONEYET MAKE_DDHRESULT(856)
#define DXFILEERR_FILENOTFOUND MAKE_DDHRESULT(857)
#define DXFILEERR_RESOURCENOTFOUND MAKE_DDHRESULT(858)
#define DXFILEERR_URLNOTFOUND MAKE_DDHRESULT(859)
#define DXFILEERR_BADRESOURCE MAKE_DDHRESULT(860)
#define DXFILEERR_BADFILETYPE MAKE_DDHRESULT(861)
#define DXFILEERR_BADFILEVERSION MAKE_DDHRESULT(862)
#define DXFILEERR_BADFILEFLOATSIZE MAKE_DDHRESULT(863)
#define DXFILEERR_BADFILECOMPRESSIONTYPE MAKE_DDHRESULT(864)
#define DXFILEERR_BADFILE MAKE_DDHRESULT(865)
#define DXFILEERR_PARSEERROR MAKE_DDHRESULT(866)
#define DXFILEERR_NOTEMPLATE MAKE_DDHRESULT(867)
#define DXFILEERR_BADARRAYSIZE MAKE_DDHRESULT(868)
#define DXFILEERR_BADDATAREFERENCE MAKE_DDHRESULT(869)
#define DXFILEERR_INTERNALERROR MAKE_DDHRESULT(870)
#define DXFILEERR_NOMOREOBJECTS MAKE_DDHRESULT(871)
#define DXFILEERR_BADINTRINSICS MAKE_DDHRESULT(872)
#define DXFILEERR_NOMORESTREAMHANDLES MAKE_DDHRESULT(873)
#define DXFILEERR_NOMOREDATA MAKE_DDHRESULT(874)
#define DXFILEERR_BADCACHEFILE MAKE_DDHRESULT(875)
#define DXFILEERR_NOINTERNET MAKE_DDHRESULT(876)

#endif
