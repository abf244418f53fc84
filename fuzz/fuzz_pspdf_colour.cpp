// libFuzzer target for the colour pass of PDF and PostScript: the first byte
// picks the language, the rest is the job, counted with its pages read for
// colour and settled into the page log as the accurate entry point does.
#include <cstdint>
#include <new>

#include "accurate/accurate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > UINT32_MAX) return 0;
    const qm::Bytes job(data + 1, static_cast<uint32_t>(size - 1));
    qm::accurate::Result r;
    try {
        const int32_t code = (data[0] & 1) ? qm::accurate::AccuratePDF(job, r) : qm::accurate::AccuratePOSTSCRIPT(job, r);
        if (code == QM_OK) {
            qm::accurate::Finish(r);
            uint32_t pages = 0;
            for (const auto& run : r.pages.Runs()) pages += run.count;
            if (pages != r.rec.pages) __builtin_trap();  // the log must agree with the count
        }
    } catch (const std::bad_alloc&) {
        // The entry point reports QM_E_FAIL; nothing leaks past it.
    }
    return 0;
}
