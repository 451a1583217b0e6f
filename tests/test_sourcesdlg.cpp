// The Sources dialog offscreen: what each column may be set to, Test against the simulator's
// provider endpoints, OK stores and Cancel stores nothing; the Settings dialog's button.
#include "app/MainDlg.h"
#include "base/Engines.h"
#include "base/Maker.h"
#include "rank/RankSources.h"
#include "results/RankDetailsDlg.h"
#include "results/SelectEngineDlg.h"
#include "settings/RegistrySettings.h"
#include "settings/SettingsDlg.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "sources/SourceSettings.h"
#include "sources/SourcesDlg.h"
#include "support/GuiTest.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "ui/DialogUnits.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

using namespace tw::sources;

namespace {
const std::string kKey = "sk-Dlg-Secret-91c0";

template <typename T> T* control(QWidget& dlg, const QString& name) {
    auto* c = dlg.findChild<T*>(name);
    if (!c)
        qFatal("control %s missing", qPrintable(name));
    return c;
}

QStringList items(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

void choose(QComboBox* combo, const QString& text) {
    const int i = combo->findText(text);
    if (i < 0)
        qFatal("no item %s in %s", qPrintable(text), qPrintable(items(combo).join(',')));
    combo->setCurrentIndex(i);
}
} // namespace

class TestSourcesDlg : public QObject {
    Q_OBJECT

    sim::CResultModel m_model{3, 200};
    std::unique_ptr<sim::CEngineSim> m_engines;
    std::unique_ptr<sim::CSimServer> m_server;

private slots:
    void initTestCase() {
        m_engines = std::make_unique<sim::CEngineSim>(m_model);
        sim::ServerOptions options;
        options.providers.apiKey = kKey;
        m_server = std::make_unique<sim::CSimServer>(*m_engines, options);
        std::string error;
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }
    void init() {
        tw::test::answerMessageBoxes();
        QFile::remove(tw::test::settingsPath());
    }

    // Only providers serving the chosen engine are offered; classic only for the column's own.
    void providersOffered_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("google's own")
            << 0 << "Google"
            << QStringList{"classic (its own pages)", "serper.dev", "serpapi.com", "dataforseo.com",
                           "the SearXNG instance"};
        QTest::newRow("altavista's own")
            << 1 << "Altavista" << QStringList{"classic (its own pages)"};
        QTest::newRow("altavista on bing")
            << 1 << "Bing" << QStringList{"serpapi.com", "dataforseo.com", "the SearXNG instance"};
        QTest::newRow("lycos on duckduckgo")
            << 2 << "DuckDuckGo" << QStringList{"serpapi.com", "the SearXNG instance"};
        QTest::newRow("looksmart on brave")
            << 3 << "Brave" << QStringList{"the Brave Search API", "the SearXNG instance"};
    }
    void providersOffered() {
        QFETCH(int, slot);
        QFETCH(QString, engine);
        QFETCH(QStringList, offered);
        CSourcesDlg dlg;
        dlg.SetValues({});
        choose(control<QComboBox>(dlg, QStringLiteral("engine%1").arg(slot)), engine);
        QCOMPARE(items(control<QComboBox>(dlg, QStringLiteral("provider%1").arg(slot))), offered);
        // A classic column has nothing to test here.
        auto* provider = control<QComboBox>(dlg, QStringLiteral("provider%1").arg(slot));
        QCOMPARE(control<QPushButton>(dlg, QStringLiteral("test%1").arg(slot))->isEnabled(),
                 !provider->currentText().startsWith("classic"));
    }

    // Test asks the simulator for one page: the count and the first three addresses, or the
    // refusal in words without the key.
    void testButton_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("accepted") << QString::fromStdString(kKey) << "10 results, first: ";
        QTest::newRow("refused") << "sk-Wrong-0000"
                                 << "Failed: the key was refused";
    }
    void testButton() {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        CSourcesDlg dlg;
        dlg.m_testKeywords = "blue widgets";
        SourceSettings values;
        values.config.serpapiUrl = "http://" + m_server->HostPort();
        dlg.SetValues(values);
        choose(control<QComboBox>(dlg, "engine1"), "Bing");
        choose(control<QComboBox>(dlg, "provider1"), "serpapi.com");
        control<QLineEdit>(dlg, "serpapiKey")->setText(key);
        control<QPushButton>(dlg, "test1")->click();
        const QString shown = dlg.TestText(1);
        QVERIFY2(shown.startsWith(expected), qPrintable(shown));
        QVERIFY(!shown.contains(key));
        if (expected.startsWith("10")) {
            for (int n = 1; n <= 3; ++n)
                QVERIFY(shown.contains(QString::fromStdString(
                    m_model.ResultUrl(SearchEngine(sim::kSimBing), "blue widgets", n))));
            QVERIFY(!shown.contains(QString::fromStdString(
                m_model.ResultUrl(SearchEngine(sim::kSimBing), "blue widgets", 4))));
        }
    }

    // The dialog says when fewer entries are ranked at once than a chosen service's limit, and a
    // rate or budget that is not a number is refused with its reason.
    void paceNoteAndBadValues_data() {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("parallel");
        QTest::addColumn<QString>("note");
        QTest::newRow("threads below the limit")
            << 3 << 8
            << "3 entries are ranked at once (Settings, threads), so no more than 3 calls "
               "go to serper.dev at once.";
        QTest::newRow("threads enough") << 8 << 8 << "";
        QTest::newRow("threads not known") << 0 << 8 << "";
    }
    void paceNoteAndBadValues() {
        QFETCH(int, threads);
        QFETCH(int, parallel);
        QFETCH(QString, note);
        CSourcesDlg dlg;
        dlg.m_entriesAtOnce = threads;
        SourceSettings values;
        values.columns[0] = {tw::sources::Provider::Serper, "google"};
        dlg.SetValues(values);
        control<QSpinBox>(dlg, "parallel_serper")->setValue(parallel);
        QCOMPARE(dlg.PaceNote(), note);
        QCOMPARE(control<QLabel>(dlg, "paceNote")->isHidden(), note.isEmpty());

        control<QLineEdit>(dlg, "perSecond_serper")->setText("fast");
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Rejected)); // still open
        QStringList shown;
        for (const auto& m : tw::testing::takeShownMessages())
            shown << m.text;
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("calls per second for serper.dev"), qPrintable(shown[0]));
    }

    // What the service sent is shown as typed on the Test line: markup is not drawn, controls
    // read as escapes, and an address without spaces wraps inside the dialog instead of
    // widening it past the screen.
    void testLineShowsTextAsTyped_data() {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QByteArray>("planted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("markup and controls")
            << "hostile markup"
            << QByteArray("http://<img src=\"/tmp/x.png\"><h1>FAKE RANK 1</h1>\x1b[31m\xe2\x80\xae")
            << "http://<img src=\"/tmp/x.png\"><h1>FAKE RANK 1</h1>\\x1B[31m\\u202E";
        const QByteArray longUrl = "http://long.example/" + QByteArray(3000, 'a');
        // Cut to a preview, and wrapped within the dialog.
        QTest::newRow("long address")
            << "hostile length" << longUrl << QString(longUrl.left(120)) + QChar(0x2026);
    }
    void testLineShowsTextAsTyped() {
        QFETCH(QString, keywords);
        QFETCH(QByteArray, planted);
        QFETCH(QString, shown);
        m_model.AddPlant(sim::kSimBing, 1, planted.toStdString(), keywords.toStdString());
        CSourcesDlg dlg;
        dlg.m_testKeywords = keywords.toStdString();
        SourceSettings values;
        values.config.serpapiUrl = "http://" + m_server->HostPort();
        values.config.keys.serpapiKey = kKey;
        dlg.SetValues(values);
        choose(control<QComboBox>(dlg, "engine1"), "Bing");
        choose(control<QComboBox>(dlg, "provider1"), "serpapi.com");
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const int width = dlg.width();
        control<QPushButton>(dlg, "test1")->click();
        auto* line = control<QLabel>(dlg, "result1");
        QCOMPARE(line->textFormat(), Qt::PlainText);
        QVERIFY2(dlg.TestText(1).startsWith("10 results, first: " + shown + ", "),
                 qPrintable(dlg.TestText(1).left(200)));
        QVERIFY(dlg.minimumSizeHint().width() <= width);
        QTRY_VERIFY(line->height() >= line->heightForWidth(line->width())); // no line cut off
        QVERIFY(dlg.sizeHint().width() <= width * 3 / 2);
    }

    // The keys are hidden until Show keys is ticked.
    void showKeysToggle() {
        CSourcesDlg dlg;
        dlg.SetValues({});
        auto* key = control<QLineEdit>(dlg, "serperKey");
        QCOMPARE(key->echoMode(), QLineEdit::Password);
        control<QCheckBox>(dlg, "showKeys")->setChecked(true);
        QCOMPARE(key->echoMode(), QLineEdit::Normal);
        control<QCheckBox>(dlg, "showKeys")->setChecked(false);
        QCOMPARE(key->echoMode(), QLineEdit::Password);
    }

    // OK stores what the dialog shows; Cancel stores nothing.
    void okStoresCancelDoesNot_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void okStoresCancelDoesNot() {
        QFETCH(bool, ok);
        CSourcesDlg dlg;
        tw::test::ModalDriver<CSourcesDlg> driver([ok](CSourcesDlg* shown) {
            choose(control<QComboBox>(*shown, "engine1"), "Bing");
            choose(control<QComboBox>(*shown, "provider1"), "serpapi.com");
            control<QLineEdit>(*shown, "serpapiKey")->setText("sk-stored-1");
            control<QLineEdit>(*shown, "country")->setText("DE");
            control<QSpinBox>(*shown, "pauseMin")->setValue(500);
            control<QSpinBox>(*shown, "pauseMax")->setValue(1500);
            control<QSpinBox>(*shown, "parallel_serpapi")->setValue(12);
            control<QLineEdit>(*shown, "perSecond_serpapi")->setText("4");
            control<QLineEdit>(*shown, "perSecond_brave")->setText("");
            control<QLineEdit>(*shown, "maxCalls")->setText("300");
            control<QPushButton>(*shown, ok ? "1" : "2")->click();
        });
        QCOMPARE(dlg.DoModal(), ok ? QDialog::Accepted : QDialog::Rejected);
        QVERIFY(driver.opened());
        const SourceSettings stored = readSourceSettings();
        if (ok) {
            QCOMPARE(sourceText(stored.columns[1]), QStringLiteral("serpapi:bing"));
            QCOMPARE(stored.config.keys.serpapiKey, std::string("sk-stored-1"));
            QCOMPARE(stored.config.country, std::string("de"));
            QCOMPARE(stored.pauseMinMs, 500);
            QCOMPARE(stored.pauseMaxMs, 1500);
            const tw::sources::ServicePace serpapi =
                stored.pace[tw::sources::providerIndex(tw::sources::Provider::SerpApi)];
            QCOMPARE(serpapi.parallel, 12);
            QCOMPARE(serpapi.perSecond, 4.0);
            // Emptied: no rate, not the default of one a second.
            QCOMPARE(
                stored.pace[tw::sources::providerIndex(tw::sources::Provider::Brave)].perSecond,
                0.0);
            QCOMPARE(stored.maxCallsPerRun, 300L);
        } else {
            QVERIFY(!QFile::exists(tw::test::settingsPath()) ||
                    readSourceSettings().columns[1].isClassic());
            QVERIFY(stored.config.keys.serpapiKey.empty());
        }
        for (int e : {0, 2, 3})
            QVERIFY(stored.columns[e].isClassic());
    }

    // The Settings dialog's So&urces... button sits below the controls it had, which keep their
    // places, and hands over to whoever opens the Sources dialog.
    void settingsButton() {
        CSettingsDlg dlg;
        int opened = 0;
        dlg.m_openSources = [&](QWidget* parent) {
            ++opened;
            QCOMPARE(parent, static_cast<QWidget*>(&dlg));
        };
        tw::test::ModalDriver<CSettingsDlg> driver([](CSettingsDlg* shown) {
            auto* sources = control<QPushButton>(*shown, "sources");
            auto* okButton = control<QPushButton>(*shown, "1");
            const DialogUnits du(shown);
            QCOMPARE(okButton->geometry().topLeft(), QPoint(du.x(34), du.y(160)));
            QVERIFY(sources->geometry().top() >= okButton->geometry().bottom());
            QVERIFY(shown->rect().contains(sources->geometry()));
            QCOMPARE(sources->text(), QStringLiteral("So&urces..."));
            sources->click();
        });
        CSearchSettings settings;
        dlg.DoModal(settings);
        QVERIFY(driver.opened());
        QCOMPARE(opened, 1);
    }

    // Results and View Page name a relabelled column after its engine too.
    void dialogsRelabelColumns() {
        engines::SetSlotEngine(AltaVista, "bing");
        CRankDetailsDlg details;
        CSelectEngineDlg select;
        details.show();
        QTreeWidget* list = details.findChild<QTreeWidget*>();
        const QString heading = list->headerItem()->text(1 + AltaVista);
        QStringList visits;
        for (QPushButton* b : details.findChildren<QPushButton*>())
            visits << b->text();
        const QString selectText = select.engineButton(AltaVista)->text();
        const QString googleText = select.engineButton(Google)->text();
        engines::SetSlotEngine(AltaVista, "");
        QCOMPARE(heading, QStringLiteral("Bing"));
        QVERIFY2(visits.contains(QStringLiteral("Visit &Bing")), qPrintable(visits.join(',')));
        QVERIFY(visits.contains(QStringLiteral("Visit &Google")));
        QCOMPARE(selectText, QStringLiteral("&Bing"));
        QCOMPARE(googleText, QStringLiteral("&Google"));
    }

    // Rank All in the window: a column through a provider, one whose key is missing.
    void windowRanksThroughProvider() {
        tw::test::ScopedWorkDir dir;
        const std::string target = "http://www.target-site.example/";
        m_model.AddPlant(Google, 2, target, "red boxes");
        m_model.AddPlant(sim::kSimBing, 13, target, "red boxes");
        CRegistrySettings store;
        for (const engines::EngineInfo& e : engines::All())
            store.WriteString(maker::kProduct, e.hostValue, m_server->HostPort());
        store.WriteString(maker::kProduct, "m_MaxPages", "2");
        SourceSettings values;
        values.columns[AltaVista] = {Provider::SerpApi, "bing"};
        values.columns[Lycos] = {Provider::Serper, "google"};
        values.config.keys.serpapiKey = kKey;
        QVERIFY(writeSourceSettings(values, nullptr));
        store.WriteString(maker::kProduct, "SerpapiUrl", "http://" + m_server->HostPort());

        CMainDlg window;
        window.show();
        window.entries().appendEntry(target, "red boxes");
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                modal->reject();
        });
        closer.start(10);
        window.button(CMainDlg::IDC_RANKALL)->click();
        closer.stop();
        QCOMPARE(window.entries().cell(0, EngineColumn(Google)), std::string("Rank 2 / Page 1"));
        QCOMPARE(window.entries().cell(0, EngineColumn(AltaVista)),
                 std::string("Rank 13 / Page 2"));
        QCOMPARE(window.entries().cell(0, EngineColumn(Lycos)), std::string("error"));
        QCOMPARE(window.entries().headerData(EngineColumn(AltaVista), Qt::Horizontal).toString(),
                 QStringLiteral("Bing"));
        QStringList shown;
        for (const auto& m : tw::testing::takeShownMessages())
            shown << m.text;
        QVERIFY2(shown.join('\n').contains("no key for serper.dev"), qPrintable(shown.join('\n')));
        QVERIFY(!shown.join('\n').contains(QString::fromStdString(kKey)));
        QVERIFY(writeSourceSettings({}, nullptr));
        rank::ApplySlotEngines({});
    }

    // The window's columns are named after the engines their sources ask.
    void windowRelabelsColumns() {
        SourceSettings values;
        values.columns[1] = {Provider::SerpApi, "bing"};
        QVERIFY(writeSourceSettings(values, nullptr));
        CMainDlg window;
        QAbstractItemModel* model = window.findChild<QAbstractItemView*>()->model();
        QCOMPARE(model->headerData(EngineColumn(1), Qt::Horizontal).toString(),
                 QStringLiteral("Bing"));
        QCOMPARE(model->headerData(EngineColumn(0), Qt::Horizontal).toString(),
                 QStringLiteral("Google"));
        QVERIFY(writeSourceSettings({}, nullptr));
        rank::ApplySlotEngines({});
    }
};

TW_TEST_MAIN_GUI(TestSourcesDlg)
#include "test_sourcesdlg.moc"
