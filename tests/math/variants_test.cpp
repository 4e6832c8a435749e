// The processor-specific variants against the scalar definitions, on many random inputs,
// and the choice between them.
#include "math_variants.h"

#include "support/child_process.h"

#include <tavrok/platform.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

TEST(MathVariants, Sse2MatchesScalarBitForBit)
{
    const SMathOps *sse2 = Sse2MathOps();
    if (!sse2)
        GTEST_SKIP() << "no SSE2 variant on this processor";
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    for (int i = 0; i < 20000; ++i) {
        D3DXMATRIX a, b, r1, r2;
        for (int k = 0; k < 16; ++k) {
            (&a._11)[k] = d(rng);
            (&b._11)[k] = d(rng);
        }
        g_scalarMathOps.MatrixMultiply(&r1, &a, &b);
        sse2->MatrixMultiply(&r2, &a, &b);
        ASSERT_EQ(0, memcmp(&r1, &r2, sizeof r1)) << "multiply, input " << i;

        D3DXVECTOR3 v(d(rng), d(rng), d(rng)), o1, o2;
        if (i % 3 == 0) {  // a pure affine matrix: w is exactly 1
            a._14 = a._24 = a._34 = 0.0f;
            a._44 = 1.0f;
        }
        g_scalarMathOps.Vec3TransformCoord(&o1, &v, &a);
        sse2->Vec3TransformCoord(&o2, &v, &a);
        ASSERT_EQ(0, memcmp(&o1, &o2, sizeof o1)) << "transform coord, input " << i;
        g_scalarMathOps.Vec3TransformNormal(&o1, &v, &a);
        sse2->Vec3TransformNormal(&o2, &v, &a);
        ASSERT_EQ(0, memcmp(&o1, &o2, sizeof o1)) << "transform normal, input " << i;

        D3DXVECTOR4 v4(d(rng), d(rng), d(rng), d(rng)), p1, p2;
        g_scalarMathOps.Vec4Transform(&p1, &v4, &a);
        sse2->Vec4Transform(&p2, &v4, &a);
        ASSERT_EQ(0, memcmp(&p1, &p2, sizeof p1)) << "transform 4, input " << i;
        if (i % 5 == 0)
            v4 = v4 * 1e-21f;  // squared length below the normal range
        g_scalarMathOps.Vec4Normalize(&p1, &v4);
        sse2->Vec4Normalize(&p2, &v4);
        ASSERT_EQ(0, memcmp(&p1, &p2, sizeof p1)) << "normalize 4, input " << i;
    }
    // Aliased output.
    D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), b = a, expected;
    g_scalarMathOps.MatrixMultiply(&expected, &a, &b);
    sse2->MatrixMultiply(&a, &a, &b);
    EXPECT_EQ(0, memcmp(&a, &expected, sizeof a));
}

// The choice is made once per process, so it is checked in child processes: with
// DisablePSGP set in the registry the scalar table is announced, otherwise SSE2.
std::string RunChoice(const char *registryText)
{
    return testsupport::RunWithRegistry(TAVROK_MATH_PROBE, registryText, true);
}

TEST(MathVariants, RegistryValuesForceTheScalarVariantAndTheChoiceIsAnnounced)
{
    std::string defaultChoice = RunChoice("REGEDIT4\n");
    if (Sse2MathOps())
        EXPECT_EQ(defaultChoice, "(INFO) Using SSE2 Instructions\n");
    else
        EXPECT_EQ(defaultChoice, "(INFO) Using x87 Instructions\n");
    EXPECT_EQ(RunChoice("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Direct3D]\n\"DisablePSGP\"=dword:00000001\n"),
              "(INFO) Using x87 Instructions\n");
    EXPECT_EQ(RunChoice("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Direct3D]\n\"DisableD3DXPSGP\"=dword:1\n"),
              "(INFO) Using x87 Instructions\n");
    // A zero value does not disable anything.
    EXPECT_EQ(RunChoice("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Direct3D]\n\"DisablePSGP\"=dword:0\n"),
              defaultChoice);
}

}  // namespace
