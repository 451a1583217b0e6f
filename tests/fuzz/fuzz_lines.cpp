// The fetcher's line splitting and the scans' piece reader on any body.

#include "base/PageFetcher.h"
#include "base/ResultLinks.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);

    // Joining the lines again gives the body back, less one final line feed.
    const LineList lines = SplitLines(body);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find('\n') != std::string::npos)
            std::abort();
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    std::string_view expected = body;
    if (!expected.empty() && expected.back() == '\n')
        expected.remove_suffix(1);
    if (joined != expected)
        std::abort();

    // Pieces never exceed the piece length and never hold a line feed.
    rank::CPieceReader reader(body);
    std::string piece;
    std::size_t total = 0;
    while (reader.Next(piece)) {
        if (piece.size() > rank::kMaxPiece || piece.find('\n') != std::string::npos)
            std::abort();
        total += piece.size();
        if (total > body.size())
            std::abort();
    }
    return 0;
}
