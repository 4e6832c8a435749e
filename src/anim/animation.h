/*
 * animation.h - keyframe animation sets and the collection that poses a frame tree.
 *
 * A set is a named clip; each of its animations drives one frame by name with up to
 * four tracks (scale, rotation, position, matrix).  Lists are singly linked with new
 * entries at the head, so they hold sets and animations in the reverse of file order.
 * Posing is additive against each frame's rest matrix, with a weight.
 */
#ifndef TAVROK_ANIM_ANIMATION_H
#define TAVROK_ANIM_ANIMATION_H

#include <d3dx9math.h>

#include "scene/frame.h"

struct IDirectXFileData;

struct SRotateKey {
    DWORD time;
    D3DXQUATERNION rotation;
};

struct SScaleKey {
    DWORD time;
    D3DXVECTOR3 scale;
};

struct SPositionKey {
    DWORD time;
    D3DXVECTOR3 position;
};

struct SMatrixKey {
    DWORD time;
    D3DXMATRIX matrix;
};

struct SAnimation {
    char *frameName;
    SFrame *frame;
    SAnimation *next;
    DWORD numPositionKeys;
    SPositionKey *positionKeys;
    DWORD numScaleKeys;
    SScaleKey *scaleKeys;
    DWORD numRotationKeys;
    SRotateKey *rotationKeys;
    DWORD numMatrixKeys;
    SMatrixKey *matrixKeys;

    SAnimation();
    ~SAnimation();
};

struct SAnimationSet {
    char *name;
    DWORD lastKeyTime;
    SAnimationSet *next;
    DWORD numAnimations;
    SAnimation *animations;

    SAnimationSet();
    ~SAnimationSet();
};

class CAnimationCollection {
public:
    CAnimationCollection();
    virtual ~CAnimationCollection();

    // The walk of an X file (animation_loader.cpp): called in this order per file.
    virtual BOOL OnParseBegin(DWORD user);
    virtual BOOL OnParseEnd(DWORD user);
    virtual BOOL ParseObject(IDirectXFileData *object, IDirectXFileData *parent, DWORD depth, DWORD user,
                             BOOL reference);

    BOOL LoadFromFile(const char *fileName);
    BOOL ParseFile(const char *fileName, DWORD user);
    BOOL ParseChildren(IDirectXFileData *object, DWORD depth, DWORD user, BOOL reference);

    void Clear();
    void BindToFrames(SFrame *root);
    void Animate(const char *setName, DWORD time, BOOL loop, float weight);

    DWORD GetNumSets() const { return m_numSets; }
    SAnimationSet *GetSets() const { return m_sets; }

protected:
    DWORD m_numSets;
    SAnimationSet *m_sets;
};

// The character's collection: a collection that adds nothing.
class CCharacterAnimations : public CAnimationCollection {
};

extern CCharacterAnimations g_animations;

#endif
