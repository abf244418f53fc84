// A job file truncated by another writer while it is being counted must not
// take the host down: the count returns, as if the job ended where the file
// now ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "jobfile/scanguard.h"
#include "testutil.h"

namespace {

TEST(Truncation, CountSurvivesTheFileShrinkingUnderIt) {
    // NCM scans byte by byte, so a count of 16 MB takes long enough for the
    // truncation to land in the middle of it.
    const size_t size = 16u << 20;
    std::string job(size, 'x');
    for (size_t i = 0; i + 6 < size; i += 4096) std::memcpy(&job[i], "\x1B\x7C\x01\x00\x06\x52", 6);
    qmtest::TempJob file(job);

    const uint64_t faultsBefore = qm::RecoveredReadFaults();
    std::mt19937 rng(7);
    const int iterations = 40;
    for (int it = 0; it < iterations; ++it) {
        if (it > 0) {
            const int fd = ::open(file.path(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, job.data(), job.size(), 0), static_cast<ssize_t>(job.size()));
            ::close(fd);
        }
        const auto delay = std::chrono::microseconds(rng() % 3000);
        std::thread truncator([&] {
            std::this_thread::sleep_for(delay);
            ASSERT_EQ(::truncate(file.path(), 4096), 0);
        });
        PageCountResult rec = qmtest::MarkedRecord();
        const int32_t code = GetTotalPageCount_BrotherNCM(file.path(), &rec);
        truncator.join();
        ASSERT_EQ(code, QM_OK);
        EXPECT_GE(rec.pages, 1u);
        EXPECT_LE(rec.pages, size / 4096);
    }
    // At least some truncations must have hit a scan in flight for this to
    // prove anything; the rest ended before or after it.
    RecordProperty("recovered_faults", std::to_string(qm::RecoveredReadFaults() - faultsBefore));
    std::printf("[ info ] %d truncations, %llu read faults recovered\n", iterations,
                static_cast<unsigned long long>(qm::RecoveredReadFaults() - faultsBefore));
}

TEST(Truncation, BodyThatDoesNotFaultRunsOnceAndCompletes) {
    // A body that runs normally is reported as complete.
    int ran = 0;
    const uint8_t byte = 0;
    EXPECT_TRUE(qm::RunGuarded([](void* p) { ++*static_cast<int*>(p); }, &ran, &byte, 1));
    EXPECT_EQ(ran, 1);
}

// A fault in bytes the guard does not cover is not the count's to recover:
// it must reach the default action, as it would without the guard.
TEST(TruncationDeathTest, FaultOutsideTheGuardedBytesIsNotSwallowed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    qmtest::TempJob file(std::string(2 * page, 'x'));
    const int fd = ::open(file.path(), O_RDONLY);
    void* map = ::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(::truncate(file.path(), 0), 0);
    const auto* base = static_cast<const uint8_t*>(map);
    auto touch = [](void* p) { (void)*static_cast<volatile const uint8_t*>(p); };
    EXPECT_DEATH(qm::RunGuarded(touch, const_cast<uint8_t*>(base + page), base, page), "");
    ::munmap(map, 2 * page);
    ::close(fd);
}

}  // namespace
