#pragma once
// Text from outside (a page, a provider, the data file, the history) as widgets should get it:
// controls shown as escapes, and never read as markup.

#include <QString>

#include <string_view>

namespace tw {

// The text with its control characters shown as escapes (text::ShowControls).
QString shownText(std::string_view utf8);
QString shownText(const QString& text);

// A tooltip that shows text exactly as typed. Qt draws a tooltip that looks like markup as rich
// text (images, headings), so the text goes in escaped inside markup of our own; its line breaks
// stay line breaks. Give it text already passed through shownText where it came from outside.
QString plainToolTip(const QString& text);

} // namespace tw
