#include "WorkFolder.h"

#include <QDir>
#include <QFileInfo>
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

}  // namespace kelmo
