// The result services' answer readers on any answer. The first byte picks the provider and the
// status; the rest is the body.

#include "sources/Providers.h"

#include <cstdlib>
#include <string>
#include <string_view>

using namespace tw::sources;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const Source kSources[] = {
        {Provider::Serper, "google"},     {Provider::SerpApi, "bing"},
        {Provider::DataForSeo, "google"}, {Provider::Brave, "brave"},
        {Provider::Searxng, "google"},
    };
    static const long kStatus[] = {200, 200, 200, 400, 401, 422, 429, 500};
    const Source& source = kSources[data[0] % 5];
    const long status = kStatus[(data[0] / 5) % 8];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

    const PageAnswer answer = readAnswer(source, status, body);
    if (answer.kind == AnswerKind::Results) {
        if (!answer.error.empty())
            std::abort();
        for (const std::string& url : answer.urls) {
            // Only http(s) addresses, each a piece of the answer.
            std::string head = url.substr(0, 8);
            for (char& c : head)
                c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
            if (url.size() > body.size() || (!head.starts_with("http://") && head != "https://"))
                std::abort();
        }
    } else if (answer.error.empty() || !answer.urls.empty()) {
        std::abort();
    }
    // The message never grows without bound, whatever the provider said.
    if (answer.error.size() > 400)
        std::abort();
    (void)redactSecrets(std::string(body.substr(0, 4096)),
                        Credentials{"k1k1k1", "api_key", "", "", "pw-pw"});
    return 0;
}
