// The accurate count as the fuzz targets run it: under its group's lock,
// allocation and parse failures taken as "no count", and the record settled.
#pragma once

#include <exception>
#include <mutex>
#include <new>

#include "accurate/accurate.h"

namespace qmfuzz {

// True when the count succeeded; `r` then holds the settled record and pages.
inline bool CountAndSettle(const qm::accurate::Language& lang, qm::Bytes bytes, qm::accurate::Result& r) {
    int32_t code = QM_OK;
    try {
        std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(lang.counter->group));
        code = lang.count(bytes, r);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
    if (code != QM_OK) return false;
    qm::accurate::Finish(r);
    return true;
}

}  // namespace qmfuzz
