#pragma once
// One HTTP download into a list of text lines (bytes, as received).

#include <functional>
#include <memory>
#include <string>
#include <vector>

using LineList = std::vector<std::string>;

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

    // Writes the lines to path with CR LF line ends; does nothing when there are none.
    void SaveLines(const std::string& path) const;

    // Text for the user about the last failed download, empty when it did not fail.
    const std::string& LastError() const { return m_strError; }

    // Asked once on a 401 answer: fills user and password; false when the user declined.
    using AuthPrompt =
        std::function<bool(const std::string& url, std::string& user, std::string& password)>;
    static void SetAuthPrompt(AuthPrompt prompt);

private:
    std::unique_ptr<LineList> m_pLines;
    std::string m_strError;
};
