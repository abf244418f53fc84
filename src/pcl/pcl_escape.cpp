#include "pcl/pcl_escape.h"

namespace qm {

uint32_t CommandBlockSkip::operator()(Bytes job, uint32_t i) noexcept {
    if (!job.has(i, 3) || job[i] != '!' || (job[i + 1] != 'R' && job[i + 1] != 'r') || job[i + 2] != '!') return i;
    // The first "EXIT;" that starts at or after i, found by its ";". A search
    // from a later index finds the same one as long as it starts before it.
    const bool known = searchedFrom_ <= i && (found_ >= job.size || found_ - 4 >= i);
    if (!known) {
        uint32_t q = job.find(i + 4 <= job.size ? i + 4 : job.size, ';');
        while (q < job.size && !job.matchesNoCase(q - 4, "EXIT")) q = job.find(q + 1, ';');
        searchedFrom_ = i;
        found_ = q;
    }
    if (found_ >= job.size || found_ + 1 >= job.size) return i;
    return found_;
}

PageCountResult& SharedPclRecord() noexcept {
    static PageCountResult record{};
    return record;
}

}  // namespace qm
