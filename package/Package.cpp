#include "Package.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <memory>
#include <system_error>

#include "LibFunc.h"
#include "LocalPath.h"
#include "PackageContents.h"
#include "Replace.h"

namespace kelmo {
namespace {

std::string Local(const QString& path) { return LocalPath(path); }

// A failure on the way, in the words of the library or the system.
class WriteFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

void WriteFolder(const std::vector<PackageFile>& files, const QString& target) {
    const QString temporary = TemporaryNameBeside(target);
    std::error_code error;
    if (!std::filesystem::create_directory(Local(temporary), error))
        throw WriteFailure(error ? error.message() : "exists");
    try {
        for (const PackageFile& file : files) {
            const QString path = QDir(temporary).filePath(file.Path);
            std::filesystem::create_directories(Local(QFileInfo(path).path()));
            WriteWholeFile(Local(path), file.Bytes);
        }
        RenameIntoPlace(temporary, target);
    } catch (const std::system_error& failure) {
        DeleteFolder(Local(temporary));
        if (failure.code() == std::errc::directory_not_empty ||
            failure.code() == std::errc::file_exists)
            throw WriteFailure("папка уже существует и не пуста");
        throw WriteFailure(failure.code().message());
    } catch (...) {
        DeleteFolder(Local(temporary));
        throw;
    }
}

struct ZipDiscard {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};

std::string ZipMessage(zip_t* zip) { return zip_error_strerror(zip_get_error(zip)); }

// The files into an archive at path; nothing stays at path when it fails.
void WriteZipFile(const std::vector<PackageFile>& files, const QString& path) {
    int code = 0;
    std::unique_ptr<zip_t, ZipDiscard> zip(
        zip_open(Local(path).c_str(), ZIP_CREATE | ZIP_EXCL, &code));
    if (!zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string message = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw WriteFailure(message);
    }
    for (const PackageFile& file : files) {
        // The bytes stay in files until the archive is closed.
        zip_source_t* source =
            zip_source_buffer(zip.get(), file.Bytes.data(), file.Bytes.size(), 0);
        if (!source) throw WriteFailure(ZipMessage(zip.get()));
        const zip_int64_t index =
            zip_file_add(zip.get(), file.Path.toLatin1().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            throw WriteFailure(ZipMessage(zip.get()));
        }
        if (file.Stored &&
            zip_set_file_compression(zip.get(), zip_uint64_t(index), ZIP_CM_STORE, 0) < 0)
            throw WriteFailure(ZipMessage(zip.get()));
    }
    if (zip_close(zip.get()) < 0) throw WriteFailure(ZipMessage(zip.get()));
    (void)zip.release();
}

void WriteZip(const std::vector<PackageFile>& files, const QString& target) {
    const QString temporary = TemporaryNameBeside(target);
    WriteZipFile(files, temporary);
    try {
        RenameIntoPlace(temporary, target);
    } catch (const std::system_error& failure) {
        throw WriteFailure(failure.code().message());
    }
}

}  // namespace

std::optional<PackageFormat> PackageFormatNamed(const QString& name) {
    if (name == QLatin1String("folder")) return PackageFormat::Folder;
    if (name == QLatin1String("zip")) return PackageFormat::Zip;
    if (name == QLatin1String("imscp")) return PackageFormat::ImsCp;
    if (name == QLatin1String("scorm12")) return PackageFormat::Scorm12;
    if (name == QLatin1String("moodlebook")) return PackageFormat::MoodleBook;
    if (name == QLatin1String("epub")) return PackageFormat::Epub;
    return std::nullopt;
}

PackageFormat PackageFormatFor(const QString& target) {
    if (target.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive)) return PackageFormat::Epub;
    return target.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive) ? PackageFormat::Zip
                                                                       : PackageFormat::Folder;
}

QStringList WritePackage(const PackageRequest& request, PackageFormat format, const QString& path) {
    const QString target = QDir::cleanPath(path);  // "pages/" names the folder, not a place in it
    const bool withManifest = format != PackageFormat::Folder && format != PackageFormat::Zip;
    const bool scorm = format == PackageFormat::Scorm12;
    QStringList notes;
    try {
        PackageContents contents = CollectContents(request, withManifest);
        if (format == PackageFormat::Epub) {
            WriteZip(EpubFiles(contents, request, notes), target);
            return notes;
        }
        if (format == PackageFormat::MoodleBook) MergeDeeperPages(contents, 2);
        const QStringList common = AddNavigation(contents, request, scorm);
        if (withManifest) {
            contents.Files.push_back({QStringLiteral("imsmanifest.xml"),
                                      ManifestXml(request, contents.Items, scorm, common)});
        }
        if (format == PackageFormat::Folder)
            WriteFolder(contents.Files, target);
        else
            WriteZip(contents.Files, target);
    } catch (const std::exception& error) {
        throw PackageError(QStringLiteral("Не удалось записать пакет \"%1\": %2")
                               .arg(target, QString::fromUtf8(error.what()))
                               .toStdString());
    }
    return notes;
}

}  // namespace kelmo
