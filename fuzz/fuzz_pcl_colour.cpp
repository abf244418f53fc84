// libFuzzer target for the colour pass of PCL 5 and PCL XL: the same bytes
// go through the PCL 5 reading with its page log, the PCL XL page walk, and
// the raster row decoders (the method taken from the input's length), with
// no file and no export in between.
#include <cstdint>
#include <new>
#include <vector>

#include "accurate/accurate.h"
#include "pcl/pcl_accurate.h"
#include "pcl/pclxl_accurate.h"
#include "pcl/raster_accurate.h"

namespace {

// What every page log promises: no more runs than its cap, and its pages
// the sum of its runs, each of a known colour.
void Check(const qm::accurate::PageLog& log) {
    uint64_t pages = 0;
    for (const qm::accurate::PageLog::Run& run : log.Runs()) {
        if (run.page.color > QM_PAGE_COLOR_UNKNOWN) __builtin_trap();
        pages += run.count;
    }
    if (pages != log.Pages() || log.Runs().size() > qm::accurate::PageLog::kMaxRuns) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const qm::Bytes job(data, static_cast<uint32_t>(size));
    try {
        qm::accurate::Result pcl;
        if (qm::pclaccurate::CountPcl5(job, pcl) == QM_OK) {
            if (pcl.pages.Pages() != pcl.rec.pages) __builtin_trap();  // one logged page per ejected side
            Check(pcl.pages);
        }
        qm::accurate::PageLog xl;
        qm::pclxlaccurate::LogPages(job, xl);
        Check(xl);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // A row as long as the data's first byte says, decoded in place.
    std::vector<uint8_t> row(size > 0 ? data[0] : 0, 0xA5);
    const int methods[] = {0, 1, 2, 3, 9, 10};
    qm::pclraster::DecodeRow(methods[size % 6], job, row);
    qm::pclraster::PackBitsStream stream{job};
    for (int rows = 0; rows < 64 && stream.Next(row) && !row.empty(); ++rows) {}
    return 0;
}
