// libFuzzer target for one language without an export (QM_FUZZ_TAG): its
// accurate count over any bytes, and what every successful count promises,
// its page log included.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>

#include "accurate/accurate.h"

namespace {

using namespace qm::accurate;

const Language& Target() {
    static const Language* lang = FindLanguage(QM_FUZZ_TAG);
    if (lang == nullptr) __builtin_trap();
    return *lang;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Language& lang = Target();
    Result r;
    int32_t code = QM_OK;
    try {
        std::lock_guard<std::mutex> hold(GroupLock(lang.counter->group));
        code = lang.count(qm::Bytes(data, static_cast<uint32_t>(size)), r);
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
    if (code != QM_OK) return 0;
    Finish(r);
    if (r.rec.pages == 0 || r.rec.copies < 1 || r.rec.color > 1 || r.rec.duplex > 1) __builtin_trap();
    if (r.pages.Pages() != r.rec.pages) __builtin_trap();
    const uint32_t coloured = r.pages.Count(QM_PAGE_COLOR) + r.pages.Count(QM_PAGE_COLOR_UNKNOWN);
    if ((coloured > 0) != (r.rec.color == 1)) __builtin_trap();
    return 0;
}
