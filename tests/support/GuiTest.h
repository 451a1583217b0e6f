#pragma once
// Shared setup of the window tests: message boxes answered at once and recorded, links opened
// into a list instead of a browser, and modal dialogs driven while they are up.

#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QDialog>
#include <QObject>
#include <QStringList>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace tw::test {

// For init(): no test waits for a real message box, and each starts with none recorded.
inline void answerMessageBoxes() {
    tw::testing::takeShownMessages();
    tw::testing::setAutoAnswer(true);
}

// What a tooltip shows: the text of its markup when Qt would draw it as rich text.
inline QString shownTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument doc;
    doc.setHtml(tip);
    return doc.toPlainText().replace(QChar::Nbsp, QLatin1Char(' '));
}

// Records what the program asks to open (web addresses, files) instead of opening it; the
// handler is removed again when the recorder goes.
class OpenedLinks {
public:
    OpenedLinks() {
        tw::testing::setShellOpenHandler([this](const QString& target) {
            opened << target;
            return answer;
        });
    }
    ~OpenedLinks() { tw::testing::setShellOpenHandler({}); }
    OpenedLinks(const OpenedLinks&) = delete;
    OpenedLinks& operator=(const OpenedLinks&) = delete;

    QStringList opened;
    bool answer = true; // what the shell reports back
};

// Runs handle on the modal dialog of type T that is open once the event loop runs (call before
// the command that opens it); closes the dialog if handle leaves it open.
template <class T = QDialog> class ModalDriver {
public:
    explicit ModalDriver(std::function<void(T*)> handle) {
        QTimer::singleShot(0, &m_context, [this, handle] {
            if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
                m_opened = true;
                handle(dlg);
                if (dlg->isVisible())
                    dlg->reject();
            }
        });
    }
    bool opened() const { return m_opened; }

private:
    QObject m_context;
    bool m_opened = false;
};

} // namespace tw::test
