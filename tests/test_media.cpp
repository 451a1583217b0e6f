#include "support/TestEnv.h"
#include "ui/AnimateCtrl.h"
#include "ui/AviReader.h"
#include "ui/Resources.h"
#include "ui/Sound.h"

#include <QApplication>
#include <QtEndian>

namespace {
quint32 u32(const QByteArray& d, int at) {
    return qFromLittleEndian<quint32>(d.constData() + at);
}
quint16 u16(const QByteArray& d, int at) {
    return qFromLittleEndian<quint16>(d.constData() + at);
}
// Offset of the body of the first chunk with id inside [from, to), or -1.
int findChunk(const QByteArray& d, const char* id, int from, int to) {
    int pos = from;
    while (pos + 8 <= to) {
        const int size = static_cast<int>(u32(d, pos + 4));
        if (d.mid(pos, 4) == id)
            return pos + 8;
        pos += 8 + size + (size & 1);
    }
    return -1;
}
} // namespace

class TestMedia : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Tests must never make a noise or reach a real sound server.
        qputenv("PULSE_SERVER", "unix:/nonexistent/tallowick-test-socket");
    }

    void resourceSizes_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("minSize");
        QTest::addColumn<int>("maxSize");
        QTest::newRow("sound") << 104 << 24694 << 24694;
        QTest::newRow("animation") << 105 << 51200 << 51200;
        QTest::newRow("splash") << 136 << 231482 << 231482;
        QTest::newRow("help page") << 186 << 1000 << 1300;
        QTest::newRow("icon") << 128 << 500 << 20000;
    }
    void resourceSizes() {
        QFETCH(int, id);
        QFETCH(int, minSize);
        QFETCH(int, maxSize);
        const QByteArray data = tw::resourceData(id);
        QVERIFY2(data.size() >= minSize && data.size() <= maxSize,
                 qPrintable(QString::number(data.size())));
    }

    void unknownResourceIsEmpty() {
        QVERIFY(tw::resourceData(999).isEmpty());
        QVERIFY(tw::resourcePath(999).isEmpty());
    }

    void soundIsPcmChime() {
        const QByteArray d = tw::resourceData(104);
        QCOMPARE(d.left(4), QByteArray("RIFF"));
        QCOMPARE(u32(d, 4), quint32(d.size() - 8));
        QCOMPARE(d.mid(8, 4), QByteArray("WAVE"));
        const int fmt = findChunk(d, "fmt ", 12, d.size());
        QVERIFY(fmt > 0);
        QCOMPARE(u16(d, fmt), quint16(1));       // PCM
        QCOMPARE(u16(d, fmt + 2), quint16(1));   // mono
        QCOMPARE(u32(d, fmt + 4), 16000u);       // samples per second
        QCOMPARE(u16(d, fmt + 14), quint16(16)); // bits
        const int data = findChunk(d, "data", 12, d.size());
        QVERIFY(data > 0);
        QCOMPARE(u32(d, data - 4), 24556u);
        QCOMPARE(data + 24556, d.size());
        // A chime, not a click: audible for most of its length, starting and ending on silence.
        const int n = 24556 / 2;
        auto sample = [&](int i) {
            return qFromLittleEndian<qint16>(d.constData() + data + 2 * i);
        };
        int loudBlocks = 0;
        for (int b = 0; b < n / 800; ++b) {
            int peak = 0;
            for (int i = b * 800; i < (b + 1) * 800; ++i)
                peak = qMax(peak, qAbs(int(sample(i))));
            loudBlocks += peak > 1000;
        }
        QVERIFY2(loudBlocks >= 10, qPrintable(QString::number(loudBlocks)));
        QVERIFY(qAbs(int(sample(0))) < 200);
        QVERIFY(qAbs(int(sample(n - 1))) < 200);
    }

    void animationHeaders() {
        const QByteArray d = tw::resourceData(105);
        QCOMPARE(d.left(4), QByteArray("RIFF"));
        QCOMPARE(d.mid(8, 4), QByteArray("AVI "));
        QCOMPARE(u32(d, 4), quint32(d.size() - 8));
        QCOMPARE(d.mid(12, 4), QByteArray("LIST"));
        QCOMPARE(d.mid(20, 4), QByteArray("hdrl"));
        const int avih = findChunk(d, "avih", 24, 24 + int(u32(d, 16)) - 4);
        QVERIFY(avih > 0);
        QCOMPARE(u32(d, avih), 100000u);  // microseconds per frame
        QCOMPARE(u32(d, avih + 16), 29u); // frames
        QCOMPARE(u32(d, avih + 24), 1u);  // streams
    }

    void animationFrames() {
        const tw::AviClip clip = tw::readAviClip(tw::resourceData(105));
        QCOMPARE(clip.frames.size(), 29);
        QCOMPARE(clip.frameMs, 100);
        for (const QImage& f : clip.frames) {
            QCOMPARE(f.size(), QSize(40, 40));
            QCOMPARE(f.format(), QImage::Format_Indexed8);
        }
        // The picture moves: consecutive frames differ, and the clip is not one still image.
        QVERIFY(clip.frames.at(0) != clip.frames.at(1));
        QVERIFY(clip.frames.at(0) != clip.frames.at(14));
        // Upright: the corners are background, the centre is not.
        const QRgb bg = clip.frames.at(0).pixel(0, 0);
        QCOMPARE(clip.frames.at(0).pixel(39, 39), bg);
        QVERIFY(clip.frames.at(0).pixel(20, 20) != bg);
    }

    void damagedClipsAreRejected_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray good = tw::resourceData(105);
        QByteArray truncated = good.left(good.size() / 2);
        QByteArray notAvi = good;
        notAvi.replace(8, 4, "WAVE");
        QByteArray deepColour = good;
        const int strf = deepColour.indexOf("strf");
        qToLittleEndian<quint16>(24, deepColour.data() + strf + 8 + 14);
        QByteArray hugeChunk = good;
        const int movi = hugeChunk.indexOf("movi");
        qToLittleEndian<quint32>(0x7fffffff, hugeChunk.data() + movi + 4 + 4);
        QByteArray hugeFrame = good;
        qToLittleEndian<qint32>(41, hugeFrame.data() + strf + 8 + 4); // wider rows
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated") << truncated;
        QTest::newRow("not an AVI") << notAvi;
        QTest::newRow("24-bit frames") << deepColour;
        QTest::newRow("chunk beyond end") << hugeChunk;
        QTest::newRow("frame larger than its chunk") << hugeFrame;
    }
    void damagedClipsAreRejected() {
        QFETCH(QByteArray, data);
        QVERIFY(!tw::readAviClip(data).isValid());
        CAnimateCtrl ctrl;
        QVERIFY(!ctrl.Open(data));
        QCOMPARE(ctrl.frameCount(), 0);
    }

    void animationPlaysWhileShown() {
        QWidget w;
        auto* ctrl = new CAnimateCtrl(&w);
        ctrl->setGeometry(0, 0, 60, 50);
        QVERIFY(ctrl->Open(105));
        QCOMPARE(ctrl->frameCount(), 29);
        QCOMPARE(ctrl->frameInterval(), 100);
        QCOMPARE(ctrl->currentFrame(), 0);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(ctrl->currentFrame() >= 3, 10000);
        // The background is see-through: the corner of the control shows the dialog.
        QImage shot(ctrl->size(), QImage::Format_ARGB32);
        shot.fill(Qt::transparent);
        ctrl->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(qAlpha(shot.pixel(10, 5)), 0);
        QVERIFY(qAlpha(shot.pixel(30, 25)) > 0);
        w.hide();
        const int frame = ctrl->currentFrame();
        QTest::qWait(350);
        QCOMPARE(ctrl->currentFrame(), frame);
    }

    void splashPicture() {
        const QByteArray d = tw::resourceData(136);
        QCOMPARE(u32(d, 0), 40u); // packed DIB: info header first
        QCOMPARE(qFromLittleEndian<qint32>(d.constData() + 4), 350);
        QCOMPARE(qFromLittleEndian<qint32>(d.constData() + 8), 220);
        QCOMPARE(u16(d, 14), quint16(24));
        QCOMPARE(u32(d, 16), 0u); // uncompressed
        const QPixmap pix = tw::resourceBitmap(136);
        QCOMPARE(pix.size(), QSize(350, 220));
        const QImage img = pix.toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 7)
            for (int x = 0; x < img.width(); x += 7)
                colours.insert(img.pixel(x, y));
        QVERIFY(colours.size() > 100);
    }

    void programIcon() {
        const QByteArray d = tw::resourceData(128);
        QCOMPARE(u16(d, 0), quint16(0));
        QCOMPARE(u16(d, 2), quint16(1)); // icon
        QCOMPARE(u16(d, 4), quint16(3));
        QSet<QString> images;
        for (int i = 0; i < 3; ++i) {
            const int e = 6 + 16 * i;
            images.insert(QStringLiteral("%1/%2").arg(quint8(d[e])).arg(u16(d, e + 6)));
        }
        QCOMPARE(images, (QSet<QString>{"32/4", "16/4", "32/8"}));
        const QIcon icon = tw::programIcon();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(QSize(16, 16)).size(), QSize(16, 16));
        QCOMPARE(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
    }

    void helpPage() {
        const QString html = QString::fromUtf8(tw::resourceData(186));
        QVERIFY(html.contains(QLatin1String("<h1")));
        QVERIFY(html.contains(QLatin1String("Tallowick! Help")));
        QVERIFY(html.contains(QLatin1String("href=\"http://www.tallowick.example/help/\"")));
        QVERIFY(html.contains(QLatin1String("Internet")));
    }

    void soundWithoutServerIsSilentAndEnds() {
        const int before = tw::testing::soundsStarted();
        PlayResourceSound(999);
        QCOMPARE(tw::testing::soundsStarted(), before);
        PlayResourceSound(104);
        QCOMPARE(tw::testing::soundsStarted(), before + 1);
        QVERIFY(tw::testing::waitForSounds(10000));
    }
};

TW_TEST_MAIN_GUI(TestMedia)
#include "test_media.moc"
