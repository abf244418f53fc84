// What the label languages have in common once their labels are counted.
#pragma once

#include <algorithm>
#include <cstdint>

#include "accurate/accurate.h"

namespace qm::accurate {

// The job behind its wrapper (PJL, EJL, NULs).
inline Bytes LabelBody(Bytes job) noexcept {
    char pjl[32], ejl[32];
    const uint32_t body = Unwrap(job, pjl, ejl).body;
    return Bytes(job.data + body, job.left(body));
}

// Records `labels` print commands: pages and copies when they all print
// `common` copies (common > 0), else each label as printed (`printed`).
// Labels print black.
inline void RecordLabels(Result& out, uint32_t labels, uint32_t common, uint64_t printed) {
    out.rec.pages = common > 0 ? labels : static_cast<uint32_t>(std::min<uint64_t>(printed, UINT32_MAX));
    out.rec.copies = std::max(common, 1u);
    out.pages.Add(Page{QM_PAGE_MONO, QM_SIDE_NONE, 0, 0}, out.rec.pages);
}

}  // namespace qm::accurate
