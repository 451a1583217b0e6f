#include "rank/LastRun.h"

#include "base/Engines.h"
#include "data/DataFile.h"
#include "history/HistoryText.h"

#include <QFile>
#include <QSaveFile>

#include <nlohmann/json.hpp>

namespace rank {

namespace {
using json = nlohmann::ordered_json;

// A last-run file is a few hundred bytes; anything this big is not one.
constexpr qint64 kMaxLastRunBytes = 1 << 20;

json CountsJson(const ChangeCounts& c) {
    return {{"up", c.up},           {"down", c.down},       {"same", c.same},  {"new", c.added},
            {"dropped", c.dropped}, {"entered", c.entered}, {"error", c.error}};
}

json SlotsJson(const std::array<std::optional<ChangeCounts>, kEngineCount>& counts) {
    json out = json::object();
    for (int e = 0; e < kEngineCount; ++e) {
        if (counts[e])
            out[engines::Info(SearchEngine(e)).key] = CountsJson(*counts[e]);
    }
    return out;
}

int IntField(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number_integer() ? it->get<int>() : 0;
}

QString TextField(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>())
                                                 : QString();
}
} // namespace

QString LastRunPath(const QString& dataFilePath) {
    return datafile::BesidePath(dataFilePath, QStringLiteral(".lastrun.json"));
}

std::string ChangesJson(const RunChanges& changes, int indent) {
    std::array<std::optional<ChangeCounts>, kEngineCount> counts;
    for (int e = 0; e < kEngineCount; ++e) {
        if (changes.bySlot[e])
            counts[e] = changes.bySlot[e]->counts;
    }
    return SlotsJson(counts).dump(indent);
}

bool WriteLastRun(const QString& dataFilePath, const LastRun& run, QString* error) {
    const json doc = {{"time", tw::isoTimeWithOffset(run.time).toStdString()},
                      {"finished", tw::isoTimeWithOffset(run.finished).toStdString()},
                      {"status", run.status},
                      {"message", run.message.toStdString()},
                      {"changes", SlotsJson(run.changes)}};
    const std::string text = doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    const QString path = LastRunPath(dataFilePath);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        if (error)
            *error = QStringLiteral("\"%1\" could not be written: %2")
                         .arg(datafile::DisplayPath(path), file.errorString());
        return false;
    }
    return true;
}

std::optional<LastRun> ReadLastRun(const QString& dataFilePath, QString* error) {
    if (error)
        error->clear();
    const QString path = LastRunPath(dataFilePath);
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    const auto fail = [&](const QString& reason) -> std::optional<LastRun> {
        if (error)
            *error = QStringLiteral("\"%1\" could not be read: %2")
                         .arg(datafile::DisplayPath(path), reason);
        return std::nullopt;
    };
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QByteArray bytes = file.read(kMaxLastRunBytes + 1);
    if (bytes.size() > kMaxLastRunBytes)
        return fail(QStringLiteral("it is too big to be a last-run file"));
    const json doc = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!doc.is_object())
        return fail(QStringLiteral("it is not a last-run file"));

    LastRun run;
    run.time = QDateTime::fromString(TextField(doc, "time"), Qt::ISODate);
    run.finished = QDateTime::fromString(TextField(doc, "finished"), Qt::ISODate);
    run.status = IntField(doc, "status");
    run.message = TextField(doc, "message");
    if (const auto changes = doc.find("changes"); changes != doc.end() && changes->is_object()) {
        for (const auto& [key, value] : changes->items()) {
            const int slot = engines::FromKey(key);
            if (slot < 0 || !value.is_object())
                continue;
            ChangeCounts c;
            c.up = IntField(value, "up");
            c.down = IntField(value, "down");
            c.same = IntField(value, "same");
            c.added = IntField(value, "new");
            c.dropped = IntField(value, "dropped");
            c.entered = IntField(value, "entered");
            c.error = IntField(value, "error");
            run.changes[slot] = c;
        }
    }
    return run;
}

} // namespace rank
