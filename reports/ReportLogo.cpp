#include "reports/ReportLogo.h"

#include "data/DataFile.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace tw::reports {

namespace {

bool isPng(const QByteArray& bytes) {
    static const QByteArray magic("\x89PNG\r\n\x1a\n", 8);
    return bytes.startsWith(magic) && bytes.mid(12, 4) == "IHDR";
}

// A well-formed XML document whose root is an <svg> element.
bool isSvg(const QByteArray& bytes) {
    QXmlStreamReader xml(bytes);
    bool root = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && !root) {
            if (xml.name() != QLatin1String("svg"))
                return false;
            root = true;
        }
    }
    return root && !xml.hasError();
}

} // namespace

QString Logo::mimeType() const {
    return kind == Svg ? QStringLiteral("image/svg+xml") : QStringLiteral("image/png");
}

bool readLogo(const QString& path, Logo* out, QString* error) {
    *out = Logo{};
    if (path.isEmpty())
        return true;
    const auto refuse = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("The report logo \"%1\" %2. Choose a PNG or SVG image in the "
                                    "settings (ReportLogo), or none.")
                         .arg(datafile::DisplayPath(path), why);
        return false;
    };
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return refuse(QStringLiteral("is not a file"));
    if (file.size() > kMaxLogoBytes)
        return refuse(QStringLiteral("is larger than %1 MB").arg(kMaxLogoBytes >> 20));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("could not be read: %1").arg(file.errorString()));
    const QByteArray bytes = file.read(kMaxLogoBytes + 1);
    if (isPng(bytes))
        out->kind = Logo::Png;
    else if (isSvg(bytes))
        out->kind = Logo::Svg;
    else
        return refuse(QStringLiteral("is not an image (neither PNG nor SVG)"));
    out->bytes = bytes;
    return true;
}

} // namespace tw::reports
