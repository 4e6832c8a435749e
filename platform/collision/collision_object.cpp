/*
 * collision_object.cpp - collision models over FCL.
 *
 * Each model is an FCL bounding-volume hierarchy of oriented boxes (OBB) over its
 * triangles, built once after Finalize on a thread of its own: the program goes on loading
 * and drawing while a large model is built, and the first call that needs the model
 * (SetMatrix, Collide, Release) waits for the build to end.  The build is the same
 * whichever thread runs it, and so are the contacts.  SetMatrix turns a D3DX row-vector
 * matrix into an FCL transform; a rigid matrix (rotation and translation) only moves the
 * model, while a matrix with scale or shear is applied to the vertices and the hierarchy
 * refitted, since FCL transforms are rigid.  Collide asks FCL for contact between the two
 * models.  FCL's headers are heavy (Eigen): this is the library's only file that includes
 * them.
 */
#include <CD.h>

#include <fcl/fcl.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <future>
#include <set>
#include <system_error>
#include <string>
#include <memory>
#include <vector>

namespace {

// Oriented boxes: a collision test of OBB-RSS hierarchies reads only their boxes, which are
// fitted and split exactly as these are, so the contacts are the same; fitting the swept
// spheres as well made the build half as long again.
using Model = fcl::BVHModel<fcl::OBBd>;

std::atomic<int> g_alive{0};

// A request the library does not support: one line on stderr per distinct request.
void Unsupported(const std::string &what)
{
    static std::set<std::string> said;
    if (said.insert(what).second)
        fprintf(stderr, "collision: not supported: %s\n", what.c_str());
}

class CollisionModel final : public CCollisionObject {
public:
    CollisionModel()
    {
        ++g_alive;
        D3DXMatrixIdentity(&matrix_);
    }
    ~CollisionModel() override
    {
        if (build_.valid())
            build_.wait();  // a build that failed is dropped with the model
        --g_alive;
    }

    void Release() override { delete this; }

    void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) override
    {
        if (finalized_) {
            Unsupported("AddTriangle after Finalize");
            return;
        }
        for (const D3DXVECTOR3 &v : {a, b, c})
            vertices_.emplace_back(v.x, v.y, v.z);
    }

    void Finalize() override
    {
        if (finalized_)
            return;
        finalized_ = true;
        if (vertices_.empty())
            return;  // nothing to build: an empty model touches nothing
        try {
            build_ = std::async(std::launch::async, [this] { Build(); });
        } catch (const std::system_error &) {
            Build();  // no thread to be had: build it here
        }
    }

    void SetMatrix(const D3DXMATRIX *matrix) override
    {
        if (!matrix || *matrix == matrix_)
            return;
        WaitForBuild();
        matrix_ = *matrix;
        ApplyMatrix();
    }

    void GetMatrix(D3DXMATRIX *matrix) const override
    {
        if (matrix)
            *matrix = matrix_;
    }

    bool Collide(CCollisionObject *other, int mode) override
    {
        auto *o = dynamic_cast<CollisionModel *>(other);
        if (!o)
            return false;
        WaitForBuild();
        o->WaitForBuild();
        if (!object_ || !o->object_ || vertices_.empty() || o->vertices_.empty())
            return false;
        if (mode != 0 && mode != 1) {
            Unsupported("Collide mode " + std::to_string(mode));
            return false;
        }
        fcl::CollisionRequestd request(mode == 0 ? 1 : 100000, mode == 1);
        fcl::CollisionResultd result;
        fcl::collide(object_.get(), o->object_.get(), request, result);
        contacts_ = int(result.numContacts());
        return result.isCollision();
    }

    int GetContactCount() const override { return contacts_; }

private:
    // The hierarchy over the triangles, placed under the current matrix.  Touches only this
    // model's own members, which nothing else reads or writes until WaitForBuild.
    void Build()
    {
        model_ = std::make_shared<Model>();
        model_->beginModel(int(vertices_.size() / 3), int(vertices_.size()));
        for (size_t i = 0; i + 2 < vertices_.size(); i += 3)
            model_->addTriangle(vertices_[i], vertices_[i + 1], vertices_[i + 2]);
        model_->endModel();
        model_->computeLocalAABB();
        object_ = std::make_unique<fcl::CollisionObjectd>(model_);
        ApplyMatrix();
    }

    // Joins the build, if one is running or finished unjoined; an exception it threw comes
    // out here.
    void WaitForBuild()
    {
        if (build_.valid())
            build_.get();
    }

    // The linear part of a D3DX matrix is the transpose of the column-vector rotation.
    void ApplyMatrix()
    {
        if (!object_)
            return;
        fcl::Matrix3d linear;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                linear(r, c) = matrix_.m[c][r];
        fcl::Vector3d translation(matrix_._41, matrix_._42, matrix_._43);

        // Rigid when the linear part is orthonormal with determinant +1.
        bool rigid = (linear * linear.transpose() - fcl::Matrix3d::Identity()).cwiseAbs().maxCoeff() < 1e-4 &&
                     linear.determinant() > 0;
        fcl::Matrix3d rotation = rigid ? linear : fcl::Matrix3d::Identity();
        if (!rigid || deformed_) {
            // Bake the linear part into the vertices (or restore them) and refit.
            model_->beginReplaceModel();
            for (size_t i = 0; i < vertices_.size(); ++i)
                model_->replaceVertex(rigid ? vertices_[i] : fcl::Vector3d(linear * vertices_[i]));
            model_->endReplaceModel(true, true);
            model_->computeLocalAABB();
            deformed_ = !rigid;
        }
        fcl::Transform3d tf = fcl::Transform3d::Identity();
        tf.linear() = rotation;
        tf.translation() = translation;
        object_->setTransform(tf);
        object_->computeAABB();
    }

    std::vector<fcl::Vector3d> vertices_;
    std::shared_ptr<Model> model_;
    std::unique_ptr<fcl::CollisionObjectd> object_;
    D3DXMATRIX matrix_;
    bool finalized_ = false;
    bool deformed_ = false;
    int contacts_ = 0;
    std::future<void> build_;
};

}  // namespace

extern "C" CCollisionObject *newCollisionObject() { return new CollisionModel; }

extern "C" int CollisionObjectsAlive() { return g_alive.load(); }
