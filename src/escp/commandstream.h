// The byte-stream reader of the serial-printer interpreters. A handler reads
// its arguments with Read (a 16-bit count at a time) and passes image data
// with Skip; the main loops run until AtEnd.
//
// End of data is settled so that every loop ends:
//  - AtEnd is true once the position is at or past the measured length, so an
//    empty file is at its end from the start and a Skip past the end ends the
//    data too; Size still reports 1 for an empty file;
//  - a stream with no file attached (empty path) is at its end and yields
//    nothing;
//  - Read and ReadByte at or past the end return nothing and change nothing.
//
// Reads go through a private buffer (no second copy in the C library's
// stream), so one-byte reads cost a compare and an increment.
#pragma once

#include "quirometer/quirometer.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "jobfile/bytes.h"

namespace qm {

class CommandStream {
public:
    enum class Origin { Start, Current, End };

    CommandStream() = default;
    ~CommandStream() { Close(); }
    CommandStream(const CommandStream&) = delete;
    CommandStream& operator=(const CommandStream&) = delete;

    // Closes whatever is open, then opens the file for binary reading. A null
    // or empty path attaches nothing and succeeds. False when the file cannot
    // be opened; OpenError() then gives the C library's error number.
    bool Open(const char* path);
    // Reads bytes held in memory instead of a file (tests, tools). The bytes
    // must outlive the attachment.
    bool Attach(Bytes bytes);
    bool Close();
    bool IsOpen() const noexcept { return file_ != nullptr || memory_; }
    int OpenError() const noexcept { return openError_; }

    // Up to `count` bytes from the current position; fewer at the end.
    uint16_t Read(void* dest, uint16_t count);
    // One byte into `b`; false (and `b` unchanged) at the end of the data.
    bool ReadByte(uint8_t& b) {
        if (offset_ < length_ || Refill()) {
            b = buffer_[offset_++];
            return true;
        }
        return false;
    }
    // Moves forward by `count` bytes without reading; may pass the end.
    void Skip(uint16_t count) {
        if (uint64_t{offset_} + count <= length_) {
            offset_ += count;
        } else {
            Reposition(Position() + count);
        }
    }
    bool Seek(int32_t offset, Origin origin);
    // The current position (0 with no file attached); saturates at 2^32 - 1.
    uint32_t Tell() const noexcept;
    // The length of the data, measured once; an empty file reports 1.
    uint32_t Size();
    // True once the position is at or past the end of the data.
    bool AtEnd() {
        if (dataLength_ == kUnmeasured) Measure();
        return Position() >= dataLength_;
    }

private:
    static constexpr uint32_t kBufferSize = 64 * 1024;
    static constexpr uint64_t kUnmeasured = ~uint64_t{0};

    uint64_t Position() const noexcept { return bufferStart_ + offset_; }
    // Makes the buffer start at the current position; false at the end.
    bool Refill();
    // Drops the buffer and moves the position to `pos`.
    void Reposition(uint64_t pos) noexcept;
    void Measure();

    std::FILE* file_ = nullptr;
    bool memory_ = false;
    Bytes bytes_;                       // the attached bytes in memory
    std::unique_ptr<uint8_t[]> owned_;  // buffer of a file stream
    const uint8_t* buffer_ = nullptr;
    uint32_t offset_ = 0;          // next byte in the buffer
    uint32_t length_ = 0;          // bytes valid in the buffer
    uint64_t bufferStart_ = 0;     // position of buffer_[0]
    uint64_t filePosition_ = 0;    // where the C library's stream stands
    uint64_t dataLength_ = kUnmeasured;
    int openError_ = 0;
};

// The code of a job file that could not be opened, in the form the
// memory-mapped counters give for the same failure; `error` is the C
// library's error number (CommandStream::OpenError).
int32_t OpenFailureCode(const char* path, int error) noexcept;

}  // namespace qm
