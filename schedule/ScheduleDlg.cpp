#include "schedule/ScheduleDlg.h"

#include "schedule/LastRun.h"
#include "ui/MessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tw::schedule {

namespace {

const char* const kDayNames[7] = {"Mo&n", "T&ue", "&Wed", "T&hu", "&Fri", "S&at", "&Sun"};

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

ScheduleDlg::ScheduleDlg(const QString& dataFile, const QStringList& runArgs, QWidget* parent)
    : QDialog(parent), m_dataFile(QDir::cleanPath(dataFile)), m_runArgs(runArgs) {
    setWindowTitle(QStringLiteral("Schedule"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        plainLabel(QStringLiteral("Rank \"%1\" at set times, also while this window is closed.")
                       .arg(QDir::toNativeSeparators(m_dataFile)),
                   this));

    auto* timesBox = new QGroupBox(QStringLiteral("When"), this);
    auto* grid = new QVBoxLayout(timesBox);
    m_off = new QRadioButton(QStringLiteral("&Off"), timesBox);
    m_daily = new QRadioButton(QStringLiteral("Every &day"), timesBox);
    m_weekdays = new QRadioButton(QStringLiteral("On these days:"), timesBox);
    auto* group = new QButtonGroup(this);
    for (QRadioButton* b : {m_off, m_daily, m_weekdays})
        group->addButton(b);
    grid->addWidget(m_off);
    grid->addWidget(m_daily);
    grid->addWidget(m_weekdays);
    auto* days = new QHBoxLayout;
    days->addSpacing(20);
    for (int d = 0; d < 7; ++d) {
        m_days[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), timesBox);
        days->addWidget(m_days[d]);
    }
    days->addStretch();
    grid->addLayout(days);
    auto* at = new QHBoxLayout;
    auto* atLabel = new QLabel(QStringLiteral("At (local &time):"), timesBox);
    m_time = new QTimeEdit(timesBox);
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    atLabel->setBuddy(m_time);
    at->addWidget(atLabel);
    at->addWidget(m_time);
    at->addStretch();
    grid->addLayout(at);
    layout->addWidget(timesBox);

    auto* state = new QFormLayout;
    m_next = plainLabel(QString(), this);
    m_last = plainLabel(QString(), this);
    // One option and its value a line, so that no line breaks inside either.
    QStringList pieces;
    for (qsizetype i = 0; i < m_runArgs.size(); ++i) {
        QString piece = m_runArgs[i];
        if (piece.startsWith(QLatin1String("--")) && i + 1 < m_runArgs.size() &&
            !m_runArgs[i + 1].startsWith(QLatin1String("--")))
            piece += ' ' + m_runArgs[++i];
        pieces << piece;
    }
    const QString options =
        pieces.isEmpty() ? QStringLiteral("the saved settings") : pieces.join('\n');
    state->addRow(QStringLiteral("Next run:"), m_next);
    state->addRow(QStringLiteral("Last run:"), m_last);
    state->addRow(QStringLiteral("Options:"), plainLabel(options, this));
    layout->addLayout(state);
    layout->addWidget(plainLabel(
        QStringLiteral("A run that finds the list open in this window leaves it alone and ends "
                       "with exit status 3."),
        this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScheduleDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ScheduleDlg::reject);

    ScheduleWhen present;
    present.time = QTime(7, 0);
    QString problems;
    if (const std::optional<ScheduledList> list = scheduleOf(m_dataFile, &problems))
        present = list->when;
    setWhen(present);
    m_last->setText(lastRunText(readLastRun(m_dataFile)));
    for (QRadioButton* b : {m_off, m_daily, m_weekdays})
        connect(b, &QRadioButton::toggled, this, &ScheduleDlg::updateState);
    for (QCheckBox* box : m_days)
        connect(box, &QCheckBox::toggled, this, &ScheduleDlg::updateState);
    connect(m_time, &QTimeEdit::timeChanged, this, &ScheduleDlg::updateState);
    updateState();
    setMinimumWidth(460);
}

ScheduleWhen ScheduleDlg::when() const {
    ScheduleWhen when;
    if (m_off->isChecked())
        return when;
    const QTime t = m_time->time();
    when.time = QTime(t.hour(), t.minute());
    when.kind = m_daily->isChecked() ? ScheduleWhen::Daily : ScheduleWhen::Weekdays;
    if (when.kind == ScheduleWhen::Weekdays) {
        for (int d = 0; d < 7; ++d) {
            if (m_days[d]->isChecked())
                when.days |= 1u << d;
        }
        if (when.days == 0x7f) {
            when.kind = ScheduleWhen::Daily;
            when.days = 0;
        }
    }
    return when;
}

void ScheduleDlg::setWhen(const ScheduleWhen& when) {
    m_off->setChecked(when.kind == ScheduleWhen::Off);
    m_daily->setChecked(when.kind == ScheduleWhen::Daily);
    m_weekdays->setChecked(when.kind == ScheduleWhen::Weekdays);
    for (int d = 0; d < 7; ++d)
        m_days[d]->setChecked(when.kind == ScheduleWhen::Weekdays && (when.days & (1u << d)));
    if (when.time.isValid())
        m_time->setTime(when.time);
    updateState();
}

void ScheduleDlg::updateState() {
    const bool weekdays = m_weekdays->isChecked();
    for (QCheckBox* box : m_days)
        box->setEnabled(weekdays);
    m_time->setEnabled(!m_off->isChecked());
    const ScheduleWhen s = when();
    const QDateTime next = nextRun(s, QDateTime::currentDateTime());
    if (s.kind == ScheduleWhen::Off)
        m_next->setText(QStringLiteral("none (not scheduled)"));
    else if (!next.isValid())
        m_next->setText(QStringLiteral("none: choose at least one day"));
    else
        m_next->setText(next.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm")));
}

void ScheduleDlg::accept() {
    const ScheduleWhen s = when();
    if (s.kind == ScheduleWhen::Weekdays && s.days == 0) {
        tw::messageBox(this, QStringLiteral("Choose at least one day, or Off."));
        return;
    }
    ScheduleRequest request{m_dataFile, s, m_runArgs, {}};
    QString error;
    if (s.kind != ScheduleWhen::Off && (request.program = rankProgramPath(&error)).isEmpty()) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    QString done;
    setCursor(Qt::WaitCursor);
    const bool ok = applySchedule(request, &done, &error);
    unsetCursor();
    if (!ok) {
        tw::messageBox(this, QStringLiteral("The schedule could not be set: %1").arg(error),
                       QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    tw::messageBox(this, done);
    QDialog::accept();
}

void ShowScheduleDialog(QWidget* parent, const QString& dataFile, const QStringList& runArgs) {
    if (dataFile.isEmpty() || !QFileInfo(dataFile).isFile()) {
        tw::messageBox(parent, QStringLiteral("Save the list before scheduling it: a schedule "
                                              "ranks the saved data file."));
        return;
    }
    ScheduleDlg dlg(dataFile, runArgs, parent);
    dlg.exec();
}

} // namespace tw::schedule
