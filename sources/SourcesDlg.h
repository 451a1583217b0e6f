#pragma once
// The Sources dialog: where each column gets its results (its own engine's pages or a result
// service asked for an engine), the services' keys, the SearXNG address, country, language and
// the pause between requests, each service's calls in flight and rate, and the budget of calls
// per run; a Test button per column asks its source for one page. OK stores the values; Cancel
// stores nothing.

#include "sources/ProviderScan.h"
#include "sources/SourceSettings.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CSourcesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSourcesDlg(QWidget* parent = nullptr);

    // The keywords Test asks for: the first entry's; empty: "tallowick".
    std::string m_testKeywords;
    // The entries ranked at once (the search settings' threads): a service's calls in flight
    // never exceed it, so the dialog says when a limit is above it. 0: not known.
    int m_entriesAtOnce = 0;
    // The note under the services' limits; empty when none applies.
    QString PaceNote() const;

    // Runs the dialog on the stored values. Returns QDialog::Accepted when OK stored them.
    int DoModal();

    // The values the controls hold now.
    tw::sources::SourceSettings Edited() const;
    // Fills the controls.
    void SetValues(const tw::sources::SourceSettings& values);

    // Asks the column's source for one page and shows what came back under the column. The
    // request runs on a thread of its own while the dialog keeps painting.
    void OnTest(int slot);
    // The text the last test of the column shows.
    QString TestText(int slot) const;

    void accept() override;

protected:
    // Sends Test's request; tests may answer here instead.
    virtual tw::sources::ProviderScan::PageOutcome
    AskPage(const tw::sources::Source& source, const tw::sources::ProviderConfig& config,
            const std::string& keywords);

private:
    void FillProviders(int slot, tw::sources::Provider wanted);
    tw::sources::Source SourceOf(int slot) const;
    void UpdateControls();

    struct SlotRow {
        QComboBox* engine = nullptr;
        QComboBox* provider = nullptr;
        QPushButton* test = nullptr;
        QLabel* result = nullptr;
    };
    std::array<SlotRow, kEngineCount> m_rows;
    QLineEdit* m_serperKey = nullptr;
    QLineEdit* m_serpapiKey = nullptr;
    QLineEdit* m_braveKey = nullptr;
    QLineEdit* m_dataforseoLogin = nullptr;
    QLineEdit* m_dataforseoPassword = nullptr;
    QCheckBox* m_showKeys = nullptr;
    QLineEdit* m_searxngUrl = nullptr;
    QLineEdit* m_country = nullptr;
    QLineEdit* m_language = nullptr;
    QSpinBox* m_pauseMin = nullptr;
    QSpinBox* m_pauseMax = nullptr;
    std::array<QSpinBox*, tw::sources::kProviderCount> m_parallel{};
    std::array<QLineEdit*, tw::sources::kProviderCount> m_perSecond{};
    QLineEdit* m_maxCalls = nullptr;
    QLabel* m_paceNote = nullptr;
    // What the store holds besides the controls (the services' address overrides).
    tw::sources::SourceSettings m_loaded;
    bool m_testing = false;
};
