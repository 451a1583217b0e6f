#include "sources/SourcesDlg.h"

#include "base/Engines.h"
#include "base/ShownText.h"
#include "base/TextUtil.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <future>

using tw::sources::Provider;
using tw::sources::Source;

namespace {

// The engines a column can be ranked on besides its own.
const char* const kOtherEngines[] = {"google", "bing", "yahoo", "duckduckgo", "brave"};
const Provider kProviders[] = {Provider::Serper, Provider::SerpApi, Provider::DataForSeo,
                               Provider::Brave, Provider::Searxng};
constexpr int kMaxPauseMs = 60000;

std::string ownEngine(int slot) {
    return text::AsciiLower(engines::Info(SearchEngine(slot)).key);
}

QLineEdit* secretField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// A line break may fall anywhere in a long run without spaces (an address, a token): the Test
// line then wraps within the dialog instead of widening it past the screen.
constexpr QChar kBreak(0x200b); // zero width space
constexpr int kLongestRun = 24;
// A result's address on the Test line is a preview: a long one is cut, so three of them keep
// to a few lines.
constexpr int kShownAddress = 120;

QString breakable(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / kLongestRun);
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestRun && !c.isLowSurrogate()) {
            out += kBreak;
            run = 1;
        }
        out += c;
    }
    return out;
}

} // namespace

CSourcesDlg::CSourcesDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sources"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* outer = new QVBoxLayout(this);

    auto* columns = new QGroupBox(QStringLiteral("Where each column's results come from"), this);
    auto* grid = new QGridLayout(columns);
    grid->addWidget(new QLabel(QStringLiteral("Column"), columns), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Engine"), columns), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Source"), columns), 0, 2);
    for (int slot = 0; slot < kEngineCount; ++slot) {
        SlotRow& row = m_rows[slot];
        const int line = 1 + slot * 2;
        // The column's own name: it keeps its place whatever engine it is ranked on.
        grid->addWidget(new QLabel(QStringLiteral("%1. %2").arg(slot + 1).arg(
                                       QString::fromLatin1(engines::Info(SearchEngine(slot)).name)),
                                   columns),
                        line, 0);
        row.engine = new QComboBox(columns);
        row.engine->setObjectName(QStringLiteral("engine%1").arg(slot));
        row.engine->addItem(QString::fromLatin1(engines::Info(SearchEngine(slot)).name),
                            QString::fromStdString(ownEngine(slot)));
        for (const char* other : kOtherEngines) {
            if (other != ownEngine(slot))
                row.engine->addItem(QString::fromStdString(engines::EngineCaption(other)),
                                    QString::fromLatin1(other));
        }
        row.provider = new QComboBox(columns);
        row.provider->setObjectName(QStringLiteral("provider%1").arg(slot));
        row.test = new QPushButton(QStringLiteral("&Test"), columns);
        row.test->setObjectName(QStringLiteral("test%1").arg(slot));
        row.result = new QLabel(columns);
        row.result->setObjectName(QStringLiteral("result%1").arg(slot));
        // What a provider sent is shown as text, never drawn as markup.
        row.result->setTextFormat(Qt::PlainText);
        row.result->setWordWrap(true);
        row.result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row.result->hide(); // until the column is tested: the dialog fits a small screen
        grid->addWidget(row.engine, line, 1);
        grid->addWidget(row.provider, line, 2);
        grid->addWidget(row.test, line, 3);
        grid->addWidget(row.result, line + 1, 1, 1, 3);
        connect(row.engine, &QComboBox::currentIndexChanged, this, [this, slot] {
            const QComboBox* provider = m_rows[slot].provider;
            FillProviders(slot, provider->count() > 0 ? Provider(provider->currentData().toInt())
                                                      : Provider::Classic);
            UpdateControls();
        });
        connect(row.provider, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
        connect(row.test, &QPushButton::clicked, this, [this, slot] { OnTest(slot); });
    }
    outer->addWidget(columns);

    auto* keys = new QGroupBox(QStringLiteral("Result services"), this);
    auto* form = new QFormLayout(keys);
    m_serperKey = secretField(keys, "serperKey");
    m_serpapiKey = secretField(keys, "serpapiKey");
    m_braveKey = secretField(keys, "braveKey");
    m_dataforseoLogin = new QLineEdit(keys);
    m_dataforseoLogin->setObjectName(QStringLiteral("dataforseoLogin"));
    m_dataforseoPassword = secretField(keys, "dataforseoPassword");
    m_showKeys = new QCheckBox(QStringLiteral("S&how keys"), keys);
    m_showKeys->setObjectName(QStringLiteral("showKeys"));
    m_searxngUrl = new QLineEdit(keys);
    m_searxngUrl->setObjectName(QStringLiteral("searxngUrl"));
    m_searxngUrl->setPlaceholderText(QStringLiteral("http://localhost:8888/"));
    form->addRow(QStringLiteral("serper.dev key:"), m_serperKey);
    form->addRow(QStringLiteral("SerpApi key:"), m_serpapiKey);
    form->addRow(QStringLiteral("Brave Search API key:"), m_braveKey);
    form->addRow(QStringLiteral("DataForSEO login:"), m_dataforseoLogin);
    form->addRow(QStringLiteral("DataForSEO password:"), m_dataforseoPassword);
    form->addRow(QString(), m_showKeys);
    form->addRow(QStringLiteral("SearXNG address:"), m_searxngUrl);
    connect(m_showKeys, &QCheckBox::toggled, this, [this](bool show) {
        for (QLineEdit* e : {m_serperKey, m_serpapiKey, m_braveKey, m_dataforseoPassword})
            e->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    });
    outer->addWidget(keys);

    auto* where = new QGroupBox(QStringLiteral("Results for"), this);
    auto* whereRow = new QHBoxLayout(where);
    m_country = new QLineEdit(where);
    m_country->setObjectName(QStringLiteral("country"));
    m_country->setMaxLength(2);
    m_language = new QLineEdit(where);
    m_language->setObjectName(QStringLiteral("language"));
    m_language->setMaxLength(2);
    m_pauseMin = new QSpinBox(where);
    m_pauseMin->setObjectName(QStringLiteral("pauseMin"));
    m_pauseMax = new QSpinBox(where);
    m_pauseMax->setObjectName(QStringLiteral("pauseMax"));
    for (QSpinBox* spin : {m_pauseMin, m_pauseMax}) {
        spin->setRange(0, kMaxPauseMs);
        spin->setSingleStep(100);
        spin->setSuffix(QStringLiteral(" ms"));
    }
    whereRow->addWidget(new QLabel(QStringLiteral("Country:"), where));
    whereRow->addWidget(m_country);
    whereRow->addWidget(new QLabel(QStringLiteral("Language:"), where));
    whereRow->addWidget(m_language);
    whereRow->addWidget(new QLabel(QStringLiteral("Pause per host:"), where));
    whereRow->addWidget(m_pauseMin);
    whereRow->addWidget(new QLabel(QStringLiteral("to"), where));
    whereRow->addWidget(m_pauseMax);
    outer->addWidget(where);

    // Each service at its own speed: how many calls at once, how many a second, and how many a
    // run may send in all.
    auto* pace = new QGroupBox(QStringLiteral("Calls to the services"), this);
    auto* paceGrid = new QGridLayout(pace);
    paceGrid->addWidget(new QLabel(QStringLiteral("At once"), pace), 0, 1);
    paceGrid->addWidget(new QLabel(QStringLiteral("Per second"), pace), 0, 2);
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        const Provider p = tw::sources::providerAt(i);
        const QString name = QString::fromLatin1(tw::sources::providerName(p));
        m_parallel[i] = new QSpinBox(pace);
        m_parallel[i]->setObjectName(QStringLiteral("parallel_") + name);
        m_parallel[i]->setRange(1, tw::sources::kMaxParallel);
        m_perSecond[i] = new QLineEdit(pace);
        m_perSecond[i]->setObjectName(QStringLiteral("perSecond_") + name);
        m_perSecond[i]->setPlaceholderText(QStringLiteral("no limit"));
        paceGrid->addWidget(
            new QLabel(QString::fromLatin1(tw::sources::providerSite(p)) + QLatin1Char(':'), pace),
            i + 1, 0);
        paceGrid->addWidget(m_parallel[i], i + 1, 1);
        paceGrid->addWidget(m_perSecond[i], i + 1, 2);
        connect(m_parallel[i], &QSpinBox::valueChanged, this, [this] { UpdateControls(); });
    }
    m_maxCalls = new QLineEdit(pace);
    m_maxCalls->setObjectName(QStringLiteral("maxCalls"));
    m_maxCalls->setPlaceholderText(QStringLiteral("no budget"));
    paceGrid->addWidget(new QLabel(QStringLiteral("Most calls per run:"), pace),
                        tw::sources::kProviderCount + 1, 0);
    paceGrid->addWidget(m_maxCalls, tw::sources::kProviderCount + 1, 1, 1, 2);
    m_paceNote = new QLabel(pace);
    m_paceNote->setObjectName(QStringLiteral("paceNote"));
    m_paceNote->setWordWrap(true);
    m_paceNote->hide();
    paceGrid->addWidget(m_paceNote, tw::sources::kProviderCount + 2, 0, 1, 3);
    outer->addWidget(pace);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);
}

int CSourcesDlg::DoModal() {
    QStringList problems;
    SetValues(tw::sources::readSourceSettings(&problems));
    if (!problems.isEmpty())
        tw::messageBox(this,
                       QStringLiteral("Some stored sources could not be read and are shown as "
                                      "classic:\n") +
                           problems.join(QLatin1Char('\n')),
                       QMessageBox::Ok, QMessageBox::Warning);
    return exec();
}

void CSourcesDlg::SetValues(const tw::sources::SourceSettings& values) {
    m_loaded = values;
    for (int slot = 0; slot < kEngineCount; ++slot) {
        const Source& source = values.columns[slot];
        SlotRow& row = m_rows[slot];
        const QString engine =
            QString::fromStdString(source.isClassic() ? ownEngine(slot) : source.engine);
        int index = row.engine->findData(engine);
        if (index < 0) { // another engine of a SearXNG instance
            row.engine->addItem(QString::fromStdString(engines::EngineCaption(source.engine)),
                                engine);
            index = row.engine->count() - 1;
        }
        const QSignalBlocker block(row.engine);
        row.engine->setCurrentIndex(index);
        FillProviders(slot, source.provider);
        row.result->clear();
        row.result->hide();
    }
    const tw::sources::Credentials& k = values.config.keys;
    m_serperKey->setText(QString::fromStdString(k.serperKey));
    m_serpapiKey->setText(QString::fromStdString(k.serpapiKey));
    m_braveKey->setText(QString::fromStdString(k.braveKey));
    m_dataforseoLogin->setText(QString::fromStdString(k.dataforseoLogin));
    m_dataforseoPassword->setText(QString::fromStdString(k.dataforseoPassword));
    m_showKeys->setChecked(false);
    m_searxngUrl->setText(QString::fromStdString(values.config.searxngUrl));
    m_country->setText(QString::fromStdString(values.config.country));
    m_language->setText(QString::fromStdString(values.config.language));
    m_pauseMin->setValue(values.pauseMinMs);
    m_pauseMax->setValue(values.pauseMaxMs);
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        const QSignalBlocker block(m_parallel[i]);
        m_parallel[i]->setValue(values.pace[i].parallel);
        m_perSecond[i]->setText(
            values.pace[i].perSecond > 0
                ? QString::fromStdString(tw::sources::perSecondText(values.pace[i].perSecond))
                : QString());
    }
    m_maxCalls->setText(values.maxCallsPerRun > 0 ? QString::number(values.maxCallsPerRun)
                                                  : QString());
    UpdateControls();
}

void CSourcesDlg::FillProviders(int slot, Provider wanted) {
    SlotRow& row = m_rows[slot];
    const std::string engine = row.engine->currentData().toString().toStdString();
    const QSignalBlocker block(row.provider);
    row.provider->clear();
    // A column's own pages only for its own engine.
    if (engine == ownEngine(slot))
        row.provider->addItem(QStringLiteral("classic (its own pages)"), int(Provider::Classic));
    const std::vector<std::string> usual = tw::sources::providerEngines(Provider::Searxng);
    const bool usualEngine = std::find(usual.begin(), usual.end(), engine) != usual.end();
    for (Provider p : kProviders) {
        // A SearXNG instance has any engine it is set up with, but none of the columns' own
        // engines that are gone from the web.
        if (p == Provider::Searxng && engine == ownEngine(slot) && !usualEngine)
            continue;
        if (tw::sources::providerServes(p, engine))
            row.provider->addItem(QString::fromLatin1(tw::sources::providerSite(p)), int(p));
    }
    const int index = row.provider->findData(int(wanted));
    row.provider->setCurrentIndex(index >= 0 ? index : 0);
}

Source CSourcesDlg::SourceOf(int slot) const {
    const SlotRow& row = m_rows[slot];
    const Provider p = Provider(row.provider->currentData().toInt());
    if (p == Provider::Classic)
        return {};
    return {p, row.engine->currentData().toString().toStdString()};
}

void CSourcesDlg::UpdateControls() {
    std::array<bool, 6> used{};
    for (int slot = 0; slot < kEngineCount; ++slot) {
        const Source s = SourceOf(slot);
        used[int(s.provider)] = true;
        m_rows[slot].test->setEnabled(!s.isClassic() && !m_testing);
    }
    // Only the fields of the services chosen can be filled in.
    m_serperKey->setEnabled(used[int(Provider::Serper)]);
    m_serpapiKey->setEnabled(used[int(Provider::SerpApi)]);
    m_braveKey->setEnabled(used[int(Provider::Brave)]);
    m_dataforseoLogin->setEnabled(used[int(Provider::DataForSeo)]);
    m_dataforseoPassword->setEnabled(used[int(Provider::DataForSeo)]);
    m_searxngUrl->setEnabled(used[int(Provider::Searxng)]);
    const QString note = PaceNote();
    m_paceNote->setText(note);
    m_paceNote->setVisible(!note.isEmpty());
}

QString CSourcesDlg::PaceNote() const {
    if (m_entriesAtOnce < 1)
        return {};
    QStringList above;
    for (int slot = 0; slot < kEngineCount; ++slot) {
        const Source s = SourceOf(slot);
        if (s.isClassic())
            continue;
        const int i = tw::sources::providerIndex(s.provider);
        const QString site = QString::fromLatin1(tw::sources::providerSite(s.provider));
        if (m_parallel[i]->value() > m_entriesAtOnce && !above.contains(site))
            above << site;
    }
    if (above.isEmpty())
        return {};
    return QStringLiteral("%1 entries are ranked at once (Settings, threads), so no more than %1 "
                          "calls go to %2 at once.")
        .arg(m_entriesAtOnce)
        .arg(above.join(QStringLiteral(", ")));
}

tw::sources::SourceSettings CSourcesDlg::Edited() const {
    tw::sources::SourceSettings s = m_loaded;
    for (int slot = 0; slot < kEngineCount; ++slot)
        s.columns[slot] = SourceOf(slot);
    const auto text = [](const QLineEdit* e) { return e->text().trimmed().toStdString(); };
    tw::sources::Credentials& k = s.config.keys;
    k.serperKey = text(m_serperKey);
    k.serpapiKey = text(m_serpapiKey);
    k.braveKey = text(m_braveKey);
    k.dataforseoLogin = text(m_dataforseoLogin);
    k.dataforseoPassword = text(m_dataforseoPassword);
    s.config.searxngUrl = text(m_searxngUrl);
    s.config.country = text::AsciiLower(text(m_country));
    s.config.language = text::AsciiLower(text(m_language));
    if (s.config.country.empty())
        s.config.country = "us";
    if (s.config.language.empty())
        s.config.language = "en";
    s.pauseMinMs = m_pauseMin->value();
    s.pauseMaxMs = m_pauseMax->value();
    tw::sources::clampPause(&s.pauseMinMs, &s.pauseMaxMs);
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        s.pace[i].parallel = m_parallel[i]->value();
        double rate = 0;
        // accept() refuses a rate that is not a number; here it reads as none.
        s.pace[i].perSecond = tw::sources::parsePerSecond(text(m_perSecond[i]), &rate) ? rate : 0;
    }
    bool ok = false;
    const long budget = m_maxCalls->text().trimmed().toLong(&ok);
    s.maxCallsPerRun = ok && budget > 0 ? budget : 0;
    return s;
}

tw::sources::ProviderScan::PageOutcome
CSourcesDlg::AskPage(const Source& source, const tw::sources::ProviderConfig& config,
                     const std::string& keywords) {
    tw::sources::ProviderScan scan;
    scan.m_retryDelaysMs = {};
    return scan.askPage(source, config, {keywords, 1, 0, 1});
}

void CSourcesDlg::OnTest(int slot) {
    if (slot < 0 || slot >= kEngineCount || m_testing)
        return;
    const Source source = SourceOf(slot);
    if (source.isClassic())
        return;
    const tw::sources::SourceSettings edited = Edited();
    const std::string keywords = m_testKeywords.empty() ? "tallowick" : m_testKeywords;
    QLabel* result = m_rows[slot].result;
    // The layout does not give a wrapped line more height by itself: the label asks for the
    // height its text takes at the width it has.
    const auto show = [this, result](const QString& text) {
        result->setText(breakable(text));
        result->setMinimumHeight(0);
        if (QLayout* outer = layout())
            outer->activate();
        result->setMinimumHeight(result->heightForWidth(result->width()));
    };
    result->show();
    show(QStringLiteral("Asking %1 for \"%2\"...")
             .arg(QString::fromLatin1(tw::sources::providerSite(source.provider)),
                  tw::shownText(keywords)));
    m_testing = true;
    UpdateControls();
    // Off the dialog's thread, so it keeps painting while the service takes its time (bounded
    // by the fetcher's time-outs).
    std::future<tw::sources::ProviderScan::PageOutcome> pending =
        std::async(std::launch::async, [this, source, config = edited.config, keywords] {
            return AskPage(source, config, keywords);
        });
    while (pending.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const tw::sources::ProviderScan::PageOutcome outcome = pending.get();
    m_testing = false;
    UpdateControls();
    if (!outcome.ok) {
        show(
            QStringLiteral("Failed: %1")
                .arg(tw::shownText(tw::sources::redactSecrets(outcome.error, edited.config.keys))));
        return;
    }
    QStringList first;
    for (std::size_t i = 0; i < outcome.urls.size() && i < 3; ++i) {
        QString address = tw::shownText(outcome.urls[i]);
        if (address.size() > kShownAddress)
            address = address.left(kShownAddress) + QChar(0x2026); // ellipsis
        first << address;
    }
    show(outcome.urls.size() == 1
             ? QStringLiteral("1 result: %1").arg(first.join(QStringLiteral(", ")))
             : QStringLiteral("%1 results%2")
                   .arg(outcome.urls.size())
                   .arg(first.isEmpty()
                            ? QString()
                            : QStringLiteral(", first: ") + first.join(QStringLiteral(", "))));
}

QString CSourcesDlg::TestText(int slot) const {
    return slot >= 0 && slot < kEngineCount ? m_rows[slot].result->text().remove(kBreak)
                                            : QString();
}

void CSourcesDlg::accept() {
    if (m_testing)
        return;
    QString error;
    for (int i = 0; i < tw::sources::kProviderCount && error.isEmpty(); ++i) {
        double rate = 0;
        if (!tw::sources::parsePerSecond(m_perSecond[i]->text().trimmed().toStdString(), &rate))
            error = QStringLiteral("The calls per second for %1 must be a number from 0.01 to "
                                   "1000, or empty for no limit.")
                        .arg(QString::fromLatin1(
                            tw::sources::providerSite(tw::sources::providerAt(i))));
    }
    const QString budget = m_maxCalls->text().trimmed();
    bool budgetOk = budget.isEmpty();
    if (!budgetOk) {
        const long n = budget.toLong(&budgetOk);
        budgetOk = budgetOk && n >= 1 && n <= 100000000;
    }
    if (error.isEmpty() && !budgetOk)
        error = QStringLiteral("The most calls per run must be a whole number from 1, or empty "
                               "for no budget.");
    if (!error.isEmpty()) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    if (!tw::sources::writeSourceSettings(Edited(), &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    QDialog::accept();
}
