#include "base/PageFetcher.h"

#include "base/TextUtil.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

CFetchLocks g_hFetchLock;

namespace {

constexpr char kCannotConnect[] = "Cannot open internet connection.";
constexpr char kDownloadProblem[] =
    "There was a problem downloading the web page. Please try again.\n\n";

std::mutex g_configLock; // guards the two values below
CPageFetcher::AuthPrompt g_authPrompt;
FetchLimits g_limits;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl refuses a URL with blanks or control characters in it; such bytes and every byte
// outside ASCII are percent-encoded. Everything else is left as built: the query builders
// already encode what must not be taken as URL syntax.
std::string EncodeUnsafe(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (unsigned char c : url) {
        if (c <= 0x20 || c >= 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0f];
        } else {
            out += char(c);
        }
    }
    return out;
}

// A URL holding "http://" anywhere is taken as it is; so is a secure one. Anything else is a
// host (and path) without a scheme.
std::string ComposeUrl(const std::string& url) {
    if (url.find("http://") != std::string::npos || url.starts_with("https://"))
        return EncodeUnsafe(url);
    return EncodeUnsafe("http://" + url);
}

struct Target {
    std::string url;
    std::string scheme;
    std::string host;
    long port = 0;

    bool SameServer(const Target& o) const { return Server() == o.Server(); }
    std::string Server() const {
        return scheme + "://" + text::AsciiLower(host) + ":" + std::to_string(port);
    }
};

std::string UrlPart(CURLU* u, CURLUPart part, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(u, part, &value, flags) != CURLUE_OK || !value)
        return {};
    std::string s(value);
    curl_free(value);
    return s;
}

// An absolute http or https address, or a relative one resolved against base.
std::optional<Target> Crack(const std::string& url, const std::string* base = nullptr) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
    if (!u)
        return std::nullopt;
    if (base && curl_url_set(u.get(), CURLUPART_URL, base->c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    Target t;
    t.scheme = text::AsciiLower(UrlPart(u.get(), CURLUPART_SCHEME));
    if (t.scheme != "http" && t.scheme != "https")
        return std::nullopt;
    t.host = UrlPart(u.get(), CURLUPART_HOST);
    t.port = text::LeadingInt(UrlPart(u.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT));
    t.url = UrlPart(u.get(), CURLUPART_URL);
    if (t.host.empty() || t.url.empty())
        return std::nullopt;
    return t;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303;
}

// Easy handles left idle between pages, each still holding its open connection, so the next
// page of the same server goes out without a new connection (no new TCP and TLS handshakes).
// A handle only ever talks to the server it is kept for, so its connections and TLS sessions
// are that server's alone. The server lock lets one download per server run at once, so one
// handle per server is the usual count; a result service taking many calls at once keeps one
// per call in flight.
class HandlePool {
public:
    // An idle handle of the server, or a new one; its options are all at their defaults.
    CURL* Take(const std::string& server) {
        CURL* handle = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            const auto it = std::find_if(m_idle.begin(), m_idle.end(),
                                         [&](const Idle& i) { return i.server == server; });
            if (it != m_idle.end()) {
                handle = it->handle;
                m_idle.erase(it);
            }
        }
        if (!handle)
            return curl_easy_init();
        // Nothing set for an earlier page (credentials above all) carries over; the open
        // connection does.
        curl_easy_reset(handle);
        return handle;
    }

    // Keeps the handle for the server's next page; the least recently used beyond the bound
    // are closed.
    void Give(const std::string& server, CURL* handle) {
        curl_easy_reset(handle); // drops the credentials and our buffers' addresses now
        std::vector<CURL*> surplus;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_idle.insert(m_idle.begin(), Idle{server, handle});
            while (m_idle.size() > kMaxIdle) {
                surplus.push_back(m_idle.back().handle);
                m_idle.pop_back();
            }
        }
        for (CURL* h : surplus)
            curl_easy_cleanup(h);
    }

private:
    // Enough for the engines, the few other hosts one run meets and a result service's calls
    // in flight (at most 64); bounds the open sockets.
    static constexpr std::size_t kMaxIdle = 80;
    struct Idle {
        std::string server;
        CURL* handle;
    };
    std::mutex m_mutex;
    std::vector<Idle> m_idle; // most recently given back first
};

HandlePool& Pool() {
    // Never destroyed: a download still running while the process exits must not find its
    // pool gone. The sockets close with the process.
    static HandlePool* pool = new HandlePool;
    return *pool;
}

// A handle borrowed from the pool for one server, given back when it goes.
class Lease {
public:
    Lease() = default;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { Return(); }

    CURL* Borrow(const std::string& server) {
        Return();
        m_server = server;
        m_handle = Pool().Take(server);
        return m_handle;
    }
    void Return() {
        if (m_handle)
            Pool().Give(m_server, m_handle);
        m_handle = nullptr;
    }

private:
    std::string m_server;
    CURL* m_handle = nullptr;
};

// Kept connections stay open between pages: a program started meanwhile (a browser opened on
// a result) must not inherit them and hold them open.
int CloseOnExec(void*, curl_socket_t fd, curlsocktype) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0)
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    return CURL_SOCKOPT_OK;
}

// The requests of one page: the first, the one re-sent with credentials and the redirect hop.
class Exchange {
public:
    Exchange(std::size_t maxBody, curl_slist* headers, long connectTimeoutMs)
        : m_maxBody(maxBody), m_headers(headers), m_connectTimeoutMs(connectTimeoutMs) {}

    // Sends the following requests on curl (a handle of the pool, options at defaults).
    void Use(CURL* curl) {
        m_curl = curl;
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L); // one hop, done by hand
        curl_easy_setopt(m_curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Exchange::OnBody);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Exchange::OnHeader);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, m_connectTimeoutMs);
        curl_easy_setopt(m_curl, CURLOPT_SOCKOPTFUNCTION, &CloseOnExec);
    }

    // Sends the user's name and password with the following requests of this handle. The
    // connection they go out on is closed after the answer: a server may tie a login to the
    // connection, and a later page on it must not go out logged in.
    void SetCredentials(const std::string& user, const std::string& password) {
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, 1L);
    }

    // Sends a GET for url. True when an answer was read completely (or up to the body
    // limit); false on a network error or time-out, with Reason() telling why. A kept
    // connection the server has closed meanwhile is replaced by a new one within the same call.
    bool Send(const std::string& url, long timeoutMs) {
        m_body.clear();
        m_location.clear();
        m_retryAfter.clear();
        m_bCapped = false;
        m_error[0] = '\0';
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, std::max(1L, timeoutMs));
        m_rc = curl_easy_perform(m_curl);
        m_status = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &m_status);
        return m_rc == CURLE_OK || (m_rc == CURLE_WRITE_ERROR && m_bCapped);
    }

    long Status() const { return m_status; }
    const std::string& Body() const { return m_body; }
    const std::string& Location() const { return m_location; }
    const std::string& RetryAfter() const { return m_retryAfter; }
    std::string Reason() const { return m_error[0] ? m_error : curl_easy_strerror(m_rc); }

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* ex = static_cast<Exchange*>(self);
        const size_t total = size * count;
        const size_t room = ex->m_maxBody - std::min(ex->m_maxBody, ex->m_body.size());
        if (total > room) {
            // Keep what fits; the short count makes libcurl stop reading.
            ex->m_body.append(data, room);
            ex->m_bCapped = true;
            return room;
        }
        ex->m_body.append(data, total);
        return total;
    }

    // The value of a header line when it is the header name (lower case, with its colon), blanks
    // around it dropped; nothing when it is another header or its value is empty.
    static std::optional<std::string_view> HeaderValue(std::string_view line,
                                                       std::string_view name) {
        if (line.size() <= name.size() || text::AsciiLower(line.substr(0, name.size())) != name)
            return std::nullopt;
        const std::string_view value = line.substr(name.size());
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t\r\n");
        if (first == std::string_view::npos || last == std::string_view::npos)
            return std::nullopt;
        return value.substr(first, last - first + 1);
    }

    // Called once per header line, status lines included.
    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* ex = static_cast<Exchange*>(self);
        const size_t total = size * count;
        std::string_view line(data, total);
        if (line.starts_with("HTTP/")) {
            ex->m_location.clear(); // a new answer begins (after an interim one)
            ex->m_retryAfter.clear();
        } else if (const auto value = HeaderValue(line, "retry-after:");
                   value && line.size() < 200) {
            ex->m_retryAfter = *value;
        } else if (const auto target = HeaderValue(line, "location:");
                   target && ex->m_location.empty()) {
            ex->m_location = *target;
        }
        return total;
    }

    CURL* m_curl = nullptr;
    std::size_t m_maxBody;
    curl_slist* m_headers;
    long m_connectTimeoutMs;
    std::string m_body;
    std::string m_location;
    std::string m_retryAfter;
    bool m_bCapped = false;
    CURLcode m_rc = CURLE_OK;
    long m_status = 0;
    char m_error[CURL_ERROR_SIZE] = {};
};

} // namespace

LineList SplitLines(std::string_view body) {
    LineList lines;
    size_t start = 0;
    while (start < body.size()) {
        const size_t lf = body.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(body.substr(start));
            break;
        }
        lines.emplace_back(body.substr(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

namespace {
// The age of the calling thread: the order in which threads first asked for a server lock.
unsigned long long ThreadAge() {
    static std::atomic<unsigned long long> next{0};
    thread_local const unsigned long long age = next++;
    return age;
}

// The calling thread's CKeepTurn scopes, and the server whose turn is kept for it.
thread_local int t_keepTurnScopes = 0;
thread_local CServerLock* t_keptTurn = nullptr;
// FetchLimits::keptTurnMs, read by every release of a server lock.
std::atomic<int> g_keptTurnMs{FetchLimits().keptTurnMs};
} // namespace

bool CServerLock::MayTake(unsigned long long age) const {
    if (m_bBusy)
        return false;
    if (m_keptFor == age)
        return true;
    if (m_keptFor != kNobody && std::chrono::steady_clock::now() < m_keptUntil)
        return false;
    return m_waiting.empty() || *m_waiting.begin() == age;
}

void CServerLock::lock() {
    LockUnless({});
}

bool CServerLock::LockUnless(const std::function<bool()>& cancelled) {
    const unsigned long long age = ThreadAge();
    // A thread keeps at most one turn: one kept at another server passes on now.
    if (t_keptTurn && t_keptTurn != this) {
        t_keptTurn->Forgo(age);
        t_keptTurn = nullptr;
    }
    std::unique_lock<std::mutex> guard(m_mutex);
    const auto take = [&] {
        m_bBusy = true;
        m_keptFor = kNobody;
        if (t_keptTurn == this)
            t_keptTurn = nullptr;
    };
    if (MayTake(age)) {
        take();
        return true;
    }
    m_waiting.insert(age);
    for (;;) {
        // Woken when the lock is let go or a kept turn given up. Nothing wakes a waiter when a
        // turn is kept or runs out: one that saw it kept waits no longer than it lasts, one
        // that was asleep already looks again within 20 ms.
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
        if (m_keptFor != kNobody && m_keptFor != age)
            until = std::min(until, m_keptUntil);
        if (!MayTake(age))
            m_free.wait_until(guard, until);
        if (MayTake(age)) {
            m_waiting.erase(age);
            take();
            return true;
        }
        if (!cancelled)
            continue;
        // Asked without the mutex: the check may take locks of its own.
        guard.unlock();
        const bool stop = cancelled();
        guard.lock();
        if (stop) {
            m_waiting.erase(age);
            guard.unlock();
            // The next oldest waiting thread may be first in line now.
            m_free.notify_all();
            return false;
        }
    }
}

void CServerLock::unlock() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_bBusy = false;
        const int keepMs = g_keptTurnMs.load();
        if (t_keepTurnScopes > 0 && keepMs > 0) {
            m_keptFor = ThreadAge();
            m_keptUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(keepMs);
            t_keptTurn = this;
            // Nobody else may take a kept turn, so the waiters are left asleep (waking them all
            // for nothing costs the keeper its processor); they look again within their wait.
            return;
        }
    }
    m_free.notify_all();
}

void CServerLock::Forgo(unsigned long long age) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_keptFor != age)
            return;
        m_keptFor = kNobody;
    }
    m_free.notify_all();
}

CKeepTurn::CKeepTurn() {
    ++t_keepTurnScopes;
}

CKeepTurn::~CKeepTurn() {
    if (--t_keepTurnScopes == 0 && t_keptTurn) {
        t_keptTurn->Forgo(ThreadAge());
        t_keptTurn = nullptr;
    }
}

std::size_t CServerLock::Waiting() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_waiting.size();
}

CServerLock& CFetchLocks::ForServer(const std::string& host, long port) {
    const std::string key = text::AsciiLower(host) + ":" + std::to_string(port);
    std::lock_guard<std::mutex> guard(m_mapLock);
    auto& slot = m_locks[key];
    if (!slot)
        slot = std::make_unique<CServerLock>();
    return *slot;
}

CPageFetcher::CPageFetcher() : m_pLines(std::make_unique<LineList>()) {}

CPageFetcher::~CPageFetcher() = default;

void CPageFetcher::SetAuthPrompt(AuthPrompt prompt) {
    std::lock_guard<std::mutex> guard(g_configLock);
    g_authPrompt = std::move(prompt);
}

void CPageFetcher::SetLimits(const FetchLimits& limits) {
    std::lock_guard<std::mutex> guard(g_configLock);
    g_limits = limits;
    g_keptTurnMs = std::max(0, limits.keptTurnMs);
}

FetchLimits CPageFetcher::Limits() {
    std::lock_guard<std::mutex> guard(g_configLock);
    return g_limits;
}

const LineList* CPageFetcher::FetchPage(const std::string& url, const std::string& referer) {
    m_pLines->clear();
    m_strBody.clear();
    m_strError.clear();
    m_strReason.clear();
    m_strNoPage.clear();
    m_strRedirect.clear();
    m_strRetryAfter.clear();
    m_nStatus = 0;
    m_bCancelled = false;

    AuthPrompt prompt;
    FetchLimits limits;
    {
        std::lock_guard<std::mutex> guard(g_configLock);
        prompt = g_authPrompt;
        limits = g_limits;
    }

    InitCurlOnce();
    const std::optional<Target> first = Crack(ComposeUrl(url));
    if (!first) {
        m_strNoPage = "The address is not an http or https address: " + url;
        return nullptr;
    }

    // A line break in the referer would start a header of its own.
    const std::string cleanReferer = referer.substr(0, referer.find_first_of("\r\n"));
    curl_slist* headers = nullptr;
    const std::vector<std::string> pageHeaders = {
        "Accept: text/*", "User-Agent: Microsoft Internet Explorer",
        cleanReferer.empty() ? std::string() : "Referer: " + cleanReferer,
        "Cache-Control: no-cache", "Pragma: no-cache"};
    for (const std::string& h : m_pOptions ? m_pOptions->headers : pageHeaders) {
        // A line break inside a header would start a header of its own.
        if (!h.empty() && h.find_first_of("\r\n") == std::string::npos)
            headers = curl_slist_append(headers, h.c_str());
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerGuard(headers,
                                                                            &curl_slist_free_all);

    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline;
    const auto startClock = [&] {
        deadline = Clock::now() + std::chrono::milliseconds(std::max(1L, limits.pageTimeoutMs));
    };
    auto remainingMs = [&] {
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    const auto cancelled = [&] {
        if (!m_bCancelled && CancelRequested()) {
            m_bCancelled = true;
            m_strNoPage = "Cancelled before the request was sent.";
        }
        return m_bCancelled;
    };

    Exchange ex(limits.maxBodyBytes, headers, limits.connectTimeoutMs);
    // A failed download still hands back what it read, when what it read is the page.
    auto failed = [&](const std::string& requestUrl, bool bodyIsPage) {
        m_nStatus = ex.Status();
        m_strRetryAfter = ex.RetryAfter();
        m_strReason = ex.Reason();
        m_strError = kDownloadProblem + m_strReason + "\n" + requestUrl;
        m_strBody = ex.Body();
        if (bodyIsPage)
            *m_pLines = SplitLines(ex.Body());
        return m_pLines.get();
    };

    // Waiting for the server's turn has no time limit of its own (it ends when the downloads
    // ahead end), but it ends at once on cancel; the page's time starts once the turn is ours.
    std::unique_lock<CServerLock> hold;
    if (!m_pOptions || !m_pOptions->ownPace) {
        CServerLock& firstLock = g_hFetchLock.ForServer(first->host, first->port);
        if (!firstLock.LockUnless(m_cancelled)) {
            cancelled();
            return nullptr;
        }
        hold = std::unique_lock<CServerLock>(firstLock, std::adopt_lock);
    }
    if (limits.pauseMaxMs > 0 && !PauseHoldingTurn(limits.pauseMinMs, limits.pauseMaxMs)) {
        cancelled();
        return nullptr;
    }
    // Borrowed while the server's turn is ours and given back before the turn passes on (the
    // lease ends before hold), so the next download of the server finds the open connection.
    Lease lease;
    CURL* curl = lease.Borrow(first->Server());
    if (!curl) {
        m_strError = kCannotConnect;
        return nullptr;
    }
    ex.Use(curl);
    if (m_pOptions) {
        // A result service's request: its method and body, and Basic credentials sent with
        // every request (so nothing ties them to the connection, which is kept).
        if (m_pOptions->method == "POST") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             curl_off_t(m_pOptions->body.size()));
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, m_pOptions->body.c_str());
        }
        if (m_pOptions->basicAuth) {
            curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(curl, CURLOPT_USERNAME, m_pOptions->user.c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, m_pOptions->password.c_str());
        }
    }
    startClock();

    if (cancelled())
        return nullptr;
    if (!ex.Send(first->url, remainingMs()))
        return failed(first->url, ex.Status() != 401 && !IsRedirect(ex.Status()));

    if (ex.Status() == 401 && !m_pOptions) {
        std::string user, password;
        if (prompt) {
            if (prompt(first->url, user, password))
                ex.SetCredentials(user, password);
            // The time the user took to answer is not the server's.
            startClock();
        }
        if (cancelled())
            return nullptr;
        if (!ex.Send(first->url, remainingMs()))
            return failed(first->url, !IsRedirect(ex.Status()));
    }

    m_nStatus = ex.Status();
    if (IsRedirect(ex.Status()) && !m_pOptions) {
        m_strRedirect = ex.Location();
        if (ex.Location().empty()) {
            m_strNoPage = "The server answered with a redirect to nowhere (HTTP " +
                          std::to_string(ex.Status()) + " without a Location).";
            return nullptr;
        }
        const std::optional<Target> next = Crack(EncodeUnsafe(ex.Location()), &first->url);
        if (!next) {
            m_strNoPage = "The server redirected to an address that cannot be fetched: " +
                          ex.Location().substr(0, 200);
            return nullptr;
        }
        const bool otherServer = !next->SameServer(*first);
        // The first server's handle goes back while its turn is still ours.
        if (otherServer)
            lease.Return();
        CServerLock& nextLock = g_hFetchLock.ForServer(next->host, next->port);
        if (&nextLock != hold.mutex()) {
            // Never two server locks at once: let go of the first server before the second.
            hold.unlock();
            const Clock::time_point waitStart = Clock::now();
            if (!nextLock.LockUnless(m_cancelled)) {
                cancelled();
                return nullptr;
            }
            hold = std::unique_lock<CServerLock>(nextLock, std::adopt_lock);
            // Time spent queueing for the second server is not the page's either.
            deadline += Clock::now() - waitStart;
        }
        if (otherServer) {
            // The other server's own handle: credentials given for one server are never sent
            // to another.
            curl = lease.Borrow(next->Server());
            if (!curl) {
                m_strError = kCannotConnect;
                return nullptr;
            }
            ex.Use(curl);
        }
        if (cancelled())
            return nullptr;
        if (!ex.Send(next->url, remainingMs()))
            return failed(next->url, ex.Status() == 200);
        m_nStatus = ex.Status();
        if (ex.Status() != 200) {
            m_strNoPage = "The redirected request answered HTTP " + std::to_string(ex.Status()) +
                          ": " + next->url;
            return nullptr;
        }
    }

    *m_pLines = SplitLines(ex.Body());
    m_strBody = ex.Body();
    m_strRetryAfter = ex.RetryAfter();
    return m_pLines.get();
}

bool CPageFetcher::PauseHoldingTurn(int minMs, int maxMs) {
    static std::mutex randomLock;
    static std::mt19937 random{std::random_device{}()};
    int ms = std::max(0, minMs);
    if (maxMs > ms) {
        std::lock_guard<std::mutex> guard(randomLock);
        ms = std::uniform_int_distribution<int>(ms, maxMs)(random);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!CancelRequested()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return false;
}

void CPageFetcher::SaveLines(const std::string& path) const {
    if (m_pLines->empty())
        return;
    // A line keeps the carriage return it came with; the CR LF end is added after it.
    std::string content;
    for (const std::string& line : *m_pLines) {
        content += line;
        content += "\r\n";
    }
    // The page file's folder may be shared (the window ranks in its start folder): a link or
    // pipe planted under either name must never be written through. The final name must be a
    // regular file or nothing; rename then replaces the name itself, never what a link names.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return;
    // Written whole under another name and renamed, so a reader never meets half a page; not
    // flushed to disk, since the page is read back at once and deleted (a flush per page cost
    // more than a local download).
    const std::string part = path + ".part";
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(part.c_str(), kCreate, 0666);
    if (fd < 0 && errno == EEXIST && lstat(part.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Left by a run that ended early: a plain file of ours may go. Whatever is put there
        // meanwhile makes the exclusive create fail again.
        unlink(part.c_str());
        fd = open(part.c_str(), kCreate, 0666);
    }
    if (fd < 0)
        return;
    bool written = true;
    for (std::size_t done = 0; written && done < content.size();) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            written = false;
    }
    if (close(fd) != 0 || !written || std::rename(part.c_str(), path.c_str()) != 0)
        unlink(part.c_str());
}
