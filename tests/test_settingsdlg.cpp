#include "app/MainDlg.h"
#include "settings/SettingsDlg.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "ui/MessageBox.h"

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

// Edits the stored settings as the main window edits its own: OK stores the values.
int editStored(CSettingsDlg& dlg) {
    CSearchSettings settings;
    settings.Load();
    const int result = dlg.DoModal(settings);
    if (result == QDialog::Accepted)
        settings.Save();
    return result;
}

// While the dialog is up, act looks at or changes it; then button is pressed.
void whileShown(CSettingsDlg& dlg, const char* button, const std::function<void()>& act) {
    QTimer::singleShot(0, &dlg, [&dlg, button, act] {
        QVERIFY(dlg.isVisible());
        act();
        control<QPushButton>(dlg, button)->click();
    });
}
} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(tw::test::settingsPath()); }

    // An empty settings folder, either Settings button of the main window, OK: the store is
    // made with the six defaults.
    void firstStartOkWritesAllSix_data() {
        QTest::addColumn<int>("buttonId");
        QTest::newRow("Settings") << int(CMainDlg::IDC_SETTINGS);
        QTest::newRow("hidden Settings") << int(CMainDlg::IDC_SETTINGS_HIDDEN);
    }
    void firstStartOkWritesAllSix() {
        QFETCH(int, buttonId);
        tw::test::ScopedWorkDir dir;
        tw::testing::setAutoAnswer(true);
        CMainDlg main;
        CSettingsDlg& dlg = main.settingsDlg();
        whileShown(dlg, "1", [&] {
            QStringList depth;
            for (int i = 0; i < control<QComboBox>(dlg, "1013")->count(); ++i)
                depth << control<QComboBox>(dlg, "1013")->itemText(i);
            QCOMPARE(depth.join(' '), QStringLiteral("1 2 3 4 5 6 7 8 9 10 15 20 25 30 40"));
            QCOMPARE(control<QComboBox>(dlg, "1014")->count(), 8);
            QCOMPARE(control<QComboBox>(dlg, "1013")->currentText(), QStringLiteral("20"));
            QCOMPARE(control<QComboBox>(dlg, "1014")->currentText(), QStringLiteral("3"));
            for (const char* id : {"1018", "1019", "1020", "1021"})
                QVERIFY(control<QCheckBox>(dlg, id)->isChecked());
        });
        main.button(buttonId)->click();
        QCOMPARE(readSettingsFile(), QByteArray("[General]\nbAltavista=1\nbGoogle=1\nbLooksmart=1\n"
                                                "bLycos=1\nm_MaxPages=20\nm_MaxThreads=3\n"));
    }

    // The stored number selects the first item that begins with it; OK without a selection
    // keeps the number.
    void prefixSelection_data() {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("threads");
        QTest::addColumn<QString>("pagesShown");
        QTest::addColumn<QString>("threadsShown");
        QTest::newRow("4 not 40, 8") << 4 << 8 << "4"
                                     << "8";
        QTest::newRow("40, 1") << 40 << 1 << "40"
                               << "1";
        QTest::newRow("12 and 9: none") << 12 << 9 << ""
                                        << "";
        QTest::newRow("0 and -1: none") << 0 << -1 << ""
                                        << "";
    }
    void prefixSelection() {
        QFETCH(int, pages);
        QFETCH(int, threads);
        QFETCH(QString, pagesShown);
        QFETCH(QString, threadsShown);
        writeSettingsFile("[General]\nm_MaxPages=" + QByteArray::number(pages) +
                          "\nm_MaxThreads=" + QByteArray::number(threads) + "\n");
        CSettingsDlg dlg;
        whileShown(dlg, "1", [&] {
            QCOMPARE(control<QComboBox>(dlg, "1013")->currentText(), pagesShown);
            QCOMPARE(control<QComboBox>(dlg, "1014")->currentText(), threadsShown);
            control<QCheckBox>(dlg, "1018")->setChecked(false);
        });
        editStored(dlg);
        CSearchSettings stored;
        stored.Load();
        QCOMPARE(stored.m_MaxPages, pages);
        QCOMPARE(stored.m_MaxThreads, threads);
        QCOMPARE(stored.m_engineOn[Google], 0);
        QCOMPARE(dlg.m_bGoogle, 0);
    }

    // Tab walks the controls in the template's order, from the focus the dialog opens with.
    void tabOrderFollowsTheTemplate() {
        CSettingsDlg dlg;
        QStringList walked;
        QTimer::singleShot(0, &dlg, [&] {
            dlg.activateWindow();
            if (!QTest::qWaitForWindowActive(&dlg))
                qWarning("the dialog did not become active");
            for (int i = 0; i < 10; ++i) {
                QWidget* focus = QApplication::focusWidget();
                walked << (focus ? focus->objectName() : QStringLiteral("(none)"));
                QTest::keyClick(focus ? focus : &dlg, Qt::Key_Tab);
            }
            dlg.reject();
        });
        editStored(dlg);
        // The whole-depth switch, added after the template's controls, comes last.
        QCOMPARE(walked.join(' '),
                 QStringLiteral("1 2 1013 1014 1018 1019 1020 1021 readWholeDepth 1"));
    }

    // The whole-depth switch beside the depth box: shown from the store and taken on OK; a
    // settings file gets the value only once it has been switched on.
    void wholeDepthSwitch() {
        writeSettingsFile("[General]\nm_MaxPages=5\n");
        CSettingsDlg dlg;
        whileShown(dlg, "1", [&] {
            QCheckBox* whole = control<QCheckBox>(dlg, "readWholeDepth");
            QVERIFY(!whole->isChecked());
            // Right of the depth box, inside the threads frame, clear of the controls there.
            const QRect depth = control<QComboBox>(dlg, "1013")->geometry();
            QVERIFY(whole->geometry().left() > depth.right());
            QVERIFY(!whole->geometry().intersects(control<QComboBox>(dlg, "1014")->geometry()));
            whole->setChecked(true);
        });
        editStored(dlg);
        CSearchSettings stored;
        stored.Load();
        QCOMPARE(stored.m_ReadWholeDepth, 1);
        whileShown(dlg, "1", [&] {
            QVERIFY(control<QCheckBox>(dlg, "readWholeDepth")->isChecked());
            control<QCheckBox>(dlg, "readWholeDepth")->setChecked(false);
        });
        editStored(dlg);
        stored.Load();
        QCOMPARE(stored.m_ReadWholeDepth, 0);
        QVERIFY(readSettingsFile().contains("ReadWholeDepth=0\n"));
    }

    void cancelChangesNothing() {
        writeSettingsFile("[General]\nm_MaxPages=5\nbLycos=0\n");
        const QByteArray before = readSettingsFile();
        CSettingsDlg dlg;
        whileShown(dlg, "2", [&] {
            control<QComboBox>(dlg, "1013")->setCurrentIndex(0);
            control<QCheckBox>(dlg, "1018")->setChecked(false);
            control<QCheckBox>(dlg, "1020")->setChecked(true);
        });
        editStored(dlg);
        QCOMPARE(dlg.m_MaxPages, 5);
        QCOMPARE(dlg.m_bGoogle, 1);
        QCOMPARE(dlg.m_bLycos, 0);
        QCOMPARE(readSettingsFile(), before);
        // The next opening shows the values in effect, not the cancelled ones.
        whileShown(dlg, "2", [&] {
            QCOMPARE(control<QComboBox>(dlg, "1013")->currentText(), QStringLiteral("5"));
            QVERIFY(control<QCheckBox>(dlg, "1018")->isChecked());
            QVERIFY(!control<QCheckBox>(dlg, "1020")->isChecked());
        });
        editStored(dlg);
    }
};

TW_TEST_MAIN_GUI(TestSettingsDlg)
#include "test_settingsdlg.moc"
