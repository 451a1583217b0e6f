#include "settings/SearchSettings.h"

#include "base/Engines.h"
#include "base/Maker.h"
#include "base/TextUtil.h"
#include "settings/RegistrySettings.h"

#include <string>

namespace {
void loadNumber(CRegistrySettings& store, const char* name, int& value) {
    const std::string text = store.ReadString(maker::kProduct, name);
    if (!text.empty())
        value = text::LeadingInt(text);
}

void loadFlag(CRegistrySettings& store, const char* name, int& flag) {
    const int n = store.ReadInt(maker::kProduct, name);
    if (n != -1)
        flag = n != 0 ? 1 : 0;
}
} // namespace

void CSearchSettings::Load() {
    CRegistrySettings store;
    loadNumber(store, "m_MaxThreads", m_MaxThreads);
    loadNumber(store, "m_MaxPages", m_MaxPages);
    for (const engines::EngineInfo& e : engines::All())
        loadFlag(store, e.switchValue, m_engineOn[e.id]);
    loadFlag(store, "ReadWholeDepth", m_ReadWholeDepth);
}

void CSearchSettings::Save() const {
    // Failures are silent: the values stay in effect in memory until the program ends.
    CRegistrySettings store;
    store.WriteString(maker::kProduct, "m_MaxThreads", std::to_string(m_MaxThreads));
    store.WriteString(maker::kProduct, "m_MaxPages", std::to_string(m_MaxPages));
    for (const engines::EngineInfo& e : engines::All())
        store.WriteString(maker::kProduct, e.switchValue, std::to_string(m_engineOn[e.id]));
    // Written once it has been switched on, so that a settings file of the six values the
    // program always wrote stays as it was until then.
    if (m_ReadWholeDepth != 0 || !store.ReadString(maker::kProduct, "ReadWholeDepth").empty())
        store.WriteString(maker::kProduct, "ReadWholeDepth", std::to_string(m_ReadWholeDepth));
}

bool CSearchSettings::EngineEnabled(SearchEngine engine) const {
    const int i = static_cast<int>(engine);
    return i >= 0 && i < kEngineCount && m_engineOn[i] != 0;
}

void CSearchSettings::SetEngineEnabled(SearchEngine engine, bool on) {
    const int i = static_cast<int>(engine);
    if (i >= 0 && i < kEngineCount)
        m_engineOn[i] = on ? 1 : 0;
}
