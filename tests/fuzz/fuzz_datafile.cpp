// The entry list file reader on any file, and the writer's round trip of what it read.

#include "data/DataFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

namespace {

QString g_path;

bool IsResultColumn(int col) {
    return col >= EngineColumn(Google) && col <= EngineColumn(LookSmart);
}

// Rows read back from what was written: the same, except that an empty result reads as "-".
void CheckReadBack(const std::vector<EntryRow>& written, const std::vector<EntryRow>& read) {
    if (read.size() != written.size())
        std::abort();
    for (std::size_t r = 0; r < read.size(); ++r) {
        for (int c = 0; c < kColumnCount; ++c) {
            const std::string& w = written[r].cells[c];
            const std::string& x = read[r].cells[c];
            if (x != w && !(IsResultColumn(c) && w.empty() && x == "-"))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    g_path = dir.filePath(QString::fromLatin1(datafile::kFileName));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<EntryRow> rows = datafile::ParseEntries(bytes);
    if (rows.size() > size / 2 + 1)
        std::abort();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].cells[ColNumber] != std::to_string(r + 1))
            std::abort();
        for (const std::string& cell : rows[r].cells) {
            if (cell.find('\n') != std::string::npos)
                std::abort();
        }
    }

    // Written and read again through the file, twice: the second round changes nothing.
    QString error;
    if (!datafile::SaveEntries(g_path, rows, &error))
        std::abort();
    std::vector<EntryRow> again;
    if (!datafile::LoadEntries(g_path, again, &error))
        std::abort();
    CheckReadBack(rows, again);
    if (datafile::FormatEntries(datafile::ParseEntries(datafile::FormatEntries(again))) !=
        datafile::FormatEntries(again))
        std::abort();
    return 0;
}
