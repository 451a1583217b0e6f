#include "schedule/Schedules.h"

#include "schedule/ExternalCommand.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace tw::schedule {

namespace {

const QString kRankName = QStringLiteral("tallowick-rank");
const QString kListMark = QStringLiteral("# Tallowick list: ");
const QString kWhenMark = QStringLiteral("# Tallowick schedule: ");
const QString kCronMark = QStringLiteral(" # Tallowick schedule ");
constexpr qint64 kMaxUnitBytes = 64 * 1024;

QString listHash(const QString& dataFile) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QDir::cleanPath(dataFile).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(8));
}

bool hasControl(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

bool executable(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// Cron turns an unescaped '%' of a line into a line break.
QString cronEscape(QString text) {
    return text.replace('%', QLatin1String("\\%"));
}

QString cronUnescape(QString text) {
    return text.replace(QLatin1String("\\%"), QLatin1String("%"));
}

QString markTail(const QString& dataFile) {
    return kCronMark + listHash(dataFile) + ' ' + cronEscape(QDir::cleanPath(dataFile));
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be written: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

bool removeFile(const QString& path, QString* error) {
    QFile file(path);
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return true;
    if (file.remove())
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be removed: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(kMaxUnitBytes);
}

// Puts back what readWhole read: the old bytes, or no file.
void restoreFile(const QString& path, const std::optional<QByteArray>& bytes) {
    if (bytes)
        writeFile(path, *bytes, nullptr);
    else
        QFile::remove(path);
}

// Runs a tool; false with its failure as the message.
bool run(const QString& program, const QStringList& args, QString* error,
         const QByteArray& input = {}, CommandResult* result = nullptr) {
    CommandResult r = runCommand(program, args, input);
    const bool ok = r.ok();
    if (!ok && error)
        *error = r.failure(program, args);
    if (result)
        *result = std::move(r);
    return ok;
}

bool systemctl(const QStringList& args, QString* error) {
    return run(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + args, error);
}

// The user's crontab; a user without one has an empty one. Anything else that goes wrong is an
// error, never an empty crontab: writing ours over it would lose the user's lines.
std::optional<QByteArray> readCrontab(QString* error, bool* noTool = nullptr) {
    CommandResult r;
    const QStringList args{QStringLiteral("-l")};
    if (run(QStringLiteral("crontab"), args, error, {}, &r))
        return r.out;
    if (noTool)
        *noTool = !r.started;
    if (r.started && !r.timedOut && !r.tooLong && r.exitCode > 0 &&
        QString::fromLocal8Bit(r.err).contains(QLatin1String("no crontab"), Qt::CaseInsensitive))
        return QByteArray();
    return std::nullopt;
}

bool updateCrontab(const QString& dataFile, const QString& line, QString* error,
                   bool missingToolIsFine) {
    bool noTool = false;
    QString readError;
    const std::optional<QByteArray> current = readCrontab(&readError, &noTool);
    if (!current) {
        if (noTool && missingToolIsFine)
            return true;
        if (error)
            *error = readError + QStringLiteral(" The crontab was left as it was.");
        return false;
    }
    const QByteArray updated = updatedCrontab(*current, dataFile, line);
    if (updated == *current)
        return true;
    return run(QStringLiteral("crontab"), {QStringLiteral("-")}, error, updated);
}

struct UnitPaths {
    QString service, timer, wants;
    QString name; // of the timer
};

UnitPaths unitPaths(const QString& dataFile) {
    const QString dir = systemdUnitDir();
    const QString base = unitBaseName(dataFile);
    return {dir + '/' + base + QStringLiteral(".service"),
            dir + '/' + base + QStringLiteral(".timer"),
            dir + QStringLiteral("/timers.target.wants/") + base + QStringLiteral(".timer"),
            base + QStringLiteral(".timer")};
}

std::optional<ScheduledList> readTimer(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxUnitBytes)
        return std::nullopt;
    ScheduledList list;
    list.backend = Backend::Systemd;
    list.where = path;
    bool haveWhen = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(kListMark))
            list.dataFile = line.mid(kListMark.size());
        else if (line.startsWith(kWhenMark))
            haveWhen = parseWhen(line.mid(kWhenMark.size()), &list.when, nullptr);
    }
    if (list.dataFile.isEmpty() || !haveWhen)
        return std::nullopt;
    return list;
}

QString unitHeader(const ScheduleRequest& request) {
    QString description = QFileInfo(request.dataFile).fileName();
    description.replace('%', QLatin1String("%%"));
    description.replace('\\', '/');
    return QStringLiteral("# Made by Tallowick. Change it with Schedule... in the window or with "
                          "tallowick-rank --schedule.\n") +
           kListMark + QDir::cleanPath(request.dataFile) + '\n' + kWhenMark +
           whenText(request.when) + QStringLiteral("\n\n[Unit]\nDescription=Tallowick: rank ") +
           description + '\n';
}

bool checkRequest(const ScheduleRequest& request, QString* error) {
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!QFileInfo(request.dataFile).isAbsolute())
        return fail(QStringLiteral("The list's path \"%1\" is not absolute.")
                        .arg(QDir::toNativeSeparators(request.dataFile)));
    if (hasControl(request.dataFile))
        return fail(QStringLiteral("The list's path holds a line break or another control "
                                   "character, which a schedule cannot carry."));
    if (request.when.kind == ScheduleWhen::Off)
        return true;
    if (!QFileInfo(request.dataFile).isFile())
        return fail(QStringLiteral("The entry list \"%1\" is not saved yet: save it before "
                                   "scheduling it.")
                        .arg(QDir::toNativeSeparators(request.dataFile)));
    if (request.program.isEmpty() || !QFileInfo(request.program).isAbsolute())
        return fail(QStringLiteral("tallowick-rank was not found, so nothing can run the list."));
    if (hasControl(request.program) ||
        std::any_of(request.runArgs.begin(), request.runArgs.end(), hasControl))
        return fail(QStringLiteral("An option of the run holds a line break or another control "
                                   "character, which a schedule cannot carry."));
    return true;
}

QString nextRunWords(const ScheduleWhen& when) {
    const QDateTime next = nextRun(when, QDateTime::currentDateTime());
    return next.isValid() ? next.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm")) : QString();
}

#ifdef Q_OS_WIN
const QString kTaskFolder = QStringLiteral("Tallowick\\");

QString windowsQuote(const QString& arg) {
    QString q = arg;
    q.replace('"', QLatin1String("\\\""));
    return '"' + q + '"';
}

bool applyTask(const ScheduleRequest& request, QString* done, QString* error) {
    const QString name = kTaskFolder + unitBaseName(request.dataFile);
    const QString schtasks = QStringLiteral("schtasks");
    if (request.when.kind == ScheduleWhen::Off) {
        CommandResult r;
        run(schtasks, {"/Query", "/TN", name}, nullptr, {}, &r);
        if (r.ok() && !run(schtasks, {"/Delete", "/F", "/TN", name}, error))
            return false;
        if (done)
            *done = QStringLiteral("The list is not scheduled.");
        return true;
    }
    QStringList command{windowsQuote(QDir::toNativeSeparators(request.program)),
                        QStringLiteral("-d"),
                        windowsQuote(QDir::toNativeSeparators(request.dataFile))};
    for (const QString& a : request.runArgs)
        command << windowsQuote(a);
    QStringList args{"/Create", "/F",
                     "/TN",     name,
                     "/TR",     command.join(' '),
                     "/ST",     request.when.time.toString(QStringLiteral("HH:mm"))};
    if (request.when.kind == ScheduleWhen::Daily) {
        args << "/SC"
             << "DAILY";
    } else {
        static const char* const days[7] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
        QStringList on;
        for (int d = 0; d < 7; ++d) {
            if (request.when.days & (1u << d))
                on << QLatin1String(days[d]);
        }
        args << "/SC"
             << "WEEKLY"
             << "/D" << on.join(',');
    }
    if (!run(schtasks, args, error))
        return false;
    if (done)
        *done = QStringLiteral("The list is ranked %1 by the task \"%2\" of the Task Scheduler.")
                    .arg(whenWords(request.when), name);
    return true;
}
#endif

} // namespace

QString rankProgramPath(QString* error) {
    const QString self = QCoreApplication::applicationFilePath();
    if (QFileInfo(self).completeBaseName() == kRankName)
        return self;
    const QDir dir(QCoreApplication::applicationDirPath());
#ifdef Q_OS_WIN
    const QString file = kRankName + QStringLiteral(".exe");
#else
    const QString& file = kRankName;
#endif
    // Installed beside the window; in the build tree, in the command's own folder.
    for (const QString& candidate : {dir.filePath(file), dir.filePath("../cli/" + file)}) {
        if (executable(candidate))
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    }
    const QString found = QStandardPaths::findExecutable(kRankName);
    if (!found.isEmpty())
        return found;
    if (error)
        *error = QStringLiteral("tallowick-rank was found neither beside this program nor on "
                                "PATH, so nothing can run the list.");
    return {};
}

QStringList runArguments(const RunOptions& options) {
    QStringList args;
    if (options.depth > 0)
        args << QStringLiteral("--depth") << QString::number(options.depth);
    if (options.threads > 0)
        args << QStringLiteral("--threads") << QString::number(options.threads);
    if (!options.engines.isEmpty())
        args << QStringLiteral("--engines") << options.engines.join(',');
    for (const auto& [slot, source] : options.sources)
        args << QStringLiteral("--source") << slot + '=' + source;
    return args;
}

QString unitBaseName(const QString& dataFile) {
    QString base = QFileInfo(dataFile).completeBaseName();
    for (QChar& c : base) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != '-' && c != '_')
            c = '_';
    }
    base = base.left(40);
    if (base.isEmpty())
        base = QStringLiteral("list");
    return kRankName + '-' + listHash(dataFile) + '-' + base;
}

QString systemdUnitDir() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QFileInfo(config).isAbsolute())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/systemd/user");
}

QString systemdQuote(const QString& arg, bool program) {
    QString q;
    q.reserve(arg.size() + 2);
    q += '"';
    for (QChar c : arg) {
        if (c == '\\' || c == '"')
            q += '\\';
        else if (c == '%' || (c == '$' && !program))
            q += c; // "%%" and "$$" are a literal '%' and '$'; the program's own '$' is
        q += c;     // never a variable
    }
    q += '"';
    return q;
}

QString shellQuote(const QString& arg) {
    QString q = arg;
    q.replace('\'', QLatin1String("'\\''"));
    return '\'' + q + '\'';
}

QString serviceUnitText(const ScheduleRequest& request) {
    QStringList exec;
    // systemd refuses a program path with quotes or backslashes; env runs it for us.
    if (request.program.contains(QRegularExpression(QStringLiteral("[\"'\\\\]"))))
        exec << systemdQuote(QStringLiteral("/usr/bin/env"), true) << systemdQuote(request.program);
    else
        exec << systemdQuote(request.program, true);
    exec << QStringList{systemdQuote(QStringLiteral("-d")),
                        systemdQuote(QDir::cleanPath(request.dataFile))};
    for (const QString& a : request.runArgs)
        exec << systemdQuote(a);
    return unitHeader(request) + QStringLiteral("\n[Service]\nType=oneshot\nExecStart=") +
           exec.join(' ') + '\n';
}

QString timerUnitText(const ScheduleRequest& request) {
    return unitHeader(request) + QStringLiteral("\n[Timer]\nOnCalendar=") +
           onCalendar(request.when) + QStringLiteral("\nPersistent=true\nUnit=") +
           unitBaseName(request.dataFile) +
           QStringLiteral(".service\n\n[Install]\nWantedBy=timers.target\n");
}

QString cronLine(const ScheduleRequest& request) {
    QStringList words{shellQuote(request.program), QStringLiteral("-d"),
                      shellQuote(QDir::cleanPath(request.dataFile))};
    for (const QString& a : request.runArgs)
        words << shellQuote(a);
    // cron mails what a job prints: only the failures.
    words << QStringLiteral("-q");
    return cronFields(request.when) + ' ' + cronEscape(words.join(' ')) +
           markTail(request.dataFile);
}

QByteArray updatedCrontab(const QByteArray& current, const QString& dataFile, const QString& line) {
    const QByteArray tail = markTail(dataFile).toUtf8();
    QByteArray out;
    bool placed = false;
    qsizetype start = 0;
    while (start < current.size()) {
        qsizetype end = current.indexOf('\n', start);
        end = end < 0 ? current.size() : end + 1;
        const QByteArray whole = current.mid(start, end - start);
        QByteArray body = whole;
        while (body.endsWith('\n') || body.endsWith('\r'))
            body.chop(1);
        start = end;
        if (body.trimmed().startsWith('#') || !body.endsWith(tail)) {
            out += whole;
            continue;
        }
        if (!placed && !line.isEmpty())
            out += line.toUtf8() + '\n';
        placed = true;
    }
    if (!placed && !line.isEmpty()) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        out += line.toUtf8() + '\n';
    }
    return out;
}

std::vector<ScheduledList> parseCrontab(const QByteArray& crontab) {
    static const QRegularExpression form(
        QStringLiteral("^(\\S+ \\S+ \\S+ \\S+ \\S+) .*? # Tallowick schedule ([0-9a-f]{8}) (.+)$"));
    std::vector<ScheduledList> lists;
    for (const QByteArray& raw : crontab.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('#'))
            continue;
        const QRegularExpressionMatch m = form.match(line);
        if (!m.hasMatch())
            continue;
        ScheduledList list;
        list.backend = Backend::Cron;
        list.where = QStringLiteral("crontab");
        list.dataFile = cronUnescape(m.captured(3));
        if (listHash(list.dataFile) != m.captured(2) || !parseCronFields(m.captured(1), &list.when))
            continue;
        lists.push_back(list);
    }
    return lists;
}

bool systemdAvailable() {
    return runCommand(QStringLiteral("systemctl"),
                      {QStringLiteral("--user"), QStringLiteral("show-environment")}, {}, 5000)
        .ok();
}

bool applySchedule(const ScheduleRequest& request, QString* done, QString* error) {
    if (!checkRequest(request, error))
        return false;
#ifdef Q_OS_WIN
    return applyTask(request, done, error);
#else
    const bool on = request.when.kind != ScheduleWhen::Off;
    const UnitPaths paths = unitPaths(request.dataFile);
    const bool hadUnits = QFileInfo::exists(paths.timer) || QFileInfo::exists(paths.service);
    QString message;
    if (systemdAvailable()) {
        if (on) {
            if (!QDir().mkpath(systemdUnitDir())) {
                if (error)
                    *error = QStringLiteral("The folder \"%1\" could not be made.")
                                 .arg(QDir::toNativeSeparators(systemdUnitDir()));
                return false;
            }
            // A schedule that cannot be enabled leaves the units as they were.
            const std::optional<QByteArray> oldService = readWhole(paths.service);
            const std::optional<QByteArray> oldTimer = readWhole(paths.timer);
            const auto undo = [&] {
                if (!oldTimer)
                    systemctl({QStringLiteral("disable"), QStringLiteral("--now"), paths.name},
                              nullptr);
                restoreFile(paths.service, oldService);
                restoreFile(paths.timer, oldTimer);
                systemctl({QStringLiteral("daemon-reload")}, nullptr);
            };
            if (!writeFile(paths.service, serviceUnitText(request).toUtf8(), error) ||
                !writeFile(paths.timer, timerUnitText(request).toUtf8(), error) ||
                !systemctl({QStringLiteral("daemon-reload")}, error) ||
                !systemctl({QStringLiteral("enable"), QStringLiteral("--now"), paths.name},
                           error) ||
                // A timer that was running keeps its old time until it starts again.
                (hadUnits && !systemctl({QStringLiteral("restart"), paths.name}, error))) {
                undo();
                return false;
            }
            message = QStringLiteral("The list is ranked %1 by the systemd user timer %2.")
                          .arg(whenWords(request.when), paths.name);
        } else if (hadUnits) {
            if (!systemctl({QStringLiteral("disable"), QStringLiteral("--now"), paths.name},
                           error) ||
                !removeFile(paths.timer, error) || !removeFile(paths.service, error) ||
                !systemctl({QStringLiteral("daemon-reload")}, error))
                return false;
        }
        // A line left from a time without systemd would run the list twice.
        if (!updateCrontab(request.dataFile, QString(), error, true))
            return false;
    } else {
        if (!updateCrontab(request.dataFile, on ? cronLine(request) : QString(), error, false))
            return false;
        // Units left from a time with systemd: nothing can disable them now, so they go.
        if (hadUnits && (!removeFile(paths.wants, error) || !removeFile(paths.timer, error) ||
                         !removeFile(paths.service, error)))
            return false;
        if (on)
            message = QStringLiteral("The list is ranked %1 by a line of your crontab (cron does "
                                     "not make up a run missed while the computer was off).")
                          .arg(whenWords(request.when));
    }
    if (done) {
        *done = on ? message + QStringLiteral(" Next run: %1.").arg(nextRunWords(request.when))
                   : QStringLiteral("The list is not scheduled.");
    }
    return true;
#endif
}

std::vector<ScheduledList> listSchedules(QString* problems) {
    std::vector<ScheduledList> lists;
#ifdef Q_OS_WIN
    Q_UNUSED(problems);
#else
    const QDir dir(systemdUnitDir());
    for (const QString& name :
         dir.entryList({kRankName + QStringLiteral("-*.timer")}, QDir::Files, QDir::Name)) {
        if (std::optional<ScheduledList> list = readTimer(dir.filePath(name)))
            lists.push_back(*list);
    }
    QString error;
    bool noTool = false;
    if (const std::optional<QByteArray> crontab = readCrontab(&error, &noTool)) {
        for (ScheduledList& list : parseCrontab(*crontab))
            lists.push_back(std::move(list));
    } else if (!noTool && problems) {
        *problems = error;
    }
#endif
    return lists;
}

std::optional<ScheduledList> scheduleOf(const QString& dataFile, QString* problems) {
    const QString path = QDir::cleanPath(dataFile);
    for (ScheduledList& list : listSchedules(problems)) {
        if (list.dataFile == path)
            return list;
    }
    return std::nullopt;
}

QString backendWords(const ScheduledList& list) {
    switch (list.backend) {
    case Backend::Systemd:
        return QStringLiteral("systemd timer %1").arg(QFileInfo(list.where).fileName());
    case Backend::Cron:
        return QStringLiteral("crontab");
    case Backend::TaskScheduler:
        break;
    }
    return QStringLiteral("task %1").arg(list.where);
}

} // namespace tw::schedule
