/*
 * scene_object.h - scene objects: a model placed in the world and drawn with its materials.
 *
 * A scene object holds a position and three angles, builds its world matrix from them and
 * draws the mesh containers it has been given (it does not own them).  Other subsystems
 * keep their per-object state here too: the controller's facing and heading, the level ray
 * test's reach and flag, and the collision model (src/world implements those operations).
 */
#ifndef TAVROK_SCENE_SCENE_OBJECT_H
#define TAVROK_SCENE_SCENE_OBJECT_H

#include <d3dx9.h>
#include <CD.h>

#include "scene/mesh_container.h"

class CSceneObject {
public:
    D3DXMATRIX matWorld;
    D3DXMATRIX matLocal;
    float collisionReach;
    float facingYaw;
    D3DXVECTOR3 position;
    SMeshContainer *pMeshList;
    CCollisionObject *pCollision;
    BYTE collided;
    float heading;
    DWORD numFaces;
    DWORD numVertices;
    D3DXVECTOR3 rotation;  // x: yaw (about y), y: pitch (about x), z: roll (about z)
    ID3DXMesh *pCollisionMesh;

    CSceneObject();

    HRESULT AddMeshContainer(SMeshContainer *pContainer);
    void UpdateTransform();
    HRESULT Render();
    void GetPosition(float *x, float *y, float *z);
    void SetPosition(float x, float y, float z);
    BYTE IsColliding();

    // Level contact and collision models (src/world).
    BYTE CollideWithLevel(CSceneObject level);
    HRESULT BuildCollisionModel(SMeshContainer *pContainer);
    bool TestCollision(CSceneObject *other, int mode);
};

extern CSceneObject g_character;
extern CSceneObject g_level;

#endif
