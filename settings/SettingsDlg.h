#pragma once
// The search settings: the dialog that edits them and the in-memory home of their values. The
// main window owns one for its whole life; constructing it loads the stored values.

#include "settings/SearchSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;

class CSettingsDlg : public QDialog, public CSearchSettings {
    Q_OBJECT
public:
    enum { IDD = 131 };

    explicit CSettingsDlg(QWidget* parent = nullptr);

    // Runs the dialog modally; OK stores the values, Cancel leaves everything as it was.
    int DoModal();

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Fills the controls from the values; runs every time the dialog is shown.
    void OnInitDialog();
    // Takes the controls' values, stores them and closes.
    void OnOK();

    QComboBox* m_depthCombo = nullptr;
    QComboBox* m_threadCombo = nullptr;
    QCheckBox* m_checkGoogle = nullptr;
    QCheckBox* m_checkAltavista = nullptr;
    QCheckBox* m_checkLycos = nullptr;
    QCheckBox* m_checkLooksmart = nullptr;
    QWidget* m_firstControl = nullptr;
};
