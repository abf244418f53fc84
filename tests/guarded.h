// Job bytes in memory that end where readable memory ends: the page after
// the last byte may not be touched, so a counter that reads or writes one
// byte past the job faults in every build, not only under the sanitizer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "jobfile/bytes.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qmtest {

class Guarded {
public:
    explicit Guarded(std::string_view s) : size_(s.size()) {
#if !defined(_WIN32)
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (s.size() + page - 1) / page * page + page;
        void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m != MAP_FAILED) {
            base_ = static_cast<uint8_t*>(m);
            uint8_t* guard = base_ + mapped_ - page;
            if (mprotect(guard, page, PROT_NONE) == 0) {
                data_ = guard - s.size();
            } else {
                munmap(base_, mapped_);
                base_ = nullptr;
            }
        }
#endif
        if (data_ == nullptr) {  // no guard page here: an exact-size block, for the sanitizer
            copy_.resize(s.size());
            data_ = copy_.data();
        }
        if (!s.empty()) std::memcpy(data_, s.data(), s.size());
    }
    ~Guarded() {
#if !defined(_WIN32)
        if (base_ != nullptr) munmap(base_, mapped_);
#endif
    }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    qm::Bytes bytes() const noexcept { return qm::Bytes(data_, static_cast<uint32_t>(size_)); }

private:
    size_t size_;
    size_t mapped_ = 0;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    std::vector<uint8_t> copy_;
};

}  // namespace qmtest
