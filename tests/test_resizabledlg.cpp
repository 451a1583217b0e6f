#include "app/MainDlg.h"
#include "support/TestEnv.h"
#include "ui/DialogUnits.h"
#include "ui/ResizableDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

namespace {
// A small frame with one control of each kind of anchor.
class TestFrame : public CResizableDlg {
public:
    explicit TestFrame(int templateId = 1004) : CResizableDlg(templateId) {
        const DialogUnits du(this);
        for (int id : {10, 11, 12, 13}) {
            auto* b = new QPushButton(this);
            SetControlId(b, id);
            du.place(b, 10, 10, 20, 10);
        }
        SetTemplateSize(200, 100);
    }
    void OnInitDialog() override {
        CResizableDlg::OnInitDialog();
        AnchorControl(10, ANCHOR_MOVE_X);
        AnchorControl(11, ANCHOR_SIZE_X | ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
        AnchorControl(12, ANCHOR_SIZE_Y);
        AnchorControl(12, ANCHOR_MOVE_X); // anchored twice: moved twice
        AnchorControl(13, 0);             // no flags: not registered
    }
};

QSize storedSize(const QString& section) {
    const auto profile = CResizableDlg::OpenProfile();
    profile->beginGroup(section);
    return QSize(profile->value(QStringLiteral("CX"), 0).toInt(),
                 profile->value(QStringLiteral("CY"), 0).toInt());
}

void clearProfile() {
    const auto profile = CResizableDlg::OpenProfile();
    profile->clear();
    profile->sync();
}
} // namespace

class TestResizableDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { clearProfile(); }

    void profileSectionIsHexTemplateId_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("section");
        QTest::newRow("main") << 102 << "66";
        QTest::newRow("about") << 100 << "64";
        QTest::newRow("help") << 1004 << "3ec";
    }
    void profileSectionIsHexTemplateId() {
        QFETCH(int, id);
        QFETCH(QString, section);
        QCOMPARE(CResizableDlg(id).GetProfileSection(), section);
    }

    void anchorsFollowTheChangeSinceLastSize() {
        TestFrame dlg;
        dlg.show();
        const QRect r10 = dlg.control(10)->geometry(), r11 = dlg.control(11)->geometry(),
                    r12 = dlg.control(12)->geometry(), r13 = dlg.control(13)->geometry();
        dlg.resize(dlg.size() + QSize(30, 20));
        dlg.resize(dlg.size() + QSize(10, 5)); // applied as a second, separate change
        QCOMPARE(dlg.control(10)->geometry(), r10.translated(40, 0));
        QCOMPARE(dlg.control(11)->geometry(), r11.adjusted(0, 25, 40, 25));
        QCOMPARE(dlg.control(12)->geometry(), r12.adjusted(40, 0, 40, 25));
        QCOMPARE(dlg.control(13)->geometry(), r13);
    }

    void cannotShrinkBelowCreationSize() {
        TestFrame dlg;
        const QSize created = dlg.size();
        dlg.show();
        QCOMPARE(dlg.minimumSize(), created);
        dlg.resize(created - QSize(50, 50));
        QCOMPARE(dlg.size(), created);
    }

    void sizeStoredOnlyAfterResizing() {
        {
            TestFrame dlg;
            dlg.show();
            dlg.accept();
        }
        QCOMPARE(storedSize(QStringLiteral("3ec")), QSize(0, 0));
        QSize grown;
        {
            TestFrame dlg;
            dlg.show();
            dlg.resize(dlg.size() + QSize(60, 40));
            grown = dlg.size();
            dlg.reject();
        }
        QCOMPARE(storedSize(QStringLiteral("3ec")), grown);

        // The next dialog opens at the stored size, with its anchored controls moved along.
        TestFrame again;
        const QRect r10 = again.control(10)->geometry();
        again.show();
        QCOMPARE(again.size(), grown);
        QCOMPARE(again.control(10)->geometry(), r10.translated(60, 0));
    }

    void storedSizeBelowMinimumIsIgnored() {
        TestFrame probe;
        const QSize minimum = probe.size();
        {
            const auto profile = CResizableDlg::OpenProfile();
            profile->beginGroup(QStringLiteral("3ec"));
            profile->setValue(QStringLiteral("CX"), minimum.width() + 100);
            profile->setValue(QStringLiteral("CY"), minimum.height() - 1);
        }
        TestFrame dlg;
        dlg.show();
        QCOMPARE(dlg.size(), minimum);
    }

    // A size kept from a larger screen opens cut to the screen's room, each side separately.
    void storedSizeLargerThanScreenIsShrunk_data() {
        QTest::addColumn<QSize>("extra"); // beyond the screen's room; negative: inside it
        QTest::newRow("both") << QSize(3000, 2000);
        QTest::newRow("width only") << QSize(500, -30);
        QTest::newRow("height only") << QSize(-40, 1);
    }
    void storedSizeLargerThanScreenIsShrunk() {
        QFETCH(QSize, extra);
        TestFrame probe;
        const QSize room = probe.screen()->availableGeometry().size();
        const QSize stored = room + extra;
        {
            const auto profile = CResizableDlg::OpenProfile();
            profile->beginGroup(QStringLiteral("3ec"));
            profile->setValue(QStringLiteral("CX"), stored.width());
            profile->setValue(QStringLiteral("CY"), stored.height());
        }
        TestFrame dlg;
        dlg.show();
        QCOMPARE(dlg.size(), stored.boundedTo(room));
    }

    // Growing the main window by 100 x 50 moves and stretches its controls as anchored.
    void mainWindowAnchors() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        const int rightButtons[] = {1003, 1004, 1006, 1007, 1008, 1009, 1011};
        const int bottomButtons[] = {1002, 7, 6};
        const int cornerButtons[] = {1005, 2};
        QHash<int, QRect> before;
        for (int id : {1003, 1004, 1006, 1007, 1008, 1009, 1011, 1002, 7, 6, 1005, 2, 1001, 1010})
            before[id] = dlg.control(id)->geometry();

        dlg.resize(dlg.size() + QSize(100, 50));

        for (int id : rightButtons)
            QCOMPARE(dlg.control(id)->geometry(), before[id].translated(100, 0));
        for (int id : bottomButtons)
            QCOMPARE(dlg.control(id)->geometry(), before[id].translated(0, 50));
        for (int id : cornerButtons)
            QCOMPARE(dlg.control(id)->geometry(), before[id].translated(100, 50));
        QCOMPARE(dlg.control(1001)->geometry(), before[1001].adjusted(0, 0, 100, 50));
        QCOMPARE(dlg.control(1010)->geometry(), before[1010]);
        QCOMPARE(dlg.minimumSize(), DialogUnits(&dlg).size(456, 233));
    }
};

TW_TEST_MAIN_GUI(TestResizableDlg)
#include "test_resizabledlg.moc"
