// The PostgreSQL store, for several print servers writing to one database.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>

#include "database.h"

namespace qmacct {

namespace {

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

class PostgresRow final : public Row {
public:
    PostgresRow(const PGresult* result, int row) : result_(result), row_(row) {}
    int64_t Int(int column) const override { return std::strtoll(Value(column), nullptr, 10); }
    double Real(int column) const override { return std::strtod(Value(column), nullptr); }
    std::string Text(int column) const override {
        return std::string(Value(column), static_cast<size_t>(PQgetlength(result_, row_, column)));
    }

private:
    const char* Value(int column) const { return PQgetvalue(result_, row_, column); }
    const PGresult* result_;
    int row_;
};

class Postgres final : public Database {
public:
    Postgres(const std::string& conninfo, int timeoutSeconds, bool readOnly) : readOnly_(readOnly) {
        // connect_timeout first: a value in the connection string overrides it.
        const std::string timeout = std::to_string(timeoutSeconds > 0 ? timeoutSeconds : 1);
        const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
        const char* values[] = {timeout.c_str(), "quirometer", conninfo.c_str(), nullptr};
        conn_ = PQconnectdbParams(keys, values, 1);
        if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
            const std::string why = conn_ != nullptr ? PQerrorMessage(conn_) : "out of memory";
            PQfinish(conn_);
            conn_ = nullptr;
            throw StoreError("postgresql: cannot connect: " + Chomp(why));
        }
        // A locked row or table must not hold a print job for long.
        Exec("SET lock_timeout = " + std::to_string(timeoutSeconds * 1000), {}, {});
        if (readOnly) Exec("SET default_transaction_read_only = on", {}, {});
    }
    ~Postgres() override { PQfinish(conn_); }
    Postgres(const Postgres&) = delete;
    Postgres& operator=(const Postgres&) = delete;

    void Exec(const std::string& sql, const std::vector<Param>& params, const RowHandler& onRow) override {
        std::vector<std::string> text;
        text.reserve(params.size());
        for (const Param& p : params) {
            if (const auto* n = std::get_if<int64_t>(&p)) text.push_back(std::to_string(*n));
            else if (const auto* d = std::get_if<double>(&p)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.17g", *d);
                text.emplace_back(buf);
            } else text.push_back(std::get<std::string>(p));
        }
        std::vector<const char*> values;
        for (const auto& t : text) values.push_back(t.c_str());
        if (PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                              nullptr, 0) == 0)
            Fail(PQerrorMessage(conn_));
        // Rows one at a time, so a large report does not sit in memory whole.
        PQsetSingleRowMode(conn_);
        std::string error;
        while (PGresult* raw = PQgetResult(conn_)) {
            const Result r(raw);
            const auto status = PQresultStatus(raw);
            if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
                if (onRow && error.empty())
                    for (int i = 0; i < PQntuples(raw); ++i) onRow(PostgresRow(raw, i));
            } else if (status != PGRES_COMMAND_OK && error.empty()) {
                error = PQresultErrorMessage(raw);
            }
        }
        if (!error.empty()) Fail(error);
    }
    void BeginWrite() override { Exec("BEGIN", {}, {}); }
    void LockKey(const std::string& key) override {
        Exec("SELECT pg_advisory_xact_lock(hashtext($1))", {key}, {});
    }
    bool ReadOnly() const override { return readOnly_; }

private:
    static std::string Chomp(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
        return s;
    }
    [[noreturn]] void Fail(const std::string& why) { throw StoreError("postgresql: " + Chomp(why)); }

    PGconn* conn_ = nullptr;
    bool readOnly_;
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, int timeoutSeconds, bool readOnly) {
    return std::make_unique<Postgres>(conninfo, timeoutSeconds, readOnly);
}

}  // namespace qmacct
