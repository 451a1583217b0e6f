#pragma once
// Asks which engine's result page to open; only engines with a usable result can be chosen.

#include "base/RankTypes.h"

#include <QDialog>

#include <array>

class QPushButton;

class CSelectEngineDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 137 };
    // The engine buttons' ids are in the engine table (viewButtonId).

    explicit CSelectEngineDlg(QWidget* parent = nullptr);

    // Accepted when an engine was chosen (then m_nEngine says which), rejected on Cancel.
    int DoModal() { return exec(); }

    QPushButton* engineButton(int engine) const { return m_buttons[engine]; }

    // The engine chosen, a SearchEngine value.
    int m_nEngine = 0;
    // Whether each engine's button is enabled, in SearchEngine order; set before DoModal.
    std::array<bool, kEngineCount> m_bEngineEnabled{};

public slots:
    void OnEngine(int engine);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();

    std::array<QPushButton*, kEngineCount> m_buttons{};
};
