#pragma once
// The one message box of the program. Every refusal and result of a user command goes
// through tw::messageBox; tests pre-answer it and read what was shown.

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

namespace tw {

inline const QString kCaption = QStringLiteral("Tallowick!");

// Shows a modal message box owned by owner. Defaults: information icon, OK, "Tallowick!".
// The text is plain text: "<b>" shows as typed. buttonTexts renames standard buttons (Open as
// "Changes..."); the answer is still the standard button.
QMessageBox::StandardButton
messageBox(QWidget* owner, const QString& text,
           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
           QMessageBox::Icon icon = QMessageBox::Information, const QString& caption = kCaption,
           const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts = {});

namespace testing {
struct ShownMessage {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// Queues the answer of the next message box; the box is then not shown.
void setNextAnswer(QMessageBox::StandardButton answer);
// With auto answer on, boxes without a queued answer are not shown either: they answer with
// OK, or Yes, or the first of their buttons.
void setAutoAnswer(bool on);
// Every box shown or answered since the last call, oldest first.
QList<ShownMessage> takeShownMessages();
} // namespace testing

} // namespace tw
