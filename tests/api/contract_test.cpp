// Contracts every entry point keeps: no failure writes the record, and the
// counters the host may overlap give the same answers when they do.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "testutil.h"

namespace {

using qmtest::IsMarked;
using qmtest::MarkedRecord;
using qmtest::TempJob;

constexpr int32_t kNotBuilt = static_cast<int32_t>(0x80004001);

TEST(Contract, NoFailurePathWritesTheRecord) {
    TempJob empty("");
    const std::string missing = empty.dir() + "/missing.job";
    const std::string folder = empty.dir();
    for (const qm::CounterInfo& c : qm::Counters()) {
        for (const std::string& path : {missing, std::string(empty.path()), folder}) {
            PageCountResult rec = MarkedRecord();
            const int32_t code = c.entry(path.c_str(), &rec);
            if (code == kNotBuilt) continue;
            SCOPED_TRACE(std::string(c.tag) + " on " + path);
            if (code != QM_OK) {
                EXPECT_TRUE(IsMarked(rec));
            } else if (c.group == qm::Group::Pdf) {
                // The PDF counter reports a reader failure in the record.
                EXPECT_EQ(rec.pages, 0xFFFFFFFFu);
            } else {
                // A counter may treat an empty job as a job with nothing in
                // it; a missing file is never a success.
                EXPECT_NE(path, missing);
                EXPECT_FALSE(IsMarked(rec));
            }
        }
    }
}

TEST(Contract, RejectedJobsLeaveTheRecord) {
    // Bytes that carry no stream signature at all.
    const std::string junk(512, 'x');
    for (const char* tag : {"ZJSTREAM", "TALLYSTREAM", "ZIMF"}) {
        PageCountResult rec = MarkedRecord();
        const int32_t code = qmtest::CountFile(tag, junk, rec);
        if (code == kNotBuilt) continue;
        EXPECT_EQ(code, QM_E_FAIL) << tag;
        EXPECT_TRUE(IsMarked(rec)) << tag;
    }
}

// Jobs for the concurrency test: random bytes with the lead bytes of many
// languages sprinkled in, so that every counter does real work.
std::string MixedJob(uint32_t seed) {
    std::mt19937 rng(seed);
    std::string job(1 << 16, '\0');
    const char* pieces[] = {"\x0C", "\x1B", "@PJL SET COPIES=2\n", "%%Page: 1 1\n", "\x1B*b10W", "@F", "G\x02\x00",
                            "showpage", "\x1B" "E", "trailer"};
    for (char& ch : job) ch = static_cast<char>(rng() % 96 + 32);
    for (size_t i = 0; i + 32 < job.size(); i += 97) {
        const char* p = pieces[rng() % (sizeof pieces / sizeof pieces[0])];
        std::memcpy(&job[i], p, std::strlen(p));
    }
    return job;
}

TEST(Concurrency, OverlappingCallsGiveTheSameAnswers) {
    std::vector<std::unique_ptr<TempJob>> jobs;
    for (uint32_t s = 1; s <= 3; ++s) jobs.push_back(std::make_unique<TempJob>(MixedJob(s)));

    // Answers of one thread alone.
    qmtest::SilenceStdout quietAlone;
    std::map<std::pair<std::string, size_t>, std::pair<int32_t, PageCountResult>> alone;
    for (const qm::CounterInfo& c : qm::Counters())
        for (size_t j = 0; j < jobs.size(); ++j) {
            PageCountResult rec{};
            alone[{c.tag, j}] = {c.entry(jobs[j]->path(), &rec), rec};
        }

    qmtest::SilenceStdout quiet;
    // Four threads at once, each in its own order; calls of one group never
    // overlap, as the host guarantees.
    std::mutex groups[5];
    std::atomic<int> mismatches{0};
    auto worker = [&](uint32_t seed) {
        std::vector<std::pair<const qm::CounterInfo*, size_t>> order;
        for (const qm::CounterInfo& c : qm::Counters())
            for (size_t j = 0; j < jobs.size(); ++j) order.push_back({&c, j});
        std::shuffle(order.begin(), order.end(), std::mt19937(seed));
        for (int round = 0; round < 3; ++round)
            for (const auto& [c, j] : order) {
                PageCountResult rec{};
                std::unique_lock<std::mutex> lock;
                if (c->group != qm::Group::None) lock = std::unique_lock(groups[static_cast<int>(c->group)]);
                const int32_t code = c->entry(jobs[j]->path(), &rec);
                const auto& want = alone[{c->tag, j}];
                if (code != want.first || std::memcmp(&rec, &want.second, sizeof rec) != 0) {
                    ++mismatches;
                    ADD_FAILURE() << c->tag << " on job " << j << " differs when overlapped";
                }
            }
    };
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) threads.emplace_back(worker, t + 100);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
