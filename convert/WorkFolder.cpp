#include "WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

namespace kelmo {

QString NewSessionName() {
    const QUuid id = QUuid::createUuid();
    if (id.isNull()) return QStringLiteral("temp");
    return id.toString(QUuid::WithBraces).toUpper().mid(1, 12);
}

QString DocumentFolder(const QString& documentPath) {
    const QString path = QDir::fromNativeSeparators(documentPath);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QStringLiteral(".");
    if (slash == 0) return QStringLiteral("/");
    return path.left(slash);
}

WorkFolder MakeWorkFolder(const QString& documentFolder, const QString& sessionName) {
    QString folder = documentFolder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    folder += sessionName;

    const QFileInfo info(folder);
    if (info.isDir()) return {folder, false};
    if (!info.exists() && QDir().mkdir(folder)) return {folder, true};
    throw WorkFolderError(
        (QStringLiteral("Невозможно создать ") + QDir::toNativeSeparators(folder)).toStdString());
}

QString FallbackWorkRoot() {
    if (QCoreApplication::applicationName().isEmpty())
        return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
               QStringLiteral("/kelmo-preview/work");
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/work");
}

WorkFolder MakeWorkFolderOrElsewhere(const QString& documentFolder, const QString& sessionName,
                                     const QString& fallbackRoot) {
    try {
        return MakeWorkFolder(documentFolder, sessionName);
    } catch (const WorkFolderError&) {
        // A missing folder, or a file in the folder's place, is not a read-only folder.
        const QDir beside(documentFolder);
        if (fallbackRoot.isEmpty() || !beside.exists() ||
            QFileInfo(beside.filePath(sessionName)).exists() || !QDir().mkpath(fallbackRoot))
            throw;
        WorkFolder made = MakeWorkFolder(fallbackRoot, sessionName);
        made.Elsewhere = true;
        return made;
    }
}

}  // namespace kelmo
