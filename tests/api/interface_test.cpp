#include <gtest/gtest.h>

#include <set>

#include "testutil.h"

namespace {

TEST(Interface, VersionIsStaticText) {
    const char* a = GetQuirometerVersion();
    EXPECT_STREQ(a, "5.5.0.68.30");
    EXPECT_EQ(a, GetQuirometerVersion());
}

TEST(Interface, TwentyNineCountersWithDistinctOrdinals) {
    std::set<int> ordinals;
    for (const qm::CounterInfo& c : qm::Counters()) {
        EXPECT_GE(c.ordinal, 10);
        EXPECT_LE(c.ordinal, 38);
        ordinals.insert(c.ordinal);
        EXPECT_EQ(qm::FindCounter(c.tag), &c);
    }
    EXPECT_EQ(qm::Counters().size(), 29u);
    EXPECT_EQ(ordinals.size(), 29u);
    // Tags match in any case, "z" included.
    EXPECT_EQ(qm::FindCounter("esc_page"), qm::FindCounter("ESC_PAGE"));
    EXPECT_EQ(qm::FindCounter("zjstream"), qm::FindCounter("ZJSTREAM"));
    EXPECT_EQ(qm::FindCounter("PCL5"), nullptr);
}

TEST(Interface, HresultMappingKeepsZero) {
    EXPECT_EQ(QM_HRESULT_FROM_WIN32(0), 0);
    EXPECT_EQ(QM_HRESULT_FROM_WIN32(2), QM_E_FILE_NOT_FOUND);
    EXPECT_EQ(QM_HRESULT_FROM_WIN32(0x12345), static_cast<int32_t>(0x80072345));
}

}  // namespace
