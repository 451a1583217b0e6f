#include "results/SelectEngineDlg.h"

#include "base/Engines.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

CSelectEngineDlg::CSelectEngineDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select Search Engine"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(this);
    setFixedSize(du.size(277, 53));

    auto* text =
        new QLabel(QStringLiteral("Select the search engine result you would like to view."), this);
    text->setObjectName(QStringLiteral("65535"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);
    du.place(text, 7, 7, 263, 18);

    for (const engines::EngineInfo& e : engines::All()) {
        const int engine = e.id;
        auto* button = new QPushButton(
            QString::fromStdString(engines::SlotCaption(e.id, e.viewCaption, "")), this);
        button->setObjectName(QString::number(e.viewButtonId));
        du.place(button, e.viewButtonX, 32, 45, 14);
        connect(button, &QPushButton::clicked, this, [this, engine] { OnEngine(engine); });
        m_buttons[engine] = button;
    }
    m_buttons[0]->setDefault(true);

    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    du.place(cancel, 225, 32, 45, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSelectEngineDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CSelectEngineDlg::OnInitDialog() {
    for (int engine = 0; engine < kEngineCount; ++engine)
        m_buttons[engine]->setEnabled(m_bEngineEnabled[engine]);
}

void CSelectEngineDlg::OnEngine(int engine) {
    m_nEngine = engine;
    accept();
}
