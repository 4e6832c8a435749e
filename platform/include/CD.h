/*
 * CD.h - the collision library: triangle-soup collision models and a contact test.
 *
 * A program gets a model from newCollisionObject(), feeds it triangles, finalizes it once,
 * places it with a matrix each frame and asks whether two models touch.  The library is a
 * shared object (libCD.so) that the program links, as a Windows program links CD.dll.
 * Matrices are D3DX matrices: row vectors, translation in the fourth row.
 */
#ifndef TAVROK_CD_H
#define TAVROK_CD_H

#include <d3dx9math.h>

class CCollisionObject {
public:
    // Destroys the model; the object must not be used afterwards.
    virtual void Release() = 0;
    // Adds one triangle, corners in the order given (before Finalize only).
    virtual void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) = 0;
    // Builds the bounding-volume hierarchy over the triangles added so far.
    virtual void Finalize() = 0;
    // Places the model in the world.
    virtual void SetMatrix(const D3DXMATRIX *matrix) = 0;
    // The matrix last given to SetMatrix (the identity before the first call).
    virtual void GetMatrix(D3DXMATRIX *matrix) const = 0;
    // True when the two finalized models, each under its matrix, touch.  Mode 0 stops at the
    // first contact; mode 1 gathers every contact (see GetContactCount).
    virtual bool Collide(CCollisionObject *other, int mode) = 0;
    // Contacts found by the last Collide in mode 1.
    virtual int GetContactCount() const = 0;

protected:
    virtual ~CCollisionObject() {}
};

extern "C" CCollisionObject *newCollisionObject();

// Live models, for tests that check that everything made is released.
extern "C" int CollisionObjectsAlive();

#endif
