#include "settings/SettingsDlg.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using tw::test::readSettingsFile;
using tw::test::writeSettingsFile;

namespace {
template <typename T> T* control(QDialog& dlg, const char* id) {
    auto* c = dlg.findChild<T*>(QString::fromLatin1(id));
    if (!c)
        qFatal("control %s missing", id);
    return c;
}

QStringList items(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

// Runs the dialog modally; while it is up, act looks at or changes it and then presses button.
void runDialog(CSettingsDlg& dlg, const std::function<void()>& act, const char* button) {
    bool acted = false;
    QTimer::singleShot(0, &dlg, [&] {
        act();
        acted = true;
        control<QPushButton>(dlg, button)->click();
    });
    dlg.DoModal();
    QVERIFY(acted);
}
} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::removeSettingsFile(); }

    void firstStartShowsDefaultsAndOkCreatesTheStore() {
        CSettingsDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Settings"));
        runDialog(
            dlg,
            [&] {
                auto* depth = control<QComboBox>(dlg, "1013");
                auto* threads = control<QComboBox>(dlg, "1014");
                QCOMPARE(items(depth), QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9",
                                                    "10", "15", "20", "25", "30", "40"}));
                QCOMPARE(items(threads), QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
                QCOMPARE(depth->currentText(), QStringLiteral("20"));
                QCOMPARE(threads->currentText(), QStringLiteral("3"));
                for (const char* id : {"1018", "1019", "1020", "1021"})
                    QVERIFY(control<QCheckBox>(dlg, id)->isChecked());
                QVERIFY(control<QPushButton>(dlg, "1")->isDefault());
            },
            "1");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(readSettingsFile(), QByteArray("[General]\nbAltavista=1\nbGoogle=1\nbLooksmart=1\n"
                                                "bLycos=1\nm_MaxPages=20\nm_MaxThreads=3\n"));
    }

    void okTakesTheControls() {
        CSettingsDlg dlg;
        runDialog(
            dlg,
            [&] {
                control<QComboBox>(dlg, "1013")->setCurrentIndex(14); // "40"
                control<QComboBox>(dlg, "1014")->setCurrentIndex(7);  // "8"
                control<QCheckBox>(dlg, "1018")->setChecked(false);
                control<QCheckBox>(dlg, "1021")->setChecked(false);
            },
            "1");
        QCOMPARE(dlg.m_MaxPages, 40);
        QCOMPARE(dlg.m_MaxThreads, 8);
        QCOMPARE(dlg.m_bGoogle, 0);
        QCOMPARE(dlg.m_bAltavista, 1);
        QCOMPARE(dlg.m_bLycos, 1);
        QCOMPARE(dlg.m_bLooksmart, 0);
        CSearchSettings stored;
        stored.Load();
        QCOMPARE(stored.m_MaxPages, 40);
        QCOMPARE(stored.m_MaxThreads, 8);
        QCOMPARE(stored.m_bGoogle, 0);
        QCOMPARE(stored.m_bLooksmart, 0);

        // The next opening shows the values now in effect.
        runDialog(
            dlg,
            [&] {
                QCOMPARE(control<QComboBox>(dlg, "1013")->currentText(), QStringLiteral("40"));
                QVERIFY(!control<QCheckBox>(dlg, "1018")->isChecked());
            },
            "2");
    }

    void cancelChangesNothing() {
        writeSettingsFile("[General]\nm_MaxPages=5\nbLycos=0\n");
        const QByteArray before = readSettingsFile();
        CSettingsDlg dlg;
        runDialog(
            dlg,
            [&] {
                control<QComboBox>(dlg, "1013")->setCurrentIndex(0);
                control<QComboBox>(dlg, "1014")->setCurrentIndex(0);
                control<QCheckBox>(dlg, "1018")->setChecked(false);
                control<QCheckBox>(dlg, "1020")->setChecked(true);
            },
            "2");
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.m_MaxPages, 5);
        QCOMPARE(dlg.m_MaxThreads, 3);
        QCOMPARE(dlg.m_bGoogle, 1);
        QCOMPARE(dlg.m_bLycos, 0);
        QCOMPARE(readSettingsFile(), before);
        runDialog(
            dlg,
            [&] {
                QCOMPARE(control<QComboBox>(dlg, "1013")->currentText(), QStringLiteral("5"));
                QVERIFY(control<QCheckBox>(dlg, "1018")->isChecked());
                QVERIFY(!control<QCheckBox>(dlg, "1020")->isChecked());
            },
            "2");
    }

    // The stored number selects the first item that begins with it; OK without a selection
    // keeps the number.
    void prefixSelection_data() {
        QTest::addColumn<QByteArray>("pages");
        QTest::addColumn<QByteArray>("threads");
        QTest::addColumn<QString>("pagesShown");
        QTest::addColumn<QString>("threadsShown");
        QTest::addColumn<int>("pagesAfterOk");
        QTest::addColumn<int>("threadsAfterOk");
        QTest::newRow("4 and 8") << QByteArray("4") << QByteArray("8") << "4"
                                 << "8" << 4 << 8;
        QTest::newRow("40 and 1") << QByteArray("40") << QByteArray("1") << "40"
                                  << "1" << 40 << 1;
        QTest::newRow("1 not 10") << QByteArray("1") << QByteArray("2") << "1"
                                  << "2" << 1 << 2;
        QTest::newRow("12 and 9 select nothing") << QByteArray("12") << QByteArray("9") << ""
                                                 << "" << 12 << 9;
        QTest::newRow("0 selects nothing") << QByteArray("0") << QByteArray("0") << ""
                                           << "" << 0 << 0;
        QTest::newRow("negative") << QByteArray("-4") << QByteArray("-1") << ""
                                  << "" << -4 << -1;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << QByteArray("abc") << ""
                              << "" << INT_MAX << 0;
    }
    void prefixSelection() {
        QFETCH(QByteArray, pages);
        QFETCH(QByteArray, threads);
        QFETCH(QString, pagesShown);
        QFETCH(QString, threadsShown);
        QFETCH(int, pagesAfterOk);
        QFETCH(int, threadsAfterOk);
        writeSettingsFile("[General]\nm_MaxPages=" + pages + "\nm_MaxThreads=" + threads + "\n");
        CSettingsDlg dlg;
        runDialog(
            dlg,
            [&] {
                auto* depth = control<QComboBox>(dlg, "1013");
                auto* thread = control<QComboBox>(dlg, "1014");
                QCOMPARE(depth->currentText(), pagesShown);
                QCOMPARE(thread->currentText(), threadsShown);
                QCOMPARE(depth->currentIndex() < 0, pagesShown.isEmpty());
                QCOMPARE(thread->currentIndex() < 0, threadsShown.isEmpty());
            },
            "1");
        QCOMPARE(dlg.m_MaxPages, pagesAfterOk);
        QCOMPARE(dlg.m_MaxThreads, threadsAfterOk);
        CSearchSettings stored;
        stored.Load();
        QCOMPARE(stored.m_MaxPages, pagesAfterOk);
        QCOMPARE(stored.m_MaxThreads, threadsAfterOk);
    }

    void escapeIsCancel() {
        CSettingsDlg dlg;
        bool acted = false;
        QTimer::singleShot(0, &dlg, [&] {
            control<QCheckBox>(dlg, "1019")->setChecked(false);
            QTest::keyClick(&dlg, Qt::Key_Escape);
            acted = true;
        });
        dlg.DoModal();
        QVERIFY(acted);
        QCOMPARE(dlg.m_bAltavista, 1);
        QVERIFY(!QFile::exists(tw::test::settingsPath()));
    }
};

TW_TEST_MAIN_GUI(TestSettingsDlg)
#include "test_settingsdlg.moc"
