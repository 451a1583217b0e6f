#include "reports/ReportModel.h"

#include "history/KeptResults.h"
#include "settings/ReportSettings.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <map>

namespace tw::reports {

namespace {

bool isError(const HistoryResult& r) {
    return !r.error.empty() || r.text == "error";
}

std::optional<int> foundRank(const HistoryResult& r) {
    return isError(r) ? std::nullopt : r.rank;
}

// What one entry's history holds for the report: its results in each run of the period, and per
// slot its latest result from before the period (the start when the start run did not rank it).
struct Loaded {
    std::array<std::optional<HistoryResult>, kHistorySlots> before;
    std::vector<std::array<std::optional<HistoryResult>, kHistorySlots>> inRun; // per period run
};

// The slot's latest result at or before period run k.
const HistoryResult* resultAt(const Loaded& l, int slot, int k) {
    for (int i = k; i >= 0; --i) {
        if (l.inRun[i][slot])
            return &*l.inRun[i][slot];
    }
    return l.before[slot] ? &*l.before[slot] : nullptr;
}

bool wanted(const ReportEntry& e, const std::vector<std::string>& tags) {
    return tags.empty() || std::any_of(tags.begin(), tags.end(), [&](const std::string& t) {
               return datafile::hasTag(e.options.tags, t);
           });
}

EntryWhere whereOf(const ReportEntry& e) {
    return entryWhere(e.options.device, e.options.location);
}

// Ranked first by rank, then "not found", then "error", then entries without a result.
int sortGroup(const ReportLine& line) {
    if (!line.now)
        return 3;
    if (isError(*line.now))
        return 2;
    return line.now->rank ? 0 : 1;
}

QString dayText(const QDateTime& time) {
    return time.toLocalTime().date().toString(Qt::ISODate);
}

} // namespace

std::pair<int, int> periodRuns(const std::vector<QDateTime>& times, int periodDays) {
    if (times.empty())
        return {-1, -1};
    int last = 0;
    for (int i = 1; i < int(times.size()); ++i) {
        if (times[i] > times[last])
            last = i;
    }
    const QDateTime aim = times[last].addDays(-periodDays);
    int start = -1;
    qint64 bestDistance = 0;
    for (int i = 0; i < int(times.size()); ++i) {
        if (i == last || times[i] > times[last])
            continue;
        const qint64 distance = std::llabs(times[i].msecsTo(aim));
        if (start < 0 || distance < bestDistance ||
            (distance == bestDistance && times[i] < times[start])) {
            start = i;
            bestDistance = distance;
        }
    }
    return {start < 0 ? last : start, last};
}

bool buildReport(const ReportRequest& request, Report* out, QString* error) {
    Report report;
    report.title = request.title;
    report.sender = request.sender;
    report.logoPath = request.logoPath;
    report.listName = QFileInfo(request.dataFilePath).fileName();
    report.tags = request.tags;
    report.periodDays = request.periodDays;
    report.made = request.made.isValid() ? request.made : QDateTime::currentDateTime();
    report.competitors = request.competitors;
    report.depth = request.depth;
    for (const ReportEntry& e : request.entries) {
        if (wanted(e, request.tags))
            report.entries.push_back(e);
    }

    const QString historyPath = historyPathFor(request.dataFilePath);
    HistoryStore store;
    if (QFileInfo::exists(historyPath) || QFileInfo(historyPath).isSymLink()) {
        if (!store.openForReading(historyPath, error))
            return false;
    }
    const int entryCount = int(report.entries.size());

    std::vector<EntryKey> keys;
    keys.reserve(report.entries.size());
    for (const ReportEntry& e : report.entries)
        keys.push_back({e.url, e.keywords, whereOf(e)});

    // First the runs alone, to find the period; then the results of the period only (and the
    // latest before it), so that a long history of a long list is never held whole. One read of
    // the store each, not one per entry.
    std::vector<HistoryRunTime> all;
    if (store.isOpen() && !store.runsOf(keys, &all, error))
        return false;
    std::vector<QDateTime> times;
    for (const HistoryRunTime& run : all)
        times.push_back(run.time);
    const auto [startIndex, endIndex] = periodRuns(times, request.periodDays);
    if (startIndex >= 0) {
        const QDateTime from = all[startIndex].time;
        const QDateTime to = all[endIndex].time;
        for (const HistoryRunTime& run : all) {
            if (run.time >= from && run.time <= to)
                report.runs.push_back({run.runId, run.time});
        }
        std::stable_sort(report.runs.begin(), report.runs.end(),
                         [](const ReportRun& a, const ReportRun& b) { return a.time < b.time; });
    }
    std::map<qint64, int> periodIndex;
    for (int k = 0; k < int(report.runs.size()); ++k)
        periodIndex[report.runs[k].runId] = k;
    const int runCount = int(report.runs.size());

    std::vector<Loaded> loaded(entryCount);
    if (runCount > 0) {
        const QDateTime from = report.runs.front().time;
        std::vector<EntryHistory> histories;
        std::vector<LatestResults> before;
        if (!store.loadEntriesSince(keys, from, &histories, error, true) ||
            !store.latestBefore(keys, from, &before, error, true))
            return false;
        for (int i = 0; i < entryCount; ++i) {
            Loaded& l = loaded[i];
            l.inRun.resize(runCount);
            for (HistoryRun& run : histories[i].runs) {
                const auto k = periodIndex.find(run.runId);
                if (k == periodIndex.end())
                    continue;
                for (int s = 0; s < kHistorySlots; ++s) {
                    if (run.bySlot[s])
                        l.inRun[k->second][s] = std::move(run.bySlot[s]);
                }
            }
            for (int s = 0; s < kHistorySlots; ++s) {
                if (before[i][s])
                    l.before[s] = std::move(before[i][s]->result);
            }
        }
    }

    for (int slot = 0; slot < kHistorySlots && runCount > 0; ++slot) {
        ReportColumn column;
        column.slot = slot;
        std::vector<std::string> sources;
        bool any = false;
        for (const Loaded& l : loaded) {
            for (const auto& run : l.inRun) {
                if (!run[slot])
                    continue;
                any = true;
                column.engine = run[slot]->engine;
                if (std::find(sources.begin(), sources.end(), run[slot]->source) == sources.end())
                    sources.push_back(run[slot]->source);
            }
        }
        if (!any)
            continue;
        for (const std::string& s : sources)
            column.source += (column.source.empty() ? "" : ", ") + s;

        for (int i = 0; i < entryCount; ++i) {
            const Loaded& l = loaded[i];
            ReportLine line;
            line.entry = i;
            if (const HistoryResult* now = resultAt(l, slot, runCount - 1))
                line.now = *now;
            if (runCount > 1) {
                if (const HistoryResult* then = resultAt(l, slot, 0))
                    line.then = *then;
            }
            if (line.now) {
                const HistoryResult& now = *line.now;
                line.change = rankChange(line.then ? &*line.then : nullptr, now);
                line.changeText = line.change == RankChange::None
                                      ? QStringLiteral("no earlier result")
                                      : rankChangeText(line.then ? &*line.then : nullptr, now);
                line.rankingUrl = now.rankingUrl;
                for (const std::string& c : request.competitors)
                    line.competitorRanks.push_back(
                        siteRankText(siteRank(now.results, now.pageSizes, c)));
                if (isError(now))
                    ++column.errors;
                else if (now.rank) {
                    column.top3 += *now.rank <= 3;
                    column.top10 += *now.rank <= 10;
                    column.top100 += *now.rank <= 100;
                }
                switch (line.change) {
                case RankChange::Up:
                    ++column.up;
                    break;
                case RankChange::Down:
                    ++column.down;
                    break;
                case RankChange::New:
                    ++column.added;
                    break;
                case RankChange::DroppedOut:
                    ++column.dropped;
                    break;
                default:
                    break;
                }
            }
            const auto consider = [&line](const std::optional<HistoryResult>& r) {
                if (r && foundRank(*r) && (!line.best || *foundRank(*r) < *line.best))
                    line.best = foundRank(*r);
            };
            for (const auto& run : l.inRun)
                consider(run[slot]);
            consider(line.now);
            consider(line.then);
            column.lines.push_back(std::move(line));
        }
        std::stable_sort(column.lines.begin(), column.lines.end(),
                         [&report](const ReportLine& a, const ReportLine& b) {
                             const int ga = sortGroup(a), gb = sortGroup(b);
                             if (ga != gb)
                                 return ga < gb;
                             if (ga == 0 && *a.now->rank != *b.now->rank)
                                 return *a.now->rank < *b.now->rank;
                             return report.entries[a.entry].keywords <
                                    report.entries[b.entry].keywords;
                         });

        // The visibility at each run: every entry the column had ranked by then counts.
        VisibilitySeries own;
        std::vector<VisibilitySeries> rivals;
        for (const std::string& c : request.competitors)
            rivals.push_back({c, {}});
        for (int k = 0; k < runCount; ++k) {
            std::vector<VisibilityEntry> at;
            for (int i = 0; i < entryCount; ++i) {
                if (const HistoryResult* r = resultAt(loaded[i], slot, k))
                    at.push_back({report.entries[i].url, foundRank(*r), &r->results});
            }
            const std::map<std::string, double> targets = visibility(at, {});
            const std::map<std::string, double> withRivals = visibility(at, request.competitors);
            double sum = 0.0;
            for (const auto& [site, share] : targets)
                sum += share;
            own.values.push_back(sum);
            for (VisibilitySeries& rival : rivals) {
                // A competitor that is also a target has the target's share added in.
                const auto w = withRivals.find(rival.site);
                const auto t = targets.find(rival.site);
                rival.values.push_back((w == withRivals.end() ? 0.0 : w->second) -
                                       (t == targets.end() ? 0.0 : t->second));
            }
        }
        column.visibilityNow = own.values.back();
        column.visibilityStart = own.values.front();
        column.visibility.push_back(std::move(own));
        for (VisibilitySeries& rival : rivals)
            column.visibility.push_back(std::move(rival));
        report.columns.push_back(std::move(column));
    }

    if (request.entryCharts && entryCount <= CReportSettings::kEntryChartLimit && runCount > 0) {
        for (int i = 0; i < entryCount; ++i) {
            EntrySeries series;
            series.entry = i;
            for (const ReportColumn& column : report.columns) {
                auto& ranks = series.ranks[column.slot];
                for (int k = 0; k < runCount; ++k) {
                    const auto& r = loaded[i].inRun[k][column.slot];
                    ranks.push_back(r ? foundRank(*r) : std::nullopt);
                }
            }
            report.entrySeries.push_back(std::move(series));
        }
    }
    *out = std::move(report);
    return true;
}

QString columnTitle(const ReportColumn& column) {
    const QString engine = column.engine.empty() ? QStringLiteral("Column %1").arg(column.slot + 1)
                                                 : QString::fromStdString(column.engine);
    if (column.source.empty() || column.source == "classic")
        return engine;
    return QStringLiteral("%1 (%2)").arg(engine, QString::fromStdString(column.source));
}

QString rankWords(const std::optional<HistoryResult>& result) {
    if (!result)
        return QStringLiteral("no result");
    if (isError(*result))
        return QStringLiteral("error");
    if (!result->text.empty())
        return QString::fromStdString(result->text);
    if (!result->rank)
        return QStringLiteral("not found");
    return result->page ? QStringLiteral("Rank %1 / Page %2").arg(*result->rank).arg(*result->page)
                        : QStringLiteral("Rank %1").arg(*result->rank);
}

QString scopeText(const Report& report) {
    QString text = QStringLiteral("List %1").arg(report.listName);
    if (!report.tags.empty()) {
        QStringList tags;
        for (const std::string& t : report.tags)
            tags << QString::fromStdString(t);
        text += QStringLiteral(", tags: %1").arg(tags.join(QStringLiteral(", ")));
    }
    const int n = int(report.entries.size());
    return text + QStringLiteral(" (%1 %2)").arg(n).arg(n == 1 ? "entry" : "entries");
}

QString periodText(const Report& report) {
    if (!report.hasHistory())
        return QStringLiteral("no run recorded yet");
    if (report.runs.size() == 1)
        return QStringLiteral("only one run: %1").arg(dayText(report.end()->time));
    const qint64 days = report.start()->time.daysTo(report.end()->time);
    return QStringLiteral("%1 to %2 (%3 %4; the run nearest to %5 days before the last)")
        .arg(dayText(report.start()->time), dayText(report.end()->time))
        .arg(days)
        .arg(days == 1 ? "day" : "days")
        .arg(report.periodDays);
}

QStringList methodLines(const Report& report) {
    QStringList lines;
    for (const ReportColumn& c : report.columns) {
        const QString engine = QString::fromStdString(c.engine);
        const QString how =
            c.source.empty() || c.source == "classic"
                ? QStringLiteral("read from the engine's own result pages")
                : QStringLiteral("obtained through %1").arg(QString::fromStdString(c.source));
        lines << QStringLiteral("%1: ranks %2.").arg(engine, how);
    }
    if (report.depth > 0)
        lines << QStringLiteral("Up to %1 result %2 read per engine and keyword; a target "
                                "further down reads \"not found\".")
                     .arg(report.depth)
                     .arg(report.depth == 1 ? "page" : "pages");
    lines << QStringLiteral("Visibility: the mean share of clicks the ranks are worth, by the "
                            "2019 organic click-through study of Backlinko (positions 1 to 10).");
    QStringList dates;
    for (const ReportRun& run : report.runs)
        dates << run.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    lines
        << (dates.isEmpty()
                ? QStringLiteral("No run recorded yet.")
                : QStringLiteral("Runs in the period: %1.").arg(dates.join(QStringLiteral(", "))));
    return lines;
}

} // namespace tw::reports
