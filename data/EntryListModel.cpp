#include "data/EntryListModel.h"

#include "base/Engines.h"
#include "base/ShownText.h"

#include <algorithm>

namespace {
constexpr int kNumberWidth = 20;
constexpr int kUrlWidth = 175;
constexpr int kEngineWidth = 110;
constexpr int kKeywordsWidth = 250;
constexpr int kTagsWidth = 110;
constexpr int kWhereWidth = 110;
const std::string kEmpty;
const datafile::EntryOptions kNoOptions;
} // namespace

EntryListModel::EntryListModel(QObject* parent) : QAbstractTableModel(parent) {}

EntryListModel::~EntryListModel() = default;

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kShownColumnCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kShownColumnCount)
        return {};
    if (role == Qt::DisplayRole && index.column() >= kColumnCount) {
        const datafile::EntryOptions& o = m_rows[index.row()].options;
        const std::string text = index.column() == ColTags ? o.tags : datafile::whereText(o);
        return QString::fromUtf8(text.data(),
                                 static_cast<qsizetype>(std::min<size_t>(text.size(), 4096)));
    }
    if (role == Qt::DisplayRole) {
        const std::string& text = m_rows[index.row()].cells[index.column()];
        // A column shows a few hundred characters at most; a huge cell must not slow painting.
        // Its controls are shown as escapes: a cell is one line, read left to right.
        const size_t shown = std::min<size_t>(text.size(), 4096);
        return tw::shownText(std::string_view(text.data(), shown));
    }
    if (role == ChangeMarkRole) {
        const int col = index.column();
        return col >= ColFirstEngine && col < ColKeywords
                   ? m_rows[index.row()].changeMarks[col - ColFirstEngine]
                   : 0;
    }
    if (role == Qt::ToolTipRole && m_toolTips && index.column() >= ColFirstEngine &&
        index.column() < ColKeywords) {
        const QString tip = m_toolTips(index.row(), index.column());
        if (!tip.isEmpty())
            return tw::plainToolTip(tip);
    }
    return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kShownColumnCount)
        return columnCaption(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool EntryListModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
    endRemoveRows();
    return true;
}

std::string EntryListModel::cell(int row, int col) const {
    return cellRef(row, col);
}

const std::string& EntryListModel::cellRef(int row, int col) const {
    if (row < 0 || row >= rowCount() || col < 0 || col >= kColumnCount)
        return kEmpty;
    return m_rows[row].cells[col];
}

void EntryListModel::setCell(int row, int col, const std::string& text) {
    if (row < 0 || row >= rowCount() || col < 0 || col >= kColumnCount)
        return;
    EntryRow& r = m_rows[row];
    r.cells[col] = text;
    QList<int> roles{Qt::DisplayRole};
    if (col >= ColFirstEngine && col < ColKeywords && r.changeMarks[col - ColFirstEngine] != 0) {
        r.changeMarks[col - ColFirstEngine] = 0;
        roles.append(ChangeMarkRole);
    }
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, roles);
}

int EntryListModel::changeMark(int row, int engine) const {
    if (row < 0 || row >= rowCount() || engine < 0 || engine >= kEngineCount)
        return 0;
    return m_rows[row].changeMarks[engine];
}

void EntryListModel::setChangeMark(int row, int engine, int places) {
    if (row < 0 || row >= rowCount() || engine < 0 || engine >= kEngineCount)
        return;
    m_rows[row].changeMarks[engine] = places;
    const QModelIndex i = index(row, EngineColumn(engine));
    emit dataChanged(i, i, {ChangeMarkRole});
}

const datafile::EntryOptions& EntryListModel::options(int row) const {
    if (row < 0 || row >= rowCount())
        return kNoOptions;
    return m_rows[row].options;
}

void EntryListModel::setOptions(int row, datafile::EntryOptions options) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[row].options = std::move(options);
    emit dataChanged(index(row, ColTags), index(row, ColWhere), {Qt::DisplayRole});
}

bool EntryListModel::matchesFilter(int row, const QString& text) const {
    if (row < 0 || row >= rowCount())
        return false;
    const EntryRow& r = m_rows[row];
    const std::string wanted = text.trimmed().toStdString();
    if (datafile::hasTag(r.options.tags, wanted))
        return true;
    const auto holds = [&text](const std::string& s) {
        return QString::fromUtf8(s.data(), qsizetype(s.size())).contains(text, Qt::CaseInsensitive);
    };
    return holds(r.cells[ColUrl]) || holds(r.cells[ColKeywords]) || holds(r.options.tags) ||
           holds(r.options.device) || holds(r.options.location);
}

bool EntryListModel::anyWhere() const {
    return std::any_of(m_rows.begin(), m_rows.end(), [](const EntryRow& r) {
        return !r.options.device.empty() || !r.options.location.empty();
    });
}

EntryResults* EntryListModel::results(int row) const {
    if (row < 0 || row >= rowCount())
        return nullptr;
    return m_rows[row].results.get();
}

void EntryListModel::setResults(int row, std::unique_ptr<EntryResults> results) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[row].results = std::move(results);
}

int EntryListModel::appendEntry(const std::string& url, const std::string& keywords,
                                const std::vector<std::string>& results) {
    const int row = rowCount();
    EntryRow entry;
    entry.cells[ColNumber] = std::to_string(row + 1);
    entry.cells[ColUrl] = url;
    for (int e = 0; e < kEngineCount; ++e)
        entry.cells[EngineColumn(e)] = e < int(results.size()) ? results[e] : std::string("-");
    entry.cells[ColKeywords] = keywords;
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(std::move(entry));
    endInsertRows();
    return row;
}

int EntryListModel::appendEntries(std::vector<EntryRow> rows) {
    const int first = rowCount();
    if (rows.empty())
        return first;
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].cells[ColNumber] = std::to_string(first + i + 1);
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    endInsertRows();
    return first;
}

bool EntryListModel::removeEntry(int row) {
    return removeRows(row, 1);
}

void EntryListModel::renumber() {
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i].cells[ColNumber] = std::to_string(i + 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, ColNumber), index(rowCount() - 1, ColNumber), {Qt::DisplayRole});
}

void EntryListModel::resetEntries(std::vector<EntryRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void EntryListModel::clear() {
    resetEntries({});
}

QString EntryListModel::columnCaption(int col) {
    if (col == ColNumber)
        return QStringLiteral("#");
    if (col == ColUrl)
        return QStringLiteral("URL");
    if (col == ColKeywords)
        return QStringLiteral("Keywords");
    if (col == ColTags)
        return QStringLiteral("Tags");
    if (col == ColWhere)
        return QStringLiteral("Where");
    if (col >= ColFirstEngine && col < ColKeywords)
        return QString::fromStdString(engines::SlotLabel(SearchEngine(col - ColFirstEngine)));
    return {};
}

int EntryListModel::columnWidth(int col) {
    if (col == ColNumber)
        return kNumberWidth;
    if (col == ColUrl)
        return kUrlWidth;
    if (col == ColKeywords)
        return kKeywordsWidth;
    if (col == ColTags)
        return kTagsWidth;
    if (col == ColWhere)
        return kWhereWidth;
    return col >= ColFirstEngine && col < ColKeywords ? kEngineWidth : 0;
}
