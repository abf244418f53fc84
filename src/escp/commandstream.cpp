#include "escp/commandstream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace qm {

bool CommandStream::Open(const char* path) {
    Close();
    openError_ = 0;
    if (path == nullptr || *path == '\0') return true;  // nothing attached
    if (!owned_) owned_ = std::make_unique<uint8_t[]>(kBufferSize);
    errno = 0;
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) {
        openError_ = errno;
        return false;
    }
    // The stream's own buffer would only copy every byte twice.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    // Some systems open a folder for reading and fail only at the first read:
    // read the first block now so that such a path fails to open.
    if (!Refill() && std::ferror(file_)) {
        openError_ = errno != 0 ? errno : EIO;
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

bool CommandStream::Attach(Bytes bytes) {
    Close();
    memory_ = true;
    bytes_ = bytes;
    return true;
}

bool CommandStream::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    memory_ = false;
    bytes_ = Bytes();
    buffer_ = nullptr;
    offset_ = length_ = 0;
    bufferStart_ = filePosition_ = 0;
    dataLength_ = kUnmeasured;
    return true;
}

uint16_t CommandStream::Read(void* dest, uint16_t count) {
    auto* out = static_cast<uint8_t*>(dest);
    uint16_t done = 0;
    while (done < count) {
        if (offset_ >= length_ && !Refill()) break;
        uint32_t n = length_ - offset_;
        if (n > uint32_t{count} - done) n = uint32_t{count} - done;
        std::memcpy(out + done, buffer_ + offset_, n);
        offset_ += n;
        done = static_cast<uint16_t>(done + n);
    }
    return done;
}

bool CommandStream::Refill() {
    const uint64_t pos = Position();
    Reposition(pos);
    if (memory_) {
        if (pos >= bytes_.size) return false;
        buffer_ = bytes_.data + pos;
        length_ = bytes_.size - static_cast<uint32_t>(pos);
        return true;
    }
    if (file_ == nullptr || pos > static_cast<uint64_t>(LONG_MAX)) return false;
    if (filePosition_ != pos) {
        if (std::fseek(file_, static_cast<long>(pos), SEEK_SET) != 0) return false;
        filePosition_ = pos;
    }
    const size_t n = std::fread(owned_.get(), 1, kBufferSize, file_);
    filePosition_ += n;
    buffer_ = owned_.get();
    length_ = static_cast<uint32_t>(n);
    return n > 0;
}

void CommandStream::Reposition(uint64_t pos) noexcept {
    bufferStart_ = pos;
    offset_ = 0;
    length_ = 0;
}

bool CommandStream::Seek(int32_t offset, Origin origin) {
    if (!IsOpen()) return false;
    int64_t base = 0;
    if (origin == Origin::Current) base = static_cast<int64_t>(Position());
    if (origin == Origin::End) {
        Measure();
        base = static_cast<int64_t>(dataLength_);
    }
    const int64_t target = base + offset;
    if (target < 0) return false;
    if (file_ != nullptr) {
        if (target > LONG_MAX || std::fseek(file_, static_cast<long>(target), SEEK_SET) != 0) return false;
        filePosition_ = static_cast<uint64_t>(target);
    }
    Reposition(static_cast<uint64_t>(target));
    return true;
}

uint32_t CommandStream::Tell() const noexcept {
    if (!IsOpen()) return 0;
    const uint64_t pos = Position();
    return static_cast<uint32_t>(std::min<uint64_t>(pos, UINT32_MAX));
}

uint32_t CommandStream::Size() {
    if (dataLength_ == kUnmeasured) Measure();
    return dataLength_ == 0 ? 1 : static_cast<uint32_t>(dataLength_);
}

void CommandStream::Measure() {
    if (dataLength_ != kUnmeasured) return;
    dataLength_ = 0;
    if (memory_) {
        dataLength_ = bytes_.size;
    } else if (file_ != nullptr) {
        // Remember the position, take the length at the end, go back.
        if (std::fseek(file_, 0, SEEK_END) == 0) {
            const long end = std::ftell(file_);
            if (end > 0) dataLength_ = static_cast<uint64_t>(end) > UINT32_MAX ? UINT32_MAX : static_cast<uint64_t>(end);
        }
        if (filePosition_ <= static_cast<uint64_t>(LONG_MAX))
            std::fseek(file_, static_cast<long>(filePosition_), SEEK_SET);
    }
}

int32_t OpenFailureCode(const char* path, int error) noexcept {
    if (path == nullptr || *path == '\0') return QM_E_PATH_NOT_FOUND;
    switch (error) {
        case ENOENT: return QM_E_FILE_NOT_FOUND;
        case ENOTDIR: return QM_E_PATH_NOT_FOUND;
        case EACCES:
        case EISDIR: return QM_E_ACCESS_DENIED;
        default: return QM_E_FAIL;
    }
}

}  // namespace qm
