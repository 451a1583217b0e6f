#include "upgrade/UpgradeCheck.h"

#include "base/TextUtil.h"
#include "settings/RegistrySettings.h"

#include <QString>

#include <cfloat>
#include <cmath>
#include <string_view>

namespace {

constexpr std::string_view kVersionMarker = "<!-- UPGRADE Version";
constexpr std::string_view kDescriptionMarker = "<!-- UPGRADE Description";
constexpr std::string_view kDescriptionEnd = "END UPGRADE Description";
constexpr std::string_view kLinkMarker = "<!-- UPGRADE Download Link";

// The stored date is read into a buffer of this many bytes, its end included.
constexpr std::size_t kDateBuffer = 100;
constexpr long long kMsPerDay = 24LL * 60 * 60 * 1000;
const QTime kStoredTime(1, 1, 1);

bool contains(const std::string& line, std::string_view marker) {
    return line.find(marker) != std::string::npos;
}

// Lines come with the carriage return of a CR LF page still on them; a value is the line's text.
std::string lineText(const std::string& line) {
    if (!line.empty() && line.back() == '\r')
        return line.substr(0, line.size() - 1);
    return line;
}

// True when text starts (after blanks and a sign) with a decimal number.
bool startsWithNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i < text.size() && text[i] == '.')
        ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

QDateTime localNow() {
    return QDateTime::currentDateTime();
}

} // namespace

namespace upgrade {

std::optional<QDate> ParseCheckDate(const std::string& text) {
    int numbers[3] = {0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        pos = text.find_first_not_of(' ', pos);
        if (pos == std::string::npos)
            break;
        const std::size_t end = text.find(' ', pos);
        numbers[count++] = text::LeadingInt(std::string_view(text).substr(
            pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    if (count < 3 || numbers[0] == 0 || numbers[1] == 0 || numbers[2] == 0)
        return std::nullopt;
    const int month = numbers[0];
    const int day = numbers[1];
    const int year = numbers[2];
    // The years a stored date could ever hold; outside them no span can be taken.
    if (year < 100 || year > 9999)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::string FormatCheckDate(const QDate& date) {
    return std::to_string(date.month()) + ' ' + std::to_string(date.day()) + ' ' +
           std::to_string(date.year());
}

long long WholeDaysSince(const QDate& stored, const QDateTime& now) {
    // Counted on the wall clock, so a change to or from summer time moves nothing.
    const long long days = now.date().toJulianDay() - stored.toJulianDay();
    const long long ms =
        days * kMsPerDay + now.time().msecsSinceStartOfDay() - kStoredTime.msecsSinceStartOfDay();
    return ms / kMsPerDay; // integer division truncates toward zero
}

} // namespace upgrade

CUpgradeCheck::CUpgradeCheck() : m_clock(localNow) {}

void CUpgradeCheck::SetTarget(const std::string& product, float version,
                              const std::string& pageUrl) {
    m_strProduct = product;
    m_fVersion = version;
    m_strPageUrl = pageUrl;
}

bool CUpgradeCheck::IsCheckDue() {
    const QDateTime now = Now();
    std::string text = CRegistrySettings().ReadString(m_strProduct, upgrade::kDateValue);
    if (text.size() >= kDateBuffer)
        text.clear();
    const std::optional<QDate> stored = upgrade::ParseCheckDate(text);
    if (!stored) {
        m_dtLastCheck = now;
        return false;
    }
    if (upgrade::WholeDaysSince(*stored, now) < upgrade::kReminderDays) {
        m_dtLastCheck = QDateTime(*stored, kStoredTime);
        return false;
    }
    m_dtLastCheck = now;
    return true;
}

void CUpgradeCheck::ParseUpgradePage(const LineList* lines) {
    m_strDescription.clear();
    m_bVersionRead = false;
    if (!lines)
        return;
    const LineList& page = *lines;
    std::size_t i = 0;
    while (i < page.size()) {
        const std::string& line = page[i];
        if (contains(line, kVersionMarker)) {
            if (i + 1 < page.size()) {
                const std::string& value = page[i + 1];
                const double version = text::LeadingDouble(value);
                // A line without a number, or one no float can hold, names no version.
                if (startsWithNumber(value) && std::isfinite(version) &&
                    std::fabs(version) <= FLT_MAX) {
                    m_fLatestVersion = static_cast<float>(version);
                    m_bVersionRead = true;
                }
            }
            i += 2;
        } else if (contains(line, kDescriptionMarker)) {
            ++i;
            if (contains(line, kDescriptionEnd))
                continue;
            while (i < page.size() && !contains(page[i], kDescriptionEnd)) {
                m_strDescription += lineText(page[i]);
                m_strDescription += '\n';
                ++i;
            }
            ++i; // the end line itself
        } else if (contains(line, kLinkMarker)) {
            if (i + 1 < page.size())
                m_strDownloadLink = lineText(page[i + 1]);
            i += 2;
        } else {
            ++i;
        }
    }
}

void CUpgradeCheck::SaveCheckDate() {
    if (!m_dtLastCheck.isValid())
        return;
    CRegistrySettings().WriteString(m_strProduct, upgrade::kDateValue,
                                    upgrade::FormatCheckDate(m_dtLastCheck.date()));
}

CUpgradeCheck::Outcome CUpgradeCheck::CheckNow() {
    ParseUpgradePage(m_fetcher.FetchPage(m_strPageUrl, std::string()));
    m_dtLastCheck = Now();
    if (!m_bVersionRead)
        return Outcome::Unreadable;
    return m_fLatestVersion > m_fVersion ? Outcome::Newer : Outcome::NotNewer;
}

std::string CUpgradeCheck::NewUpgradeText() const {
    return "A new upgrade of " + m_strProduct + " is available for download.\n\nDescription:\n\n" +
           m_strDescription + "\n\nWould you like to download the upgrade now?";
}

std::string CUpgradeCheck::NotNewerText() const {
    // Always with a decimal point, whatever the user's locale.
    const std::string version =
        QString::number(static_cast<double>(m_fLatestVersion), 'f', 2).toStdString();
    return "You have the most recent version v" + version + ".\nNo upgrade is available.";
}

std::string CUpgradeCheck::UnreadableText() const {
    const std::string& error = m_fetcher.LastError();
    return "The upgrade page could not be read.\n\n" + (error.empty() ? m_strPageUrl : error);
}
