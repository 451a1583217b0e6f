#include "history/HistoryText.h"

#include "base/CsvCells.h"
#include "base/ShownText.h"

#include <cstdlib>

namespace tw {

namespace {
bool isError(const HistoryResult& r) {
    return !r.error.empty() || r.text == "error";
}
} // namespace

RankChange rankChange(const HistoryResult* previous, const HistoryResult& current) {
    if (!previous)
        return RankChange::None;
    if (isError(*previous) || isError(current))
        return RankChange::Unknown;
    if (previous->rank && current.rank) {
        if (*current.rank < *previous->rank)
            return RankChange::Up;
        if (*current.rank > *previous->rank)
            return RankChange::Down;
        return RankChange::Same;
    }
    if (current.rank)
        return RankChange::New;
    if (previous->rank)
        return RankChange::DroppedOut;
    return RankChange::Same;
}

QString rankChangeText(const HistoryResult* previous, const HistoryResult& current) {
    switch (rankChange(previous, current)) {
    case RankChange::None:
        return {};
    case RankChange::Up:
        return QStringLiteral("up %1").arg(*previous->rank - *current.rank);
    case RankChange::Down:
        return QStringLiteral("down %1").arg(*current.rank - *previous->rank);
    case RankChange::Same:
        return QStringLiteral("same");
    case RankChange::New:
        return QStringLiteral("new");
    case RankChange::DroppedOut:
        return QStringLiteral("dropped out");
    case RankChange::Unknown:
        return QStringLiteral("unknown");
    }
    return {};
}

QString previousResultTip(const HistoryRecord* previous, const HistoryResult& current) {
    if (!previous)
        return {};
    const QString date = previous->time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
    return QStringLiteral("was %1 on %2: %3")
        .arg(shownText(previous->result.text), date, rankChangeText(&previous->result, current));
}

QString isoTimeWithOffset(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray csvField(const QByteArray& cell) {
    const std::string guarded =
        text::GuardCsvCell(std::string_view(cell.constData(), size_t(cell.size())));
    const QByteArray field(guarded.data(), qsizetype(guarded.size()));
    bool quote = false;
    for (const char c : field) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return field;
    QByteArray out;
    out.reserve(field.size() + 2);
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

QByteArray csvHeader() {
    return QByteArrayLiteral("time,url,keywords,slot,engine,source,text,rank,page,error\r\n");
}

QByteArray csvLine(const QDateTime& time, const std::string& url, const std::string& keywords,
                   const HistoryResult& result) {
    auto raw = [](const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); };
    QByteArray line = isoTimeWithOffset(time).toLatin1();
    line += ',';
    line += csvField(raw(url));
    line += ',';
    line += csvField(raw(keywords));
    line += ',';
    line += QByteArray::number(result.slot);
    line += ',';
    line += csvField(raw(result.engine));
    line += ',';
    line += csvField(raw(result.source));
    line += ',';
    line += csvField(raw(result.text));
    line += ',';
    if (result.rank)
        line += QByteArray::number(*result.rank);
    line += ',';
    if (result.page)
        line += QByteArray::number(*result.page);
    line += ',';
    line += csvField(raw(result.error));
    line += "\r\n";
    return line;
}

} // namespace tw
