#include "WordApplication.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <string>

#include "Charset1251.h"
#include "ConvertMessages.h"
#include "OfficeProfile.h"
#include "OfficeSession.h"
#include "ProcessGroup.h"

namespace kelmo {
namespace {

constexpr int ProgressStepMs = 100;
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

QString TimeoutText(int timeoutMs) {
    if (timeoutMs % 1000 == 0) return QStringLiteral("%1 с").arg(timeoutMs / 1000);
    return QStringLiteral("%1 мс").arg(timeoutMs);
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

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        FailConversion(QStringLiteral("Не удалось прочитать файл %1: %2")
                           .arg(QuotedPath(path), file.errorString()));
    }
    return file.readAll();
}

void WriteWhole(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) &&
                         file.commit();
    if (!written) {
        FailConversion(QStringLiteral("Не удалось записать файл %1: %2")
                           .arg(QuotedPath(path), file.errorString()));
    }
}

bool SameBytes(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.size() == fb.size() &&
           fa.readAll() == fb.readAll();
}

// A name in folder that no file holds yet, made from name by a numeric suffix.
QString FreeName(const QDir& folder, const QString& name) {
    const QFileInfo info(name);
    const QString stem = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1_%2%3").arg(stem).arg(n).arg(suffix);
        if (!folder.exists(candidate)) return candidate;
    }
}

void ReplaceQuoted(std::string& html, const QString& oldName, const QString& newName) {
    const std::string from = '"' + oldName.toStdString() + '"';
    const std::string to = '"' + newName.toStdString() + '"';
    for (std::size_t at = html.find(from); at != std::string::npos;
         at = html.find(from, at + to.size())) {
        html.replace(at, from.size(), to);
    }
}

// Moves every picture of the export beside the output. A file already there with other
// bytes is kept: the picture takes a free name and the references follow it.
void MovePictures(const QDir& from, const QDir& to, std::string& html) {
    const QStringList names = from.entryList(QDir::Files);
    for (const QString& name : names) {
        if (name == ConvertedName) continue;
        const QString source = from.filePath(name);
        QString target = name;
        if (to.exists(name)) {
            if (SameBytes(source, to.filePath(name))) continue;
            target = FreeName(to, name);
            ReplaceQuoted(html, name, target);
        }
        QFile picture(source);
        if (!picture.rename(to.filePath(target))) {
            FailConversion(QStringLiteral("Не удалось записать файл %1: %2")
                               .arg(QuotedPath(to.filePath(target)), picture.errorString()));
        }
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
    privateDir_ =
        std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kelmo-convert-XXXXXX"));
    const QDir privateDir(privateDir_->path());
    if (!privateDir_->isValid() || !privateDir.mkdir(QStringLiteral("in")) ||
        !privateDir.mkdir(QStringLiteral("out")) || !privateDir.mkdir(QStringLiteral("tmp"))) {
        FailConversion(QStringLiteral("Не удалось создать временную папку для преобразования: %1")
                           .arg(privateDir_->errorString()));
    }
}

// Only when the one-shot process runs: a session may hold the shared profile meanwhile.
void WordApplication::ChooseProfile() {
    // A profile serves one instance at a time; while another conversion holds ours, a
    // throwaway one keeps the two from meeting.
    profileDir_ = options_.ProfileDir.isEmpty() ? DefaultProfileDir() : options_.ProfileDir;
    if (!profileDir_.isEmpty()) {
        profileLock_ = std::make_unique<QLockFile>(profileDir_ + QStringLiteral(".lock"));
        profileLock_->setStaleLockTime(0);
        if (!QDir().mkpath(profileDir_) || !profileLock_->tryLock(0)) profileLock_.reset();
    }
    if (!profileLock_) profileDir_ = QDir(privateDir_->path()).filePath(QStringLiteral("profile"));
    WriteProfileSettings(profileDir_);
}

void WordApplication::DocumentsOpen(const QString& documentPath, InputKind kind) {
    documentPath_ = documentPath;
    kind_ = kind;
    stagedDocument_ = QDir(privateDir_->path())
                          .filePath(QStringLiteral("in/") + StagedBaseName + StagedExtension(kind));
    QFile document(documentPath);
    if (!document.copy(stagedDocument_)) {
        FailConversion(QStringLiteral("Не удалось прочитать файл %1: %2")
                           .arg(QuotedPath(documentPath), document.errorString()));
    }
    QFile::setPermissions(stagedDocument_, QFile::ReadOwner | QFile::WriteOwner);
}

QString WordApplication::OutputFolder() const {
    return QDir(privateDir_->path()).filePath(QStringLiteral("out"));
}

QStringList WordApplication::ConverterArguments() const {
    QStringList arguments = options_.ExtraArguments;
    arguments << QStringLiteral("-env:UserInstallation=") +
                     QUrl::fromLocalFile(profileDir_).toString(QUrl::FullyEncoded)
              << QStringLiteral("--headless") << QStringLiteral("--norestore")
              << QStringLiteral("--nologo") << QStringLiteral("--nodefault");
    if (kind_ == InputKind::Doc) arguments << QStringLiteral("--infilter=MS Word 97");
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
        ChooseProfile();
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

    const QByteArray utf8 = ReadWhole(result.filePath());
    std::string html(utf8.constData(), std::size_t(utf8.size()));
    MovePictures(converted, QFileInfo(outputHtml).absoluteDir(), html);
    WriteWhole(outputHtml, DeclareWindows1251(Utf8ToWindows1251(html)));
}

void WordApplication::ActiveDocumentClose() {
    if (!stagedDocument_.isEmpty()) QFile::remove(stagedDocument_);
    stagedDocument_.clear();
}

void WordApplication::Quit() noexcept { StopConverter(); }

void WordApplication::Disconnect() noexcept {
    profileLock_.reset();
    privateDir_.reset();
}

void WordApplication::RunConverter(const QStringList& arguments) {
    process_ = std::make_unique<QProcess>();
    process_->setProgram(program_);
    process_->setArguments(arguments);
    process_->setStandardInputFile(QProcess::nullDevice());
    // LibreOffice's own temporary files go into our private folder, which goes at the end
    // whatever way LibreOffice ends.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"),
                       QDir(privateDir_->path()).filePath(QStringLiteral("tmp")));
    const QString home = environment.value(QStringLiteral("HOME"));
    if (home.isEmpty() || QDir(home).isRoot()) {
        environment.insert(QStringLiteral("HOME"), privateDir_->path());
    }
    process_->setProcessEnvironment(environment);
    // Its own session, so that the launcher's children can be ended with it.
    process_->setChildProcessModifier([] { ::setsid(); });
    process_->start();
    if (!process_->waitForStarted(-1)) {
        FailConversion(QStringLiteral("Не удалось запустить LibreOffice (%1): %2")
                           .arg(QDir::toNativeSeparators(program_), process_->errorString()));
    }
    processGroup_ = process_->processId();

    QElapsedTimer clock;
    clock.start();
    while (!process_->waitForFinished(ProgressStepMs) &&
           process_->state() != QProcess::NotRunning) {
        const qint64 elapsed = clock.elapsed();
        if (options_.TimeoutMs > 0 && elapsed >= options_.TimeoutMs) {
            StopConverter();
            FailConversion(QStringLiteral("Преобразование прервано: прошло больше %1")
                               .arg(TimeoutText(options_.TimeoutMs)));
        }
        if (options_.Progress) options_.Progress(int(elapsed));
    }
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
    const QString words = ConverterWords(said_);
    FailConversion(QStringLiteral("Не удалось преобразовать документ %1: %2")
                       .arg(QuotedPath(documentPath_), words.isEmpty() ? fallback : words));
}

}  // namespace kelmo
