#include "WordApplication.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <filesystem>
#include <string>
#include <system_error>

#include "Charset1251.h"
#include "ConvertMessages.h"
#include "OfficeLaunch.h"
#include "OfficeProcess.h"
#include "OfficeProfile.h"
#include "OfficeSession.h"
#include "PictureTexts.h"
#include "ProcessGroup.h"
#include "WordFormat.h"

namespace kelmo {
namespace {

constexpr int StopGraceMs = 2000;
const QString StagedBaseName = QStringLiteral("i");
const QString ConvertedName = QStringLiteral("i.html");

QString StagedExtension(InputKind kind) {
    switch (kind) {
        case InputKind::Doc:
            return QStringLiteral(".doc");
        case InputKind::Docx:
            return QStringLiteral(".docx");
        case InputKind::Odt:
            return QStringLiteral(".odt");
        case InputKind::Rtf:
            return QStringLiteral(".rtf");
        case InputKind::Html:
            break;
    }
    return QStringLiteral(".htm");
}

QString WithoutTrailingDotsAndBlanks(QString text) {
    while (!text.isEmpty() && (text.back() == QLatin1Char('.') || text.back().isSpace())) {
        text.chop(1);
    }
    return text;
}

// The line of the converter's output that explains a failure: an "Error" line first,
// otherwise the first line that is not routine chatter. Empty when it said nothing.
QString ConverterWords(const QByteArray& said) {
    QString firstOther;
    const QStringList lines = QString::fromUtf8(said).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = WithoutTrailingDotsAndBlanks(raw.trimmed());
        if (line.isEmpty() || line.startsWith(QLatin1String("convert ")) ||
            line.contains(QLatin1String("javaldx"))) {
            continue;
        }
        if (line.startsWith(QLatin1String("Error"), Qt::CaseInsensitive)) return line;
        if (firstOther.isEmpty()) firstOther = line;
    }
    return firstOther;
}

// True when nothing, not even a dangling link, holds path.
bool IsFree(const QString& path) {
    std::error_code error;
    return !std::filesystem::exists(std::filesystem::symlink_status(LocalPath(path), error));
}

// True for two regular files with the same bytes; a link or a FIFO is never opened.
bool SameBytes(const QString& a, const QString& b) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(LocalPath(b), error)))
        return false;
    try {
        return ReadWholeFile(LocalPath(a)) == ReadWholeFile(LocalPath(b));
    } catch (const IoError&) {
        return false;
    }
}

// A name in folder that no file holds yet, made from name by a numeric suffix.
QString FreeName(const QDir& folder, const QString& name) {
    const QFileInfo info(name);
    const QString stem = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1_%2%3").arg(stem).arg(n).arg(suffix);
        if (IsFree(folder.filePath(candidate))) return candidate;
    }
}

void ReplaceAll(std::string& html, const std::string& from, const std::string& to) {
    for (std::size_t at = html.find(from); at != std::string::npos;
         at = html.find(from, at + to.size())) {
        html.replace(at, from.size(), to);
    }
}

void ReplaceQuoted(std::string& html, const QString& oldName, const QString& newName) {
    ReplaceAll(html, '"' + oldName.toStdString() + '"', '"' + newName.toStdString() + '"');
}

// A field showing the document's path (FILENAME with its path) names the author's file,
// not the private copy that LibreOffice opened, whose folder differs from run to run; a
// LibreOffice with a /tmp of its own saw that copy under another path.
void NameAuthorsFile(std::string& html, const QString& staged, const QString& document) {
    const auto text = [](const QString& path) { return path.toHtmlEscaped().toStdString(); };
    const std::string authors = text(QFileInfo(document).absoluteFilePath());
    const QString seen = QFile::decodeName(
        SeenInTmpNamespace(LocalPath(QFileInfo(staged).canonicalFilePath())).c_str());
    for (const QString& copy : {seen, staged}) ReplaceAll(html, text(copy), authors);
}

// Copies every picture of the export beside the output. Whatever is already there under a
// picture's name (another file, a link, a FIFO) is kept: the picture takes a free name and
// the references follow it.
void MovePictures(const QDir& from, const QDir& to, std::string& html) {
    const QStringList names = from.entryList(QDir::Files);
    for (const QString& name : names) {
        if (name == ConvertedName) continue;
        const QString source = from.filePath(name);
        QString target = name;
        if (!IsFree(to.filePath(name))) {
            if (SameBytes(source, to.filePath(name))) continue;
            target = FreeName(to, name);
            ReplaceQuoted(html, name, target);
        }
        WriteFileOrFail(to.filePath(target), ReadFileOrFail(source));
    }
}

}  // namespace

WordApplication::WordApplication(ConvertOptions options) : options_(std::move(options)) {}

WordApplication::~WordApplication() {
    Quit();
    Disconnect();
}

void WordApplication::Connect() {
    program_ = FindOffice(options_.Program);
    privateDir_ = MakePrivateFolder(
        QDir::tempPath() +
            QStringLiteral("/kelmo-convert-%1-XXXXXX").arg(QCoreApplication::applicationPid()),
        {QStringLiteral("in"), QStringLiteral("out")});
    heldFolder_ = HoldFolder(LocalPath(privateDir_->path()));
}

void WordApplication::DocumentsOpen(const QString& documentPath, InputKind kind) {
    documentPath_ = documentPath;
    kind_ = kind;
    stagedDocument_ = QDir(privateDir_->path())
                          .filePath(QStringLiteral("in/") + StagedBaseName + StagedExtension(kind));
    std::string bytes = ReadFileOrFail(documentPath);
    if (kind == InputKind::Rtf) UnlinkIncludedPictures(bytes);
    WriteFileOrFail(stagedDocument_, bytes);
    QFile::setPermissions(stagedDocument_, QFile::ReadOwner | QFile::WriteOwner);
}

QString WordApplication::OutputFolder() const {
    return QDir(privateDir_->path()).filePath(QStringLiteral("out"));
}

QStringList WordApplication::ConverterArguments() const {
    QStringList arguments = options_.ExtraArguments;
    arguments << QStringLiteral("-env:UserInstallation=") +
                     QUrl::fromLocalFile(profile_.Dir).toString(QUrl::FullyEncoded)
              << QStringLiteral("--headless") << QStringLiteral("--norestore")
              << QStringLiteral("--nologo") << QStringLiteral("--nodefault");
    const QString filter = ImportFilterFor(stagedDocument_, kind_);
    if (!filter.isEmpty()) arguments << QStringLiteral("--infilter=") + filter;
    arguments << QStringLiteral("--convert-to") << QStringLiteral("html:HTML (StarWriter)")
              << QStringLiteral("--outdir") << OutputFolder() << stagedDocument_;
    return arguments;
}

void WordApplication::ActiveDocumentSaveAs(const QString& outputHtml, int fileFormat) {
    if (fileFormat != HtmlFormat) {
        FailConversion(QStringLiteral("Неизвестный формат сохранения %1").arg(fileFormat));
    }
    if (!options_.Session ||
        options_.Session->SaveAsHtml(stagedDocument_, QDir(OutputFolder()).filePath(ConvertedName),
                                     documentPath_, options_.TimeoutMs,
                                     options_.Progress) == OfficeSession::Outcome::NotLoaded) {
        // Only now: a session may hold the shared profile meanwhile.
        profile_ = HoldProfile(options_.ProfileDir, privateDir_->path(), program_);
        RunConverter(ConverterArguments());
    }

    const QString status =
        !process_ ? QStringLiteral("LibreOffice")
        : process_->exitStatus() == QProcess::CrashExit
            ? QStringLiteral("LibreOffice завершился аварийно")
            : QStringLiteral("LibreOffice завершился с кодом %1").arg(process_->exitCode());
    const QDir converted(OutputFolder());
    const QFileInfo result(converted.filePath(ConvertedName));
    if (!result.isFile()) FailWithConverterWords(status + QStringLiteral(", HTML-файл не создан"));
    if (result.size() == 0) FailWithConverterWords(status + QStringLiteral(", HTML-файл пуст"));

    std::string html = ReadFileOrFail(result.filePath());
    NameAuthorsFile(html, stagedDocument_, documentPath_);
    MovePictures(converted, QFileInfo(outputHtml).absoluteDir(), html);
    WriteFileOrFail(outputHtml, DeclareWindows1251(Utf8ToWindows1251(WithPictureTexts(html))));
}

void WordApplication::ActiveDocumentClose() {
    if (!stagedDocument_.isEmpty()) QFile::remove(stagedDocument_);
    stagedDocument_.clear();
}

void WordApplication::Quit() noexcept { StopConverter(); }

void WordApplication::Disconnect() noexcept {
    profile_ = {};
    privateDir_.reset();
    if (heldFolder_ >= 0) ::close(heldFolder_);
    heldFolder_ = -1;
}

void WordApplication::RunConverter(const QStringList& arguments) {
    process_ = std::make_unique<QProcess>();
    process_->setProgram(program_);
    process_->setArguments(arguments);
    process_->setStandardInputFile(QProcess::nullDevice());
    // LibreOffice's own temporary files go into our private folder, which goes at the end
    // whatever way LibreOffice ends.
    QStringList environment;
    for (const std::string& line : OfficeEnvironment(privateDir_->path()))
        environment << QFile::decodeName(line.c_str());
    process_->setEnvironment(environment);
    // Its own session, so that the launcher's children can be ended with it; its sockets
    // for this user alone; its memory bounded.
    const rlim_t memory = rlim_t(qMax(options_.OfficeMemoryMb, 0)) * 1024 * 1024;
    process_->setChildProcessModifier([memory] {
        ::setsid();
        ::umask(077);
        if (memory > 0) {
            const rlimit limit{memory, memory};
            ::setrlimit(RLIMIT_AS, &limit);
        }
    });
    process_->start();
    if (!process_->waitForStarted(-1)) {
        FailOfficeStart(program_, process_->errorString());
    }
    processGroup_ = process_->processId();

    WaitWithProgress(
        [this](int stepMs) {
            return process_->waitForFinished(stepMs) || process_->state() == QProcess::NotRunning;
        },
        options_.TimeoutMs, options_.Progress, [this] { StopConverter(); });
    said_ = process_->readAllStandardError() + '\n' + process_->readAllStandardOutput();
    StopConverter();  // whatever the launcher left behind
}

void WordApplication::StopConverter() noexcept {
    const bool groupGone = processGroup_ <= 0 || EndProcessGroup(processGroup_, StopGraceMs);
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(StopGraceMs);
    }
    // Forgotten once gone, so that a later stop cannot reach a reused group id.
    if (groupGone && (!process_ || process_->state() == QProcess::NotRunning)) processGroup_ = 0;
}

void WordApplication::FailWithConverterWords(const QString& fallback) const {
    QString words = ConverterWords(said_);
    // LibreOffice's own words for a file it cannot read, in the user's language.
    if (words.contains(QLatin1String("source file could not be loaded"), Qt::CaseInsensitive))
        words = QStringLiteral(
            "LibreOffice не смог его прочитать: файл повреждён или в формате, "
            "которого LibreOffice не знает. Откройте его в текстовом "
            "редакторе и сохраните заново как .docx или .odt");
    FailConversion(QStringLiteral("Не удалось преобразовать документ %1: %2")
                       .arg(QuotedPath(documentPath_), words.isEmpty() ? fallback : words));
}

}  // namespace kelmo
