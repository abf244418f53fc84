#include "store.h"

#include <array>
#include <string_view>

namespace qmacct {

namespace {

// The columns of quirometer_jobs, in the order Upsert binds them and
// ForEach reads them.
constexpr std::array<std::string_view, 23> kColumns = {
    "server", "printer", "job_id", "time", "updated_us", "user_name", "title", "cups_copies",
    "file_size", "pdl", "pages", "copies", "color_pages", "color_unknown_pages", "duplex", "sheets",
    "printed", "paper_width", "paper_length", "certainty", "unknown", "status", "error"};

// Schema steps; step i brings the store from version i to i + 1. The types
// are ones both SQLite and PostgreSQL take.
constexpr std::array<std::string_view, kSchemaVersion> kMigrations = {
    "CREATE TABLE quirometer_jobs ("
    " server TEXT NOT NULL, printer TEXT NOT NULL, job_id BIGINT NOT NULL,"
    " time BIGINT NOT NULL, updated_us BIGINT NOT NULL, user_name TEXT NOT NULL, title TEXT NOT NULL,"
    " cups_copies BIGINT NOT NULL, file_size BIGINT NOT NULL, pdl TEXT NOT NULL,"
    " pages BIGINT NOT NULL, copies BIGINT NOT NULL, color_pages BIGINT NOT NULL,"
    " color_unknown_pages BIGINT NOT NULL, duplex INTEGER NOT NULL, sheets BIGINT NOT NULL,"
    " printed BIGINT NOT NULL, paper_width DOUBLE PRECISION NOT NULL, paper_length DOUBLE PRECISION NOT NULL,"
    " certainty TEXT NOT NULL, unknown TEXT NOT NULL, status TEXT NOT NULL, error TEXT NOT NULL,"
    " PRIMARY KEY (server, printer, job_id));"
    "CREATE INDEX quirometer_jobs_time ON quirometer_jobs (time);"
    "CREATE INDEX quirometer_jobs_quota ON quirometer_jobs (server, printer, user_name, time)",
};

std::string ColumnList() {
    std::string s;
    for (const auto c : kColumns) {
        if (!s.empty()) s += ", ";
        s += c;
    }
    return s;
}

std::string UpsertSql() {
    std::string values, updates;
    for (size_t i = 0; i < kColumns.size(); ++i) {
        values += (i ? ", $" : "$") + std::to_string(i + 1);
        if (i >= 3) {
            if (!updates.empty()) updates += ", ";
            updates += std::string(kColumns[i]) + " = excluded." + std::string(kColumns[i]);
        }
    }
    return "INSERT INTO quirometer_jobs (" + ColumnList() + ") VALUES (" + values +
           ") ON CONFLICT (server, printer, job_id) DO UPDATE SET " + updates +
           " WHERE quirometer_jobs.updated_us <= excluded.updated_us";
}

std::vector<Param> Bind(const Record& r) {
    const auto i = [](uint64_t v) { return Param{static_cast<int64_t>(v)}; };
    return {r.server, r.printer, r.jobId, r.time, r.updatedUs, r.user, r.title,
            i(r.cupsCopies), i(r.fileSize), r.pdl, i(r.pages), i(r.copies), i(r.colorPages),
            i(r.colorUnknownPages), int64_t{r.duplex}, i(r.sheets), i(r.Printed()), r.paperWidth,
            r.paperLength, r.certainty, r.unknown, std::string(StatusName(r.status)), r.error};
}

Record Read(const Row& row) {
    Record r;
    const auto u32 = [&](int c) { return static_cast<uint32_t>(row.Int(c)); };
    r.server = row.Text(0);
    r.printer = row.Text(1);
    r.jobId = row.Int(2);
    r.time = row.Int(3);
    r.updatedUs = row.Int(4);
    r.user = row.Text(5);
    r.title = row.Text(6);
    r.cupsCopies = u32(7);
    r.fileSize = static_cast<uint64_t>(row.Int(8));
    r.pdl = row.Text(9);
    r.pages = u32(10);
    r.copies = u32(11);
    r.colorPages = u32(12);
    r.colorUnknownPages = u32(13);
    r.duplex = row.Int(14) != 0;
    r.sheets = static_cast<uint64_t>(row.Int(15));
    r.paperWidth = row.Real(17);
    r.paperLength = row.Real(18);
    r.certainty = row.Text(19);
    r.unknown = row.Text(20);
    r.status = StatusFromName(row.Text(21)).value_or(Status::Failed);
    r.error = row.Text(22);
    return r;
}

// Commits at Commit(), rolls back when left any other way.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { db_.BeginWrite(); }
    ~Transaction() {
        if (open_) {
            try {
                db_.Exec("ROLLBACK");
            } catch (const StoreError&) {
            }
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        db_.Exec("COMMIT");
        open_ = false;
    }

private:
    Database& db_;
    bool open_ = true;
};

}  // namespace

Store::Store(std::unique_ptr<Database> db) : db_(std::move(db)) { Migrate(); }

void Store::Migrate() {
    const auto version = [&] {
        int64_t v = 0;
        try {
            db_->Exec("SELECT MAX(version) FROM quirometer_schema", {}, [&](const Row& row) { v = row.Int(0); });
        } catch (const StoreError&) {
            v = 0;  // no schema table yet
        }
        return v;
    };
    int64_t v = version();
    if (v > kSchemaVersion)
        throw StoreError("the store's schema is version " + std::to_string(v) + ", newer than this program's " +
                         std::to_string(kSchemaVersion));
    if (v == kSchemaVersion) return;
    if (db_->ReadOnly()) {
        if (v != 0) throw StoreError("the store's schema is old; open it once for writing to migrate it");
        empty_ = true;
        return;
    }
    Transaction tx(*db_);
    db_->LockKey("quirometer schema");
    db_->Exec("CREATE TABLE IF NOT EXISTS quirometer_schema (version INTEGER NOT NULL)");
    v = version();  // another writer may have migrated meanwhile
    for (; v < kSchemaVersion; ++v) {
        std::string_view steps = kMigrations[static_cast<size_t>(v)];
        while (!steps.empty()) {
            const size_t end = steps.find(';');
            db_->Exec(std::string(steps.substr(0, end)));
            steps.remove_prefix(end == std::string_view::npos ? steps.size() : end + 1);
        }
    }
    db_->Exec("DELETE FROM quirometer_schema");
    db_->Exec("INSERT INTO quirometer_schema (version) VALUES ($1)", {int64_t{kSchemaVersion}});
    tx.Commit();
}

void Store::Upsert(const Record& record) {
    static const std::string sql = UpsertSql();
    db_->Exec(sql, Bind(record));
}

PutResult Store::Put(Record& record, const QuotaCheck* quota) {
    PutResult result;
    Transaction tx(*db_);
    if (quota != nullptr) {
        db_->LockKey("quirometer quota " + record.server + '\n' + record.printer + '\n' + record.user);
        int64_t used = 0;
        db_->Exec(
            "SELECT COALESCE(SUM(printed), 0) FROM quirometer_jobs WHERE server = $1 AND printer = $2"
            " AND user_name = $3 AND status = 'printed' AND time >= $4 AND job_id <> $5",
            {record.server, record.printer, record.user, quota->since, record.jobId},
            [&](const Row& row) { used = row.Int(0); });
        result.used = static_cast<uint64_t>(used < 0 ? 0 : used);
        if (result.used + record.Printed() > quota->limit) {
            result.refused = true;
            record.status = Status::Refused;
        }
    }
    Upsert(record);
    tx.Commit();
    return result;
}

void Store::PutAll(const std::vector<Record>& records) {
    Transaction tx(*db_);
    for (const Record& r : records) Upsert(r);
    tx.Commit();
}

void Store::ForEach(const TimeRange& range, const std::function<void(const Record&)>& onRecord) {
    if (empty_) return;
    db_->Exec("SELECT " + ColumnList() +
                  " FROM quirometer_jobs WHERE time >= $1 AND time < $2 ORDER BY time, server, printer, job_id",
              {range.from, range.to}, [&](const Row& row) { onRecord(Read(row)); });
}

std::unique_ptr<Store> OpenStore(const std::string& url, int timeoutSeconds, bool readOnly) {
    const std::string_view u = url;
    if (u.starts_with("sqlite:")) {
        const std::string path(u.substr(7));
        if (path.empty()) throw StoreError("the store 'sqlite:' names no file");
        return std::make_unique<Store>(OpenSqlite(path, timeoutSeconds, readOnly));
    }
    if (u.starts_with("postgresql://") || u.starts_with("postgres://"))
        return std::make_unique<Store>(OpenPostgres(url, timeoutSeconds, readOnly));
    if (u.starts_with("postgresql:"))
        return std::make_unique<Store>(OpenPostgres(url.substr(11), timeoutSeconds, readOnly));
    if (u.starts_with("postgres:"))
        return std::make_unique<Store>(OpenPostgres(url.substr(9), timeoutSeconds, readOnly));
    throw StoreError("unknown store '" + url + "' (sqlite:PATH or postgresql://...)");
}

}  // namespace qmacct
