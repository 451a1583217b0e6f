#include "ui/MessageBox.h"

#include <QAbstractButton>
#include <QQueue>

namespace tw {
namespace {
QQueue<QMessageBox::StandardButton> g_answers;
bool g_autoAnswer = false;
QList<testing::ShownMessage> g_shown;

QMessageBox::StandardButton defaultAnswer(QMessageBox::StandardButtons buttons) {
    if (buttons & QMessageBox::Ok)
        return QMessageBox::Ok;
    if (buttons & QMessageBox::Yes)
        return QMessageBox::Yes;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons & bit)
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}
} // namespace

QMessageBox::StandardButton
messageBox(QWidget* owner, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::Icon icon, const QString& caption,
           const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts) {
    g_shown.append({caption, text, icon, buttons});
    if (!g_answers.isEmpty())
        return g_answers.dequeue();
    if (g_autoAnswer)
        return defaultAnswer(buttons);
    QMessageBox box(icon, caption, QString(), buttons, owner);
    // Texts carry file names, page content and data file lines: shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    for (const auto& [button, label] : buttonTexts) {
        if (QAbstractButton* b = box.button(button))
            b->setText(label);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace testing {
void setNextAnswer(QMessageBox::StandardButton answer) {
    g_answers.enqueue(answer);
}
void setAutoAnswer(bool on) {
    g_autoAnswer = on;
}
QList<ShownMessage> takeShownMessages() {
    QList<ShownMessage> out;
    out.swap(g_shown);
    return out;
}
} // namespace testing
} // namespace tw
