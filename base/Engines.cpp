#include "base/Engines.h"

#include "base/QueryUrls.h"
#include "base/ResultLinks.h"
#include "base/TextUtil.h"

#include <array>
#include <cstring>
#include <mutex>

namespace engines {

namespace {

const char* const kGoogleTail = "&hl=en&lr=&ie=UTF-8&oe=UTF-8";
const char* const kAltaVistaTail = "&pg=q&avkw=qtrp&kl=XX";
const char* const kLycosMoreTail =
    "&page=more&ca=w&cl=fw&sv=3:a;d:0;9:0;d:0;9:0;6:b99eed;9:0;&gi=0";
const char* const kLookSmartTail = "&se=4,1,109,0&search=us302562;local_US";

// Result-list offset of page p (1-based) at the given page size; 0 for page 1 and below.
std::string Offset(const std::string& position, int pageSize) {
    const long long p = text::LeadingInt(position);
    return std::to_string(p > 1 ? (p - 1) * pageSize : 0);
}

std::string GoogleFirst(const std::string& host, const std::string& kw) {
    return "http://" + host + "/search?q=" + kw + kGoogleTail;
}
std::string GooglePage(const std::string& host, const std::string& kw, int page, int) {
    if (page < 1)
        return GoogleFirst(host, kw);
    return GoogleFirst(host, kw) + "&start=" + std::to_string(page * 10) + "&sa=N";
}
std::string GoogleView(const std::string& host, const std::string& kw, const std::string& pos) {
    return GoogleFirst(host, kw) + "&start=" + Offset(pos, 10) + "&sa=N";
}

std::string AltaVistaFirst(const std::string& host, const std::string& kw) {
    return "http://" + host + "/sites/search/web?q=" + kw + kAltaVistaTail;
}
std::string AltaVistaPage(const std::string& host, const std::string& kw, int page, int) {
    if (page < 1)
        return AltaVistaFirst(host, kw);
    return AltaVistaFirst(host, kw) + "&stq=" + std::to_string(page * 10);
}
std::string AltaVistaView(const std::string& host, const std::string& kw, const std::string& pos) {
    return AltaVistaFirst(host, kw) + "&stq=" + Offset(pos, 10);
}

std::string LycosFirst(const std::string& host, const std::string& kw) {
    return "http://" + host + "/default.asp?lpv=1&loc=searchhp&tab=web&query=" + kw;
}
std::string LycosPage(const std::string& host, const std::string& kw, int page, int counted) {
    if (page < 1)
        return LycosFirst(host, kw);
    // Lycos pages on from the last counted result, not by a fixed page size.
    return "http://" + host + "/default.asp?query=" + kw + "&first=" + std::to_string(counted + 1) +
           kLycosMoreTail;
}
std::string LycosView(const std::string& host, const std::string& kw, const std::string& rank) {
    if (text::LeadingInt(rank) > 10)
        return LycosFirst(host, kw) + "&first=" + rank::EncodeKeywords(rank) + "&page=more";
    return LycosFirst(host, kw);
}

std::string LookSmartFirst(const std::string& host, const std::string& kw) {
    return "http://" + host + "/r_search?look=&key=" + kw;
}
std::string LookSmartPage(const std::string& host, const std::string& kw, int page, int) {
    if (page < 1)
        return LookSmartFirst(host, kw);
    return LookSmartFirst(host, kw) + "&skip=" + std::to_string(page * 15) + kLookSmartTail;
}
std::string LookSmartView(const std::string& host, const std::string& kw, const std::string& pos) {
    if (text::LeadingInt(pos) > 1)
        return LookSmartFirst(host, kw) + "&skip=" + Offset(pos, 15) + kLookSmartTail;
    return LookSmartFirst(host, kw);
}

// In SearchEngine order. The LookSmart Visit caption is cut short to fit its button.
const EngineInfo kEngines[kEngineCount] = {
    {Google, "Google", "google", "bGoogle", "GoogleHost", "GoogleSource", "www.google.com",
     "Enable &Google", "&Google", 1020, 7, "Visit &Google", GooglePage, GoogleView, Position::Page,
     rank::rules::GoogleLine, rank::rules::GoogleOwnLink},
    {AltaVista, "Altavista", "altavista", "bAltavista", "AltavistaHost", "AltavistaSource",
     "www.altavista.com", "Enable &Altavista", "&Altavista", 3, 56, "Visit &Altavista",
     AltaVistaPage, AltaVistaView, Position::Page, rank::rules::AltaVistaLine, nullptr},
    {Lycos, "Lycos", "lycos", "bLycos", "LycosHost", "LycosSource", "search.lycos.com",
     "Enable &Lycos", "&Lycos", 4, 105, "Visit &Lycos", LycosPage, LycosView, Position::Rank,
     rank::rules::LycosLine, nullptr},
    {LookSmart, "Looksmart", "looksmart", "bLooksmart", "LooksmartHost", "LooksmartSource",
     "search.looksmart.com", "Enable L&ooksmart", "L&ooksmart", 5, 155, "Visit L&ooksm",
     LookSmartPage, LookSmartView, Position::Page, rank::rules::LookSmartLine, nullptr},
};

std::mutex g_slotLock;
std::array<std::string, kEngineCount> g_slotEngines; // empty: the slot's own engine

} // namespace

std::span<const EngineInfo> All() {
    return kEngines;
}

const EngineInfo& Info(SearchEngine engine) {
    const int i = static_cast<int>(engine);
    return kEngines[i >= 0 && i < kEngineCount ? i : 0];
}

int FromKey(std::string_view name) {
    for (const EngineInfo& e : kEngines) {
        if (name.size() == std::strlen(e.key) && text::EqualsNoCase(name, e.key))
            return e.id;
    }
    return -1;
}

std::string KeyList(const char* separator, const char* lastSeparator) {
    std::string list;
    for (int i = 0; i < kEngineCount; ++i) {
        if (i > 0)
            list += i + 1 == kEngineCount ? lastSeparator : separator;
        list += kEngines[i].key;
    }
    return list;
}

void SetSlotEngine(SearchEngine slot, std::string_view engine) {
    const int i = static_cast<int>(slot);
    if (i < 0 || i >= kEngineCount)
        return;
    std::lock_guard<std::mutex> lock(g_slotLock);
    g_slotEngines[i] = text::AsciiLower(std::string(engine));
}

std::string SlotEngine(SearchEngine slot) {
    const int i = static_cast<int>(slot);
    if (i < 0 || i >= kEngineCount)
        return {};
    std::lock_guard<std::mutex> lock(g_slotLock);
    return g_slotEngines[i];
}

std::string SlotLabel(SearchEngine slot) {
    const std::string engine = SlotEngine(slot);
    return engine.empty() ? std::string(Info(slot).name) : EngineCaption(engine);
}

std::string SlotCaption(SearchEngine slot, const char* tableCaption, std::string_view prefix) {
    const std::string engine = SlotEngine(slot);
    if (engine.empty())
        return tableCaption;
    return std::string(prefix) + "&" + EngineCaption(engine);
}

std::string EngineCaption(std::string_view engine) {
    static const std::pair<std::string_view, const char*> known[] = {
        {"google", "Google"},         {"bing", "Bing"},   {"yahoo", "Yahoo"},
        {"duckduckgo", "DuckDuckGo"}, {"brave", "Brave"},
    };
    for (const auto& [name, caption] : known) {
        if (name == engine)
            return caption;
    }
    std::string caption(engine);
    if (!caption.empty() && caption[0] >= 'a' && caption[0] <= 'z')
        caption[0] = char(caption[0] - 'a' + 'A');
    return caption;
}

} // namespace engines
