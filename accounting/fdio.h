// Writing to a file descriptor whole, through interruptions and short writes.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace qmacct {

inline bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace qmacct
