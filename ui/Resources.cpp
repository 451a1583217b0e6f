#include "ui/Resources.h"

#include <QImage>
#include <QResource>
#include <QtEndian>

namespace tw {

QString resourcePath(int id) {
    switch (id) {
    case kCompletionSound:
        return QStringLiteral(":/res/sound104.wav");
    case kProgressClip:
        return QStringLiteral(":/res/anim105.avi");
    case kProgramIcon:
        return QStringLiteral(":/res/icon128.ico");
    case kSplashBitmap:
        return QStringLiteral(":/res/splash136.dib");
    case kHelpPage:
        return QStringLiteral(":/res/help186.html");
    default:
        return {};
    }
}

QByteArray resourceData(int id) {
    const QString path = resourcePath(id);
    if (path.isEmpty())
        return {};
    const QResource res(path);
    if (!res.isValid() || res.data() == nullptr)
        return {};
    if (res.compressionAlgorithm() != QResource::NoCompression)
        return res.uncompressedData();
    return QByteArray::fromRawData(reinterpret_cast<const char*>(res.data()),
                                   static_cast<qsizetype>(res.size()));
}

QPixmap resourceBitmap(int id) {
    const QByteArray dib = resourceData(id);
    if (dib.size() < 40)
        return {};
    // A DIB resource lacks the 14-byte file header; put one in front so the BMP reader takes it.
    const quint32 headerSize = qFromLittleEndian<quint32>(dib.constData());
    const quint16 bits = qFromLittleEndian<quint16>(dib.constData() + 14);
    quint32 colours = qFromLittleEndian<quint32>(dib.constData() + 32);
    if (colours == 0 && bits <= 8)
        colours = 1u << bits;
    const quint32 offset = 14 + headerSize + 4 * colours;
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(14 + dib.size()), file.data() + 2);
    qToLittleEndian<quint32>(offset, file.data() + 10);
    file += dib;
    QImage image;
    if (!image.loadFromData(file, "BMP"))
        return {};
    return QPixmap::fromImage(image);
}

QIcon programIcon() {
    return QIcon(resourcePath(kProgramIcon));
}

} // namespace tw
