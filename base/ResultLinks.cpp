#include "base/ResultLinks.h"

#include "base/Engines.h"

#include <algorithm>
#include <cstring>

namespace rank {

namespace {

// Google's own hosts, whatever search host is configured: its links are never results.
constexpr std::string_view kGoogleDomain = ".google.com";

constexpr std::size_t npos = std::string_view::npos;

bool Contains(std::string_view hay, std::string_view needle) {
    return hay.find(needle) != npos;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CPieceReader::CPieceReader(std::FILE* file) : m_file(file), m_buffer(64 * 1024) {}

CPieceReader::CPieceReader(std::string_view text) : m_text(text) {}

bool CPieceReader::Fill() {
    if (!m_file)
        return false;
    const std::size_t n = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    m_text = std::string_view(m_buffer.data(), n);
    m_pos = 0;
    return n > 0;
}

bool CPieceReader::Next(std::string& piece) {
    piece.clear();
    bool any = false;
    while (piece.size() < kMaxPiece) {
        if (m_pos >= m_text.size() && !Fill())
            break;
        any = true;
        const std::size_t room = kMaxPiece - piece.size();
        const std::size_t avail = std::min(room, m_text.size() - m_pos);
        const char* start = m_text.data() + m_pos;
        const void* lf = std::memchr(start, '\n', avail);
        if (lf) {
            const std::size_t len = static_cast<const char*>(lf) - start;
            piece.append(start, len);
            m_pos += len + 1;
            if (!piece.empty() && piece.back() == '\r')
                piece.pop_back();
            return true;
        }
        piece.append(start, avail);
        m_pos += avail;
    }
    if (piece.size() == kMaxPiece) {
        // A line of exactly the piece length: its line end belongs to it, not to a new piece.
        if (m_pos < m_text.size() || Fill()) {
            if (m_text[m_pos] == '\n')
                ++m_pos;
        }
    }
    return any;
}

// ---------------------------------------------------------------------------------------------

CResultLinks::CResultLinks(SearchEngine engine) : m_engine(engine) {}

void CResultLinks::StartPage() {
    m_bOn = false;
}

bool CResultLinks::IsSkipped(SearchEngine engine, std::string_view c) {
    const ::engines::OwnLinkRule ownLink = ::engines::Info(engine).ownLink;
    if (ownLink && ownLink(c))
        return true;
    return !Contains(c, "http://");
}

bool CResultLinks::Candidate(std::string_view link,
                             const std::function<bool(std::string_view)>& onLink) {
    if (IsSkipped(m_engine, link))
        return true;
    return onLink(link);
}

bool CResultLinks::ScanLine(std::string_view line,
                            const std::function<bool(std::string_view)>& onLink) {
    // Longer text is taken in pieces, as the scan reads it, which bounds the work per piece.
    while (line.size() > kMaxPiece) {
        if (!ScanPiece(line.substr(0, kMaxPiece), onLink))
            return false;
        line.remove_prefix(kMaxPiece);
    }
    return ScanPiece(line, onLink);
}

bool CResultLinks::ScanPiece(std::string_view line,
                             const std::function<bool(std::string_view)>& onLink) {
    m_upper.resize(line.size());
    // Branch-free, so the compiler can do many bytes at once.
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        m_upper[i] = char(c ^ (static_cast<unsigned char>(c - 'a') < 26u ? 0x20 : 0));
    }
    const std::function<bool(std::string_view)> candidate = [&](std::string_view link) {
        return Candidate(link, onLink);
    };
    ::engines::LineScan scan{line, m_upper, m_bOn, candidate};
    return ::engines::Info(m_engine).lineRule(scan);
}

namespace rules {

bool GoogleOwnLink(std::string_view c) {
    return Contains(c, "/search?q=") || Contains(c, "/url?") || Contains(c, kGoogleDomain) ||
           Contains(c, "swr?q=");
}

// Each loop below moves its search position strictly forward, so a line is done in at most
// one pass per candidate. Where the closing mark is missing, none can follow later on the line
// either, so the line ends there.

bool GoogleLine(::engines::LineScan& scan) {
    const std::string_view line = scan.line;
    const std::string_view up = scan.upper;
    if (!scan.started && Contains(up, "SEARCHED THE WEB"))
        scan.started = true;
    if (!scan.started)
        return true;
    std::size_t p = 0;
    for (;;) {
        const std::size_t a = up.find("A HREF", p);
        if (a == npos)
            return true;
        const std::size_t eq = up.find('=', a);
        if (eq == npos)
            return true;
        const std::size_t gt = up.find('>', eq + 1);
        if (gt == npos)
            return true;
        if (!scan.candidate(line.substr(eq + 1, gt - eq - 1)))
            return false;
        p = eq + 2;
    }
}

bool AltaVistaLine(::engines::LineScan& scan) {
    const std::string_view line = scan.line;
    const std::string_view up = scan.upper;
    if (!scan.started && Contains(up, "ALTAVISTA FOUND"))
        scan.started = true;
    if (!scan.started)
        return true;
    std::size_t p = 0;
    for (;;) {
        const std::size_t s = up.find("STATUS=", p);
        if (s == npos)
            return true;
        const std::size_t q1 = up.find('\'', s);
        if (q1 == npos)
            return true;
        const std::size_t q2 = up.find('\'', q1 + 1);
        if (q2 == npos)
            return true;
        if (!scan.candidate(line.substr(q1 + 1, q2 - q1 - 1)))
            return false;
        p = q1 + 2;
    }
}

bool LycosLine(::engines::LineScan& scan) {
    const std::string_view line = scan.line;
    const std::string_view up = scan.upper;
    if (!scan.started && Contains(up, "<TITLE>LYCOS SEARCH RESULTS"))
        scan.started = true;
    if (!scan.started)
        return true;
    std::size_t p = 0;
    for (;;) {
        const std::size_t m = up.find("#999999\">", p);
        if (m == npos)
            return true;
        const std::size_t gt = up.find('>', m);
        if (gt == npos)
            return true;
        const std::size_t lt = up.find('<', gt + 1);
        if (lt == npos)
            return true;
        if (!scan.candidate(line.substr(gt + 1, lt - gt - 1)))
            return false;
        p = gt + 2;
    }
}

bool LookSmartLine(::engines::LineScan& scan) {
    const std::string_view line = scan.line;
    const std::string_view up = scan.upper;
    const bool parent = Contains(up, "PR=LOOKSITESPARENT;");
    const std::size_t anchor = up.find("<A HREF=\"HTTP://");
    if (anchor == npos && !parent)
        return true;
    const std::size_t br = up.find("<BR>");
    if (anchor == npos && (br == npos || br < 2))
        return true;
    if (anchor != npos) {
        const std::size_t from = anchor + 9; // just behind the opening quote
        const std::size_t end = up.find("\">", from);
        if (end == npos)
            return true;
        return scan.candidate(line.substr(from, end - from));
    }
    return scan.candidate(line.substr(0, br));
}

} // namespace rules

// ---------------------------------------------------------------------------------------------

std::vector<std::string> CountedLinks(SearchEngine engine, std::string_view pageText) {
    std::vector<std::string> links;
    CResultLinks picker(engine);
    picker.StartPage();
    CPieceReader reader(pageText);
    std::string piece;
    while (reader.Next(piece)) {
        picker.ScanLine(piece, [&](std::string_view link) {
            links.emplace_back(link);
            return true;
        });
    }
    return links;
}

namespace {

// The address in a link as cut from a page: past quotes and blanks in front, up to the first
// blank, quote or angle bracket behind (attributes after it are not part of it). pathEnd is
// where its query or fragment begins (end without one).
struct AddressSpan {
    std::size_t begin;
    std::size_t end;
    std::size_t pathEnd;
};

AddressSpan AddressOf(std::string_view link) {
    std::size_t begin = 0;
    const auto lead = [](char c) { return c == '"' || c == '\'' || c == ' ' || c == '\t'; };
    while (begin < link.size() && lead(link[begin]))
        ++begin;
    std::size_t end = link.find_first_of(" \t\r\n\"'<>", begin);
    if (end == npos)
        end = link.size();
    std::size_t pathEnd = link.find_first_of("?#", begin);
    if (pathEnd == npos || pathEnd > end)
        pathEnd = end;
    return {begin, end, pathEnd};
}

// Whether the address names a full host: a dot inside its host name ("w" or "localhost" does
// not), whatever the scheme, login or port around it.
bool HasFullHost(std::string_view link, const AddressSpan& a) {
    std::string_view host = link.substr(a.begin, a.pathEnd - a.begin);
    if (const std::size_t scheme = host.find("://"); scheme != npos)
        host.remove_prefix(scheme + 3);
    host = host.substr(0, host.find('/'));
    if (const std::size_t at = host.rfind('@'); at != npos)
        host.remove_prefix(at + 1);
    host = host.substr(0, host.find(':'));
    const std::size_t dot = host.find('.');
    return dot != npos && dot > 0 && dot + 1 < host.size();
}

} // namespace

bool LinkMatches(std::string_view link, std::string_view lowerTarget) {
    std::string lowered(link);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), LowerAscii);
    const AddressSpan a = AddressOf(lowered);
    // The target within the link's host and path; a query of the target's own only where the
    // link's query begins. Text in a link's query or fragment names any site it likes.
    std::size_t targetPath = lowerTarget.find_first_of("?#");
    if (targetPath == npos)
        targetPath = lowerTarget.size();
    for (std::size_t at = lowered.find(lowerTarget, a.begin); at != npos;
         at = lowered.find(lowerTarget, at + 1)) {
        if (at + targetPath > a.pathEnd)
            break;
        if (at + lowerTarget.size() <= a.end)
            return true;
    }
    // The link within the target (a site listed without the page's path), when the link names
    // a whole host: "http://w" is inside every target beginning "http://www.".
    return HasFullHost(lowered, a) && Contains(lowerTarget, lowered);
}

namespace {
constexpr BlockPattern kBlockPatterns[] = {
    // The captcha form ("Our systems have detected unusual traffic ...") posts to /sorry/.
    {Google, BlockSign::Body, "/sorry/", "<form"},
    {Google, BlockSign::Body, "unusual traffic", {}},
    // The page that demands JavaScript links to, or redirects to, .../enablejs.
    {Google, BlockSign::Body, "enablejs", {}},
    {Google, BlockSign::Redirect, "/sorry/", {}},
    {Google, BlockSign::Redirect, "enablejs", {}},
};

bool ContainsNoCase(std::string_view hay, std::string_view lowerNeedle) {
    if (lowerNeedle.empty())
        return true;
    const auto it = std::search(hay.begin(), hay.end(), lowerNeedle.begin(), lowerNeedle.end(),
                                [](char a, char b) { return LowerAscii(a) == b; });
    return it != hay.end();
}

bool Matches(SearchEngine engine, BlockSign where, std::string_view text) {
    for (const BlockPattern& p : kBlockPatterns) {
        if (p.engine == engine && p.where == where && ContainsNoCase(text, p.text) &&
            ContainsNoCase(text, p.alsoOnLine))
            return true;
    }
    return false;
}
} // namespace

std::span<const BlockPattern> BlockPatterns() {
    return kBlockPatterns;
}

bool IsBlockLine(SearchEngine engine, std::string_view line) {
    return Matches(engine, BlockSign::Body, line);
}

bool IsBlockRedirect(SearchEngine engine, std::string_view location) {
    return Matches(engine, BlockSign::Redirect, location);
}

std::string PageLabel(SearchEngine engine) {
    return ::engines::SlotLabel(engine) + " Page ";
}

} // namespace rank
