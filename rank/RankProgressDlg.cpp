#include "rank/RankProgressDlg.h"

#include "base/BlockingCall.h"
#include "base/ShownText.h"
#include "ui/AnimateCtrl.h"
#include "ui/DialogUnits.h"
#include "ui/Resources.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <algorithm>

CRankProgressDlg::CRankProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Ranking Sites"));
    setModal(false);
    tw::PrepareBlockingCalls(); // workers report to this thread
    const DialogUnits du(this);
    setFixedSize(du.size(217, 85));

    m_urlBox = new QGroupBox(QStringLiteral("URL"), this);
    m_urlBox->setObjectName(QStringLiteral("1000"));
    du.place(m_urlBox, 52, 14, 158, 32);

    m_animate = new CAnimateCtrl(this);
    m_animate->setObjectName(QStringLiteral("1008"));
    du.place(m_animate, 7, 23, 38, 25);
    // A clip that cannot be read leaves the control empty; the dialog works on.
    m_animate->Open(tw::kProgressClip);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1009"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    du.place(m_progress, 58, 25, 145, 14);

    m_pageLine = new QLabel(QStringLiteral("Page 1/20"), this);
    m_pageLine->setObjectName(QStringLiteral("1010"));
    du.place(m_pageLine, 58, 48, 152, 8);
    m_lastPageLine = m_pageLine->text();

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("2"));
    m_cancel->setAutoDefault(false);
    du.place(m_cancel, 52, 64, 50, 14);
    connect(m_cancel, &QPushButton::clicked, this, &CRankProgressDlg::OnCancel);
}

CRankProgressDlg::~CRankProgressDlg() = default;

void CRankProgressDlg::Apply(int percent, const QString& pageLine, const QString& urlCaption) {
    m_progress->setValue(percent);
    m_lastPageLine = pageLine;
    ShowPageLine();
    QString caption = urlCaption;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&")); // not a mnemonic
    m_urlBox->setTitle(caption);
}

void CRankProgressDlg::ShowPageLine() {
    const int calls = m_calls.load();
    m_pageLine->setText(calls > 0 ? QStringLiteral("%1   calls: %2").arg(m_lastPageLine).arg(calls)
                                  : m_lastPageLine);
}

void CRankProgressDlg::ReportCalls(int total) {
    m_calls = total;
    // Queued, not blocking: the caller may hold locks the window thread waits for.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_bCancel.load()) // "Cancelling threads .." stays
                ShowPageLine();
        },
        Qt::QueuedConnection);
}

void CRankProgressDlg::ReportPage(int percent, const std::string& pageLine,
                                  const std::string& urlCaption) {
    const QString line = QString::fromStdString(pageLine);
    const QString url = tw::shownText(urlCaption); // the entry's target, from the data file
    tw::BlockingCall(this, [&] { Apply(percent, line, url); });
}

void CRankProgressDlg::SetOverall(int done, int total) {
    const QString caption =
        total > 0
            ? QStringLiteral("Ranking Sites: %1 of %2").arg(std::clamp(done, 0, total)).arg(total)
            : QStringLiteral("Ranking Sites");
    if (windowTitle() != caption)
        setWindowTitle(caption);
}

void CRankProgressDlg::OnCancel() {
    if (m_bCancel.exchange(true))
        return;
    m_cancel->setEnabled(false);
    m_pageLine->setText(QStringLiteral("Cancelling threads .."));
}

void CRankProgressDlg::reject() {
    // Escape cancels the run; the window stays until the run removes it.
    OnCancel();
}

void CRankProgressDlg::closeEvent(QCloseEvent* event) {
    OnCancel();
    event->ignore();
}
