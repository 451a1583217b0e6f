#pragma once
// The search settings dialog. It edits a copy of the settings it is handed and gives the values
// back only on OK; storing them is the owner's business.

#include "settings/ReportSettings.h"
#include "settings/SearchSettings.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 131 };

    explicit CSettingsDlg(QWidget* parent = nullptr);

    // Runs the dialog modally on a copy of settings; OK copies the edited values back into
    // settings, Cancel leaves it as it was. Returns QDialog::Accepted on OK.
    int DoModal(CSearchSettings& settings);
    // The same, with the reports' settings in their group below; OK copies them back too.
    int DoModal(CSearchSettings& settings, CReportSettings& report);

    // The values being edited (those of the last opening after it closes), also under the
    // dialog's own member names.
    CSearchSettings m_edit;
    int& m_MaxPages = m_edit.m_MaxPages;
    int& m_MaxThreads = m_edit.m_MaxThreads;
    int& m_bGoogle = m_edit.m_engineOn[Google];
    int& m_bAltavista = m_edit.m_engineOn[AltaVista];
    int& m_bLycos = m_edit.m_engineOn[Lycos];
    int& m_bLooksmart = m_edit.m_engineOn[LookSmart];
    int& m_ReadWholeDepth = m_edit.m_ReadWholeDepth;

    void accept() override;

    // Opens the Sources dialog over this one (its So&urces... button); the window sets it, as
    // the sources are not this dialog's business. Unset: the button is disabled.
    std::function<void(QWidget* parent)> m_openSources;
    // Checks that a report logo is an image; false with the message to show. Unset: not checked.
    std::function<bool(const QString& path, QString* error)> m_checkLogo;

    // The reports' settings being edited.
    CReportSettings m_report;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Fills the controls from the values; runs every time the dialog is shown.
    void OnInitDialog();
    // Takes the controls' values, stores them and closes.
    void OnOK();

    QComboBox* m_depthCombo = nullptr;
    QComboBox* m_threadCombo = nullptr;
    QCheckBox* m_wholeDepthCheck = nullptr;
    std::array<QCheckBox*, kEngineCount> m_checks{};
    QWidget* m_firstControl = nullptr;
    QPushButton* m_sourcesButton = nullptr;
    QLineEdit* m_reportTitle = nullptr;
    QLineEdit* m_reportSender = nullptr;
    QLineEdit* m_reportLogo = nullptr;
    QCheckBox* m_reportCharts = nullptr;
};
