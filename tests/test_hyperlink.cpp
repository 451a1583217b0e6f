#include "support/TestEnv.h"
#include "ui/HyperLink.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QLineEdit>

namespace {
enum Action { Focus = 1, Open = 2, Hover = 4, FocusAway = 8 };
}

class TestHyperLink : public QObject {
    Q_OBJECT

    QStringList m_opened;
    QStringList m_fallback;
    bool m_shellAnswer = true;
    bool m_fallbackAnswer = false;

    // A dialog with an edit field (to take the focus away) and a link.
    struct Dialog {
        QWidget window;
        QLineEdit* edit;
        CHyperLink* link;
        explicit Dialog(const QString& text, quint32 style = 0x15) {
            edit = new QLineEdit(&window);
            edit->setGeometry(10, 10, 100, 20);
            link = new CHyperLink(text, &window);
            link->setGeometry(10, 50, 300, 20);
            link->setLinkStyle(style);
            link->Attach();
            window.resize(400, 200);
            window.show();
            QApplication::setActiveWindow(&window);
        }
    };

private slots:
    void init() {
        m_opened.clear();
        m_fallback.clear();
        m_shellAnswer = true;
        m_fallbackAnswer = false;
        tw::testing::setShellOpenHandler([this](const QString& t) {
            m_opened << t;
            return m_shellAnswer;
        });
        tw::testing::setBrowserFallback([this](const QString& t) {
            m_fallback << t;
            return m_fallbackAnswer;
        });
        tw::testing::setAutoAnswer(true);
        tw::testing::takeShownMessages();
    }

    void colours_data() {
        QTest::addColumn<quint32>("style");
        QTest::addColumn<int>("actions");
        QTest::addColumn<QColor>("colour");
        const quint32 def = 0x15;
        QTest::newRow("never opened") << def << 0 << QColor(0, 0, 255);
        QTest::newRow("opened, focus elsewhere")
            << def << (Open | FocusAway) << QColor(128, 0, 128);
        QTest::newRow("focused") << def << int(Focus) << QColor(0, 128, 128);
        QTest::newRow("opened and focused") << def << (Open | Focus) << QColor(0, 128, 128);
        QTest::newRow("hover without hover style") << def << int(Hover) << QColor(0, 0, 255);
        QTest::newRow("hover style") << (def | 0x02) << int(Hover) << QColor(255, 0, 0);
        QTest::newRow("hover beats active") << (def | 0x02) << (Hover | Focus) << QColor(255, 0, 0);
        QTest::newRow("no active colour") << (def | 0x40) << int(Focus) << QColor(0, 0, 255);
        QTest::newRow("no active colour, opened")
            << (def | 0x40) << (Open | Focus) << QColor(128, 0, 128);
    }
    void colours() {
        QFETCH(quint32, style);
        QFETCH(int, actions);
        QFETCH(QColor, colour);
        Dialog d(QStringLiteral("http://www.tallowick.example/"), style);
        QVERIFY(QTest::qWaitForWindowActive(&d.window));
        if (actions & Open)
            QVERIFY(d.link->Activate());
        if (actions & FocusAway)
            d.edit->setFocus();
        if (actions & Focus) {
            d.link->setFocus();
            QTRY_VERIFY(d.link->hasFocus());
        }
        if (actions & Hover) {
            QTest::mouseMove(&d.window, QPoint(350, 150));
            QTest::mouseMove(d.link, QPoint(5, 5));
        }
        QCOMPARE(d.link->linkColour(), colour);
        QCOMPARE(d.link->palette().color(QPalette::WindowText), colour);
    }

    void clickOpensAndTakesFocus() {
        Dialog d(QStringLiteral("http://www.tallowick.example/"));
        QVERIFY(QTest::qWaitForWindowActive(&d.window));
        d.edit->setFocus();
        QTest::mouseClick(d.link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(m_opened, QStringList{"http://www.tallowick.example/"});
        QVERIFY(d.link->hasFocus());
        QVERIFY(d.link->isFollowed());
        QCOMPARE(d.link->linkColour(), CHyperLink::kActiveColour);
        d.edit->setFocus();
        QCOMPARE(d.link->linkColour(), CHyperLink::kVisitedColour);
    }

    void releaseAwayFromLinkDoesNotOpen() {
        Dialog d(QStringLiteral("http://www.tallowick.example/"));
        QTest::mousePress(d.link, Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseRelease(d.link, Qt::LeftButton, {}, QPoint(3, 300));
        QVERIFY(m_opened.isEmpty());
    }

    void followOnPress() {
        Dialog d(QStringLiteral("http://www.tallowick.example/"), 0x15 | 0x08);
        QTest::mousePress(d.link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(m_opened.size(), 1);
        QTest::mouseRelease(d.link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(m_opened.size(), 1);
    }

    void hoverCapturesMouseUntilPointerLeaves() {
        Dialog d(QStringLiteral("http://www.tallowick.example/"));
        QTest::mouseMove(&d.window, QPoint(350, 150));
        QTest::mouseMove(d.link, QPoint(4, 4));
        QVERIFY(d.link->isPointerOver());
        QCOMPARE(QWidget::mouseGrabber(), d.link);
        QTest::mouseMove(d.link, QPoint(d.link->width() + 20, 4));
        QVERIFY(!d.link->isPointerOver());
        QVERIFY(QWidget::mouseGrabber() != d.link);
    }

    void spaceBar_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("opens");
        QTest::newRow("space") << int(Qt::Key_Space) << 1;
        QTest::newRow("return") << int(Qt::Key_Return) << 0;
        QTest::newRow("letter") << int(Qt::Key_A) << 0;
    }
    void spaceBar() {
        QFETCH(int, key);
        QFETCH(int, opens);
        Dialog d(QStringLiteral("mailto:support@tallowick.example"));
        QVERIFY(QTest::qWaitForWindowActive(&d.window));
        d.link->setFocus();
        QTRY_VERIFY(d.link->hasFocus());
        QTest::keyClick(d.link, Qt::Key(key));
        QCOMPARE(int(m_opened.size()), opens);
    }

    void fitting_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<bool>("framed");
        QTest::newRow("left") << int(Qt::AlignLeft | Qt::AlignTop) << false;
        QTest::newRow("centred") << int(Qt::AlignHCenter | Qt::AlignTop) << false;
        QTest::newRow("right") << int(Qt::AlignRight | Qt::AlignTop) << false;
        QTest::newRow("vertically centred") << int(Qt::AlignLeft | Qt::AlignVCenter) << false;
        QTest::newRow("left with frame") << int(Qt::AlignLeft | Qt::AlignTop) << true;
    }
    void fitting() {
        QFETCH(int, alignment);
        QFETCH(bool, framed);
        QWidget w;
        auto* link = new CHyperLink(QStringLiteral("www.tallowick.example"), &w);
        link->setAlignment(Qt::Alignment(alignment));
        if (framed)
            link->setFrameStyle(QFrame::Box | QFrame::Plain);
        const QRect before(20, 30, 301, 41);
        link->setGeometry(before);
        const int dx = before.width() - link->contentsRect().width();
        const int dy = before.height() - link->contentsRect().height();
        link->Attach();
        QFont underlined = link->font();
        QVERIFY(underlined.underline());
        const QFontMetrics fm(underlined);
        const int tw = fm.horizontalAdvance(link->text());
        const int th = fm.height();
        const QRect g = link->geometry();
        QCOMPARE(g.width(),
                 alignment & Qt::AlignHCenter ? before.width() - 2 * ((301 - tw) / 2) : tw + dx);
        if (alignment & Qt::AlignHCenter)
            QCOMPARE(g.left(), before.left() + (301 - tw) / 2);
        else if (alignment & Qt::AlignRight)
            QCOMPARE(g.left() + g.width() - dx, before.left() + before.width());
        else
            QCOMPARE(g.left(), before.left());
        if (alignment & Qt::AlignVCenter) {
            QCOMPARE(g.top(), before.top() + (41 - th) / 2);
            QCOMPARE(g.height(), before.height() - 2 * ((41 - th) / 2));
        } else {
            QCOMPARE(g.top(), before.top());
            QCOMPARE(g.height(), th + dy);
        }
    }

    void noFitWithoutFitStyle() {
        QWidget w;
        auto* link = new CHyperLink(QStringLiteral("x"), &w);
        link->setLinkStyle(CHyperLink::LinkUnderline);
        link->setGeometry(5, 5, 200, 30);
        link->Attach();
        QCOMPARE(link->geometry(), QRect(5, 5, 200, 30));
    }

    void targetAndText() {
        QWidget w;
        // The text serves as the target when none was set.
        auto* own = new CHyperLink(QStringLiteral("http://a.example/"), &w);
        own->Attach();
        QCOMPARE(own->linkTarget(), QStringLiteral("http://a.example/"));
        QCOMPARE(own->toolTip(), QStringLiteral("http://a.example/"));
        // A target set before attaching leaves the text alone.
        auto* preset = new CHyperLink(QStringLiteral("Submit your site"), &w);
        preset->SetLinkTarget(QStringLiteral("http://b.example/submit"));
        preset->Attach();
        QCOMPARE(preset->text(), QStringLiteral("Submit your site"));
        QCOMPARE(preset->toolTip(), QStringLiteral("http://b.example/submit"));
        // A static without text shows its target.
        auto* empty = new CHyperLink(&w);
        empty->SetLinkTarget(QStringLiteral("http://c.example/"));
        empty->Attach();
        QCOMPARE(empty->text(), QStringLiteral("http://c.example/"));
        empty->SetLinkTarget(QStringLiteral("http://d.example/"));
        QCOMPARE(empty->toolTip(), QStringLiteral("http://d.example/"));
        QVERIFY(empty->cursor().shape() == Qt::PointingHandCursor);
    }

    void opening_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("shellAnswer");
        QTest::addColumn<bool>("fallbackAnswer");
        QTest::addColumn<int>("shellCalls");
        QTest::addColumn<int>("fallbackCalls");
        QTest::addColumn<QString>("message");
        const QString notFound = "Can't open link:\n\nThe specified file was not found.";
        const QString denied =
            "Can't open link:\n\nThe operating system denied\naccess to the specified file.";
        QTest::newRow("desktop opens") << "http://a.example/" << true << false << 1 << 0 << "";
        QTest::newRow("browser fallback") << "https://a.example/" << false << true << 1 << 1 << "";
        QTest::newRow("nothing opens")
            << "http://a.example/" << false << false << 1 << 1 << notFound;
        QTest::newRow("mail nothing opens")
            << "mailto:x@a.example" << false << false << 1 << 1 << notFound;
        QTest::newRow("file refused") << "file:///etc/passwd" << true << true << 0 << 0 << denied;
        QTest::newRow("program refused") << "/usr/bin/xterm" << true << true << 0 << 0 << denied;
        QTest::newRow("javascript refused")
            << "javascript:alert(1)" << true << true << 0 << 0 << denied;
    }
    void opening() {
        QFETCH(QString, target);
        QFETCH(bool, shellAnswer);
        QFETCH(bool, fallbackAnswer);
        QFETCH(int, shellCalls);
        QFETCH(int, fallbackCalls);
        QFETCH(QString, message);
        m_shellAnswer = shellAnswer;
        m_fallbackAnswer = fallbackAnswer;
        Dialog d(target);
        const bool opened = d.link->Activate();
        QCOMPARE(opened, message.isEmpty());
        QCOMPARE(d.link->isFollowed(), message.isEmpty());
        QCOMPARE(int(m_opened.size()), shellCalls);
        QCOMPARE(int(m_fallback.size()), fallbackCalls);
        const auto shown = tw::testing::takeShownMessages();
        if (message.isEmpty()) {
            QVERIFY(shown.isEmpty());
        } else {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown.first().text, message);
            QCOMPARE(shown.first().caption, QStringLiteral("Tallowick!"));
            QCOMPARE(shown.first().icon, QMessageBox::Warning);
        }
    }

    void failedOpenKeepsVisitedState() {
        Dialog d(QStringLiteral("http://a.example/"));
        QVERIFY(d.link->Activate());
        m_shellAnswer = false;
        QVERIFY(!d.link->Activate());
        QVERIFY(d.link->isFollowed());
    }

    void errorTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
        QTest::newRow("26 keeps its space") << 26 << "A sharing violation occurred. ";
        QTest::newRow("31") << 31
                            << "There is no application associated\nwith the given filename "
                               "extension.";
        QTest::newRow("unknown") << 17 << "Unknown Error (17) occurred.";
        QTest::newRow("negative") << -3 << "Unknown Error (-3) occurred.";
    }
    void errorTexts() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(CHyperLink::linkErrorText(code), text);
    }
};

TW_TEST_MAIN_GUI(TestHyperLink)
#include "test_hyperlink.moc"
