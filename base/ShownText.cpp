#include "base/ShownText.h"

#include "base/TextUtil.h"

namespace tw {

QString shownText(std::string_view utf8) {
    const std::string shown = text::ShowControls(utf8);
    return QString::fromUtf8(shown.data(), qsizetype(shown.size()));
}

QString shownText(const QString& text) {
    return shownText(text.toStdString());
}

QString plainToolTip(const QString& text) {
    if (text.isEmpty())
        return text; // no tooltip
    // pre keeps runs of spaces and the line breaks, and wraps nothing, as a plain tooltip does.
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace tw
