// Blocks of the Bubble Jet printer's text control language. The counter does
// not interpret them: it reads them line by line until the line that ends the
// block, so nothing inside is taken for a command.
#pragma once

#include <cstddef>

#include "escp/canon.h"

namespace qm::canon {

// Longest line kept, with its terminating NUL; longer lines are cut.
constexpr size_t kBjlLineBufferSize = 256;

// Answer of a keyword handler that ends the block.
constexpr int kBjlBlockOver = 5;

// Handles the keywords of the text language that the counter cares about.
class BjlKeywordHandler {
public:
    BjlKeywordHandler() = default;
    BjlKeywordHandler(const BjlKeywordHandler&) = delete;
    BjlKeywordHandler& operator=(const BjlKeywordHandler&) = delete;
    virtual ~BjlKeywordHandler() = default;

    virtual int EndBlock() { return kBjlBlockOver; }
};

struct BjlKeyword {
    const char* keyword;  // matched case-insensitively at the start of a line
    int (BjlKeywordHandler::*operation)();
};

// Whether `line` (NUL-terminated) begins with `keyword`, ignoring case.
bool LineStartsWithKeyword(const char* line, const char* keyword) noexcept;

}  // namespace qm::canon
