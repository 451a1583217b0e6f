#include "rank/RankProgressDlg.h"
#include "support/TestEnv.h"
#include "ui/AnimateCtrl.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <thread>

class TestRankProgressDlg : public QObject {
    Q_OBJECT
private slots:
    void startsAsTheTemplateSays() {
        CRankProgressDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Ranking Sites"));
        QVERIFY(!dlg.IsCancelled());
        QCOMPARE(dlg.ProgressBar()->minimum(), 0);
        QCOMPARE(dlg.ProgressBar()->maximum(), 100);
        QCOMPARE(dlg.ProgressBar()->value(), 0);
        QCOMPARE(dlg.UrlBox()->title(), QStringLiteral("URL"));
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Page 1/20"));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowSystemMenuHint));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(dlg.AnimationControl()->frameCount() > 0);
    }

    void cancelTwiceIsCancelOnce_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("button") << false;
        QTest::newRow("escape") << true;
    }
    void cancelTwiceIsCancelOnce() {
        QFETCH(bool, escape);
        CRankProgressDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const auto press = [&] {
            if (escape)
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                dlg.CancelButton()->click();
        };
        press();
        QVERIFY(dlg.IsCancelled());
        QVERIFY(!dlg.CancelButton()->isEnabled());
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Cancelling threads .."));
        QVERIFY(dlg.isVisible()); // the run removes the window, not the cancel

        // A scan still running writes its next page line; a second press changes nothing.
        dlg.ReportPage(35, "Lycos Page 8/20", "www.x.example");
        press();
        QVERIFY(dlg.IsCancelled());
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Lycos Page 8/20"));
    }

    // The calls billed so far end the page line once there are any, from a worker that does not
    // wait for the window; "Cancelling threads .." is not overwritten by them.
    void callsOnThePageLine() {
        CRankProgressDlg dlg;
        dlg.show();
        dlg.ReportPage(10, "Google Page 2/20", "www.x.example");
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Google Page 2/20"));
        std::thread worker([&] { dlg.ReportCalls(7); });
        worker.join();
        QTRY_COMPARE(dlg.PageLine()->text(), QStringLiteral("Google Page 2/20   calls: 7"));
        dlg.ReportPage(15, "Bing Page 3/20", "www.x.example");
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Bing Page 3/20   calls: 7"));
        dlg.OnCancel();
        dlg.ReportCalls(8);
        QCoreApplication::processEvents();
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Cancelling threads .."));
    }

    void workerReportsArriveOnTheWindowThread() {
        CRankProgressDlg dlg;
        dlg.show();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            std::lock_guard<std::mutex> lock(g_hProgressLock);
            dlg.ReportPage(15, "Google Page 4/20", "http://a.example/?x=1&y=2");
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QCOMPARE(dlg.ProgressBar()->value(), 15);
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Google Page 4/20"));
        QCOMPARE(dlg.UrlBox()->title(), QStringLiteral("http://a.example/?x=1&&y=2"));
        dlg.ReportPage(20, "Google Page 5/20", "www.a\x1b[2J\xe2\x80\xae.example");
        QCOMPARE(dlg.UrlBox()->title(), QStringLiteral("www.a\\x1B[2J\\u202E.example"));
    }

    // The run's overall count goes into the caption; the template's controls stay as they are.
    void overallCountInCaption_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("caption");
        QTest::newRow("start") << 0 << 305 << "Ranking Sites: 0 of 305";
        QTest::newRow("midway") << 12 << 305 << "Ranking Sites: 12 of 305";
        QTest::newRow("never past the total") << 9 << 8 << "Ranking Sites: 8 of 8";
        QTest::newRow("no entries") << 0 << 0 << "Ranking Sites";
    }
    void overallCountInCaption() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(QString, caption);
        CRankProgressDlg dlg;
        dlg.SetOverall(done, total);
        QCOMPARE(dlg.windowTitle(), caption);
        QCOMPARE(dlg.PageLine()->text(), QStringLiteral("Page 1/20"));
        QCOMPARE(dlg.UrlBox()->title(), QStringLiteral("URL"));
    }
};

TW_TEST_MAIN_GUI(TestRankProgressDlg)
#include "test_rankprogressdlg.moc"
