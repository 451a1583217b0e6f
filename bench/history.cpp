// Rank history figures: recording one large run, loading one entry's long history into the
// History window, the file size a run adds, and a run's start on a large history (checked or
// not). Prints; asserts nothing. "history start" runs the last alone.

#include "history/HistoryCheck.h"
#include "history/HistoryDlg.h"
#include "history/HistoryModel.h"
#include "history/HistoryStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace tw;

namespace {
const char* const kEngines[kHistorySlots] = {"Google", "Altavista", "Lycos", "Looksmart"};

// A result of an entry scanned to depth 5 (50 places): ranked with the sites above it, or not
// found with none kept.
HistoryResult makeResult(std::mt19937& random, int slot, int entry) {
    HistoryResult r;
    r.slot = slot;
    r.engine = kEngines[slot];
    r.source = "classic";
    const int rank = int(random() % 60) + 1;
    if (rank <= 50) {
        r.rank = rank;
        r.page = (rank - 1) / 10 + 1;
        r.text = "Rank " + std::to_string(rank) + " / Page " + std::to_string(*r.page);
        for (int i = 1; i < rank; ++i)
            r.sitesAbove.push_back("http://www.site" + std::to_string((entry * 7 + i * 13) % 5000) +
                                   ".example/" + (i % 3 ? "products/item" : "blog/post-") +
                                   std::to_string(random() % 100000) + ".html");
    } else {
        r.text = "not found";
    }
    return r;
}

// Drops the file's pages from the page cache, as after a reboot.
void evict(const QString& path) {
    for (const QString& file : {path, path + QStringLiteral("-wal")}) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

double ms(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// CPU time of the process in ms: on a shared machine wall time says more about the neighbours.
double cpuMs() {
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// Results are made up front, a pool of them reused, so the timings are of the recording alone.
struct ResultPool {
    std::vector<HistoryResult> results;
    std::vector<std::string> urls;
    std::vector<std::string> keywords;

    ResultPool(std::mt19937& random, int entries, bool withSites) {
        for (int i = 0; i < 4096; ++i) {
            results.push_back(makeResult(random, i % kHistorySlots, i));
            if (!withSites)
                results.back().sitesAbove.clear();
        }
        for (int e = 0; e < entries; ++e) {
            urls.push_back("http://www.target" + std::to_string(e) + ".example/");
            keywords.push_back("keyword phrase " + std::to_string(e));
        }
    }
};

bool recordRun(HistoryStore& store, const ResultPool& pool, const QDateTime& time,
               int slotCount = kHistorySlots) {
    QString error;
    if (!store.beginRun(time, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::size_t next = 0;
    for (std::size_t e = 0; e < pool.urls.size(); ++e) {
        for (int s = 0; s < slotCount; ++s) {
            const HistoryResult& r = pool.results[next++ % pool.results.size()];
            if (!store.record(pool.urls[e], pool.keywords[e], r, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return false;
            }
        }
    }
    if (!store.commitRun(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char* argv[]) {
    // The remembered check results go to a cache folder of the benchmark's own.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // "start" alone: only the run start on a large history (section 4).
    const bool startOnly = argc > 1 && qstrcmp(argv[1], "start") == 0;
    std::mt19937 random(42);
    QString error;

    // 1. One run of 100,000 entries x 4 slots, into a new file and into one that has it already.
    if (!startOnly) {
        const QString path = dir.filePath(QStringLiteral("big.history.sqlite"));
        HistoryStore store;
        if (!store.open(path, HistoryStore::Mode::ReadWrite, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        for (const bool sites : {false, true}) {
            const ResultPool pool(random, 100000, sites);
            for (int pass = 0; pass < 2; ++pass) {
                QElapsedTimer timer;
                timer.start();
                const double cpu = cpuMs();
                if (!recordRun(store, pool, QDateTime::currentDateTime()))
                    return 1;
                std::printf("record 100,000 entries x 4 slots (%s, %s entries): %.0f ms "
                            "(cpu %.0f ms)\n",
                            sites ? "sites above 0..49" : "no sites above",
                            pass == 0 && !sites ? "new" : "known", ms(timer), cpuMs() - cpu);
            }
        }
        std::printf("  file after 4 such runs: %.1f MB\n", double(QFileInfo(path).size()) / 1e6);
    }

    // 2. One entry with 1,000 runs loaded into the History window.
    if (!startOnly) {
        const QString data = dir.filePath(QStringLiteral("long.dat"));
        const QString path = historyPathFor(data);
        {
            HistoryStore store;
            if (!store.open(path, HistoryStore::Mode::ReadWrite, &error))
                return 1;
            const ResultPool pool(random, 20, true);
            QDateTime time(QDate(2024, 1, 1), QTime(8, 0));
            for (int run = 0; run < 1000; ++run) {
                if (!recordRun(store, pool, time))
                    return 1;
                time = time.addSecs(86400);
            }
        }
        const std::string url = "http://www.target7.example/";
        const std::string keywords = "keyword phrase 7";
        const QStringList labels = {"Google", "Altavista", "Lycos", "Looksmart"};
        for (int pass = 0; pass < 3; ++pass) {
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuMs();
            EntryHistory history;
            if (!loadEntryHistory(data, url, keywords, &history, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            const double loaded = ms(timer);
            HistoryTableModel model;
            model.setHistory(history, labels);
            const HistoryChart chart = buildHistoryChart(model.history());
            const auto summary = summarizeHistory(model.history());
            const double modelled = ms(timer);
            const double modelCpu = cpuMs() - cpu;
            HistoryDlg dlg;
            QElapsedTimer dialogTimer;
            dialogTimer.start();
            dlg.setHistory(std::move(history), labels);
            std::printf(
                "1,000 runs of one entry: load %.1f ms, model + chart data + summary "
                "%.1f ms (total %.1f ms, cpu %.1f ms); dialog setHistory with chart series "
                "%.1f ms [%zu points, %s]\n",
                loaded, modelled - loaded, modelled, modelCpu, ms(dialogTimer),
                chart.ranked[0].size() + chart.notFound[0].size(),
                qPrintable(summary[0].change.isEmpty() ? QStringLiteral("-") : summary[0].change));
        }
    }

    // 3. File size per run of 1,000 entries at depth 5: with every site new in every run (the
    // worst case for a file that keeps each site once), and with a tenth of the results new
    // each run, the rest as the run before (a keyword's top sites mostly stay).
    for (const bool repeating : {false, true}) {
        if (startOnly)
            break;
        const QString path = dir.filePath(repeating ? QStringLiteral("size2.history.sqlite")
                                                    : QStringLiteral("size.history.sqlite"));
        HistoryStore store;
        if (!store.open(path, HistoryStore::Mode::ReadWrite, &error))
            return 1;
        const int runs = 20;
        ResultPool pool(random, 1000, true);
        for (int run = 0; run < runs; ++run) {
            if (!repeating) {
                pool = ResultPool(random, 1000, true);
            } else {
                for (std::size_t i = 0; i < pool.results.size(); i += 10)
                    pool.results[(i + std::size_t(run)) % pool.results.size()] =
                        makeResult(random, int((i + std::size_t(run)) % kHistorySlots), int(i));
            }
            if (!recordRun(store, pool, QDateTime::currentDateTime()))
                return 1;
        }
        store.close(); // the last close folds the write-ahead log into the file
        const qint64 size = QFileInfo(path).size();
        std::printf("size per run of 1,000 entries x 4 slots at depth 5 (sites above 0..49, %s): "
                    "%.0f KB (%d runs: %.1f MB)\n",
                    repeating ? "9 in 10 results as the run before" : "every site new",
                    double(size) / runs / 1024.0, runs, double(size) / 1e6);
    }

    // 4. A run's start on a large history: 1,000 runs of 1,000 entries, one slot each. Opening
    // it for writing checks the whole file, unless a check passed and nothing changed it since.
    {
        const QString path = dir.filePath(QStringLiteral("large.history.sqlite"));
        {
            HistoryStore store;
            if (!store.open(path, HistoryStore::Mode::ReadWrite, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            QElapsedTimer timer;
            timer.start();
            const ResultPool pool(random, 1000, true);
            QDateTime time(QDate(2024, 1, 1), QTime(8, 0));
            for (int run = 0; run < 1000; ++run) {
                if (!recordRun(store, pool, time, 1))
                    return 1;
                time = time.addSecs(3600);
            }
            std::printf("large history: 1,000 runs x 1,000 entries recorded in %.1f s\n",
                        ms(timer) / 1000.0);
        }
        std::printf("  file: %.1f MB\n", double(QFileInfo(path).size()) / 1e6);
        // Open for writing and start a run, as a ranking run does; then drop the run.
        const auto start = [&](const char* what) {
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuMs();
            HistoryStore store;
            if (!store.open(path, HistoryStore::Mode::ReadWrite, &error) ||
                !store.beginRun(QDateTime::currentDateTime(), &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return false;
            }
            const double started = ms(timer);
            const double startCpu = cpuMs() - cpu;
            store.rollbackRun();
            store.close();
            std::printf("  run start, %s: %.0f ms (cpu %.0f ms); close %.0f ms\n", what, started,
                        startCpu, ms(timer) - started);
            return true;
        };
        for (int pass = 0; pass < 3; ++pass) {
            QFile::remove(historycheck::rememberedChecksFile());
            if (!start("no check remembered, file in the page cache"))
                return 1;
        }
        for (int pass = 0; pass < 3; ++pass) {
            QFile::remove(historycheck::rememberedChecksFile());
            evict(path);
            if (!start("no check remembered, cold (file evicted from the page cache)"))
                return 1;
        }
        for (int pass = 0; pass < 3; ++pass) {
            if (!start("check remembered, warm"))
                return 1;
        }
        for (int pass = 0; pass < 3; ++pass) {
            evict(path);
            if (!start("check remembered, cold"))
                return 1;
        }
    }
    return 0;
}
