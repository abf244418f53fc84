#include "journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "fdio.h"
#include "store.h"

namespace qmacct {

namespace {

// Records per transaction while replaying: bounds memory, whatever the journal holds.
constexpr size_t kReplayBatch = 500;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool Lock(int fd, int how) {
    while (::flock(fd, how) != 0)
        if (errno != EINTR) return false;
    return true;
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// Reads the file line by line in bounded pieces.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    // The next line without its newline; false at the end. A last line
    // without a newline (an append cut short) is returned too.
    bool Next(std::string& line) {
        for (;;) {
            const size_t nl = buf_.find('\n', pos_);
            if (nl != std::string::npos) {
                line.assign(buf_, pos_, nl - pos_);
                pos_ = nl + 1;
                return true;
            }
            buf_.erase(0, pos_);
            pos_ = 0;
            char chunk[65536];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error(Errno("reading the journal"));
            if (n == 0) {
                if (buf_.empty()) return false;
                line.swap(buf_);
                buf_.clear();
                return true;
            }
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    std::string buf_;
    size_t pos_ = 0;
};

}  // namespace

bool Journal::Append(const Record& record, std::string& error) const {
    const Fd fd(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
        error = Errno(path_);
        return false;
    }
    if (!Lock(fd.get(), LOCK_EX)) {
        error = Errno("locking " + path_);
        return false;
    }
    const std::string line = ToJson(record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
    if (!WriteAll(fd.get(), line) || ::fsync(fd.get()) != 0) {
        error = Errno("writing " + path_);
        return false;
    }
    return true;
}

bool Journal::Pending() const {
    struct stat st{};
    return ::stat(path_.c_str(), &st) == 0 && st.st_size > 0;
}

Journal::ReplayResult Journal::Replay(Store& store, bool wait) const {
    ReplayResult result;
    const Fd fd(::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        if (errno == ENOENT) return result;
        throw std::runtime_error(Errno(path_));
    }
    if (!Lock(fd.get(), wait ? LOCK_EX : LOCK_EX | LOCK_NB)) {
        if (errno == EWOULDBLOCK) {
            result.busy = true;
            return result;
        }
        throw std::runtime_error(Errno("locking " + path_));
    }
    LineReader reader(fd.get());
    std::vector<Record> batch;
    std::string bad;
    std::string line;
    while (reader.Next(line)) {
        if (line.empty()) continue;
        try {
            batch.push_back(FromJson(nlohmann::json::parse(line)));
        } catch (const std::exception&) {
            bad += line + '\n';
            ++result.malformed;
        }
        if (batch.size() == kReplayBatch) {
            store.PutAll(batch);
            result.stored += batch.size();
            batch.clear();
        }
    }
    if (!batch.empty()) store.PutAll(batch);
    result.stored += batch.size();
    if (!bad.empty()) {
        // Kept for the administrator, never dropped.
        const Fd out(::open((path_ + ".bad").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (out.get() < 0 || !WriteAll(out.get(), bad) || ::fsync(out.get()) != 0)
            throw std::runtime_error(Errno(path_ + ".bad"));
    }
    if (::ftruncate(fd.get(), 0) != 0 || ::fsync(fd.get()) != 0) throw std::runtime_error(Errno("emptying " + path_));
    return result;
}

}  // namespace qmacct
