// The pages of one copy, as the accurate counters find them: colour, paper
// and side per page. Pages alike are kept as one run, so a job of many
// similar pages takes a few runs whatever its length; the number of runs is
// capped, so no job can make the log grow without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quirometer/quirometer.h"

namespace qm::accurate {

struct Page {
    uint8_t color = QM_PAGE_COLOR_UNKNOWN;  // QM_PAGE_*
    uint8_t side = QM_SIDE_NONE;            // QM_SIDE_*; none: from the job's duplex when delivered
    double paperWidth = 0.0;                // inches; 0 x 0: the job's paper when delivered
    double paperLength = 0.0;

    bool operator==(const Page&) const = default;
};

class PageLog {
public:
    // At most this many runs are kept; past it a page joins the last run,
    // whose colour becomes unknown where the two differ.
    static constexpr size_t kMaxRuns = size_t{1} << 20;

    void Add(const Page& page, uint32_t count = 1);
    // Cuts the log to `pages`, or extends it with `fill`.
    void Resize(uint32_t pages, const Page& fill);
    void Clear() noexcept {
        runs_.clear();
        pages_ = 0;
    }

    uint32_t Pages() const noexcept { return pages_; }
    bool Empty() const noexcept { return pages_ == 0; }
    uint32_t Count(uint8_t color) const noexcept;

    struct Run {
        Page page;
        uint32_t count;
    };
    const std::vector<Run>& Runs() const noexcept { return runs_; }

private:
    std::vector<Run> runs_;
    uint32_t pages_ = 0;
};

}  // namespace qm::accurate
