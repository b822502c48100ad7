#include "Replace.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <filesystem>
#include <system_error>

#include "LibFunc.h"

namespace kelmo {

namespace {
std::filesystem::path LocalPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}
}  // namespace

QString TemporaryNameBeside(const QString& target) {
    QString name;
    do {
        name =
            target + QStringLiteral(".part-") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    } while (QFile::exists(name) || QFileInfo(name).isSymLink());
    return name;
}

void RenameIntoPlace(const QString& temporary, const QString& target) {
    std::error_code error;
    std::filesystem::rename(LocalPath(temporary), LocalPath(target), error);
    if (!error) return;
    std::error_code ignored;
    if (!std::filesystem::is_directory(LocalPath(temporary), ignored))
        std::filesystem::remove(LocalPath(temporary), ignored);
    throw std::system_error(error);
}

void WriteFileReplacing(const QString& target, std::string_view bytes) {
    const QString temporary = TemporaryNameBeside(target);
    const std::string local = QFile::encodeName(temporary).toStdString();
    try {
        WriteWholeFile(local, bytes);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(local, ignored);
        throw;
    }
    try {
        RenameIntoPlace(temporary, target);
    } catch (const std::system_error& error) {
        throw IoError("Cannot create file \"" + QFile::encodeName(target).toStdString() + "\". " +
                      error.code().message());
    }
}

}  // namespace kelmo
