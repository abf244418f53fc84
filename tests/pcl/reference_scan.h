// Runs a counter's scanner and its every-byte form on the same bytes and
// expects the same return code, record and diagnostic lines.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/registry.h"
#include "casefile.h"

namespace qmtest {

struct ScanOutcome {
    int32_t code;
    PageCountResult rec;
    std::vector<std::string> lines;
};

inline ScanOutcome RunScan(qm::MappedScan scan, bool skipLeadingNul, const std::string& bytes) {
    CapturedLines captured;
    ScanOutcome o{0, MarkedRecord(), {}};
    const qmtest::Guarded job(bytes);  // a read past its end faults
    o.code = qm::CountBytes(job.bytes(), &o.rec, scan, skipLeadingNul);
    o.lines = captured.lines();
    return o;
}

inline void ExpectSameScan(const char* tag, qm::MappedScan everyByte, const std::string& bytes,
                           const std::string& what) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    ASSERT_NE(c, nullptr) << tag;
    const ScanOutcome fast = RunScan(c->scan, c->skipLeadingNul, bytes);
    const ScanOutcome plain = RunScan(everyByte, c->skipLeadingNul, bytes);
    EXPECT_EQ(fast.code, plain.code) << what;
    EXPECT_EQ(0, std::memcmp(&fast.rec, &plain.rec, sizeof fast.rec)) << what;
    EXPECT_EQ(fast.lines, plain.lines) << what;
}

// The corpus and sample jobs of one tag.
inline std::vector<std::string> RealJobs(const char* tag) {
    std::vector<std::string> jobs;
    for (const std::string dir : {QM_SOURCE_DIR "/tests/corpus", QM_SOURCE_DIR "/samples"}) {
        std::string error;
        for (const CaseRow& row : ReadTsv(dir + "/truth.tsv", "truth.tsv", error))
            if (row.text("tag") == tag) jobs.push_back(ReadFile(dir + "/" + row.text("file")));
        EXPECT_TRUE(error.empty()) << error;
    }
    return jobs;
}

// Random bytes where about half are drawn from `pieces` (lead bytes and the
// commands they start), so that patterns straddle every 16-byte boundary.
inline std::string LeadHeavyBytes(uint32_t seed, size_t size, const std::vector<std::string>& pieces) {
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < size) {
        if (rng() % 2 == 0) {
            out += pieces[rng() % pieces.size()];
        } else {
            out += static_cast<char>(rng() & 0xFF);
        }
    }
    return out;
}

// Every job of the tag, lead-heavy random jobs, and the first real job cut
// at a hundred places (a pattern cut by the end of the data).
inline void ExpectSameOnCorpusAndRandom(const char* tag, qm::MappedScan everyByte,
                                        const std::vector<std::string>& pieces) {
    const std::vector<std::string> real = RealJobs(tag);
    for (size_t k = 0; k < real.size(); ++k) ExpectSameScan(tag, everyByte, real[k], "real job " + std::to_string(k));
    for (uint32_t seed = 1; seed <= 40; ++seed)
        ExpectSameScan(tag, everyByte, LeadHeavyBytes(seed, 64 + seed * 97, pieces), "seed " + std::to_string(seed));
    if (!real.empty()) {
        const std::string& head = real.front();
        for (size_t k = 1; k <= 100; ++k) {
            const size_t n = head.size() * k / 101 + k % 16;
            ExpectSameScan(tag, everyByte, head.substr(0, n), "cut " + std::to_string(n));
        }
    }
}

}  // namespace qmtest
