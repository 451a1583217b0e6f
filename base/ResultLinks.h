#pragma once
// Cutting the counted result links out of an engine's result page, line by line, and reading a
// page back the way the scans read their scratch files. Kept apart from the scans so that a
// single page can be examined without a download.

#include "base/RankTypes.h"

namespace engines {
struct LineScan;
}

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rank {

// Longest piece of a line handed to the extraction; longer lines arrive as several pieces.
inline constexpr std::size_t kMaxPiece = 999;

// Reads text as successive pieces: a line feed ends a piece and is dropped (with a carriage
// return right before it, the line end the scratch file is written with); a line longer than
// kMaxPiece bytes is cut into pieces of kMaxPiece bytes. NUL bytes are ordinary bytes.
class CPieceReader {
public:
    explicit CPieceReader(std::FILE* file); // not owned; read from its current position
    explicit CPieceReader(std::string_view text);
    CPieceReader(const CPieceReader&) = delete;
    CPieceReader& operator=(const CPieceReader&) = delete;

    // The next piece; false at the end of the input.
    bool Next(std::string& piece);

private:
    bool Fill();

    std::FILE* m_file = nullptr;
    std::string_view m_text;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
};

// One engine's line rule, candidate extraction and skip rules for one result page at a time.
class CResultLinks {
public:
    explicit CResultLinks(SearchEngine engine);

    SearchEngine Engine() const { return m_engine; }

    // Start of a new page: lines before the engine's start marker are not examined again.
    void StartPage();

    // Hands every counted link of the line (skipped ones left out) to onLink from left to
    // right, cut from the line as read. Stops when onLink returns false and then returns false.
    // A line longer than kMaxPiece is taken as successive pieces, as the scans read it.
    bool ScanLine(std::string_view line, const std::function<bool(std::string_view)>& onLink);

    // The skip rules: true for a candidate that is neither counted nor listed.
    static bool IsSkipped(SearchEngine engine, std::string_view candidate);

private:
    bool ScanPiece(std::string_view line, const std::function<bool(std::string_view)>& onLink);
    bool Candidate(std::string_view link, const std::function<bool(std::string_view)>& onLink);

    SearchEngine m_engine;
    bool m_bOn = false;
    std::string m_upper;
};

// Every counted link of a whole page, read in pieces as a scan reads it.
std::vector<std::string> CountedLinks(SearchEngine engine, std::string_view pageText);

// The match rule, ASCII letters compared without case: the link's address holds the target
// within its host and path (not in its query or fragment, nor in attributes after it), or the
// target holds the whole link and the link names a full host (a dot in its host name).
// lowerTarget must already be lower-cased.
bool LinkMatches(std::string_view link, std::string_view lowerTarget);

// Text of the page line ("Google Page ") for each engine.
std::string PageLabel(SearchEngine engine);

// Block pages: an engine that refuses to answer (a captcha, a demand for JavaScript) sends a page
// instead of results. What gives such a page away is kept here in one table beside the line
// rules, since both change when an engine changes its pages. Matching ignores ASCII case.
enum class BlockSign { Body, Redirect };
struct BlockPattern {
    SearchEngine engine;
    BlockSign where;
    std::string_view text;       // found in a body line, or in a redirect's Location
    std::string_view alsoOnLine; // when not empty, must be on the same line too
};
std::span<const BlockPattern> BlockPatterns();

// A line of a page on which no result was counted that marks the page as a block page.
bool IsBlockLine(SearchEngine engine, std::string_view line);
// A redirect target that leads to a block page.
bool IsBlockRedirect(SearchEngine engine, std::string_view location);

// The error text of a page the engine would not give.
inline constexpr const char* kBlockedText = "blocked by the engine";

// The engines' line rules and own-link rules, named by the engine table.
namespace rules {
bool GoogleOwnLink(std::string_view candidate);
bool GoogleLine(::engines::LineScan& scan);
bool AltaVistaLine(::engines::LineScan& scan);
bool LycosLine(::engines::LineScan& scan);
bool LookSmartLine(::engines::LineScan& scan);
} // namespace rules

} // namespace rank
