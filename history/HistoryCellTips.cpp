#include "history/HistoryCellTips.h"

#include "data/EntryListModel.h"
#include "history/HistoryText.h"

#include <QFileInfo>

#include <limits>

namespace tw {

void HistoryCellTips::setDataFile(const QString& dataFilePath) {
    m_dataFile = dataFilePath;
    forget();
}

void HistoryCellTips::forget() {
    m_store.close();
    m_tried = false;
    m_cache.clear();
}

QString HistoryCellTips::tip(const std::string& url, const std::string& keywords, int slot,
                             const std::string& cellText, const EntryWhere& where) {
    if (m_dataFile.isEmpty() || slot < 0 || slot >= kHistorySlots)
        return {};
    std::string key = std::to_string(url.size()) + ':' + url;
    key += std::to_string(keywords.size()) + ':' + keywords;
    key += where.device + ':' + where.location;
    key += char('0' + slot);
    auto it = m_cache.find(key);
    if (it == m_cache.end()) {
        if (!m_tried) {
            m_tried = true;
            const QString path = historyPathFor(m_dataFile);
            // No history yet is the common case, and no error.
            if (QFileInfo(path).isFile())
                m_store.openForReading(path, nullptr);
        }
        Cached cached;
        HistoryRecord latest;
        HistoryRecord previous;
        bool found = false;
        // A history that cannot be read shows no tooltips: the list is not the place to say so.
        if (m_store.isOpen() &&
            m_store.previousResult(url, keywords, where, slot, std::numeric_limits<qint64>::max(),
                                   &latest, &found, nullptr) &&
            found) {
            cached.latestText = latest.result.text;
            if (m_store.previousResult(url, keywords, where, slot, latest.runId, &previous, &found,
                                       nullptr) &&
                found)
                cached.tip = previousResultTip(&previous, latest.result);
        }
        if (m_cache.size() >= kCacheLimit)
            m_cache.clear();
        it = m_cache.emplace(std::move(key), std::move(cached)).first;
    }
    return it->second.latestText == cellText ? it->second.tip : QString();
}

void HistoryCellTips::attach(EntryListModel& model) {
    model.setToolTipProvider([this, &model](int row, int col) {
        const datafile::EntryOptions& o = model.options(row);
        return tip(model.cellRef(row, ColUrl), model.cellRef(row, ColKeywords),
                   col - ColFirstEngine, model.cellRef(row, col), entryWhere(o.device, o.location));
    });
}

} // namespace tw
