/*
 * frame.h - the frame hierarchy of a model file.
 *
 * A frame's first five fields are those of the D3DX frame record; the combined matrix
 * (model space) and the rest matrix (as read from the file) follow.  Siblings stand in
 * the reverse of their file order, because the loader puts each new frame at the head.
 */
#ifndef TAVROK_SCENE_FRAME_H
#define TAVROK_SCENE_FRAME_H

#include <d3dx9math.h>

struct SMeshContainer;

struct SFrame {
    char *Name;
    D3DXMATRIX TransformationMatrix;
    SMeshContainer *pMeshContainer;
    SFrame *pFrameSibling;
    SFrame *pFrameFirstChild;
    D3DXMATRIX CombinedMatrix;
    D3DXMATRIX RestMatrix;

    SFrame();
};

void ResetFrameMatrices(SFrame *frame);
void UpdateFrameMatrices(SFrame *frame, const D3DXMATRIX *parentMatrix);
SFrame *FindFrame(SFrame *frame, const char *name);
void DeleteFrameTree(SFrame *root);

#endif
