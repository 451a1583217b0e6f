// Rank history figures: recording one large run, loading one entry's long history into the
// History window, the file size a run adds, a run's start on a large history (checked or not),
// and the same recording and growth with 100 kept results per scan. Prints; asserts nothing.
// "history start" runs the run start alone, "history kept" the kept results alone.

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
#include <iterator>
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

// Result addresses of 40 to 70 bytes, as a results page lists them: a host among a few thousand,
// a path of words and a number.
class UrlMaker {
public:
    explicit UrlMaker(std::mt19937& random) : m_random(random) {}
    std::string operator()() {
        static const char* const kWords[] = {
            "garden", "tools", "review", "best",  "cheap", "guide", "shop",   "online",
            "buy",    "news",  "blog",   "forum", "home",  "kids",  "travel", "city",
            "deals",  "photo", "parts",  "wiki",  "music", "books", "local",  "repair"};
        const auto word = [&] { return kWords[m_random() % std::size(kWords)]; };
        std::string url = "https://www.";
        url += word();
        url += '-';
        url += word();
        url += std::to_string(m_random() % 4000);
        url += ".example/";
        url += word();
        url += '/';
        url += word();
        url += '-';
        url += std::to_string(m_random() % 100000);
        return url;
    }

private:
    std::mt19937& m_random;
};

// A scan kept to the depth: 100 results, the target among them at a rank of 1 to 60 (past 50:
// read as not found), the sites above the results before it.
HistoryResult keptResult(std::mt19937& random, int slot, std::vector<std::string> results) {
    HistoryResult r;
    r.slot = slot;
    r.engine = kEngines[slot];
    r.source = "classic";
    r.results = std::move(results);
    r.pageSizes.assign(10, 10);
    const int rank = int(random() % 60) + 1;
    if (rank <= 50) {
        r.rank = rank;
        r.page = (rank - 1) / 10 + 1;
        r.text = "Rank " + std::to_string(rank) + " / Page " + std::to_string(*r.page);
        r.sitesAbove.assign(r.results.begin(), r.results.begin() + (rank - 1));
        r.rankingUrl = r.results[std::size_t(rank - 1)];
    } else {
        r.text = "not found";
    }
    return r;
}

// Every entry and slot's kept list, changed from run to run as a keyword's results change: ten
// of the hundred leave, ten come in at random places, the others keep their order. Those that
// come in are addresses never met before, or (returning) ones of the keyword's own set of 150
// that were out of its first hundred.
struct KeptLists {
    std::vector<std::vector<std::string>> shown; // per entry and slot
    std::vector<std::vector<std::string>> out;   // the keyword's others, when returning
    bool returning = false;

    KeptLists(UrlMaker& url, int lists, bool returningAddresses) : returning(returningAddresses) {
        shown.resize(std::size_t(lists));
        out.resize(std::size_t(lists));
        for (int i = 0; i < lists; ++i) {
            for (int k = 0; k < kHistoryMaxResults; ++k)
                shown[std::size_t(i)].push_back(url());
            for (int k = 0; returning && k < 50; ++k)
                out[std::size_t(i)].push_back(url());
        }
    }
    void change(std::mt19937& random, UrlMaker& url) {
        for (std::size_t i = 0; i < shown.size(); ++i) {
            std::vector<std::string>& list = shown[i];
            std::vector<std::string> left;
            for (int k = 0; k < kHistoryMaxResults / 10; ++k) {
                const std::size_t at = random() % list.size();
                left.push_back(std::move(list[at]));
                list.erase(list.begin() + std::ptrdiff_t(at));
            }
            for (int k = 0; k < kHistoryMaxResults / 10; ++k) {
                std::string in;
                if (returning) {
                    const std::size_t from = random() % out[i].size();
                    in = std::move(out[i][from]);
                    out[i].erase(out[i].begin() + std::ptrdiff_t(from));
                } else {
                    in = url();
                }
                list.insert(list.begin() + std::ptrdiff_t(random() % (list.size() + 1)),
                            std::move(in));
            }
            if (returning)
                out[i].insert(out[i].end(), left.begin(), left.end());
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
    // "start" alone: only the run start on a large history (section 4); "kept": only the kept
    // results (section 5).
    const bool startOnly = argc > 1 && qstrcmp(argv[1], "start") == 0;
    const bool keptOnly = argc > 1 && qstrcmp(argv[1], "kept") == 0;
    std::mt19937 random(42);
    QString error;

    // 1. One run of 100,000 entries x 4 slots, into a new file and into one that has it already.
    if (!startOnly && !keptOnly) {
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
    if (!startOnly && !keptOnly) {
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
        if (startOnly || keptOnly)
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
    if (!keptOnly) {
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
    // 5. Kept results: 100 per scan (the depth read whole). One run of 100,000 entries x 4
    // slots, new and known; then the growth per run of 1,000 entries x 4 slots whose lists keep
    // 9 in 10 of their results from the run before.
    if (!startOnly) {
        UrlMaker url(random);
        const QString path = dir.filePath(QStringLiteral("kept.history.sqlite"));
        HistoryStore store;
        if (!store.open(path, HistoryStore::Mode::ReadWrite, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        ResultPool pool(random, 100000, false);
        std::size_t bytes = 0;
        for (HistoryResult& r : pool.results) {
            std::vector<std::string> results;
            for (int k = 0; k < kHistoryMaxResults; ++k) {
                results.push_back(url());
                bytes += results.back().size();
            }
            r = keptResult(random, r.slot, std::move(results));
        }
        std::printf("kept results: addresses of %.0f bytes on average\n",
                    double(bytes) / double(pool.results.size() * kHistoryMaxResults));
        // The third run opens the file afresh, as the next ranking run does: every address is
        // looked up in the file once before the store knows it.
        for (int pass = 0; pass < 3; ++pass) {
            if (pass == 2) {
                store.close();
                if (!store.open(path, HistoryStore::Mode::ReadWrite, &error)) {
                    std::fprintf(stderr, "%s\n", qPrintable(error));
                    return 1;
                }
            }
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuMs();
            if (!recordRun(store, pool, QDateTime::currentDateTime()))
                return 1;
            std::printf("record 100,000 entries x 4 slots, 100 kept results each (%s): "
                        "%.0f ms (cpu %.0f ms)\n",
                        pass == 0   ? "new entries"
                        : pass == 1 ? "known entries"
                                    : "known entries, file opened afresh",
                        ms(timer), cpuMs() - cpu);
        }
        store.close();
        std::printf("  file after 3 such runs: %.1f MB (%zu distinct addresses)\n",
                    double(QFileInfo(path).size()) / 1e6,
                    pool.results.size() * std::size_t(kHistoryMaxResults));
    }
    for (const bool returning : {false, true}) {
        if (startOnly)
            break;
        UrlMaker url(random);
        const QString path = dir.filePath(returning ? QStringLiteral("kept3.history.sqlite")
                                                    : QStringLiteral("kept2.history.sqlite"));
        const int entries = 1000;
        KeptLists lists(url, entries * kHistorySlots, returning);
        ResultPool pool(random, entries, false);
        pool.results.resize(std::size_t(entries * kHistorySlots));
        const auto record = [&](int runs) {
            HistoryStore store;
            if (!store.open(path, HistoryStore::Mode::ReadWrite, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return false;
            }
            for (int run = 0; run < runs; ++run) {
                for (std::size_t i = 0; i < pool.results.size(); ++i)
                    pool.results[i] = keptResult(random, int(i % kHistorySlots), lists.shown[i]);
                if (!recordRun(store, pool, QDateTime::currentDateTime()))
                    return false;
                lists.change(random, url);
            }
            store.close(); // folds the write-ahead log into the file
            return true;
        };
        // The first runs bring the keywords' sets in; what a run adds is measured after them.
        const int warmUp = 10;
        const int runs = 10;
        if (!record(warmUp))
            return 1;
        const qint64 before = QFileInfo(path).size();
        if (!record(runs))
            return 1;
        const qint64 after = QFileInfo(path).size();
        std::printf("growth per run of 1,000 entries x 4 slots, 100 kept results, 9 in 10 as the "
                    "run before (those that come in %s): %.2f MB (file %.1f MB after %d runs)\n",
                    returning ? "return from the keyword's other 50" : "never met before",
                    double(after - before) / runs / 1e6, double(after) / 1e6, warmUp + runs);
    }
    return 0;
}
