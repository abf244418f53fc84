// The lead-byte search against its plain form, and the PCL and HP-GL/2
// counters, which jump between lead bytes, against a walk over every byte.
#include "pcl/leadbytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanPCLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanHPGLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

namespace {

using qmtest::ExpectSameOnCorpusAndRandom;

// Searches from every index of bytes where each position may hold a lead.
template <class... B>
void ExpectSameIndexes(const std::string& bytes, B... set) {
    const qm::Bytes job(bytes);
    for (uint32_t i = 0; i <= job.size + 1; ++i)
        ASSERT_EQ(qm::FindAny(job, i, set...), qm::FindAnyPlain(job, i, set...)) << "from " << i;
}

TEST(LeadBytes, VectorSearchFindsWhatThePlainSearchFinds) {
    struct Row {
        const char* name;
        int density;  // one lead in about this many bytes
        size_t size;
    };
    const Row rows[] = {
        {"no leads", 0, 100},   {"sparse", 70, 1000}, {"every 16th", 16, 700},
        {"dense", 3, 300},      {"all leads", 1, 40}, {"shorter than a step", 5, 15},
    };
    std::mt19937 rng(7);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string s(r.size, 'x');
        for (char& c : s) {
            c = static_cast<char>('a' + rng() % 20);
            if (r.density != 0 && rng() % r.density == 0) c = "\x1b\x0c\xcd@"[rng() % 4];
        }
        ExpectSameIndexes(s, 0x1B);
        ExpectSameIndexes(s, 0x1B, 0x0C);
        ExpectSameIndexes(s, 0x0C, 0x1B, '!', ')', '@', 0xCD);
    }
    // A lead in the last byte only, and at each place of a step.
    for (size_t at = 0; at < 48; ++at) {
        std::string s(48, 'x');
        s[at] = static_cast<char>(0xCD);
        ExpectSameIndexes(s, 0xCD, 0x1B);
    }
    const qm::Bytes empty;
    EXPECT_EQ(qm::FindAny(empty, 0, '@'), 0u);
}

TEST(LeadBytes, PairSearchFindsWhatThePlainSearchFinds) {
    constexpr qm::LeadSet<2, 3> set{{0x1B, '@'}, {qm::Pair('B', "P"), qm::Pair('P', "GP"), qm::Pair('R', "P")}};
    constexpr qm::LeadSet<0, 2> pairsOnly{{}, {qm::Pair('r', "o"), qm::Pair('s', "\0Grs")}};
    std::mt19937 rng(11);
    for (int density : {2, 5, 17, 60}) {
        std::string s(400, 'x');
        for (char& c : s) c = rng() % density == 0 ? "\x1b@BPRGrso"[rng() % 10] : static_cast<char>('a' + rng() % 3);
        const qm::Bytes job(s);
        for (uint32_t i = 0; i <= job.size + 1; ++i) {
            ASSERT_EQ(qm::FindLead(job, i, set), qm::FindLeadPlain(job, i, set)) << density << " from " << i;
            ASSERT_EQ(qm::FindLead(job, i, pairsOnly), qm::FindLeadPlain(job, i, pairsOnly)) << density << " " << i;
        }
    }
    // A pair cut by the end of the data is no pair; a lone lead there is.
    EXPECT_EQ(qm::FindLead(qm::Bytes(std::string(20, 'x') + "P"), 0, set), 21u);
    EXPECT_EQ(qm::FindLead(qm::Bytes(std::string(20, 'x') + "@"), 0, set), 20u);
    EXPECT_EQ(qm::FindLead(qm::Bytes(std::string(15, 'x') + "PG" + std::string(20, 'x')), 0, set), 15u);
}

TEST(LeadBytes, TripleSearchFindsWhatThePlainSearchFinds) {
    std::mt19937 rng(5);
    for (int density : {2, 4, 9, 40}) {
        std::string s(300, 'x');
        for (char& c : s) c = rng() % density == 0 ? "\x1b*rb"[rng() % 4] : 'x';
        const qm::Bytes job(s);
        for (uint32_t i = 0; i <= job.size + 1; ++i)
            ASSERT_EQ(qm::FindTriple(job, i, 0x1B, '*', 'r'), qm::FindTriplePlain(job, i, 0x1B, '*', 'r')) << i;
    }
    // Each place in a step, and an opening cut by the end of the data.
    for (size_t at = 0; at < 40; ++at) {
        std::string s(40, 'x');
        s.replace(at, 3, "\x1b*r");
        s.resize(40);
        const qm::Bytes job(s);
        EXPECT_EQ(qm::FindTriple(job, 0, 0x1B, '*', 'r'), at + 3 <= 40 ? at : 40u) << at;
    }
}

TEST(LeadBytes, PclCountsWhatAWalkOverEveryByteCounts) {
    ExpectSameOnCorpusAndRandom("PCL", qm::ScanPCLEveryByte,
                                {"\x0c", "\x1b", "\x1b&l2X", "\x1b*rA", "\x1b*rB", "\x1b&a0N", "\x1b&a5V",
                                 "\x1b*v0N", "\x1b*b3W", "\x1b%-12345X", "\x1b%1A", "!R!", "EXIT;", ")",
                                 "\n", "@PJL SET COPIES=2\n", std::string("\xcd\xca\x10", 3), "\x80"});
}

TEST(LeadBytes, HpglCountsWhatAWalkOverEveryByteCounts) {
    ExpectSameOnCorpusAndRandom("HPGL", qm::ScanHPGLEveryByte,
                                {"PG;", "RP2;", "BP", "PE", ";", "PS100,200;", "\x1b", "\x1b*v1A", ")", "\n",
                                 "@PJL SET COPIES=2\n", "P", "R", "B"});
}

}  // namespace
