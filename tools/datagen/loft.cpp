/*
 * loft.cpp - ring sweeps and the outward winding rule used by every generated mesh.
 */
#include "loft.h"

#include <algorithm>
#include <map>

namespace datagen {

void AddOutward(Mesh &mesh, uint32_t a, uint32_t b, uint32_t c, uint32_t material)
{
    const Vertex &va = mesh.vertices[a], &vb = mesh.vertices[b], &vc = mesh.vertices[c];
    Vec3 n = Cross(vb.p - va.p, vc.p - va.p);
    if (Length(n) < 1e-10) return;
    if (Dot(n, va.n + vb.n + vc.n) < 0) std::swap(b, c);
    mesh.Tri(a, b, c, material);
}

void SetWeights(Vertex &v, const Weights &w)
{
    std::map<int, double> sum;
    for (const auto &bw : w) sum[bw.first] += bw.second;
    std::vector<std::pair<double, int>> sorted;
    for (const auto &bw : sum)
        if (bw.second > 0.02) sorted.push_back({bw.second, bw.first});
    std::sort(sorted.begin(), sorted.end(), [](const auto &x, const auto &y) {
        return x.first != y.first ? x.first > y.first : x.second < y.second;
    });
    if (sorted.size() > size_t(kMaxInfluences)) sorted.resize(kMaxInfluences);
    double total = 0;
    for (const auto &s : sorted) total += s.first;
    for (int k = 0; k < kMaxInfluences; ++k) {
        v.bone[k] = -1;
        v.weight[k] = 0;
    }
    for (size_t k = 0; k < sorted.size(); ++k) {
        v.bone[k] = sorted[k].second;
        v.weight[k] = sorted[k].first / total;
    }
}

static double Smooth(double s) { return s * s * (3 - 2 * s); }

void Loft(Mesh &mesh, const std::vector<Station> &st, const LoftStyle &style)
{
    struct Ring {
        Vec3 c, t, e1, e2;
        double rx, rz, v;
        Weights w;
    };
    std::vector<Ring> rings;
    for (size_t i = 0; i + 1 < st.size(); ++i) {
        int steps = style.subdivisions;
        for (int k = 0; k < steps || (i + 2 == st.size() && k == steps); ++k) {
            double s = double(k) / steps;
            Ring r;
            r.c = Lerp(st[i].c, st[i + 1].c, s);
            r.rx = st[i].rx + (st[i + 1].rx - st[i].rx) * s;
            r.rz = st[i].rz + (st[i + 1].rz - st[i].rz) * s;
            r.v = st[i].v + (st[i + 1].v - st[i].v) * s;
            double b = Smooth(s);
            for (const auto &bw : st[i].w) r.w.push_back({bw.first, bw.second * (1 - b)});
            for (const auto &bw : st[i + 1].w) r.w.push_back({bw.first, bw.second * b});
            rings.push_back(r);
        }
    }
    for (size_t i = 0; i < rings.size(); ++i) {
        Vec3 a = rings[i > 0 ? i - 1 : i].c, b = rings[i + 1 < rings.size() ? i + 1 : i].c;
        Ring &r = rings[i];
        r.t = Normalize(b - a);
        r.e1 = Normalize(style.side - r.t * Dot(style.side, r.t));
        r.e2 = Cross(r.t, r.e1);
    }

    const int segs = style.segments;
    std::vector<uint32_t> first(rings.size());
    for (size_t i = 0; i < rings.size(); ++i) {
        const Ring &r = rings[i];
        first[i] = uint32_t(mesh.vertices.size());
        for (int j = 0; j <= segs; ++j) {
            double th = 2 * kPi * j / segs;
            double cs = std::cos(th), sn = std::sin(th);
            Vertex v;
            v.p = r.c + r.e1 * (r.rx * cs) + r.e2 * (r.rz * sn);
            double nx = r.rx > 1e-9 ? cs / r.rx : cs, nz = r.rz > 1e-9 ? sn / r.rz : sn;
            v.n = Normalize(r.e1 * nx + r.e2 * nz);
            if (style.inward) v.n = -v.n;
            v.u = style.u0 + (style.u1 - style.u0) * j / segs;
            v.v = r.v;
            SetWeights(v, r.w);
            mesh.vertices.push_back(v);
        }
    }
    for (size_t i = 0; i + 1 < rings.size(); ++i)
        for (int j = 0; j < segs; ++j) {
            uint32_t a = first[i] + j, b = first[i] + j + 1;
            uint32_t c = first[i + 1] + j + 1, d = first[i + 1] + j;
            AddOutward(mesh, a, b, c, style.material);
            AddOutward(mesh, a, c, d, style.material);
        }
    auto cap = [&](size_t ri, bool start) {
        const Ring &r = rings[ri];
        if (r.rx < 1e-9 && r.rz < 1e-9) return;
        Vertex centre;
        centre.p = r.c;
        centre.n = (start != style.inward) ? -r.t : r.t;
        centre.u = (style.u0 + style.u1) / 2;
        centre.v = r.v;
        SetWeights(centre, r.w);
        uint32_t ci = uint32_t(mesh.vertices.size());
        mesh.vertices.push_back(centre);
        uint32_t base = uint32_t(mesh.vertices.size());
        for (int j = 0; j <= segs; ++j) {
            Vertex v = mesh.vertices[first[ri] + j];
            v.n = centre.n;  // flat cap, its own copies of the rim
            mesh.vertices.push_back(v);
        }
        for (int j = 0; j < segs; ++j) AddOutward(mesh, ci, base + j, base + j + 1, style.material);
    };
    if (style.capStart) cap(0, true);
    if (style.capEnd) cap(rings.size() - 1, false);
}

}  // namespace datagen
