#include "settings/ReportSettings.h"

#include "base/Maker.h"
#include "settings/RegistrySettings.h"

namespace {
constexpr const char* kTitle = "ReportTitle";
constexpr const char* kSender = "ReportSender";
constexpr const char* kLogo = "ReportLogo";
constexpr const char* kEntryCharts = "ReportEntryCharts";
} // namespace

void CReportSettings::Load() {
    CRegistrySettings store;
    // "-" and an empty value read alike; a title set to nothing is stored as "-" and stays empty.
    if (store.StoredLength(maker::kProduct, kTitle) > 0)
        title = store.ReadString(maker::kProduct, kTitle);
    if (store.StoredLength(maker::kProduct, kSender) > 0)
        sender = store.ReadString(maker::kProduct, kSender);
    if (store.StoredLength(maker::kProduct, kLogo) > 0)
        logoPath = store.ReadString(maker::kProduct, kLogo);
    if (const int n = store.ReadInt(maker::kProduct, kEntryCharts); n != -1)
        entryCharts = n != 0;
}

void CReportSettings::Save() const {
    // Failures are silent, as for the other settings: the values stay in effect in memory.
    CRegistrySettings store;
    const auto text = [](const std::string& value) { return value.empty() ? "-" : value; };
    store.WriteString(maker::kProduct, kTitle, text(title));
    store.WriteString(maker::kProduct, kSender, text(sender));
    store.WriteString(maker::kProduct, kLogo, text(logoPath));
    store.WriteString(maker::kProduct, kEntryCharts, entryCharts ? "1" : "0");
}
