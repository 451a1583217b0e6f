#include "ui/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QQueue>

namespace tw {
namespace {
QQueue<QString> g_nextNames;
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& startDir,
                     const QString& initialName, const QString& filter,
                     const QString& defaultSuffix) {
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
} // namespace testing
} // namespace tw
