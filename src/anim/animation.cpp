/*
 * animation.cpp - animation sets in memory, binding to frames, and posing.
 *
 * Key lookup is a linear scan per track: the character's clips hold a few dozen keys.
 * Animate allocates nothing.  What the file walk fills in is in animation_loader.cpp.
 */
#include "anim/animation.h"

#include <string.h>
#include <strings.h>

SAnimation::SAnimation()
    : frameName(NULL), frame(NULL), next(NULL), numPositionKeys(0), positionKeys(NULL), numScaleKeys(0),
      scaleKeys(NULL), numRotationKeys(0), rotationKeys(NULL), numMatrixKeys(0), matrixKeys(NULL)
{
}

SAnimation::~SAnimation()
{
    delete[] frameName;
    delete next;
    delete[] positionKeys;
    delete[] scaleKeys;
    delete[] rotationKeys;
    delete[] matrixKeys;
}

SAnimationSet::SAnimationSet() : name(NULL), lastKeyTime(0), next(NULL), numAnimations(0), animations(NULL) {}

SAnimationSet::~SAnimationSet()
{
    delete[] name;
    delete next;
    delete animations;
}

CAnimationCollection::CAnimationCollection() : m_numSets(0), m_sets(NULL) {}

CAnimationCollection::~CAnimationCollection() { Clear(); }

void CAnimationCollection::Clear()
{
    m_numSets = 0;
    delete m_sets;  // the set's destructor takes the rest of the list with it
    m_sets = NULL;
}

void CAnimationCollection::BindToFrames(SFrame *root)
{
    for (SAnimationSet *set = m_sets; set; set = set->next) {
        for (SAnimation *anim = set->animations; anim; anim = anim->next) {
            SFrame *found = NULL;
            if (anim->frameName && root && root->Name && strcmp(anim->frameName, root->Name) == 0) {
                found = root;
            } else if (anim->frameName && root) {
                found = FindFrame(root->pFrameSibling, anim->frameName);
                if (!found)
                    found = FindFrame(root->pFrameFirstChild, anim->frameName);
            }
            anim->frame = found;
        }
    }
}

namespace {

// The pair of keys around time t and the fraction between them.  The last key holds
// after the end of the track; there is no wrap back to the first key.
template <typename Key>
float Bracket(const Key *keys, DWORD count, DWORD t, DWORD &i, DWORD &j)
{
    i = 0;
    for (DWORD k = 0; k < count; ++k)
        if (keys[k].time <= t)
            i = k;
    j = i < count - 1 ? i + 1 : i;
    DWORD d = keys[j].time - keys[i].time;
    if (d == 0)
        d = 1;
    return float(t - keys[i].time) / float(d);
}

D3DXVECTOR3 Lerp(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b, float s)
{
    return D3DXVECTOR3(a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s);
}

// M = S * R * T * K for the tracks the animation has, at time t.
void TrackMatrix(const SAnimation &anim, DWORD t, D3DXMATRIX *m)
{
    D3DXMatrixIdentity(m);
    D3DXMATRIX value;
    DWORD i, j;
    if (anim.numScaleKeys > 0 && anim.scaleKeys) {
        float s = Bracket(anim.scaleKeys, anim.numScaleKeys, t, i, j);
        D3DXVECTOR3 v = Lerp(anim.scaleKeys[i].scale, anim.scaleKeys[j].scale, s);
        D3DXMatrixScaling(&value, v.x, v.y, v.z);
        D3DXMatrixMultiply(m, m, &value);
    }
    if (anim.numRotationKeys > 0 && anim.rotationKeys) {
        float s = Bracket(anim.rotationKeys, anim.numRotationKeys, t, i, j);
        D3DXQUATERNION q;
        D3DXQuaternionSlerp(&q, &anim.rotationKeys[i].rotation, &anim.rotationKeys[j].rotation, s);
        D3DXMatrixRotationQuaternion(&value, &q);
        D3DXMatrixMultiply(m, m, &value);
    }
    if (anim.numPositionKeys > 0 && anim.positionKeys) {
        float s = Bracket(anim.positionKeys, anim.numPositionKeys, t, i, j);
        D3DXVECTOR3 v = Lerp(anim.positionKeys[i].position, anim.positionKeys[j].position, s);
        D3DXMatrixTranslation(&value, v.x, v.y, v.z);
        D3DXMatrixMultiply(m, m, &value);
    }
    if (anim.numMatrixKeys > 0 && anim.matrixKeys) {
        float s = Bracket(anim.matrixKeys, anim.numMatrixKeys, t, i, j);
        const float *a = anim.matrixKeys[i].matrix;
        const float *b = anim.matrixKeys[j].matrix;
        for (int k = 0; k < 16; ++k)
            (&value._11)[k] = a[k] + (b[k] - a[k]) * s;  // element-wise, not a decomposition
        D3DXMatrixMultiply(m, m, &value);
    }
}

}  // namespace

void CAnimationCollection::Animate(const char *setName, DWORD time, BOOL loop, float weight)
{
    SAnimationSet *set = m_sets;
    if (setName) {
        while (set && !(set->name && strcasecmp(set->name, setName) == 0))
            set = set->next;
    }
    if (!set)
        return;

    if (time > set->lastKeyTime) {
        if (loop == 1)
            time = time % (set->lastKeyTime + 1);
        else
            time = set->lastKeyTime;
    }

    for (SAnimation *anim = set->animations; anim; anim = anim->next) {
        if (!anim->frame)
            continue;
        D3DXMATRIX m;
        TrackMatrix(*anim, time, &m);
        float *target = anim->frame->TransformationMatrix;
        const float *rest = anim->frame->RestMatrix;
        const float *pose = m;
        for (int k = 0; k < 16; ++k)
            target[k] = target[k] + weight * (pose[k] - rest[k]);
    }
}
