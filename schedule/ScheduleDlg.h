#pragma once
// Schedule...: when the open list is ranked without the window (off, every day, or on chosen
// weekdays, at a time), with the options of the window's run; shows the next run and what the
// last run came to. OK sets the schedule through tw::schedule::applySchedule.

#include "schedule/Schedules.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QRadioButton;
class QTimeEdit;

namespace tw::schedule {

class ScheduleDlg : public QDialog {
    Q_OBJECT
public:
    // runArgs: the run's options (runArguments). The list's present schedule is read here.
    ScheduleDlg(const QString& dataFile, const QStringList& runArgs, QWidget* parent = nullptr);

    // The schedule the controls show (Weekdays without a day is invalid: days 0).
    ScheduleWhen when() const;
    void setWhen(const ScheduleWhen& when);

    QRadioButton* offButton() const { return m_off; }
    QRadioButton* dailyButton() const { return m_daily; }
    QRadioButton* weekdaysButton() const { return m_weekdays; }
    QCheckBox* dayBox(int d) const { return m_days[d]; } // 0 Monday
    QTimeEdit* timeEdit() const { return m_time; }
    QLabel* nextRunLabel() const { return m_next; }
    QLabel* lastRunLabel() const { return m_last; }

    // Sets the schedule; stays open with the message when it cannot be set.
    void accept() override;

private:
    void updateState();

    QString m_dataFile;
    QStringList m_runArgs;
    QString m_program;
    QRadioButton* m_off;
    QRadioButton* m_daily;
    QRadioButton* m_weekdays;
    std::array<QCheckBox*, 7> m_days{};
    QTimeEdit* m_time;
    QLabel* m_next;
    QLabel* m_last;
};

// The window's command: refuses a list that is not saved yet, else shows the dialog.
void ShowScheduleDialog(QWidget* parent, const QString& dataFile, const QStringList& runArgs);

} // namespace tw::schedule
