#include "accurate/pages.h"

#include <algorithm>
#include <limits>

namespace qm::accurate {

void PageLog::Add(const Page& page, uint32_t count) {
    count = std::min(count, std::numeric_limits<uint32_t>::max() - pages_);
    if (count == 0) return;
    pages_ += count;
    if (!runs_.empty() && runs_.back().page == page) {
        runs_.back().count += count;
        return;
    }
    if (runs_.size() >= kMaxRuns) {
        Run& last = runs_.back();
        if (last.page.color != page.color) last.page.color = QM_PAGE_COLOR_UNKNOWN;
        last.count += count;
        return;
    }
    runs_.push_back({page, count});
}

void PageLog::Resize(uint32_t pages, const Page& fill) {
    if (pages >= pages_) {
        Add(fill, pages - pages_);
        return;
    }
    uint32_t kept = 0;
    size_t i = 0;
    for (; i < runs_.size() && kept < pages; ++i) {
        runs_[i].count = std::min(runs_[i].count, pages - kept);
        kept += runs_[i].count;
    }
    runs_.resize(i);
    pages_ = pages;
}

uint32_t PageLog::Count(uint8_t color) const noexcept {
    uint32_t n = 0;
    for (const Run& r : runs_) {
        if (r.page.color == color) n += r.count;
    }
    return n;
}

}  // namespace qm::accurate
