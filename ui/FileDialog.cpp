#include "ui/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QQueue>
#include <QStandardPaths>

namespace tw {
namespace {
QQueue<QString> g_nextNames;
QString g_lastStartDir;

bool within(const QString& path, const QString& folder) {
    const QString f = QDir::cleanPath(folder);
    const QString p = QDir::cleanPath(path);
    return !f.isEmpty() && (p == f || p.startsWith(f.endsWith(QLatin1Char('/')) ? f : f + '/'));
}
} // namespace

QString exportFolder(const QString& startDir) {
    if (!startDir.isEmpty() && QFileInfo(startDir).isDir()) {
        const QString real = QFileInfo(startDir).canonicalFilePath();
        const QString temp = QFileInfo(QDir::tempPath()).canonicalFilePath();
        if (!within(real, temp) && !within(startDir, QDir::tempPath()))
            return startDir;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return QDir::homePath();
    // The folder is the desktop's convention; without it the dialog would fall back to the
    // working folder.
    QDir().mkpath(documents);
    return documents;
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& startDir,
                     const QString& initialName, const QString& filter,
                     const QString& defaultSuffix) {
    g_lastStartDir = startDir;
    if (!g_nextNames.isEmpty())
        return g_nextNames.dequeue();
    QFileDialog dlg(parent, caption, startDir, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(defaultSuffix);
    dlg.selectFile(initialName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(dlg.selectedFiles().first()).absoluteFilePath());
}

QString openFileName(QWidget* parent, const QString& caption, const QString& startDir,
                     const QString& filter) {
    g_lastStartDir = startDir;
    if (!g_nextNames.isEmpty())
        return g_nextNames.dequeue();
    QFileDialog dlg(parent, caption, startDir, filter);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(dlg.selectedFiles().first()).absoluteFilePath());
}

namespace testing {
void setNextFileName(const QString& name) {
    g_nextNames.enqueue(name);
}

QString lastStartDir() {
    return g_lastStartDir;
}
} // namespace testing
} // namespace tw
