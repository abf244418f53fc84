// Expected records for the vendor counters' table-driven tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

namespace vendortest {

struct Want {
    uint32_t pages;
    uint32_t copies;
    uint8_t color = 0;
    uint8_t duplex = 0;
    double width = 0.0;
    double length = 0.0;
};

struct Case {
    const char* name;
    std::string job;
    Want want;
};

// Counts `c.job` with the counter of `tag` in memory and compares the record.
inline void ExpectCount(const char* tag, const Case& c) {
    PageCountResult rec = qmtest::MarkedRecord();
    ASSERT_EQ(qmtest::CountWith(tag, c.job, rec), QM_OK) << c.name;
    EXPECT_EQ(rec.pages, c.want.pages) << c.name;
    EXPECT_EQ(rec.copies, c.want.copies) << c.name;
    EXPECT_EQ(rec.color, c.want.color) << c.name;
    EXPECT_EQ(rec.duplex, c.want.duplex) << c.name;
    EXPECT_DOUBLE_EQ(rec.paperWidth, c.want.width) << c.name;
    EXPECT_DOUBLE_EQ(rec.paperLength, c.want.length) << c.name;
}

inline std::string Bin(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

}  // namespace vendortest
