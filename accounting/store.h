// Where records are kept: one table, the same in SQLite and PostgreSQL,
// created and migrated by the version in its schema table.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "database.h"
#include "record.h"

namespace qmacct {

constexpr int kSchemaVersion = 1;

// Records whose time is in [from, to).
struct TimeRange {
    int64_t from = std::numeric_limits<int64_t>::min();
    int64_t to = std::numeric_limits<int64_t>::max();
};

struct QuotaCheck {
    uint64_t limit = 0;
    int64_t since = 0;  // start of the quota's period
};

struct PutResult {
    bool refused = false;
    uint64_t used = 0;  // pages the user printed on the queue in the period, this job left out
};

class Store {
public:
    // Takes an open database; migrates its schema unless read-only.
    explicit Store(std::unique_ptr<Database> db);

    // Writes the record: a new key adds it, a known key replaces the stored
    // version unless that one is newer (updatedUs). With a quota, in the same
    // transaction: when the user's printed pages on this queue since
    // quota->since (this job's own earlier version left out) plus this job's
    // would pass the limit, the record is written as refused.
    PutResult Put(Record& record, const QuotaCheck* quota = nullptr);
    // Writes many records in one transaction (journal replay).
    void PutAll(const std::vector<Record>& records);
    // Every record in the range, oldest first.
    void ForEach(const TimeRange& range, const std::function<void(const Record&)>& onRecord);

private:
    void Migrate();
    void Upsert(const Record& record);

    std::unique_ptr<Database> db_;
    bool empty_ = false;  // a read-only store with no schema yet: no records
};

// Opens "sqlite:PATH", "postgresql://..." / "postgres://..." (libpq URIs) or
// "postgresql:" followed by a libpq keyword/value string. Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string& url, int timeoutSeconds, bool readOnly = false);

}  // namespace qmacct
