// Skipping blocks of the Bubble Jet text control language.
#include "escp/canon_bjl.h"

#include <cstdint>
#include <cstdio>

namespace qm::canon {
namespace {

constexpr BjlKeyword kBjlKeywords[] = {
    {"BJLEND", &BjlKeywordHandler::EndBlock},
};

// The keyword handler of the running skip; set only while a skip lives.
BjlKeywordHandler* g_bjlKeywords = nullptr;

class PublishedKeywordHandler {
public:
    explicit PublishedKeywordHandler(BjlKeywordHandler& handler) { g_bjlKeywords = &handler; }
    ~PublishedKeywordHandler() { g_bjlKeywords = nullptr; }
    PublishedKeywordHandler(const PublishedKeywordHandler&) = delete;
    PublishedKeywordHandler& operator=(const PublishedKeywordHandler&) = delete;
};

constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

// Reads one line, up to a line feed (not kept) or the end of the data, into
// `line`. Bytes past the buffer's room are read and dropped. False when not a
// single byte could be read.
bool ReadLine(CommandStream& stream, char (&line)[kBjlLineBufferSize]) {
    size_t length = 0;
    bool readAny = false;
    for (;;) {
        uint8_t b = 0;
        if (!stream.ReadByte(b)) break;
        readAny = true;
        if (b == 0x0A) break;
        if (length < kBjlLineBufferSize - 1) line[length++] = static_cast<char>(b);
    }
    line[length] = '\0';
    return readAny;
}

}  // namespace

bool LineStartsWithKeyword(const char* line, const char* keyword) noexcept {
    for (size_t i = 0; keyword[i] != '\0'; ++i) {
        if (line[i] == '\0' || UpperAscii(line[i]) != UpperAscii(keyword[i])) return false;
    }
    return true;
}

int SkipBubbleJetLanguage(CommandStream& stream, int result) {
    std::printf("Bubble Jet Language is not supported. Ignoring all commands.\n");
    BjlKeywordHandler handler;
    PublishedKeywordHandler published(handler);
    char line[kBjlLineBufferSize];
    bool over = false;
    while (!over && !stream.AtEnd()) {
        if (!ReadLine(stream, line)) break;  // nothing more to read
        for (const BjlKeyword& k : kBjlKeywords) {
            if (LineStartsWithKeyword(line, k.keyword) && (g_bjlKeywords->*k.operation)() == kBjlBlockOver) {
                over = true;
                break;
            }
        }
    }
    return over ? 0 : result;
}

}  // namespace qm::canon
