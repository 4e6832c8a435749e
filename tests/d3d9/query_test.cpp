/*
 * query_test.cpp - IDirect3DQuery9 on the NULLREF device: the types offered (asked with a
 * null result), the order of Issue and GetData and their refusals, and the answers a
 * device that draws nothing gives at once.
 */
#include "d3d9/null_fixture.h"

namespace d3d9test {
namespace {

class QueryTest : public NullDeviceTest {
protected:
    IDirect3DQuery9 *Make(D3DQUERYTYPE type)
    {
        IDirect3DQuery9 *q = nullptr;
        EXPECT_EQ(device_->CreateQuery(type, &q), D3D_OK) << type;
        return Keep(q);
    }
};

TEST_F(QueryTest, TheOfferedTypesAnswerWithTheirOwnSizes)
{
    const struct {
        D3DQUERYTYPE type;
        DWORD size;
    } offered[] = {{D3DQUERYTYPE_EVENT, 4}, {D3DQUERYTYPE_OCCLUSION, 4}, {D3DQUERYTYPE_TIMESTAMP, 8},
                   {D3DQUERYTYPE_TIMESTAMPDISJOINT, 4}, {D3DQUERYTYPE_TIMESTAMPFREQ, 8}, {D3DQUERYTYPE_VCACHE, 16}};
    for (const auto &o : offered) {
        EXPECT_EQ(device_->CreateQuery(o.type, NULL), D3D_OK) << o.type;
        IDirect3DQuery9 *q = Make(o.type);
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->GetDataSize(), o.size) << o.type;
    }
    // A support check says nothing on stderr; a request for a type not offered one line.
    EXPECT_EQ(AnswerOf([&] { return device_->CreateQuery(D3DQUERYTYPE_RESOURCEMANAGER, NULL); }),
              Answer(D3DERR_NOTAVAILABLE, 0));
    IDirect3DQuery9 *none = reinterpret_cast<IDirect3DQuery9 *>(1);
    EXPECT_EQ(AnswerOf([&] { return device_->CreateQuery(D3DQUERYTYPE_PIPELINETIMINGS, &none); }),
              Answer(D3DERR_NOTAVAILABLE, 1));
    EXPECT_EQ(none, nullptr);

    IDirect3DQuery9 *frequency = Make(D3DQUERYTYPE_TIMESTAMPFREQ);
    ASSERT_EQ(frequency->Issue(D3DISSUE_END), D3D_OK);
    UINT64 hz = 0;
    ASSERT_EQ(frequency->GetData(&hz, sizeof hz, D3DGETDATA_FLUSH), S_OK);
    EXPECT_EQ(hz, 1000000000u);

    // The vertex-cache hint: issued at its end only, answered in full at once.
    IDirect3DQuery9 *cache = Make(D3DQUERYTYPE_VCACHE);
    EXPECT_REFUSED(cache->Issue(D3DISSUE_BEGIN));
    ASSERT_EQ(cache->Issue(D3DISSUE_END), D3D_OK);
    D3DDEVINFO_VCACHE hint = {};
    ASSERT_EQ(cache->GetData(&hint, sizeof hint, 0), S_OK);
    EXPECT_EQ(hint.Pattern, DWORD('C' | 'A' << 8 | 'C' << 16 | 'H' << 24));
    EXPECT_EQ(hint.OptMethod, 1u) << "ordered for the cache, not for long strips";
    EXPECT_EQ(hint.CacheSize, 16u);
    EXPECT_EQ(hint.MagicNumber, 8u);
}

TEST_F(QueryTest, IssueAndGetDataFollowTheQueryStates)
{
    IDirect3DQuery9 *occlusion = Make(D3DQUERYTYPE_OCCLUSION), *event = Make(D3DQUERYTYPE_EVENT);
    ASSERT_TRUE(occlusion && event);
    DWORD samples = 77;
    // Signaled when made: S_OK at once, polling with no data too.
    EXPECT_EQ(occlusion->GetData(NULL, 0, 0), S_OK);
    ASSERT_EQ(occlusion->Issue(D3DISSUE_BEGIN), D3D_OK);
    EXPECT_REFUSED(occlusion->GetData(&samples, sizeof samples, 0));  // building
    EXPECT_REFUSED(occlusion->Issue(D3DISSUE_BEGIN | D3DISSUE_END));
    ASSERT_EQ(device_->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(occlusion->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_REFUSED(occlusion->GetData(&samples, 2, 0));
    EXPECT_REFUSED(occlusion->GetData(NULL, sizeof samples, 0));
    ASSERT_EQ(occlusion->GetData(&samples, sizeof samples, D3DGETDATA_FLUSH), S_OK);
    EXPECT_EQ(samples, 0u) << "nothing is drawn";
    // An end with no begin counts nothing.
    ASSERT_EQ(occlusion->Issue(D3DISSUE_END), D3D_OK);
    samples = 77;
    ASSERT_EQ(occlusion->GetData(&samples, sizeof samples, 0), S_OK);
    EXPECT_EQ(samples, 0u);

    EXPECT_REFUSED(event->Issue(D3DISSUE_BEGIN));
    ASSERT_EQ(event->Issue(D3DISSUE_END), D3D_OK);
    BOOL done = FALSE;
    ASSERT_EQ(event->GetData(&done, sizeof done, D3DGETDATA_FLUSH), S_OK);
    EXPECT_EQ(done, TRUE);
    // The answer stays until the query is issued again.
    done = FALSE;
    ASSERT_EQ(event->GetData(&done, sizeof done, 0), S_OK);
    EXPECT_EQ(done, TRUE);

    // A query keeps its device: the device goes only with the last query.
    EXPECT_EQ(device_->AddRef(), 4u);  // the test's, one for each query, this one
    device_->Release();
}

}  // namespace
}  // namespace d3d9test
