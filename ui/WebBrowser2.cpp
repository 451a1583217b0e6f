#include "ui/WebBrowser2.h"

#include "ui/Resources.h"
#include "ui/ShellOpen.h"

#include <QUrl>

const QString CWebBrowser2::kModuleName = QStringLiteral("Tallowick! 1.0.exe");

namespace {
constexpr int kHtmlType = 23;

bool isOutsideLink(const QString& url) {
    return tw::isWebAddress(url) || url.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive);
}
} // namespace

CWebBrowser2::CWebBrowser2(QWidget* parent) : QTextBrowser(parent) {
    // Links are followed here, never by the pane loading files or pages on its own.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &CWebBrowser2::OnLinkClicked);
}

void CWebBrowser2::Navigate(const QString& url) {
    if (isOutsideLink(url)) {
        tw::shellOpen(url);
        return;
    }
    m_strLocation = url;
    if (ShowResourcePage(url))
        return;
    setHtml(
        QStringLiteral("<h3>The page cannot be displayed</h3><p>%1</p>").arg(url.toHtmlEscaped()));
}

bool CWebBrowser2::ShowResourcePage(const QString& url) {
    // res://<program file>/<type>/<id>, or res://<program file>/<id> for an HTML page.
    static const QString prefix = QStringLiteral("res://");
    if (!url.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    const QStringList parts = url.mid(prefix.size()).split(QLatin1Char('/'));
    if (parts.size() < 2 || parts.size() > 3 ||
        parts.first().compare(kModuleName, Qt::CaseInsensitive) != 0)
        return false;
    bool typeOk = true, idOk = false;
    const int type = parts.size() == 3 ? parts.at(1).toInt(&typeOk) : kHtmlType;
    const int id = parts.last().toInt(&idOk);
    if (!typeOk || !idOk || type != kHtmlType || !tw::resourcePath(id).endsWith(".html"))
        return false;
    const QByteArray page = tw::resourceData(id);
    if (page.isEmpty())
        return false;
    setHtml(QString::fromUtf8(page));
    return true;
}

void CWebBrowser2::OnLinkClicked(const QUrl& url) {
    const QString target = url.toString();
    if (isOutsideLink(target))
        tw::shellOpen(target);
    else if (target.startsWith(QLatin1String("res://"), Qt::CaseInsensitive))
        Navigate(target);
    else if (target.startsWith(QLatin1Char('#')))
        scrollToAnchor(target.mid(1));
}
