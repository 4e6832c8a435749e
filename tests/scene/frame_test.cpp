// Frame trees: combining down the tree (with the root applied twice, as the frame update
// calls it), search order and deletion.
#include "scene/frame.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

SFrame *NewFrame(const char *name)
{
    SFrame *f = new SFrame;
    if (name) {
        f->Name = new char[strlen(name) + 1];
        strcpy(f->Name, name);
    }
    return f;
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

TEST(FrameMatrices, RootAppliedTwiceSiblingsShareTheParentChildrenStack)
{
    SFrame *root = NewFrame("root");
    root->TransformationMatrix = Translation(0, 1, 0);
    SFrame *child = NewFrame("child");
    root->pFrameFirstChild = child;
    SFrame *grandchild = NewFrame("grandchild");
    grandchild->TransformationMatrix = Translation(1, 0, 0);
    child->pFrameFirstChild = grandchild;
    SFrame *sibling = NewFrame("sibling");
    sibling->TransformationMatrix = Translation(0, 0, 5);
    root->pFrameSibling = sibling;
    SFrame *childSibling = NewFrame("childSibling");
    childSibling->TransformationMatrix = Translation(0, 0, 7);
    child->pFrameSibling = childSibling;

    UpdateFrameMatrices(root, &root->TransformationMatrix);
    EXPECT_EQ(root->CombinedMatrix, Translation(0, 2, 0));
    EXPECT_EQ(child->CombinedMatrix, Translation(0, 2, 0));
    EXPECT_EQ(grandchild->CombinedMatrix, Translation(1, 2, 0));
    // The root's sibling gets the root's own matrix as parent, not the root's combined one.
    EXPECT_EQ(sibling->CombinedMatrix, Translation(0, 1, 5));
    // A sibling does not depend on the frame before it in the chain.
    EXPECT_EQ(childSibling->CombinedMatrix, Translation(0, 2, 7));

    // A null parent means the identity.
    UpdateFrameMatrices(grandchild, NULL);
    EXPECT_EQ(grandchild->CombinedMatrix, grandchild->TransformationMatrix);

    // Row vectors: the child's matrix applies before the parent's.
    D3DXMATRIX rot;
    D3DXMatrixRotationY(&rot, D3DX_PI / 2);
    root->TransformationMatrix = rot;
    UpdateFrameMatrices(root, NULL);
    D3DXVECTOR3 origin(0, 0, 0), p;
    D3DXVec3TransformCoord(&p, &origin, &grandchild->CombinedMatrix);
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.z, -1.0f, 1e-6f);  // (1,0,0) turned a quarter about y
    DeleteFrameTree(root);
}

TEST(FindFrame, SearchesSelfThenSiblingsThenChildrenAndSkipsUnnamed)
{
    SFrame *root = NewFrame(NULL);
    SFrame *a = NewFrame("dup");
    SFrame *b = NewFrame("dup");
    SFrame *c = NewFrame("leaf");
    root->pFrameFirstChild = a;  // child subtree of the root
    root->pFrameSibling = b;     // sibling subtree: searched first
    a->pFrameFirstChild = c;

    EXPECT_EQ(FindFrame(root, "dup"), b);
    EXPECT_EQ(FindFrame(root, "leaf"), c);
    EXPECT_EQ(FindFrame(root, "LEAF"), nullptr);  // exact, case-sensitive
    EXPECT_EQ(FindFrame(root, "none"), nullptr);
    EXPECT_EQ(FindFrame(root, NULL), nullptr);
    EXPECT_EQ(FindFrame(NULL, "dup"), nullptr);
    DeleteFrameTree(root);
    DeleteFrameTree(NULL);  // allowed, does nothing
}

}  // namespace
