#pragma once
// Keeps tests away from the user's files: a temporary settings folder (XDG_CONFIG_HOME),
// Qt's test mode for standard paths, and a temporary working folder.

#include <QTemporaryDir>
#include <QtTest>

namespace tw::test {

// Called before the application object exists. Returns the folder that holds everything.
const QTemporaryDir& isolate();

// A fresh empty folder made the current directory; the previous one is restored on destruction.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace tw::test

// Replacements for QTEST_MAIN / QTEST_GUILESS_MAIN that isolate the test first.
#define TW_TEST_MAIN_IMPL(TestObject, AppClass)                                                    \
    int main(int argc, char* argv[]) {                                                             \
        tw::test::isolate();                                                                       \
        AppClass app(argc, argv);                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define TW_TEST_MAIN_CORE(TestObject) TW_TEST_MAIN_IMPL(TestObject, QCoreApplication)
// GUI tests include <QApplication> themselves.
#define TW_TEST_MAIN_GUI(TestObject) TW_TEST_MAIN_IMPL(TestObject, QApplication)
