#pragma once
// Asking the maker's upgrade page whether a newer version exists, and remembering when the user
// was last reminded. The dialogs show what this finds; nothing here touches a window.

#include "base/PageFetcher.h"

#include <QDate>
#include <QDateTime>

#include <functional>
#include <optional>
#include <string>

namespace upgrade {

// Days between reminders.
inline constexpr int kReminderDays = 16;
// Settings value holding the date of the last check or reminder.
inline constexpr const char* kDateValue = "UpgradeDate";

// The stored "month day year" text as a date; nothing when it holds fewer than three numbers,
// a zero, or no calendar date between the years 100 and 9999.
std::optional<QDate> ParseCheckDate(const std::string& text);

// "month day year" without leading zeros: 5 December 2002 is "12 5 2002".
std::string FormatCheckDate(const QDate& date);

// Whole days (truncated toward zero) from 01:01:01 of stored to now, counted on the local
// wall clock.
long long WholeDaysSince(const QDate& stored, const QDateTime& now);

} // namespace upgrade

class CUpgradeCheck {
public:
    // What a check found.
    enum class Outcome { Newer, NotNewer, Unreadable };
    using Clock = std::function<QDateTime()>;

    CUpgradeCheck();
    virtual ~CUpgradeCheck() = default;

    // Product name (also the settings key), own version, address of the upgrade page.
    void SetTarget(const std::string& product, float version, const std::string& pageUrl);

    // At start-up: true when a reminder is due. Sets the date that SaveCheckDate writes.
    bool IsCheckDue();

    // Reads version, description and download link from the page's lines (null: no lines).
    void ParseUpgradePage(const LineList* lines);

    // Writes the date of the last check or reminder, if there is one.
    void SaveCheckDate();

    // Downloads and reads the page and counts it as a check done now.
    Outcome CheckNow();

    // Texts for the user about the last check.
    std::string NewUpgradeText() const;
    std::string NotNewerText() const;
    std::string UnreadableText() const;

    // Tests set the clock; the default is the local time.
    void SetClock(Clock clock) { m_clock = std::move(clock); }
    QDateTime Now() const { return m_clock(); }

    float m_fVersion = 0.0f;
    std::string m_strPageUrl;
    std::string m_strProduct;
    std::string m_strDownloadLink;
    std::string m_strDescription;
    float m_fLatestVersion = 0.0f;
    CPageFetcher m_fetcher;
    // Date of the last check or reminder; invalid means there is nothing to write.
    QDateTime m_dtLastCheck;
    // Whether the last page read held a version.
    bool m_bVersionRead = false;

private:
    Clock m_clock;
};
