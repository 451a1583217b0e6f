// What the window's competitor commands cost on a large list: reading every entry's history with
// its kept results for the Competitors view, making its table and visibility, and counting the
// sites above the targets for Competitors.... Prints; asserts nothing.
// competitors [ENTRIES [RUNS [SLOTS]]] (default 1000 entries, 20 runs, 1 slot).

#include "history/CompetitorsModel.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

using namespace tw;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    const int slotCount = argc > 3 ? std::clamp(atoi(argv[3]), 1, kHistorySlots) : 1;
    QTemporaryDir dir;
    const QString dataFile = dir.filePath(QStringLiteral("list.dat"));
    QFile(dataFile).open(QIODevice::WriteOnly);

    std::vector<ListEntry> list;
    for (int e = 0; e < entries; ++e)
        list.push_back(
            {"www.my-site.example/p" + std::to_string(e), "keywords " + std::to_string(e), {}});
    const std::vector<std::string> competitors = {
        "rival1.example", "rival2.example", "rival3.example", "rival4.example", "rival5.example"};
    std::mt19937 random(7);
    QElapsedTimer timer;
    timer.start();
    {
        HistoryStore store;
        QString error;
        if (!store.open(historyPathFor(dataFile), HistoryStore::Mode::ReadWrite, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-runs);
        // 100 results per scan; a tenth of them change from run to run.
        std::vector<std::vector<std::string>> lists(std::size_t(entries * slotCount));
        for (int r = 0; r < runs; ++r) {
            store.beginRun(start.addDays(r), &error);
            for (int e = 0; e < entries; ++e) {
                for (int s = 0; s < slotCount; ++s) {
                    auto& kept = lists[std::size_t(e * slotCount + s)];
                    if (kept.empty())
                        kept.resize(100);
                    for (int i = 0; i < 100; ++i) {
                        if (r == 0 || random() % 10 == 0)
                            kept[std::size_t(i)] = "https://www.site" +
                                                   std::to_string(random() % 300) + ".example/" +
                                                   std::to_string(random() % 1000);
                    }
                    kept[random() % 100] = "https://" + competitors[random() % 5] + "/page";
                    HistoryResult h;
                    h.slot = s;
                    h.engine = "Google";
                    h.source = "classic";
                    h.text = "not found";
                    h.results = kept;
                    h.pageSizes = std::vector<int>(10, 10);
                    store.record(list[std::size_t(e)].url, list[std::size_t(e)].keywords, h,
                                 &error);
                }
            }
            if (!store.commitRun(&error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
    }
    std::printf("history of %d entries x %d runs x %d slots, 100 kept results each: %.1f MB, "
                "written in %.1f s\n",
                entries, runs, slotCount,
                double(QFileInfo(historyPathFor(dataFile)).size()) / (1024.0 * 1024.0),
                double(timer.elapsed()) / 1000.0);

    QString error;
    timer.restart();
    CompetitorsData data(competitors);
    if (!loadCompetitorsData(dataFile, list, &data, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 loadMs = timer.elapsed();
    timer.restart();
    const CompetitorsSlotView view = data.view(0);
    std::printf("Competitors view: read %lld ms, table and visibility of one slot %lld ms "
                "(%zu rows, %zu runs)\n",
                loadMs, timer.elapsed(), view.rows.size(), view.runs.size());

    timer.restart();
    SitesAboveCounter counter;
    if (!countSitesAbove(dataFile, list, &counter, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("Competitors...: sites above counted in %lld ms over %d results\n", timer.elapsed(),
                counter.scans());
    return 0;
}
