// Plain text wrapped for a PCL printer by a print filter: pages are the
// filter's page-eject sequence "ESC & l 0 h 1"; nothing else counts.
#include <cstring>

#include "api/scanners.h"
#include "pcl/pcl_escape.h"

namespace qm {
namespace {

constexpr uint8_t kPageEject[] = {kEsc, '&', 'l', '0', 'h', '1'};

}  // namespace

int32_t ScanUnixTextPCL(Bytes job, uint32_t start, PageCountResult& rec) {
    CommandBlockSkip blocks;
    uint32_t pages = 0;
    for (uint32_t i = job.find(blocks(job, start), kEsc); i < job.size; i = job.find(i + 1, kEsc)) {
        if (job.matches(i, kPageEject, sizeof kPageEject)) ++pages;
    }
    PageCountResult& r = SharedPclRecord();
    r.pages = pages;
    r.copies = 1;
    r.color = 0;
    r.duplex = 0;
    std::memset(r.reserved, 0, sizeof r.reserved);
    r.paperLength = 0.0;
    r.paperWidth = 0.0;
    rec = r;
    return QM_OK;
}

}  // namespace qm
