// Taking the job and counting it, in ways that cannot stop it printing.
#pragma once

#include <cstdint>
#include <string>

#include "quirometer/quirometer.h"

namespace qmbackend {

// The job CUPS handed over on standard input, copied to a file of CUPS's
// temporary folder so that it can be counted and then sent.
struct Spool {
    int fd = -1;           // the spooled bytes, open for reading from the start
    std::string path;      // removed by the destructor
    uint64_t size = 0;     // bytes spooled
    bool spooledAll = false; // every byte read is in the file (else `fd` holds the first `size`)
    std::string pending;   // bytes read from stdin that could not be spooled
    std::string error;

    Spool() = default;
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool();
};

// Creates the spool file in `dir`; false with spool.error when it cannot.
bool OpenSpool(const std::string& dir, Spool& spool);
// Copies standard input into a new spool file in `dir`.
void SpoolStandardInput(const std::string& dir, Spool& spool);

// A file descriptor to send: the spool when complete, otherwise a pipe that
// a helper process fills with the spooled bytes and then the rest of
// standard input. -1 when nothing can be sent but standard input itself.
int SendableInput(Spool& spool);

struct CountOutcome {
    int32_t code = QM_E_FAIL;
    QuirometerJob job{};
    std::string error;  // empty on success
    int child = -1;     // the counting process, still ending: ReapCount() it later
};

// Waits for the counting process, which has sent its result and is only
// exiting (the job is sent meanwhile).
void ReapCount(CountOutcome& count);

// Counts the job in a child process, so that a crash or a runaway count
// never takes the job down with it; the child's standard output (where some
// interpreters trace) goes nowhere. Gives up after `timeoutSeconds`.
CountOutcome CountJob(const std::string& path, int timeoutSeconds);

}  // namespace qmbackend
