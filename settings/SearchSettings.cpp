#include "settings/SearchSettings.h"

#include "app/Maker.h"
#include "app/TextUtil.h"
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
    loadFlag(store, "bGoogle", m_bGoogle);
    loadFlag(store, "bAltavista", m_bAltavista);
    loadFlag(store, "bLycos", m_bLycos);
    loadFlag(store, "bLooksmart", m_bLooksmart);
}

void CSearchSettings::Save() const {
    // Failures are silent: the values stay in effect in memory until the program ends.
    CRegistrySettings store;
    store.WriteString(maker::kProduct, "m_MaxThreads", std::to_string(m_MaxThreads));
    store.WriteString(maker::kProduct, "m_MaxPages", std::to_string(m_MaxPages));
    store.WriteString(maker::kProduct, "bGoogle", std::to_string(m_bGoogle));
    store.WriteString(maker::kProduct, "bAltavista", std::to_string(m_bAltavista));
    store.WriteString(maker::kProduct, "bLycos", std::to_string(m_bLycos));
    store.WriteString(maker::kProduct, "bLooksmart", std::to_string(m_bLooksmart));
}

bool CSearchSettings::EngineEnabled(SearchEngine engine) const {
    switch (engine) {
    case Google:
        return m_bGoogle != 0;
    case AltaVista:
        return m_bAltavista != 0;
    case Lycos:
        return m_bLycos != 0;
    case LookSmart:
        return m_bLooksmart != 0;
    }
    return false;
}
