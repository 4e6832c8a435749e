/*
 * level_collision.cpp - whether the character is about to run into the level.
 *
 * One ray from the character's position, in the horizontal direction its heading code
 * gives, against the level mesh.  The heading number (90, 180, 270, 360) is fed to cos and
 * sin as it stands, in radians, so the directions are not the compass directions the codes
 * name; the thresholds below were tuned for exactly these rays.
 */
#include "scene/scene_object.h"

#include "app/d3d_setup.h"
#include "scene/mesh_container.h"

#include <d3dx9.h>

#include <math.h>

// Headings 90, 180 and 360 reach this much less far than the object's reach.
static const float kReachReduction = 0.4f;

BYTE CSceneObject::CollideWithLevel(CSceneObject level)
{
    collided = 0;
    D3DXVECTOR3 origin = position;
    D3DXVECTOR3 direction(cosf(heading), 0.0f, sinf(heading));

    if (!g_pd3dDevice || !level.pMeshList || !level.pMeshList->MeshData.pMesh)
        return collided;

    // Into the mesh's model space: the point through the inverse, the direction through
    // the transpose (and not normalised again).  A world transform without an inverse
    // places the level nowhere: nothing to run into.
    D3DXMATRIX world, inverse, transpose;
    g_pd3dDevice->GetTransform(D3DTS_WORLD, &world);
    if (!D3DXMatrixInverse(&inverse, NULL, &world))
        return collided;
    D3DXVec3TransformCoord(&origin, &origin, &inverse);
    D3DXMatrixTranspose(&transpose, &world);
    D3DXVec3TransformNormal(&direction, &direction, &transpose);

    BOOL hit = FALSE;
    float distance = 0.0f;
    D3DXIntersect(level.pMeshList->MeshData.pMesh, &origin, &direction, &hit, NULL, NULL, NULL, &distance, NULL,
                  NULL);
    if (hit == 1) {
        if (heading == 180.0f || heading == 90.0f || heading == 360.0f)
            collided = (collisionReach - kReachReduction) > distance;
        else
            collided = distance < collisionReach;
    }
    return collided;
}
