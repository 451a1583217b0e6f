#include "alerts/AlertRules.h"

#include "base/Maker.h"
#include "data/DataFile.h"
#include "history/HistoryText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <set>

namespace tw::alerts {

namespace {

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::vector<std::string_view> splitCommas(std::string_view s) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t comma = s.find(',');
        parts.push_back(trimmed(s.substr(0, comma)));
        if (comma == std::string_view::npos)
            return parts;
        s.remove_prefix(comma + 1);
    }
}

std::optional<int> number(std::string_view s, int lowest, int highest) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < lowest || v > highest)
        return std::nullopt;
    return v;
}

std::optional<bool> yesNo(std::string_view s) {
    const std::string v = lower(s);
    if (v.empty() || v == "no" || v == "false" || v == "off" || v == "0")
        return false;
    if (v == "yes" || v == "true" || v == "on" || v == "1")
        return true;
    return std::nullopt;
}

bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return (unsigned char)c < 0x20 || (unsigned char)c == 0x7f; });
}

// An inline comment starts at ';' or '#' after a blank: a bare one may belong to the value.
std::string_view withoutComment(std::string_view value) {
    for (std::size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == ';' || value[i] == '#') && isBlank(value[i - 1]))
            return trimmed(value.substr(0, i));
    }
    return trimmed(value);
}

const char* kNotFound = "not found";
const char* kError = "error";

bool known(const SlotResult& r) {
    return r.rank.has_value() || r.text == kNotFound;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty())
            out += separator;
        out += p;
    }
    return out;
}

} // namespace

QString alertsPathFor(const QString& dataFilePath) {
    return datafile::BesidePath(dataFilePath, QStringLiteral(".alerts.ini"));
}

bool isWebhookUrl(std::string_view url) {
    const std::string l = lower(url.substr(0, 8));
    const std::size_t scheme = l.starts_with("https://") ? 8 : l.starts_with("http://") ? 7 : 0;
    if (scheme == 0 || url.size() <= scheme || url.size() > 2000 || hasControl(url))
        return false;
    if (std::any_of(url.begin(), url.end(), isBlank))
        return false;
    const char first = url[scheme];
    return first != '/' && first != '?' && first != '#' && first != ':';
}

bool isMailAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    if (address.size() > 254 || at == std::string_view::npos || at == 0 ||
        address.find('@', at + 1) != std::string_view::npos)
        return false;
    const std::string_view local = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    static constexpr std::string_view kLocalSigns = "!#$%&'*+-/=?^_`{|}~.";
    const auto alnum = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    if (local.size() > 64 || local.front() == '.' || local.back() == '.' ||
        !std::all_of(local.begin(), local.end(), [&](char c) {
            return alnum(c) || kLocalSigns.find(c) != std::string_view::npos;
        }))
        return false;
    if (domain.empty() || domain.front() == '.' || domain.back() == '.' || domain.front() == '-' ||
        domain.find("..") != std::string_view::npos)
        return false;
    return std::all_of(domain.begin(), domain.end(),
                       [&](char c) { return alnum(c) || c == '-' || c == '.'; });
}

bool parseMailList(std::string_view text, std::vector<std::string>* out, QString* error) {
    out->clear();
    if (trimmed(text).empty())
        return true;
    for (std::string_view part : splitCommas(text)) {
        if (part.empty())
            continue;
        if (!isMailAddress(part)) {
            setError(error, QStringLiteral("\"%1\" is not a mail address (name@host.example)")
                                .arg(q(part.substr(0, 80))));
            out->clear();
            return false;
        }
        if (std::find(out->begin(), out->end(), part) == out->end())
            out->emplace_back(part);
    }
    return true;
}

bool parseTopList(std::string_view text, std::vector<int>* out, QString* error) {
    out->clear();
    if (trimmed(text).empty())
        return true;
    for (std::string_view part : splitCommas(text)) {
        const std::optional<int> n = number(part, 1, kMaxRank);
        if (!n) {
            setError(error, QStringLiteral("takes ranks from 1 to %1, comma-separated (\"3,10\"), "
                                           "not \"%2\"")
                                .arg(kMaxRank)
                                .arg(q(trimmed(text).substr(0, 80))));
            out->clear();
            return false;
        }
        out->push_back(*n);
    }
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
}

bool parseAlerts(std::string_view text, AlertConfig* out, QStringList* warnings, QString* error) {
    AlertConfig config;
    std::string section;
    int lineNumber = 0;
    const auto warn = [&](const QString& w) {
        if (warnings)
            *warnings << QStringLiteral("line %1: %2").arg(lineNumber).arg(w);
    };
    const auto fail = [&](const QString& why) {
        setError(error, QStringLiteral("line %1: %2").arg(lineNumber).arg(why));
        return false;
    };
    std::string_view rest = text;
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    while (!rest.empty()) {
        ++lineNumber;
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos)
                return fail(QStringLiteral("\"%1\" is missing its \"]\"").arg(q(line)));
            section = lower(trimmed(line.substr(1, close - 1)));
            if (section != "rules" && section != "send")
                warn(QStringLiteral("unknown section [%1] skipped").arg(q(section)));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return fail(
                QStringLiteral("\"%1\" is not a key=value line").arg(q(line.substr(0, 80))));
        const std::string key = lower(trimmed(line.substr(0, eq)));
        const std::string_view value = withoutComment(line.substr(eq + 1));
        if (section.empty()) {
            warn(QStringLiteral("\"%1\" outside [rules] and [send] skipped").arg(q(key)));
            continue;
        }
        if (section == "rules" && key == "top") {
            QString why;
            if (!parseTopList(value, &config.top, &why))
                return fail(QStringLiteral("top %1").arg(why));
        } else if (section == "rules" && (key == "moved" || key == "new_above")) {
            const int highest = key == "moved" ? kMaxRank : kMaxNewAbove;
            const std::optional<int> n = value.empty() ? 0 : number(value, 0, highest);
            if (!n)
                return fail(QStringLiteral("%1 takes a number from 1 to %2 (0 or nothing: off), "
                                           "not \"%3\"")
                                .arg(q(key))
                                .arg(highest)
                                .arg(q(value.substr(0, 80))));
            (key == "moved" ? config.moved : config.newAbove) = *n;
        } else if ((section == "rules" && key == "errors") ||
                   (section == "send" && (key == "desktop" || key == "mail_report"))) {
            const std::optional<bool> on = yesNo(value);
            if (!on)
                return fail(QStringLiteral("%1 takes yes or no, not \"%2\"")
                                .arg(q(key), q(value.substr(0, 80))));
            (key == "errors"    ? config.errors
             : key == "desktop" ? config.desktop
                                : config.mailReport) = *on;
        } else if (section == "send" && key == "webhook") {
            if (!value.empty() && !isWebhookUrl(value))
                return fail(QStringLiteral("webhook takes an http:// or https:// address"));
            config.webhook = std::string(value);
        } else if (section == "send" && key == "mail_to") {
            QString why;
            if (!parseMailList(value, &config.mailTo, &why))
                return fail(QStringLiteral("mail_to: %1").arg(why));
        } else if (section == "rules" || section == "send") {
            warn(QStringLiteral("unknown key \"%1\" in [%2] skipped").arg(q(key), q(section)));
        }
    }
    *out = std::move(config);
    return true;
}

std::string formatAlerts(const AlertConfig& c) {
    std::string top;
    for (int n : c.top)
        top += (top.empty() ? "" : ",") + std::to_string(n);
    std::string out;
    out += "; The alerts of this list, checked after every run. No rule or no channel: nothing\n"
           "; is sent.\n";
    out += "[rules]\n";
    out += "; an entry leaves or enters the top N (one or more, e.g. 3,10)\n";
    out += "top=" + top + "\n";
    out += "; an entry moves N places or more either way\n";
    out += "moved=" + (c.moved > 0 ? std::to_string(c.moved) : std::string()) + "\n";
    out += "; a site not above the entry in the previous run is above it now within the top N\n";
    out += "new_above=" + (c.newAbove > 0 ? std::to_string(c.newAbove) : std::string()) + "\n";
    out += "; a column reads \"error\"\n";
    out += std::string("errors=") + (c.errors ? "yes" : "no") + "\n";
    out += "[send]\n";
    out += "; POST of a JSON body with a \"text\" field\n";
    out += "webhook=" + c.webhook + "\n";
    out += "; through the mail server of the settings\n";
    out += "mail_to=" + joined(c.mailTo, ", ") + "\n";
    out += std::string("desktop=") + (c.desktop ? "yes" : "no") + "\n";
    if (c.mailReport)
        out += "mail_report=yes\n";
    return out;
}

bool readAlerts(const QString& dataFilePath, std::optional<AlertConfig>* out, QStringList* warnings,
                QString* error) {
    out->reset();
    const QString path = alertsPathFor(dataFilePath);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    const QString shown = datafile::DisplayPath(path);
    QFile file(path);
    if (!info.isFile() || info.size() > kMaxFileBytes) {
        setError(error,
                 QStringLiteral("The alert rules \"%1\" were not read: %2")
                     .arg(shown,
                          info.isFile()
                              ? QStringLiteral("the file is over %1 KiB").arg(kMaxFileBytes / 1024)
                              : QStringLiteral("it is not a regular file")));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("The alert rules \"%1\" could not be read: %2")
                            .arg(shown, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    AlertConfig config;
    QString why;
    QStringList notes;
    if (!parseAlerts(std::string_view(bytes.constData(), std::size_t(bytes.size())), &config,
                     &notes, &why)) {
        setError(error,
                 QStringLiteral("The alert rules \"%1\" cannot be used, %2.").arg(shown, why));
        return false;
    }
    if (warnings)
        for (const QString& n : notes)
            *warnings << QStringLiteral("\"%1\", %2").arg(shown, n);
    *out = std::move(config);
    return true;
}

bool writeAlerts(const QString& dataFilePath, const AlertConfig& config, QString* error) {
    const QString path = alertsPathFor(dataFilePath);
    const std::string text = formatAlerts(config);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        setError(error, QStringLiteral("The alert rules \"%1\" could not be written: %2")
                            .arg(datafile::DisplayPath(path), file.errorString()));
        return false;
    }
    return true;
}

std::string siteOf(std::string_view address) {
    std::string_view s = address;
    if (const std::size_t scheme = s.find("://"); scheme != std::string_view::npos)
        s.remove_prefix(scheme + 3);
    s = s.substr(0, s.find_first_of("/?#"));
    if (const std::size_t at = s.rfind('@'); at != std::string_view::npos)
        s.remove_prefix(at + 1);
    if (!s.starts_with('[')) // an IPv6 address keeps its colons
        s = s.substr(0, s.find(':'));
    std::string host = lower(s);
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.starts_with("www."))
        host.erase(0, 4);
    return host;
}

std::vector<Alert> evaluate(const AlertConfig& config, const std::vector<SlotChange>& changes) {
    std::vector<Alert> alerts;
    for (const SlotChange& c : changes) {
        const SlotResult& now = c.current;
        const std::optional<SlotResult>& before = c.previous;
        Alert base;
        base.url = c.url;
        base.keywords = c.keywords;
        base.slotKey = c.slotKey;
        base.engine = c.engine;
        base.oldText = before ? before->text : std::string();
        base.newText = now.text;
        const bool comparable = before && known(*before) && known(now);
        const bool bothRanked = before && before->rank && now.rank;
        for (int n : config.top) {
            if (!comparable)
                break;
            const bool wasIn = before->rank && *before->rank <= n;
            const bool isIn = now.rank && *now.rank <= n;
            if (wasIn != isIn) {
                Alert a = base;
                a.rule = "top";
                a.n = n;
                a.entered = isIn;
                alerts.push_back(std::move(a));
            }
        }
        if (config.moved > 0 && bothRanked && std::abs(*now.rank - *before->rank) >= config.moved) {
            Alert a = base;
            a.rule = "moved";
            a.n = config.moved;
            a.oldRank = *before->rank;
            a.newRank = *now.rank;
            alerts.push_back(std::move(a));
        }
        if (config.newAbove > 0 && bothRanked) {
            std::set<std::string> earlier;
            for (const std::string& site : before->sitesAbove)
                earlier.insert(siteOf(site));
            std::vector<std::string> fresh;
            const std::size_t within =
                std::min<std::size_t>(std::size_t(config.newAbove), now.sitesAbove.size());
            for (std::size_t i = 0; i < within; ++i) {
                std::string site = siteOf(now.sitesAbove[i]);
                if (!site.empty() && !earlier.contains(site) &&
                    std::find(fresh.begin(), fresh.end(), site) == fresh.end())
                    fresh.push_back(std::move(site));
            }
            if (!fresh.empty()) {
                Alert a = base;
                a.rule = "new_above";
                a.n = config.newAbove;
                a.sites = std::move(fresh);
                alerts.push_back(std::move(a));
            }
        }
        if (config.errors && now.text == kError) {
            Alert a = base;
            a.rule = "errors";
            alerts.push_back(std::move(a));
        }
    }
    return alerts;
}

std::string describe(const Alert& a) {
    if (a.rule == "top")
        return (a.entered ? "entered the top " : "left the top ") + std::to_string(a.n);
    if (a.rule == "moved") {
        const int places = std::abs(a.newRank - a.oldRank);
        return std::string(a.newRank < a.oldRank ? "moved up " : "moved down ") +
               std::to_string(places) + (places == 1 ? " place" : " places");
    }
    if (a.rule == "new_above")
        return "new above it in the top " + std::to_string(a.n) + ": " + joined(a.sites, ", ");
    return "reads \"error\"";
}

std::string AlertMessage::subject() const {
    return std::string(maker::kProduct) + ": " + std::to_string(alerts.size()) +
           (alerts.size() == 1 ? " alert" : " alerts") + " for " + list;
}

std::string AlertMessage::text() const {
    std::string out = subject() + ", run of " +
                      run.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString() + "\n\n";
    std::size_t listed = 0;
    for (const Alert& a : alerts) {
        if (listed++ == kMaxListedAlerts) {
            out += "and " + std::to_string(alerts.size() - kMaxListedAlerts) + " more\n";
            break;
        }
        out += a.url + " \"" + a.keywords + "\", " + a.engine + ": " + describe(a) + " (" +
               (a.oldText.empty() ? std::string("no earlier result") : a.oldText) + " -> " +
               a.newText + ")\n";
    }
    return out;
}

std::string AlertMessage::webhookJson() const {
    using nlohmann::json;
    json body;
    body["text"] = text();
    body["list"] = list;
    body["run"] = isoTimeWithOffset(run).toStdString();
    json items = json::array();
    for (const Alert& a : alerts) {
        if (items.size() == kMaxListedAlerts) {
            body["more"] = alerts.size() - kMaxListedAlerts;
            break;
        }
        json item;
        item["rule"] = a.rule;
        item["n"] = a.rule == "errors" ? json(nullptr) : json(a.n);
        item["url"] = a.url;
        item["keywords"] = a.keywords;
        item["slot"] = a.slotKey;
        item["engine"] = a.engine;
        item["old"] = a.oldText.empty() ? json(nullptr) : json(a.oldText);
        item["new"] = a.newText;
        if (a.rule == "top")
            item["entered"] = a.entered;
        if (a.rule == "new_above")
            item["sites"] = a.sites;
        items.push_back(std::move(item));
    }
    body["alerts"] = std::move(items);
    // Texts are the list's bytes: what is not UTF-8 goes out as U+FFFD.
    return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace tw::alerts
