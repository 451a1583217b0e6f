#include "support/TestEnv.h"

#include "rank/RankSearch.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

namespace tw::test {

const QTemporaryDir& isolate() {
    static QTemporaryDir root;
    static bool done = false;
    if (!done) {
        done = true;
        QStandardPaths::setTestModeEnabled(true);
        const QString config = root.filePath(QStringLiteral("config"));
        const QString home = root.filePath(QStringLiteral("home"));
        QDir().mkpath(config);
        QDir().mkpath(home);
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")).toLocal8Bit());
        // Desktop and other user folders resolve under this home, never the real one.
        qputenv("HOME", home.toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QDir::setCurrent(root.path());
        // A failed page is tried again after 1 s and 3 s in use; tests need not wait that long.
        CRankSearch::SetRetry({{20, 20}});
        qputenv("TALLOWICK_RETRY_DELAY_MS", "20");
    }
    return root;
}

ScopedWorkDir::ScopedWorkDir() : m_previous(QDir::currentPath()) {
    QDir::setCurrent(m_dir.path());
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(m_previous);
}

} // namespace tw::test
