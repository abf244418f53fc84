// libFuzzer targets for the accurate path. fuzz_detect: the wrapper reader
// and every language's bid over the input. fuzz_accurate: the accurate
// count of the language detection finds, or, when none is found, of the
// language the first byte picks over the bytes after it.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "accurate/accurate.h"
#include "fuzz_count.h"
#include "quirometer/quirometer.h"

namespace {

using namespace qm::accurate;

void TakeLine(const char*, void*) {}

#ifdef QM_FUZZ_ACCURATE
void CountWith(const Language& lang, qm::Bytes bytes) {
    Result r;
    if (!qmfuzz::CountAndSettle(lang, bytes, r)) return;
    // What every successful accurate count promises.
    if (r.rec.copies < 1 || r.rec.color > 1 || r.rec.duplex > 1) __builtin_trap();
    const bool paper = r.rec.paperWidth > 0.0 && r.rec.paperLength > 0.0;
    const bool unknownPaper = r.rec.paperWidth == 0.0 && r.rec.paperLength == 0.0 && (r.unknown & QM_FIELD_PAPER);
    if (!paper && !unknownPaper) __builtin_trap();
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QuirometerSetDebugOutput(&TakeLine, nullptr);
    // Interpreter traces would flood the fuzzer's output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const qm::Bytes job(data, static_cast<uint32_t>(size));
#ifdef QM_FUZZ_ACCURATE
    const Detection found = Detect(job);
    if (found.winner != nullptr) {
        CountWith(*found.winner, job);
    } else if (size > 0) {
        const auto languages = Languages();
        CountWith(languages[data[0] % languages.size()], qm::Bytes(data + 1, static_cast<uint32_t>(size - 1)));
    }
#else
    char pjl[32], ejl[32];
    const BidInput in = Unwrap(job, pjl, ejl);
    if (in.body > in.head.size || in.head.size > kHeadBytes || in.tail.size > kTailBytes) __builtin_trap();
    if (in.pjlLanguage.size() >= sizeof pjl || in.ejlLanguage.size() >= sizeof ejl) __builtin_trap();
    const Detection found = Detect(job);
    // A winner outbids every other language.
    if (found.winner != nullptr) {
        for (const Language& l : Languages()) {
            if (&l != found.winner && l.bid(in) >= found.best) __builtin_trap();
        }
    }
#endif
    return 0;
}
