/*
 * animation_loader.cpp - reading the animation sets of an X file into a collection.
 *
 * The walk visits every data object of the file depth first.  Only AnimationSet,
 * Animation, AnimationKey and references to frames inside an Animation are taken; the
 * set being filled is always the head of the set list and the animation being filled the
 * head of that set's list.
 */
#include "anim/animation.h"

#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include <string.h>

namespace {

const GUID *GetObjectType(IDirectXFileData *object)
{
    const GUID *type = NULL;
    if (!object || FAILED(object->GetType(&type)))
        return NULL;
    return type;
}

bool IsType(IDirectXFileData *object, const GUID &wanted)
{
    const GUID *type = GetObjectType(object);
    return type && IsEqualGUID(*type, wanted);
}

// The object's name in a new buffer, or null when it has none.
char *GetObjectName(IDirectXFileData *object)
{
    if (!object)
        return NULL;
    DWORD size = 0;
    if (FAILED(object->GetName(NULL, &size)) || size == 0)
        return NULL;
    char *name = new char[size];
    if (FAILED(object->GetName(name, &size))) {
        delete[] name;
        return NULL;
    }
    return name;
}

const DWORD *GetObjectData(IDirectXFileData *object, DWORD *size)
{
    DWORD bytes = 0;
    void *data = NULL;
    if (!object || FAILED(object->GetData(NULL, &bytes, &data)))
        data = NULL;
    if (size)
        *size = data ? bytes : 0;
    return static_cast<const DWORD *>(data);
}

// Keys of one AnimationKey block: key type, count, then per key time, value count, values.
// The number of values taken is fixed by the key type; the stored count is skipped.
void ReadKeys(SAnimationSet *set, SAnimation *anim, const DWORD *block, DWORD size)
{
    if (!block || size < 8)
        return;
    DWORD keyType = block[0];
    DWORD count = block[1];
    DWORD values;
    switch (keyType) {
    case 0: values = 4; break;
    case 1:
    case 2: values = 3; break;
    case 4: values = 16; break;
    default: return;
    }
    // A block too short for its key count is a damaged file: take what it holds.
    DWORD words = size / 4, perKey = 2 + values;
    if (count > (words - 2) / perKey)
        count = (words - 2) / perKey;
    const DWORD *p = block + 2;

    switch (keyType) {
    case 0:
        delete[] anim->rotationKeys;
        anim->rotationKeys = new SRotateKey[count];
        anim->numRotationKeys = count;
        break;
    case 1:
        delete[] anim->scaleKeys;
        anim->scaleKeys = new SScaleKey[count];
        anim->numScaleKeys = count;
        break;
    case 2:
        delete[] anim->positionKeys;
        anim->positionKeys = new SPositionKey[count];
        anim->numPositionKeys = count;
        break;
    case 4:
        delete[] anim->matrixKeys;
        anim->matrixKeys = new SMatrixKey[count];
        anim->numMatrixKeys = count;
        break;
    }
    for (DWORD k = 0; k < count; ++k, p += perKey) {
        DWORD time = p[0];
        const float *v = reinterpret_cast<const float *>(p + 2);
        if (time > set->lastKeyTime)
            set->lastKeyTime = time;
        switch (keyType) {
        case 0:  // the file writes w, x, y, z
            anim->rotationKeys[k].time = time;
            anim->rotationKeys[k].rotation = D3DXQUATERNION(v[1], v[2], v[3], v[0]);
            break;
        case 1:
            anim->scaleKeys[k].time = time;
            anim->scaleKeys[k].scale = D3DXVECTOR3(v[0], v[1], v[2]);
            break;
        case 2:
            anim->positionKeys[k].time = time;
            anim->positionKeys[k].position = D3DXVECTOR3(v[0], v[1], v[2]);
            break;
        case 4:
            anim->matrixKeys[k].time = time;
            anim->matrixKeys[k].matrix = D3DXMATRIX(v);
            break;
        }
    }
}

}  // namespace

BOOL CAnimationCollection::OnParseBegin(DWORD user) { return 1; }

BOOL CAnimationCollection::OnParseEnd(DWORD user) { return 1; }

BOOL CAnimationCollection::LoadFromFile(const char *fileName)
{
    Clear();
    return ParseFile(fileName, 0);
}

BOOL CAnimationCollection::ParseFile(const char *fileName, DWORD user)
{
    if (!fileName)
        return 0;
    IDirectXFile *file = NULL;
    if (FAILED(DirectXFileCreate(&file)))
        return 0;
    if (FAILED(file->RegisterTemplates((void *)D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) {
        file->Release();
        return 0;
    }
    IDirectXFileEnumObject *enumObject = NULL;
    if (FAILED(file->CreateEnumObject((void *)fileName, DXFILELOAD_FROMFILE, &enumObject))) {
        file->Release();
        return 0;
    }
    if (OnParseBegin(user) == 1) {
        IDirectXFileData *object = NULL;
        while (SUCCEEDED(enumObject->GetNextDataObject(&object))) {
            BOOL goOn = ParseObject(object, NULL, 0, user, 0);
            object->Release();
            if (!goOn)
                break;
        }
    }
    OnParseEnd(user);
    enumObject->Release();
    file->Release();
    return 1;
}

BOOL CAnimationCollection::ParseObject(IDirectXFileData *object, IDirectXFileData *parent, DWORD depth, DWORD user,
                                       BOOL reference)
{
    if (IsType(object, TID_D3DRMAnimationSet)) {
        SAnimationSet *set = new SAnimationSet;
        set->next = m_sets;
        m_sets = set;
        m_numSets += 1;
        set->name = GetObjectName(object);
    }
    if (IsType(object, TID_D3DRMAnimation) && m_sets) {
        SAnimation *anim = new SAnimation;
        anim->next = m_sets->animations;
        m_sets->animations = anim;
        m_sets->numAnimations += 1;
    }
    if (IsType(object, TID_D3DRMFrame) && reference == 1 && m_sets && m_sets->animations) {
        // A frame named by reference inside an Animation is the frame it drives; the
        // referenced frame's own subtree belongs to the scene, not to the clip.
        if (parent && IsType(parent, TID_D3DRMAnimation)) {
            delete[] m_sets->animations->frameName;
            m_sets->animations->frameName = GetObjectName(object);
        }
        return 1;
    }
    if (IsType(object, TID_D3DRMAnimationKey) && m_sets && m_sets->animations) {
        DWORD size = 0;
        const DWORD *block = GetObjectData(object, &size);
        ReadKeys(m_sets, m_sets->animations, block, size);
    }
    return ParseChildren(object, depth, user, reference);
}

BOOL CAnimationCollection::ParseChildren(IDirectXFileData *object, DWORD depth, DWORD user, BOOL reference)
{
    IDirectXFileObject *child = NULL;
    while (SUCCEEDED(object->GetNextObject(&child))) {
        BOOL goOn = 1;
        IDirectXFileDataReference *ref = NULL;
        IDirectXFileData *data = NULL;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, (void **)&ref))) {
            IDirectXFileData *resolved = NULL;
            if (SUCCEEDED(ref->Resolve(&resolved))) {
                goOn = ParseObject(resolved, object, depth + 1, user, 1);
                resolved->Release();
            }
            ref->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&data))) {
            goOn = ParseObject(data, object, depth + 1, user, reference);
            data->Release();
        }
        child->Release();
        if (!goOn)
            return 0;
    }
    return 1;
}
