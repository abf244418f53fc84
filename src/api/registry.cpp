#include "api/registry.h"

#include "api/counter_table.h"
#include "api/scanners.h"

#define QM_DEFINE_MAPPED(TAG, LANG, ORD, SKIP, GROUP, NOTJOB) \
    QM_MAPPED_ENTRY_POINT(TAG, ::qm::Scan##TAG, ::qm::SKIP)
#define QM_IGNORE(...)
QM_COUNTER_TABLE(QM_DEFINE_MAPPED, QM_IGNORE)

namespace qm {
namespace {

constexpr const char* kRejected = "not a job of this language";

#define QM_ROW_MAPPED(TAG, LANG, ORD, SKIP, GROUP, NOTJOB) \
    {#TAG, LANG, ORD, &GetTotalPageCount_##TAG, &Scan##TAG, SKIP, GROUP, NOTJOB},
#define QM_ROW_STREAM(TAG, LANG, ORD, GROUP, NOTJOB) {#TAG, LANG, ORD, &GetTotalPageCount_##TAG, nullptr, false, GROUP, NOTJOB},

const CounterInfo kCounters[] = {QM_COUNTER_TABLE(QM_ROW_MAPPED, QM_ROW_STREAM)};

}  // namespace

std::span<const CounterInfo> Counters() noexcept { return kCounters; }

const CounterInfo* FindCounter(std::string_view tag) noexcept {
    for (const CounterInfo& c : kCounters) {
        const std::string_view name(c.tag);
        if (name.size() == tag.size() && Bytes(name).matchesNoCase(0, tag)) return &c;
    }
    return nullptr;
}

}  // namespace qm
