// The SQLite store: one file in WAL mode, so readers never block the
// backends that write, with a busy timeout so that concurrent backends queue
// for the write lock instead of failing.
#include <sqlite3.h>

#include "database.h"

namespace qmacct {

namespace {

// $N (the shared SQL's parameters) as SQLite's ?N.
std::string ToSqlite(const std::string& sql) {
    std::string out = sql;
    for (char& c : out)
        if (c == '$') c = '?';
    return out;
}

class SqliteRow final : public Row {
public:
    explicit SqliteRow(sqlite3_stmt* stmt) : stmt_(stmt) {}
    int64_t Int(int column) const override { return sqlite3_column_int64(stmt_, column); }
    double Real(int column) const override { return sqlite3_column_double(stmt_, column); }
    std::string Text(int column) const override {
        const auto* text = sqlite3_column_text(stmt_, column);
        const int n = sqlite3_column_bytes(stmt_, column);
        return text != nullptr ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n)) : "";
    }

private:
    sqlite3_stmt* stmt_;
};

class Sqlite final : public Database {
public:
    Sqlite(const std::string& path, int timeoutSeconds, bool readOnly) : readOnly_(readOnly) {
        const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                          SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw StoreError("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, timeoutSeconds * 1000);
        // The last connection to close would checkpoint the log into the
        // file and sync both: that doubled the time a job spends recording.
        // Writers checkpoint as the log grows (every 1000 pages) instead.
        if (!readOnly) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        try {
            if (!readOnly) Exec("PRAGMA journal_mode = WAL", {}, {});
            Exec("PRAGMA synchronous = FULL", {}, {});  // a record is on disk before the job is sent
        } catch (...) {
            sqlite3_close(db_);
            throw;
        }
    }
    ~Sqlite() override { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void Exec(const std::string& sql, const std::vector<Param>& params, const RowHandler& onRow) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, ToSqlite(sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK) Fail();
        struct Finalize {
            sqlite3_stmt* s;
            ~Finalize() { sqlite3_finalize(s); }
        } guard{stmt};
        for (size_t i = 0; i < params.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            const Param& p = params[i];
            int rc = SQLITE_OK;
            if (const auto* n = std::get_if<int64_t>(&p)) rc = sqlite3_bind_int64(stmt, at, *n);
            else if (const auto* d = std::get_if<double>(&p)) rc = sqlite3_bind_double(stmt, at, *d);
            else {
                const auto& s = std::get<std::string>(p);
                rc = sqlite3_bind_text64(stmt, at, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            }
            if (rc != SQLITE_OK) Fail();
        }
        const SqliteRow row(stmt);
        for (;;) {
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) Fail();
            if (onRow) onRow(row);
        }
    }
    void BeginWrite() override { Exec("BEGIN IMMEDIATE", {}, {}); }
    void LockKey(const std::string&) override {}  // BEGIN IMMEDIATE already holds the only write lock
    bool ReadOnly() const override { return readOnly_; }

private:
    [[noreturn]] void Fail() { throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(db_)); }

    sqlite3* db_ = nullptr;
    bool readOnly_;
};

}  // namespace

std::unique_ptr<Database> OpenSqlite(const std::string& path, int timeoutSeconds, bool readOnly) {
    return std::make_unique<Sqlite>(path, timeoutSeconds, readOnly);
}

}  // namespace qmacct
