// The journal: records that could not be stored wait here, one JSON object a
// line, until a later job or `quirometer accounting replay` moves them into
// the store. Appends and replays hold the file's lock, so a replay never
// drops a record appended meanwhile; replaying twice stores nothing twice
// (records are keyed, and an older version never replaces a newer one).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "record.h"

namespace qmacct {

class Store;

class Journal {
public:
    explicit Journal(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // Appends the record and syncs it to disk. False with `error` when it could not.
    bool Append(const Record& record, std::string& error) const;

    // True when there is something to replay (a cheap check for every job).
    bool Pending() const;

    struct ReplayResult {
        size_t stored = 0;     // records written to the store
        size_t malformed = 0;  // lines that were no record, moved to PATH.bad
        bool busy = false;     // another process holds the journal (only without `wait`)
    };
    // Moves every record into the store; the journal is emptied only when all
    // of them were stored. Throws StoreError (the journal kept whole) when the
    // store fails, std::runtime_error when the journal cannot be read.
    ReplayResult Replay(Store& store, bool wait) const;

private:
    std::string path_;
};

}  // namespace qmacct
