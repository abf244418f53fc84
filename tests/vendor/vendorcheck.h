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

namespace vendortest {

// Through a real file and the exported entry point: a job of NUL bytes only
// reports `empty`; a missing file returns the open failure and leaves the
// caller's record as it was.
inline void ExpectEntryPoint(const char* tag, const Want& empty) {
    PageCountResult rec = qmtest::MarkedRecord();
    ASSERT_EQ(qmtest::CountFile(tag, std::string(64, '\0'), rec), QM_OK) << tag;
    EXPECT_EQ(rec.pages, empty.pages) << tag;
    EXPECT_EQ(rec.copies, empty.copies) << tag;
    EXPECT_EQ(rec.color, empty.color) << tag;
    EXPECT_EQ(rec.duplex, 0) << tag;
    EXPECT_DOUBLE_EQ(rec.paperWidth, empty.width) << tag;
    EXPECT_DOUBLE_EQ(rec.paperLength, empty.length) << tag;

    const qm::CounterInfo* c = qm::FindCounter(tag);
    ASSERT_NE(c, nullptr) << tag;
    qmtest::TempJob dir("");
    const std::string missing = dir.dir() + "/missing.prn";
    PageCountResult untouched = qmtest::MarkedRecord();
    EXPECT_EQ(c->entry(missing.c_str(), &untouched), static_cast<int32_t>(0x80070002)) << tag;
    EXPECT_TRUE(qmtest::IsMarked(untouched)) << tag;
}

}  // namespace vendortest
