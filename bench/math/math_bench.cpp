// The hot maths operations, in nanoseconds per call, through the public entry points (the
// variant the processor gets) and through the scalar table for comparison.
#include "math_variants.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Inputs {
    D3DXMATRIX a, b;
    D3DXVECTOR3 v;
    D3DXQUATERNION q1, q2;
    Inputs()
    {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> d(-1.0f, 1.0f);
        for (int k = 0; k < 16; ++k) {
            (&a._11)[k] = d(rng);
            (&b._11)[k] = d(rng);
        }
        v = D3DXVECTOR3(d(rng), d(rng), d(rng));
        D3DXVECTOR3 axis(0.3f, 1.0f, 0.2f);
        D3DXQuaternionRotationAxis(&q1, &axis, 0.4f);
        D3DXQuaternionRotationAxis(&q2, &axis, 1.9f);
    }
};

const Inputs &In()
{
    static Inputs in;
    return in;
}

void BM_MatrixMultiply(benchmark::State &state)
{
    D3DXMATRIX out;
    for (auto _ : state) {
        D3DXMatrixMultiply(&out, &In().a, &In().b);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixMultiplyScalar(benchmark::State &state)
{
    D3DXMATRIX out;
    for (auto _ : state) {
        g_scalarMathOps.MatrixMultiply(&out, &In().a, &In().b);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MatrixMultiplyScalar);

void BM_MatrixMultiplySse2(benchmark::State &state)
{
    const SMathOps *sse2 = Sse2MathOps();
    if (!sse2) {
        state.SkipWithError("no SSE2 variant");
        return;
    }
    D3DXMATRIX out;
    for (auto _ : state) {
        sse2->MatrixMultiply(&out, &In().a, &In().b);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MatrixMultiplySse2);

void BM_MatrixInverse(benchmark::State &state)
{
    D3DXMATRIX out;
    float det;
    for (auto _ : state) {
        D3DXMatrixInverse(&out, &det, &In().a);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_MatrixInverse);

void BM_Vec3TransformCoord(benchmark::State &state)
{
    D3DXVECTOR3 out;
    for (auto _ : state) {
        D3DXVec3TransformCoord(&out, &In().v, &In().a);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_Vec3TransformCoord);

void BM_Vec3TransformCoordScalar(benchmark::State &state)
{
    D3DXVECTOR3 out;
    for (auto _ : state) {
        g_scalarMathOps.Vec3TransformCoord(&out, &In().v, &In().a);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_Vec3TransformCoordScalar);

void BM_QuaternionSlerp(benchmark::State &state)
{
    D3DXQUATERNION out;
    float t = 0.0f;
    for (auto _ : state) {
        D3DXQuaternionSlerp(&out, &In().q1, &In().q2, t);
        t = t > 1.0f ? 0.0f : t + 0.001f;
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_QuaternionSlerp);

}  // namespace

BENCHMARK_MAIN();
