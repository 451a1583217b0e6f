// The settings readers on any settings file a user could have edited by hand.

#include "settings/RegistrySettings.h"
#include "settings/SearchSettings.h"
#include "settings/ServiceAddresses.h"
#include "upgrade/UpgradeCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace {

const char* const kAppKey = "Tallowick!";
std::string g_file;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Never the user's own settings: a private folder for the whole run.
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    static QCoreApplication app(*argc, *argv);
    g_file = CRegistrySettings::Location(kAppKey);
    QDir().mkpath(QFileInfo(QString::fromStdString(g_file)).path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::FILE* f = std::fopen(g_file.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    // A new time stamp each round, so that a file of the same size is never taken as unchanged.
    static std::time_t stamp = 1000000000;
    ++stamp;
    const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    utimensat(AT_FDCWD, g_file.c_str(), times, 0);

    CRegistrySettings reg;
    for (const char* name : {"m_MaxPages", "UpgradeDate", "GoogleHost", "General/x", ""}) {
        const std::string value = reg.ReadString(kAppKey, name);
        if (value == "-" || value.size() >= CRegistrySettings::kReadLimit ||
            value.find('\0') != std::string::npos)
            std::abort();
        (void)reg.ReadInt(kAppKey, name);
    }
    CSearchSettings settings;
    settings.Load();
    for (int e = 0; e < kEngineCount; ++e) {
        if (EngineHost(SearchEngine(e)).empty())
            std::abort();
    }
    if (UpgradePageUrl().empty())
        std::abort();
    (void)upgrade::ParseCheckDate(reg.ReadString(kAppKey, upgrade::kDateValue));
    return 0;
}
