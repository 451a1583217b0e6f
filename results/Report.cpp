#include "results/Report.h"

#include "base/Engines.h"
#include "base/Maker.h"
#include "data/DataFile.h"
#include "data/OutputFile.h"

namespace report {

namespace {
const char* const kLineEnd = "\r\n";

// Engine labels are padded to this width, so that the results line up in column 18.
constexpr std::size_t kLabelWidth = 17;

std::string label(int engine) {
    std::string text = engines::SlotLabel(SearchEngine(engine));
    if (text.size() < kLabelWidth)
        text.append(kLabelWidth - text.size(), ' ');
    return text;
}

void appendLine(std::string& out, const std::string& text) {
    out += text;
    out += kLineEnd;
}

std::string twoDigits(int n) {
    std::string s = std::to_string(n);
    if (n < 10)
        s.insert(0, 1, '0');
    return s;
}

std::string fourDigits(int n) {
    std::string s = std::to_string(n);
    if (n >= 0 && s.size() < 4)
        s.insert(0, 4 - s.size(), '0');
    return s;
}
} // namespace

std::string DateLine(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return "Results Produced on " + std::to_string(d.month()) + "/" + std::to_string(d.day()) +
           "/" + fourDigits(d.year()) + " " + twoDigits(t.hour()) + ":" + twoDigits(t.minute()) +
           " ";
}

std::string FormatReport(const std::vector<EntryRow>& rows, const QDateTime& now) {
    std::string out;
    appendLine(out, std::string("Tallowick! Results by ") + maker::kName + " " + maker::kWebSite);
    appendLine(out, DateLine(now));
    appendLine(out, {});
    appendLine(out, {});
    const std::string rule(34, '-');
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& cells = rows[i].cells;
        appendLine(out, std::to_string(i + 1) + ". " + cells[ColUrl]);
        appendLine(out, "Target Keywords: " + cells[ColKeywords]);
        for (int engine = 0; engine < kEngineCount; ++engine)
            appendLine(out, label(engine) + cells[EngineColumn(engine)]);
        appendLine(out, {});
        appendLine(out, rule);
        appendLine(out, {});
    }
    return out;
}

bool SaveReport(const QString& path, const std::vector<EntryRow>& rows, const QDateTime& now,
                QString* error) {
    const std::string bytes = FormatReport(rows, now);
    QString reason;
    const bool ok =
        outputfile::Write(path, bytes.data(), static_cast<qint64>(bytes.size()), &reason);
    if (!ok && error)
        *error = QStringLiteral("The results could not be saved to \"%1\".\n\n%2.")
                     .arg(datafile::DisplayPath(path), reason);
    return ok;
}

bool SaveReport(const QString& path, const EntryListModel& model, const QDateTime& now,
                QString* error) {
    return SaveReport(path, model.rows(), now, error);
}

} // namespace report
