// Schedules: the schedule's text, the next run, the systemd units (checked by systemd-analyze,
// with odd paths), the crontab line (run through sh) and the crontab kept around it, and the
// systemctl calls, all against stand-ins on PATH and a temporary XDG_CONFIG_HOME.
#include "schedule/LastRun.h"
#include "schedule/ScheduleWhen.h"
#include "schedule/Schedules.h"
#include "support/FakeTools.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>

using namespace tw::schedule;
using tw::test::readFile;
using tw::test::writeFile;

namespace {

// A data path with everything that needs quoting somewhere: spaces, '%', '$', quotes, '\'.
const QString kOddFolder = QStringLiteral("my lists 100% $HOME it's \"q\" back\\slash");

// A stand-in tallowick-rank that writes its arguments, one a line, into args.txt beside it.
QString writeEchoProgram(const QString& dir) {
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/tallowick-rank");
    writeFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname "
                    "\"$0\")/args.txt\"\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

ScheduleWhen when(const char* text) {
    ScheduleWhen s;
    QString error;
    if (!parseWhen(QString::fromLatin1(text), &s, &error))
        qWarning("%s", qPrintable(error));
    return s;
}

} // namespace

class TestSchedule : public QObject {
    Q_OBJECT

private slots:
    void whenTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read"); // empty: refused
        QTest::addColumn<QString>("calendar");
        QTest::addColumn<QString>("cron");
        QTest::newRow("daily") << "daily@07:30"
                               << "daily@07:30"
                               << "*-*-* 07:30:00"
                               << "30 7 * * *";
        QTest::newRow("weekdays, any case and spaces") << " Mon, WED ,fri@7:05 "
                                                       << "mon,wed,fri@07:05"
                                                       << "Mon,Wed,Fri *-*-* 07:05:00"
                                                       << "5 7 * * 1,3,5";
        QTest::newRow("sunday is cron's 0") << "sun,sat@23:59"
                                            << "sat,sun@23:59"
                                            << "Sat,Sun *-*-* 23:59:00"
                                            << "59 23 * * 0,6";
        QTest::newRow("every weekday is daily") << "mon,tue,wed,thu,fri,sat,sun@00:00"
                                                << "daily@00:00"
                                                << "*-*-* 00:00:00"
                                                << "0 0 * * *";
        QTest::newRow("off") << "OFF"
                             << "off" << QString() << QString();
        for (const char* bad : {"daily", "daily@24:00", "daily@07:60", "daily@7.30", "funday@07:30",
                                "mon,,fri@07:30", "@07:30", "", "daily@-1:00"})
            QTest::newRow(bad) << bad << QString() << QString() << QString();
    }
    void whenTexts() {
        QFETCH(QString, text);
        QFETCH(QString, read);
        QFETCH(QString, calendar);
        QFETCH(QString, cron);
        ScheduleWhen s;
        QString error;
        QCOMPARE(parseWhen(text, &s, &error), !read.isEmpty());
        if (read.isEmpty()) {
            QVERIFY2(error.contains(QLatin1String("mon,wed,fri@07:30")), qPrintable(error));
            return;
        }
        QCOMPARE(whenText(s), read);
        if (s.kind == ScheduleWhen::Off)
            return;
        QCOMPARE(onCalendar(s), calendar);
        QCOMPARE(cronFields(s), cron);
        ScheduleWhen back;
        QVERIFY(parseCronFields(cron, &back));
        QCOMPARE(whenText(back), read);
    }

    void nextRuns_data() {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<QDateTime>("next");
        const QDate tue(2026, 12, 8);
        QTest::newRow("later today")
            << "daily@07:30" << QDateTime(tue, QTime(7, 29)) << QDateTime(tue, QTime(7, 30));
        QTest::newRow("at the minute: tomorrow") << "daily@07:30" << QDateTime(tue, QTime(7, 30))
                                                 << QDateTime(tue.addDays(1), QTime(7, 30));
        QTest::newRow("next chosen day") << "mon,fri@06:00" << QDateTime(tue, QTime(5, 0))
                                         << QDateTime(tue.addDays(3), QTime(6, 0));
        QTest::newRow("same weekday, a week on")
            << "tue@06:00" << QDateTime(tue, QTime(6, 1)) << QDateTime(tue.addDays(7), QTime(6, 0));
        QTest::newRow("off") << "off" << QDateTime(tue, QTime(5, 0)) << QDateTime();
    }
    void nextRuns() {
        QFETCH(QString, when);
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, next);
        ScheduleWhen s;
        QVERIFY(parseWhen(when, &s, nullptr));
        QCOMPARE(nextRun(s, from), next);
    }

    // systemd reads back the very program path we wrote: it checks that the program exists.
    void unitFilesPassSystemdAnalyze_data() {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<bool>("throughEnv");
        QTest::newRow("spaces, % and $") << "my lists 100% $HOME" << false;
        // systemd takes no program path with quotes or a backslash in it.
        QTest::newRow("quotes and backslash") << kOddFolder << true;
    }
    void unitFilesPassSystemdAnalyze() {
        QFETCH(QString, programFolder);
        QFETCH(bool, throughEnv);
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        tw::test::ScopedWorkDir dir;
        const QString program = writeEchoProgram(dir.file(programFolder + "/bin"));
        QDir().mkpath(dir.file(kOddFolder));
        const QString data = dir.file(kOddFolder + "/clients 50%.dat");
        writeFile(data, "");
        const ScheduleRequest request{data,
                                      when("mon,wed,fri@07:30"),
                                      {"--source", "bing=serpapi:bing", "--tag", "a$b%c"},
                                      program};
        QCOMPARE(serviceUnitText(request).contains("ExecStart=\"/usr/bin/env\" "), throughEnv);
        const QString base = unitBaseName(data);
        QVERIFY2(base.startsWith("tallowick-rank-") && base.endsWith("-clients_50_"),
                 qPrintable(base));
        QCOMPARE(unitBaseName(data), base);
        QVERIFY(unitBaseName(dir.file("other/clients 50%.dat")) != base);
        QDir().mkpath(dir.file("units"));
        writeFile(dir.file("units/" + base + ".service"), serviceUnitText(request).toUtf8());
        writeFile(dir.file("units/" + base + ".timer"), timerUnitText(request).toUtf8());
        QDir().mkpath(dir.file("runtime"));
        QFile::setPermissions(dir.file("runtime"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.file("runtime"));
        verify.setProcessEnvironment(env);
        verify.setWorkingDirectory(dir.file("units"));
        verify.start(analyze,
                     {"verify", "--user", "./" + base + ".timer", "./" + base + ".service"});
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray err = verify.readAllStandardError();
        if (verify.exitCode() != 0 && err.contains("Failed to initialize manager"))
            QSKIP("systemd-analyze cannot run here: " + err.trimmed());
        QVERIFY2(verify.exitCode() == 0 && err.isEmpty(), err.constData());
        QVERIFY(timerUnitText(request).contains("\nPersistent=true\n"));
    }

    // The line cron runs is a sh command; cron itself turns "\%" into "%".
    void cronLineRunsThroughSh() {
        tw::test::ScopedWorkDir dir;
        const QString program = writeEchoProgram(dir.file(kOddFolder + "/bin"));
        const QString data = dir.file(kOddFolder + "/clients.dat");
        const QStringList runArgs{"--depth", "2", "--location", "Austin,Texas 100% 'x'"};
        const QString line = cronLine({data, when("daily@07:30"), runArgs, program});
        QVERIFY2(line.startsWith("30 7 * * * "), qPrintable(line));
        QString command = line.mid(QStringLiteral("30 7 * * * ").size());
        QVERIFY2(!command.contains(QRegularExpression("[^\\\\]%")), qPrintable(command));
        command.replace("\\%", "%");
        QCOMPARE(QProcess::execute("/bin/sh", {"-c", command}), 0);
        const QStringList args = QString::fromUtf8(readFile(dir.file(kOddFolder + "/bin/args.txt")))
                                     .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(args, QStringList({"-d", data}) + runArgs + QStringList{"-q"});
    }

    // Without a systemd user manager: one line of the crontab, the others untouched.
    void crontabKeepsOtherLines() {
        tw::test::FakeTools tools(false);
        tw::test::ScopedWorkDir dir;
        const QString program = writeEchoProgram(dir.file("bin"));
        const QString data = dir.file("shop 10%.dat");
        const QString other = dir.file("other.dat");
        writeFile(data, "");
        writeFile(other, "");
        const QByteArray mine = "# m h dom mon dow command\r\n"
                                "MAILTO=me@example.invalid\n"
                                "*/5 * * * * date +\\%s >> /tmp/x  # not ours\n"
                                "\n"
                                "#30 7 * * * old commented job\n";
        writeFile(tools.crontabFile(), mine);
        QString done, error;
        // Another list's line stays when this one changes.
        QVERIFY2(applySchedule({other, when("daily@06:00"), {}, program}, &done, &error),
                 qPrintable(error));
        const QByteArray withOther = readFile(tools.crontabFile());
        QVERIFY(withOther.startsWith(mine));
        QVERIFY2(applySchedule({data, when("daily@07:30"), {}, program}, &done, &error),
                 qPrintable(error));
        QVERIFY2(done.contains("crontab"), qPrintable(done));
        QVERIFY(readFile(tools.crontabFile()).startsWith(withOther));
        QVERIFY(
            applySchedule({data, when("mon,fri@08:15"), {"--depth", "3"}, program}, &done, &error));
        const QByteArray replaced = readFile(tools.crontabFile());
        QVERIFY(replaced.startsWith(withOther));
        QCOMPARE(replaced.count('\n'), withOther.count('\n') + 1);
        QVERIFY(replaced.contains("15 8 * * 1,5 ") && replaced.contains("'--depth' '3'"));
        QVERIFY(!replaced.contains("30 7 * * * '"));

        const std::vector<ScheduledList> lists = listSchedules(&error);
        QCOMPARE(lists.size(), size_t(2));
        QCOMPARE(lists[1].dataFile, data);
        QCOMPARE(whenText(lists[1].when), QStringLiteral("mon,fri@08:15"));
        QCOMPARE(lists[1].backend, Backend::Cron);

        QVERIFY(applySchedule({data, when("off"), {}, {}}, &done, &error));
        QCOMPARE(readFile(tools.crontabFile()), withOther);
        QVERIFY(applySchedule({other, when("off"), {}, {}}, &done, &error));
        QCOMPARE(readFile(tools.crontabFile()), mine);
        tools.takeCalls();
        // Off again changes nothing, so nothing is written.
        QVERIFY(applySchedule({data, when("off"), {}, {}}, &done, &error));
        QVERIFY(!tools.takeCalls().contains("crontab -"));
    }

    void crontabFaults() {
        tw::test::FakeTools tools(false);
        tw::test::ScopedWorkDir dir;
        const QString program = writeEchoProgram(dir.file("bin"));
        const QString data = dir.file("a.dat");
        writeFile(data, "");
        QString done, error;
        // No crontab yet: ours is the first line.
        QVERIFY2(applySchedule({data, when("daily@07:30"), {}, program}, &done, &error),
                 qPrintable(error));
        QCOMPARE(readFile(tools.crontabFile()).count('\n'), 1);
        // A crontab that cannot be read is never written over.
        writeFile(tools.crontabFile(), "1 2 * * * keep me\n");
        tools.takeCalls();
        tools.failWith("crontab", "crontab: cannot open: Permission denied\n");
        QVERIFY(!applySchedule({data, when("daily@09:00"), {}, program}, &done, &error));
        QVERIFY2(error.contains("Permission denied") && error.contains("left as it was"),
                 qPrintable(error));
        QVERIFY(!tools.takeCalls().contains("crontab -"));
        QCOMPARE(readFile(tools.crontabFile()), QByteArray("1 2 * * * keep me\n"));
        tools.failWith("crontab", {});
        // A list that is not saved, or a path a line cannot carry.
        QVERIFY(!applySchedule({dir.file("none.dat"), when("daily@09:00"), {}, program}, &done,
                               &error));
        QVERIFY2(error.contains("not saved"), qPrintable(error));
        QVERIFY(!applySchedule({dir.file("a\nb.dat"), when("off"), {}, {}}, &done, &error));
        QVERIFY2(error.contains("line break"), qPrintable(error));
    }

    // With a systemd user manager: the units written, enabled, started again when changed,
    // disabled and removed.
    void systemdTimer() {
        tw::test::FakeTools tools(true);
        tw::test::ScopedWorkDir dir;
        const QString program = writeEchoProgram(dir.file("bin"));
        const QString data = dir.file("shop.dat");
        writeFile(data, "");
        // A line left from a time without systemd would run the list twice.
        writeFile(tools.crontabFile(),
                  "1 2 * * * keep\n" + cronLine({data, when("daily@05:00"), {}, program}).toUtf8() +
                      "\n");
        const QString name = unitBaseName(data) + ".timer";
        const QString timer = systemdUnitDir() + "/" + name;
        QString done, error;
        QVERIFY2(
            applySchedule({data, when("daily@07:30"), {"--threads", "4"}, program}, &done, &error),
            qPrintable(error));
        QVERIFY2(done.contains(name) && done.contains("Next run"), qPrintable(done));
        QStringList calls = tools.takeCalls();
        QCOMPARE(calls.filter("systemctl"),
                 QStringList({"systemctl --user show-environment", "systemctl --user daemon-reload",
                              "systemctl --user enable --now " + name}));
        QCOMPARE(readFile(tools.crontabFile()), QByteArray("1 2 * * * keep\n"));
        QVERIFY(readFile(timer).contains("OnCalendar=*-*-* 07:30:00"));
        const QByteArray service =
            readFile(systemdUnitDir() + "/" + unitBaseName(data) + ".service");
        QVERIFY2(service.contains("Type=oneshot") && service.contains("\"--threads\" \"4\""),
                 service.constData());

        QVERIFY(applySchedule({data, when("sat@10:00"), {}, program}, &done, &error));
        QVERIFY(tools.takeCalls().contains("systemctl --user restart " + name));
        const std::vector<ScheduledList> lists = listSchedules(&error);
        QCOMPARE(lists.size(), size_t(1));
        QCOMPARE(lists[0].dataFile, data);
        QCOMPARE(whenText(lists[0].when), QStringLiteral("sat@10:00"));

        tools.failWith("systemctl", "Failed to enable unit: Access denied\n");
        QVERIFY(!applySchedule({data, when("sat@11:00"), {}, program}, &done, &error));
        QVERIFY2(error.contains("Access denied"), qPrintable(error));
        QVERIFY(readFile(timer).contains("OnCalendar=Sat *-*-* 10:00:00"));
        tools.failWith("systemctl", {});

        tools.takeCalls();
        QVERIFY(applySchedule({data, when("off"), {}, {}}, &done, &error));
        calls = tools.takeCalls();
        QVERIFY(calls.contains("systemctl --user disable --now " + name));
        QVERIFY(!QFileInfo::exists(timer));
        QVERIFY(listSchedules(&error).empty());
    }

    void lastRunFile_data() {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file
        QTest::addColumn<QString>("words");
        QTest::newRow("none") << QByteArray() << "no scheduled run yet";
        QTest::newRow("not JSON") << QByteArray("{\"time\":") << "could not be read";
        QTest::newRow("in use")
            << QByteArray("{\"time\":\"2026-12-08T07:30:00Z\",\"status\":3,\"message\":\"The "
                          "entry list is in use.\"}")
            << "exit status 3 (data file unreadable, unwritable or in use) - The entry list";
        QTest::newRow("counts, unknown fields and types")
            << QByteArray("{\"time\":\"2026-12-08T07:30:00Z\",\"status\":0,\"extra\":[1],"
                          "\"changes\":{\"google\":{\"up\":18,\"down\":9,\"same\":30,\"new\":1,"
                          "\"dropped\":9,\"entered\":2,\"error\":\"x\"},\"bing\":7}}")
            << "google: 18 up, 9 down, 30 same, 1 new, 9 dropped, 2 entered, 0 error";
    }
    void lastRunFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, words);
        tw::test::ScopedWorkDir dir;
        if (!bytes.isEmpty())
            writeFile(dir.file("list.lastrun.json"), bytes);
        const QString text = lastRunText(readLastRun(dir.file("list.dat")));
        QVERIFY2(text.contains(words), qPrintable(text));
    }
};

TW_TEST_MAIN_CORE(TestSchedule)
#include "test_schedule.moc"
