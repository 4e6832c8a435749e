/*
 * loft.h - tube building shared by the ninja and the level: a loft sweeps an elliptical
 * ring along a chain of stations, interpolating centre, radii, texture row and skin
 * weights, and closes its ends with fans.  Faces are wound clockwise as seen from outside
 * (the side the analytic normals point to), which is the front face for Direct3D's default
 * counter-clockwise culling.
 */
#ifndef TAVROK_DATAGEN_LOFT_H
#define TAVROK_DATAGEN_LOFT_H

#include "model.h"

#include <utility>

namespace datagen {

using Weights = std::vector<std::pair<int, double>>;

struct Station {
    Vec3 c;
    double rx, rz;  // radius along the ring's first axis and along its second axis
    Weights w;
    double v;       // texture row
};

struct LoftStyle {
    int segments = 12;      // corners around the ring
    int subdivisions = 3;   // rings between two stations, plus one
    Vec3 side{0, 0, 1};     // direction of the ring's angle 0 (the texture seam)
    double u0 = 0, u1 = 1;  // texture columns once around
    uint32_t material = 0;
    bool capStart = true, capEnd = true;
    bool inward = false;    // seen from inside: normals and winding face the axis
};

// Appends the triangle a, b, c to the mesh, reversing it when needed so that it is
// clockwise seen from the side its vertex normals face.  Degenerate triangles are dropped.
void AddOutward(Mesh &mesh, uint32_t a, uint32_t b, uint32_t c, uint32_t material);

// Sets a vertex's weights from a list of (bone, weight) with repeats, keeping the four
// largest, dropping tiny ones and normalising to a sum of 1.
void SetWeights(Vertex &v, const Weights &w);

void Loft(Mesh &mesh, const std::vector<Station> &stations, const LoftStyle &style);

}  // namespace datagen

#endif
