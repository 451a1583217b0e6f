#pragma once
// The sender's logo for a report: a PNG or an SVG file, checked to be one before it goes in.

#include <QByteArray>
#include <QString>

namespace tw::reports {

inline constexpr qint64 kMaxLogoBytes = 4 << 20;

struct Logo {
    enum Kind { None, Png, Svg } kind = None;
    QByteArray bytes;
    // "image/png" or "image/svg+xml".
    QString mimeType() const;
};

// Reads the logo at path; an empty path is no logo (true). A file that cannot be read, is
// larger than kMaxLogoBytes, or is neither a PNG image nor an SVG document is refused: false,
// with a message naming the file.
bool readLogo(const QString& path, Logo* out, QString* error);

} // namespace tw::reports
