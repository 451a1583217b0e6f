#pragma once
// The program's browser pane: shows the HTML pages compiled into the program ("res:" addresses)
// and hands every web or mail link to the user's own browser or mail program.

#include <QTextBrowser>

class CWebBrowser2 : public QTextBrowser {
    Q_OBJECT
public:
    // The program file name that res: addresses must name.
    static const QString kModuleName;

    explicit CWebBrowser2(QWidget* parent = nullptr);

    // Shows url. "res://Tallowick! 1.0.exe/23/186" (type 23 is HTML) shows the help page;
    // http, https and mailto addresses open outside the program; anything else shows a short
    // page saying it cannot be shown.
    void Navigate(const QString& url);
    // The address shown now.
    QString LocationURL() const { return m_strLocation; }

private:
    void OnLinkClicked(const QUrl& url);
    bool ShowResourcePage(const QString& url);

    QString m_strLocation;
};
