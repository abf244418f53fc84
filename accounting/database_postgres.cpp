// The PostgreSQL store, for several print servers writing to one database.
// libpq is loaded when a PostgreSQL store is opened: its dependencies (TLS,
// Kerberos, LDAP) would otherwise add to the start of every backend run of
// every SQLite installation.
#include <dlfcn.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "database.h"

namespace qmacct {

namespace {

// The libpq functions the store calls, resolved from libpq.so.5.
struct LibPq {
#define QM_PQ_FUNCTIONS(X)                                                                              \
    X(PQconnectdbParams) X(PQstatus) X(PQerrorMessage) X(PQfinish) X(PQsendQueryParams)                 \
    X(PQsetSingleRowMode) X(PQgetResult) X(PQresultStatus) X(PQntuples) X(PQresultErrorMessage)         \
    X(PQclear) X(PQgetvalue) X(PQgetlength)
#define QM_PQ_MEMBER(name) decltype(&::name) name = nullptr;
    QM_PQ_FUNCTIONS(QM_PQ_MEMBER)
#undef QM_PQ_MEMBER
    std::string error;  // why it could not be loaded; empty when it was
};

const LibPq& Pq() {
    static LibPq pq;
    static std::once_flag once;
    std::call_once(once, [] {
        void* lib = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr) {
            pq.error = std::string("the PostgreSQL store needs libpq (libpq5): ") + ::dlerror();
            return;
        }
#define QM_PQ_RESOLVE(name)                                                                     \
    pq.name = reinterpret_cast<decltype(&::name)>(::dlsym(lib, #name));                         \
    if (pq.name == nullptr && pq.error.empty()) pq.error = "libpq.so.5 has no " #name;
        QM_PQ_FUNCTIONS(QM_PQ_RESOLVE)
#undef QM_PQ_RESOLVE
    });
    return pq;
}

struct ResultDeleter {
    void operator()(PGresult* r) const { Pq().PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

class PostgresRow final : public Row {
public:
    PostgresRow(const PGresult* result, int row) : result_(result), row_(row) {}
    int64_t Int(int column) const override { return std::strtoll(Value(column), nullptr, 10); }
    double Real(int column) const override { return std::strtod(Value(column), nullptr); }
    std::string Text(int column) const override {
        return std::string(Value(column), static_cast<size_t>(Pq().PQgetlength(result_, row_, column)));
    }

private:
    const char* Value(int column) const { return Pq().PQgetvalue(result_, row_, column); }
    const PGresult* result_;
    int row_;
};

class Postgres final : public Database {
public:
    Postgres(const std::string& conninfo, int timeoutSeconds, bool readOnly) : readOnly_(readOnly) {
        if (!Pq().error.empty()) throw StoreError(Pq().error);
        // connect_timeout first: a value in the connection string overrides it.
        const std::string timeout = std::to_string(timeoutSeconds > 0 ? timeoutSeconds : 1);
        const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
        const char* values[] = {timeout.c_str(), "quirometer", conninfo.c_str(), nullptr};
        conn_ = Pq().PQconnectdbParams(keys, values, 1);
        if (conn_ == nullptr || Pq().PQstatus(conn_) != CONNECTION_OK) {
            const std::string why = conn_ != nullptr ? Pq().PQerrorMessage(conn_) : "out of memory";
            Pq().PQfinish(conn_);
            conn_ = nullptr;
            throw StoreError("postgresql: cannot connect: " + Chomp(why));
        }
        // A locked row or table must not hold a print job for long.
        Exec("SET lock_timeout = " + std::to_string(timeoutSeconds * 1000), {}, {});
        if (readOnly) Exec("SET default_transaction_read_only = on", {}, {});
    }
    ~Postgres() override { Pq().PQfinish(conn_); }
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
        if (Pq().PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                              nullptr, 0) == 0)
            Fail(Pq().PQerrorMessage(conn_));
        // Rows one at a time, so a large report does not sit in memory whole.
        Pq().PQsetSingleRowMode(conn_);
        std::string error;
        while (PGresult* raw = Pq().PQgetResult(conn_)) {
            const Result r(raw);
            const auto status = Pq().PQresultStatus(raw);
            if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
                if (onRow && error.empty())
                    for (int i = 0; i < Pq().PQntuples(raw); ++i) onRow(PostgresRow(raw, i));
            } else if (status != PGRES_COMMAND_OK && error.empty()) {
                error = Pq().PQresultErrorMessage(raw);
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
