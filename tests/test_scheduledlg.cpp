// The window's Schedule...: refused for a list not saved yet; the dialog takes the window's run
// options, sets the schedule through the same logic as tallowick-rank (a crontab stand-in on
// PATH), reads it back when opened again and shows the last run.
#include "app/MainDlg.h"
#include "schedule/ScheduleDlg.h"
#include "support/FakeTools.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimeEdit>

using tw::schedule::ScheduleDlg;
using tw::test::readFile;
using tw::test::writeFile;

class TestScheduleDlg : public QObject {
    Q_OBJECT

private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void unsavedListIsRefused() {
        tw::test::ScopedWorkDir dir;
        tw::schedule::ShowScheduleDialog(nullptr, dir.file("never-saved.dat"), {});
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith("Save the list"), qPrintable(shown[0].text));
    }

    void windowSchedulesItsList() {
        tw::test::FakeTools tools(false);
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), "www.t.example\r\nk\r\n-\r\n-\r\n-\r\n-\r\n");
        writeFile(tools.crontabFile(), "0 1 * * * other job\n");
        CMainDlg window;
        window.show();
        QString options;
        tw::test::ModalDriver<ScheduleDlg> first([&](ScheduleDlg* dlg) {
            QVERIFY(dlg->offButton()->isChecked());
            QVERIFY(dlg->lastRunLabel()->text().contains("no scheduled run yet"));
            const auto labels = dlg->findChildren<QLabel*>();
            for (QLabel* label : labels) {
                if (label->text().startsWith("--depth"))
                    options = label->text();
            }
            dlg->weekdaysButton()->setChecked(true);
            QVERIFY(dlg->dayBox(0)->isEnabled());
            dlg->timeEdit()->setTime(QTime(8, 15));
            dlg->accept(); // no day chosen
            QVERIFY(dlg->isVisible());
            QCOMPARE(tw::testing::takeShownMessages().value(0).text,
                     QStringLiteral("Choose at least one day, or Off."));
            dlg->dayBox(0)->setChecked(true);
            dlg->dayBox(4)->setChecked(true);
            QVERIFY(dlg->nextRunLabel()->text().contains("08:15"));
            dlg->accept();
            QVERIFY(!dlg->isVisible());
        });
        window.OnSchedule();
        QVERIFY(first.opened());
        // The defaults of the window's run: every engine on, the classic pages.
        QVERIFY2(options.startsWith("--depth 20\n--threads 3\n--engines google,altavista,lycos,"
                                    "looksmart\n--source google=classic"),
                 qPrintable(options));
        const auto shown = tw::testing::takeShownMessages();
        QVERIFY2(shown.size() == 1 && shown[0].text.contains("crontab"),
                 qPrintable(shown.value(0).text));
        const QByteArray tab = readFile(tools.crontabFile());
        QVERIFY2(tab.startsWith("0 1 * * * other job\n15 8 * * 1,5 ") &&
                     tab.contains("'--depth' '20'"),
                 tab.constData());

        writeFile(dir.file("tallowick.lastrun.json"),
                  "{\"time\":\"2026-12-07T08:15:00Z\",\"status\":0,\"changes\":{\"google\":"
                  "{\"up\":18,\"down\":9,\"same\":30,\"new\":1,\"dropped\":9,\"entered\":2,"
                  "\"error\":0}}}");
        ScheduleDlg again(dir.file("tallowick.dat"), options.split(QRegularExpression("[ \n]")));
        QVERIFY(again.weekdaysButton()->isChecked());
        QVERIFY(again.dayBox(0)->isChecked() && again.dayBox(4)->isChecked() &&
                !again.dayBox(1)->isChecked());
        QCOMPARE(again.timeEdit()->time(), QTime(8, 15));
        QVERIFY2(again.lastRunLabel()->text().contains("exit status 0 (done); google: 18 up"),
                 qPrintable(again.lastRunLabel()->text()));
        again.show();
        // For a look by eye: TW_SCHEDULE_SCREENSHOT=/tmp/schedule.png
        if (const QString keep = qEnvironmentVariable("TW_SCHEDULE_SCREENSHOT"); !keep.isEmpty())
            QVERIFY(again.grab().save(keep));

        again.offButton()->setChecked(true);
        again.accept();
        QCOMPARE(readFile(tools.crontabFile()), QByteArray("0 1 * * * other job\n"));
    }
};

TW_TEST_MAIN_GUI(TestScheduleDlg)
#include "test_scheduledlg.moc"
