#pragma once
// One HTTP download into a list of text lines (bytes, as received).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using LineList = std::vector<std::string>;

// Splits a body into lines at line feeds. The line feed is dropped; a carriage return in front
// of it stays at the end of the line. Text after the last line feed is a line too, so an empty
// body gives no lines and "a\n" gives one.
LineList SplitLines(std::string_view body);

// Bounds of one download; every page is bounded in time and size so that one silent or
// endless server cannot stall a ranking run. The times run from when the request is sent, not
// while the download waits for its server's turn.
struct FetchLimits {
    long connectTimeoutMs = 15000;
    long pageTimeoutMs = 60000; // the whole page, the re-sent and redirected requests included
    std::size_t maxBodyBytes = std::size_t(8) << 20;
    // Before each request, a random pause in this range, taken while holding the server's
    // turn so that requests to one server are spaced while other servers go on; cancel cuts it.
    int pauseMinMs = 0;
    int pauseMaxMs = 0;
    // How long a server's turn stays kept for a thread reading a run of pages (CKeepTurn) after
    // each of its downloads: enough to read the page and ask for the next one, short enough
    // that a thread held up elsewhere does not keep the server idle.
    int keptTurnMs = 5;
};

// A request other than the plain page GET, for services that take a method, headers, a body or
// HTTP Basic credentials. Such a request is sent as given: its headers replace the page headers,
// a 401 is not answered with the password prompt and a redirect is not followed (the answer is
// handed back with its status).
struct RequestOptions {
    std::string method = "GET";       // GET or POST
    std::vector<std::string> headers; // "Name: value"
    std::string body;                 // sent with POST
    bool basicAuth = false;
    std::string user;
    std::string password;
    // Sent without waiting for the server's turn: the caller keeps its own count of requests in
    // flight to that server (a result service takes many at once). The pause range still
    // applies, taken by this request alone.
    bool ownPace = false;
};

// Downloads one page at a time. A fetcher is cheap to make for every page: the connection to
// a server is kept open between pages (one per server, whichever fetcher and thread used it
// last) and the next page of that server goes out on it. Nothing else carries over from one
// page to the next: no credentials, no cookies.
class CPageFetcher {
public:
    CPageFetcher();
    virtual ~CPageFetcher();
    CPageFetcher(const CPageFetcher&) = delete;
    CPageFetcher& operator=(const CPageFetcher&) = delete;

    // Downloads url. Returns the page's lines (possibly none) when a request was sent, or
    // nullptr when no request could be sent or a redirect could not be completed. The list
    // belongs to the fetcher and lives until the next FetchPage or the fetcher's end.
    const LineList* FetchPage(const std::string& url, const std::string& referer = {});

    // Makes the following FetchPage calls send this request instead of the page GET.
    void SetRequestOptions(RequestOptions options) {
        m_pOptions = std::make_unique<RequestOptions>(std::move(options));
    }
    // The body of the last answer read, as received (up to the size limit); empty when none.
    const std::string& Body() const { return m_strBody; }

    // Writes the lines to path with CR LF line ends; does nothing when there are none. The page
    // is written to a new file of its own and renamed onto path, so a link, pipe or device
    // planted under path or its scratch name is never written through; when path exists as
    // anything but a regular file, nothing is written.
    void SaveLines(const std::string& path) const;

    // Text for the user about the last failed download, empty when it did not fail.
    const std::string& LastError() const { return m_strError; }
    // The network's reason alone ("Timeout was reached"), empty when the download did not fail.
    const std::string& LastReason() const { return m_strReason; }
    // Why the last FetchPage returned nullptr (no request sent, a redirect that could not be
    // completed, cancelled); empty otherwise.
    const std::string& NoPageReason() const { return m_strNoPage; }
    // HTTP status of the last answer read (after the 401 re-send and the redirect hop); 0 when
    // none was read.
    long LastStatus() const { return m_nStatus; }
    // The Location of the last redirect answer met, as sent; empty when there was none.
    const std::string& RedirectTarget() const { return m_strRedirect; }
    // The Retry-After header of the last answer read, as sent; empty when it had none.
    const std::string& RetryAfter() const { return m_strRetryAfter; }

    // Asked while the download waits for its server and before every request it sends: once it
    // answers true nothing more is sent, and FetchPage returns nullptr with Cancelled() true.
    void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    bool Cancelled() const { return m_bCancelled; }

    // Asked once on a 401 answer: fills user and password; false when the user declined.
    using AuthPrompt =
        std::function<bool(const std::string& url, std::string& user, std::string& password)>;
    static void SetAuthPrompt(AuthPrompt prompt);

    // Process-wide limits for downloads that start after the call.
    static void SetLimits(const FetchLimits& limits);
    static FetchLimits Limits();

private:
    bool CancelRequested() const { return m_cancelled && m_cancelled(); }
    // Sleeps a random time in [minMs, maxMs]; false when cancelled meanwhile.
    bool PauseHoldingTurn(int minMs, int maxMs);

    std::unique_ptr<LineList> m_pLines;
    std::unique_ptr<RequestOptions> m_pOptions;
    std::string m_strBody;
    std::string m_strError;
    std::string m_strReason;
    std::string m_strNoPage;
    std::string m_strRedirect;
    std::string m_strRetryAfter;
    long m_nStatus = 0;
    std::function<bool()> m_cancelled;
    bool m_bCancelled = false;
};

// The lock of one server. Waiting threads are let in oldest thread first (by when each thread
// first asked for any server), not in whatever order the system wakes them. A thread reading a
// run of pages (see CKeepTurn) keeps the turn for a moment after each of its downloads, so its
// next page goes out before the waiting threads' pages: a ranking worker that has started
// reading an engine's pages reads them to the end before a later worker gets its turn, so it
// moves on to the next engine's server sooner and every server stays busy.
class CServerLock {
public:
    void lock();
    // As lock(), but gives up as soon as cancelled() answers true (asked every few
    // milliseconds while waiting); false then, and the lock is not held.
    bool LockUnless(const std::function<bool()>& cancelled);
    void unlock();
    // Threads waiting for the lock now.
    std::size_t Waiting();

private:
    friend class CKeepTurn;
    static constexpr unsigned long long kNobody = ~0ULL;
    bool MayTake(unsigned long long age) const; // call with m_mutex held
    void Forgo(unsigned long long age);         // drops the turn kept for age, if any

    std::mutex m_mutex;
    std::condition_variable m_free;
    bool m_bBusy = false;
    std::set<unsigned long long> m_waiting; // the waiting threads' ages
    unsigned long long m_keptFor = kNobody; // the thread the free turn is kept for
    std::chrono::steady_clock::time_point m_keptUntil;
};

// While one lives on a thread, the thread's downloads keep their server's turn for it for up
// to FetchLimits::keptTurnMs after each download; when it goes, a turn still kept passes on
// at once. One per run of pages of one server (an engine's result pages); nesting is allowed.
class CKeepTurn {
public:
    CKeepTurn();
    ~CKeepTurn();
    CKeepTurn(const CKeepTurn&) = delete;
    CKeepTurn& operator=(const CKeepTurn&) = delete;
};

// Hands out one lock per server (host and port). A download holds its server's lock from
// before its request until its return, so no server ever sees two requests from us at once,
// while downloads from different servers run side by side. A thread never holds two of them: a
// download redirected to another server lets go of the first server's lock, then takes the
// second's.
class CFetchLocks {
public:
    // host is compared without regard to ASCII case. The lock lives as long as the process.
    CServerLock& ForServer(const std::string& host, long port);

private:
    std::mutex m_mapLock;
    std::map<std::string, std::unique_ptr<CServerLock>> m_locks;
};

extern CFetchLocks g_hFetchLock;
