#pragma once
// The small modeless window shown while a ranking run is in progress: animation, progress bar,
// the URL being scanned and the page line. It carries the run's cancel flag.

#include "rank/RankProgress.h"

#include <QDialog>

#include <atomic>

class CAnimateCtrl;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

class CRankProgressDlg : public QDialog, public IRankProgress {
    Q_OBJECT
public:
    explicit CRankProgressDlg(QWidget* parent = nullptr);
    ~CRankProgressDlg() override;

    // From any thread. A worker's call waits until the window thread has shown the values, so
    // that thread must keep handling its events while workers run.
    void ReportPage(int percent, const std::string& pageLine,
                    const std::string& urlCaption) override;
    bool IsCancelled() const override { return m_bCancel.load(); }
    // From any thread, without waiting: the page line then ends in "calls: N".
    void ReportCalls(int total) override;

    // The run's overall count in the caption: "Ranking Sites: 12 of 305" (entries done of all).
    // On the window's thread.
    void SetOverall(int done, int total);

    // Cancel button and Escape: sets the flag once, disables the button.
    void OnCancel();

    QPushButton* CancelButton() const { return m_cancel; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QGroupBox* UrlBox() const { return m_urlBox; }
    QLabel* PageLine() const { return m_pageLine; }
    CAnimateCtrl* AnimationControl() const { return m_animate; } // control 1008

    std::atomic<bool> m_bCancel{false};

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Apply(int percent, const QString& pageLine, const QString& urlCaption);
    void ShowPageLine();

    QPushButton* m_cancel = nullptr;
    CAnimateCtrl* m_animate = nullptr;
    QProgressBar* m_progress = nullptr;
    QGroupBox* m_urlBox = nullptr;
    QLabel* m_pageLine = nullptr;
    QString m_lastPageLine;
    std::atomic<int> m_calls{0};
};
