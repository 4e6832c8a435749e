/*
 * frame.cpp - resetting, combining, searching and deleting frame trees.
 *
 * Every operation walks the whole structure reachable from the frame it is given: its
 * sibling chain and, below each, the child chain.  The trees are a few dozen frames deep
 * at most, so plain recursion is used.
 */
#include "scene/frame.h"

#include <string.h>

SFrame::SFrame()
    : Name(NULL), pMeshContainer(NULL), pFrameSibling(NULL), pFrameFirstChild(NULL)
{
    D3DXMatrixIdentity(&TransformationMatrix);
    D3DXMatrixIdentity(&CombinedMatrix);
    D3DXMatrixIdentity(&RestMatrix);
}

void ResetFrameMatrices(SFrame *frame)
{
    if (!frame)
        return;
    frame->TransformationMatrix = frame->RestMatrix;
    ResetFrameMatrices(frame->pFrameSibling);
    ResetFrameMatrices(frame->pFrameFirstChild);
}

void UpdateFrameMatrices(SFrame *frame, const D3DXMATRIX *parentMatrix)
{
    if (!frame)
        return;
    if (parentMatrix)
        D3DXMatrixMultiply(&frame->CombinedMatrix, &frame->TransformationMatrix, parentMatrix);
    else
        frame->CombinedMatrix = frame->TransformationMatrix;
    // A sibling shares this frame's parent; a child hangs below this frame.
    if (frame->pFrameSibling)
        UpdateFrameMatrices(frame->pFrameSibling, parentMatrix);
    if (frame->pFrameFirstChild)
        UpdateFrameMatrices(frame->pFrameFirstChild, &frame->CombinedMatrix);
}

SFrame *FindFrame(SFrame *frame, const char *name)
{
    if (!frame)
        return NULL;
    if (frame->Name && name && strcmp(frame->Name, name) == 0)
        return frame;
    if (SFrame *found = FindFrame(frame->pFrameSibling, name))
        return found;
    return FindFrame(frame->pFrameFirstChild, name);
}

void DeleteFrameTree(SFrame *root)
{
    if (!root)
        return;
    DeleteFrameTree(root->pFrameSibling);
    DeleteFrameTree(root->pFrameFirstChild);
    delete[] root->Name;
    delete root;
}
