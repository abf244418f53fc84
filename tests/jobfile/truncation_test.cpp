// A job file truncated by another writer while it is being counted must not
// take the host down: the count returns, as if the job ended where the file
// now ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
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
        if (it > 0) {  // the whole job again
            ASSERT_TRUE(std::ofstream(file.path(), std::ios::binary).write(job.data(), size).flush());
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
    // Some truncations hit a scan in flight; the rest ended before or after it.
    std::printf("[ info ] %d truncations, %llu read faults recovered\n", iterations,
                static_cast<unsigned long long>(qm::RecoveredReadFaults() - faultsBefore));
}

// Two pages of a file mapped, then the file cut to nothing: reading any byte
// of the view faults.
struct ShrunkView {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    qmtest::TempJob file{std::string(2 * page, 'x')};
    const int fd = ::open(file.path(), O_RDONLY);
    uint8_t* base = static_cast<uint8_t*>(::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0));
    ShrunkView() {
        EXPECT_NE(static_cast<void*>(base), MAP_FAILED);
        EXPECT_EQ(::truncate(file.path(), 0), 0);
    }
    ~ShrunkView() {
        ::munmap(base, 2 * page);
        ::close(fd);
    }
};
void Touch(void* p) { (void)*static_cast<volatile const uint8_t*>(p); }

// A body that runs normally is reported complete; a fault on the first or the
// last byte the guard covers is recovered and reported.
TEST(Truncation, GuardCompletesABodyAndRecoversAFaultInItsBytes) {
    int ran = 0;
    const uint8_t byte = 0;
    EXPECT_TRUE(qm::RunGuarded([](void* p) { ++*static_cast<int*>(p); }, &ran, &byte, 1));
    EXPECT_EQ(ran, 1);
    ShrunkView v;
    EXPECT_FALSE(qm::RunGuarded(Touch, v.base, v.base, 2 * v.page));
    EXPECT_FALSE(qm::RunGuarded(Touch, v.base + 2 * v.page - 1, v.base, 2 * v.page));
}

// A fault in bytes the guard does not cover is not the count's to recover:
// it must reach the default action, as it would without the guard.
TEST(TruncationDeathTest, FaultOutsideTheGuardedBytesIsNotSwallowed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ShrunkView v;
    EXPECT_DEATH(qm::RunGuarded(Touch, v.base + v.page, v.base, v.page), "");
}

// A file cut short by another writer during the scan itself: the scan runs
// again on the bytes the file still holds, and its record is the one kept.
std::string gCutPath;
const uint32_t kPage = static_cast<uint32_t>(::sysconf(_SC_PAGESIZE));
int32_t CutThenReadLastByte(qm::Bytes b, uint32_t, PageCountResult& rec) {
    if (b.size > kPage && ::truncate(gCutPath.c_str(), kPage) != 0) return QM_E_FAIL;
    rec.pages = b.size;
    return b.data[b.size - 1] == 'x' ? QM_OK : QM_E_FAIL;
}
TEST(Truncation, AScanCutShortRunsAgainOnWhatIsLeft) {
    qmtest::TempJob file(std::string(3 * kPage, 'x'));
    gCutPath = file.path();
    PageCountResult rec{};
    EXPECT_EQ(qm::CountMappedFile(file.path(), &rec, CutThenReadLastByte, false), QM_OK);
    EXPECT_EQ(rec.pages, kPage);
}

// A file that faults on every run: given up after nine runs, as a read fault.
int gRuns = 0;
const uint8_t* gFirst = nullptr;
int32_t CutToNothingThenRead(qm::Bytes b, uint32_t, PageCountResult&) {
    if (gRuns++ == 0) {
        gFirst = b.data;
        if (::truncate(gCutPath.c_str(), 0) != 0) return QM_E_FAIL;
    }
    return *reinterpret_cast<volatile const uint8_t*>(gFirst) == 'x' ? QM_OK : QM_E_FAIL;
}
TEST(Truncation, AFileFaultingOnEveryRunIsAReadFault) {
    qmtest::TempJob file(std::string(3 * kPage, 'x'));
    gCutPath = file.path();
    PageCountResult rec{};
    EXPECT_EQ(qm::CountMappedFile(file.path(), &rec, CutToNothingThenRead, false), QM_HRESULT_FROM_WIN32(30));
    EXPECT_EQ(gRuns, 9);
}

// A bus error that is not the count's goes to the host's handler from before
// ours, called as it was installed; with none (or ignored), the default action.
void RaiseBusAfter(const struct sigaction& prior) {
    ::sigaction(SIGBUS, &prior, nullptr);
    qm::RunGuarded([](void*) {}, nullptr, nullptr, 0);  // the guard's handler goes on top
    ::raise(SIGBUS);
    ::raise(SIGBUS);
}
TEST(TruncationDeathTest, AForeignBusErrorReachesTheHandlerInstalledBefore) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct sigaction withInfo {}, plain {}, byDefault {}, ignored {};  // zero-filled: SIG_DFL
    withInfo.sa_flags = SA_SIGINFO;
    withInfo.sa_sigaction = [](int sig, siginfo_t* info, void*) { ::_exit(sig + (info->si_signo == SIGBUS ? 10 : 0)); };
    plain.sa_handler = [](int sig) { ::_exit(sig + 20); };
    ignored.sa_handler = SIG_IGN;
    EXPECT_EXIT(RaiseBusAfter(withInfo), ::testing::ExitedWithCode(SIGBUS + 10), "");
    EXPECT_EXIT(RaiseBusAfter(plain), ::testing::ExitedWithCode(SIGBUS + 20), "");
    EXPECT_EXIT(RaiseBusAfter(byDefault), ::testing::KilledBySignal(SIGBUS), "");
    EXPECT_EXIT(RaiseBusAfter(ignored), ::testing::KilledBySignal(SIGBUS), "");
}

}  // namespace
