// The little a store needs from a database: run one statement with bound
// parameters and read its rows. SQL is written once, with $1, $2, ... for
// parameters, and runs unchanged on SQLite and PostgreSQL.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qmacct {

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Param = std::variant<int64_t, double, std::string>;

class Row {
public:
    virtual ~Row() = default;
    virtual int64_t Int(int column) const = 0;
    virtual double Real(int column) const = 0;
    virtual std::string Text(int column) const = 0;
};

using RowHandler = std::function<void(const Row&)>;

class Database {
public:
    virtual ~Database() = default;
    // Runs one statement; every row goes to `onRow`, one at a time. Throws StoreError.
    virtual void Exec(const std::string& sql, const std::vector<Param>& params = {},
                      const RowHandler& onRow = {}) = 0;
    // Opens a transaction that will write, taking the write lock up front.
    virtual void BeginWrite() = 0;
    // Within a write transaction: waits until no other transaction holds `key`.
    virtual void LockKey(const std::string& key) = 0;
    virtual bool ReadOnly() const = 0;
};

// "sqlite:PATH"; the file is created when missing unless `readOnly`.
std::unique_ptr<Database> OpenSqlite(const std::string& path, int timeoutSeconds, bool readOnly);
// A libpq URI ("postgresql://...") or keyword/value connection string.
std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, int timeoutSeconds, bool readOnly);

}  // namespace qmacct
