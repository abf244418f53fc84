// One accounting record: what one CUPS job printed, or why it did not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace qmacct {

enum class Status { Printed, Failed, Refused, NotCounted };

std::string_view StatusName(Status status);
std::optional<Status> StatusFromName(std::string_view name);

// Longest title and user name kept; CUPS passes whatever the client sent.
constexpr size_t kMaxTitleBytes = 1024;
constexpr size_t kMaxNameBytes = 256;
constexpr size_t kMaxErrorBytes = 1024;

// Text from a client made safe to store and print: invalid UTF-8 and control
// characters become U+FFFD, the result is cut to `maxBytes` on a character
// boundary. Quotes and other printable characters are kept as they are.
std::string CleanText(std::string_view text, size_t maxBytes);

struct Record {
    // Key: a retried job has the same key and replaces its earlier record.
    std::string server;
    std::string printer;
    int64_t jobId = 0;

    int64_t time = 0;       // seconds since the epoch when the job was recorded
    int64_t updatedUs = 0;  // microseconds since the epoch of this version of the record
    std::string user;
    std::string title;
    uint32_t cupsCopies = 1;  // CUPS copies the wrapped backend makes: sends a file that many times, or asks
                              // an IPP printer for them; 1 for a filtered job sent to other backends
    uint64_t fileSize = 0;
    std::string pdl;  // the language that counted; empty when the job was not counted
    uint32_t pages = 0;  // of one copy
    uint32_t copies = 1;  // the copies the job itself asks for
    uint32_t colorPages = 0;  // of one copy
    uint32_t colorUnknownPages = 0;  // of one copy
    bool duplex = false;
    uint64_t sheets = 0;  // every copy, two pages a sheet when two-sided
    double paperWidth = 0;  // inches
    double paperLength = 0;
    std::string certainty;  // "exact", "estimated", or empty
    std::string unknown;  // comma-separated names of the fields the job leaves unknown
    Status status = Status::NotCounted;
    std::string error;

    // Pages that come out of the printer: pages x job copies x CUPS copies.
    uint64_t Printed() const { return uint64_t{pages} * copies * cupsCopies; }
    uint64_t ColorPrinted() const { return uint64_t{colorPages} * copies * cupsCopies; }
};

// Sheets for `copies` copies of `pages` pages, each copy on sheets of its own.
uint64_t SheetsFor(uint64_t pages, uint64_t copies, bool duplex);

// The record as one JSON object (the field names of `accounting jobs --json`),
// and back. FromJson throws std::exception on a malformed object.
nlohmann::json ToJson(const Record& r);
Record FromJson(const nlohmann::json& j);

}  // namespace qmacct
