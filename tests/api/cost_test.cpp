// What a count costs: a job of large records is walked by its headers alone,
// and no count allocates memory in proportion to the job.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "testutil.h"

// Heap accounting for the whole test program: bytes live and the peak since
// the last reset. Sizes come from the allocator itself, so no header is laid
// before the block; the functions stay out of line so no caller sees through them.
namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
void Note(int64_t delta) {
    const int64_t now = gLive.fetch_add(delta) + delta;
    int64_t peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
}
}  // namespace

__attribute__((noinline)) void* operator new(size_t n) {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    Note(static_cast<int64_t>(::malloc_usable_size(p)));
    return p;
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    Note(-static_cast<int64_t>(::malloc_usable_size(p)));
    std::free(p);
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

using qmtest::Be32;
using qmtest::TempJob;

// Makes `job` a sparse file of `size` bytes: only the pieces are written,
// each at its offset.
void WriteSparse(const TempJob& job, const std::vector<std::pair<uint64_t, std::string>>& pieces, uint64_t size) {
    const int fd = ::open(job.path(), O_RDWR);
    for (const auto& [at, bytes] : pieces)
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ::close(fd);
}

// A ZjStream job of `bytes`: 16 pages, each an end-of-page chunk followed by
// one huge raster chunk that is skipped whole, then the end of document.
void SparseZjsJob(const TempJob& job, uint64_t bytes) {
    auto chunk = [](uint32_t size, uint32_t type) { return Be32(size) + Be32(type) + Be32(0) + Be32(0x5A5A); };
    std::vector<std::pair<uint64_t, std::string>> pieces = {{0, "JZJZ"}};
    uint64_t at = 4;
    const uint32_t raster = static_cast<uint32_t>(bytes / 16 - 16);
    for (int p = 0; p < 16; ++p, at += 16 + raster) pieces.push_back({at, chunk(16, 3) + chunk(raster, 5)});
    pieces.push_back({at, chunk(16, 1)});
    WriteSparse(job, pieces, at + 16);
}

// A ZIMF job: "ZIMF", then 16 page records of `bytes` / 16 each.
void SparseZimfJob(const TempJob& job, uint64_t bytes) {
    const uint64_t stride = bytes / 16;
    std::vector<std::pair<uint64_t, std::string>> pieces = {{0, "ZIMF"}};
    uint64_t at = 4;
    for (int p = 0; p < 16; ++p, at += stride)
        pieces.push_back({at, qmtest::Bin({0xCD, 0x9A, 0xA9, 0xDC}) + qmtest::Le32(static_cast<uint32_t>(stride)) +
                                  std::string(8, '\0') + qmtest::Le32(13)});
    WriteSparse(job, pieces, at);
}

// Heap bytes a call adds at its peak.
template <class F>
int64_t HeapPeakOf(F&& call) {
    const int64_t before = gLive.load();
    gPeak.store(before);
    call();
    return gPeak.load() - before;
}

long MinorFaults() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt + u.ru_majflt;
}

// Counts a 1 GiB job of large records: only the record headers may be
// touched, in well under a frame of time, with no heap to speak of.
void ExpectHeaderWalk(const char* tag, const char* path, uint32_t pages, const char* what) {
    const qm::CounterInfo* c = qm::FindCounter(tag);
    PageCountResult rec{};
    ASSERT_EQ(c->entry(path, &rec), QM_OK);  // warm up the code paths
    const long faults0 = MinorFaults();
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t heap = HeapPeakOf([&] { ASSERT_EQ(c->entry(path, &rec), QM_OK); });
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const long touched = MinorFaults() - faults0;
    EXPECT_EQ(rec.pages, pages) << tag;
    // A few dozen headers on at most two pages each, plus the call's own pages.
    EXPECT_LT(touched, 200) << tag << ": pages touched";
    EXPECT_LT(ms, 50.0) << tag << ": " << what;
    EXPECT_LT(heap, 1 << 20) << tag << ": heap at the peak of a 1 GiB count";
    std::printf("[ info ] %s: %.3f ms, %ld pages touched, %lld heap bytes\n", what, ms, touched,
                static_cast<long long>(heap));
}

TEST(Cost, RecordWalksTouchOnlyTheHeadersOfAGigabyteJob) {
    const TempJob zjs("", "large.zjs"), zimf("", "large.zimf");
    SparseZjsJob(zjs, 1ull << 30);
    ExpectHeaderWalk("ZJSTREAM", zjs.path(), 16, "1 GiB ZjStream job of 33 records");
    SparseZimfJob(zimf, 1ull << 30);
    ExpectHeaderWalk("ZIMF", zimf.path(), 16, "1 GiB ZIMF job of 16 records");
}

TEST(Cost, NoCountAllocatesInProportionToTheJob) {
    // Every counter on the same large job of bytes that keep most scanners
    // busy; the heap peak of each count stays far below the job's size.
    std::string bytes(16u << 20, 'x');
    for (size_t i = 0; i < bytes.size(); i += 4099) bytes[i] = static_cast<char>(i % 251);
    TempJob job(bytes);
    bytes.clear();
    bytes.shrink_to_fit();
    qmtest::SilenceStdout quiet;
    for (const qm::CounterInfo& c : qm::Counters()) {
        PageCountResult rec{};
        const int64_t peak = HeapPeakOf([&] { c.entry(job.path(), &rec); });
        EXPECT_LT(peak, 1 << 20) << c.tag << " peaked at " << peak << " bytes on a 16 MiB job";
    }
}

}  // namespace
