#include "Converter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "Charset1251.h"
#include "ConvertMessages.h"
#include "HtmlInput.h"
#include "WordApplication.h"
#include "WordFormat.h"

namespace kelmo {
namespace {

// Enough for the ZIP's first entries at the front and its central directory at the back,
// which list the part names that tell a word-processing document from other archives.
constexpr qint64 ProbeBytes = 64 * 1024;
constexpr qsizetype HtmlProbeBytes = 2048;

bool HasHtmlName(const QString& path) {
    for (const char* ending : {".htm", ".html", ".~ht"}) {
        if (path.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) return true;
    }
    return false;
}

[[noreturn]] void FailUnknownFormat(const QString& path) {
    FailConversion(QStringLiteral("Неизвестный формат файла %1: нужен документ Word (.doc, "
                                  ".docx), OpenDocument (.odt), RTF или HTML")
                       .arg(QuotedPath(path)));
}

// A name that promises a word-processing document.
bool HasDocumentName(const QString& path) {
    for (const char* ending : {".doc", ".docx", ".odt", ".rtf"}) {
        if (path.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) return true;
    }
    return false;
}

// Not what its name says: damaged when the name promises a document.
[[noreturn]] void FailUnknownOrDamaged(const QString& path) {
    if (HasDocumentName(path)) FailDamaged(path);
    FailUnknownFormat(path);
}

InputKind RecognizeZip(const QString& path, const QByteArray& front, const QByteArray& back) {
    // An OpenDocument package stores "mimetype" first and uncompressed.
    if (front.mid(30, 8) == "mimetype") {
        if (front.mid(38).startsWith("application/vnd.oasis.opendocument.text"))
            return InputKind::Odt;
        FailUnknownFormat(path);  // a spreadsheet or a presentation
    }
    if (front.contains("word/") || back.contains("word/")) return InputKind::Docx;
    for (const char* other : {"xl/", "ppt/"})
        if (front.contains(other) || back.contains(other)) FailUnknownFormat(path);
    FailUnknownOrDamaged(path);
}

InputKind RecognizeOle(const QString& path, QIODevice& file) {
    switch (ProbeOle(file)) {
        case OleContent::Encrypted:
            FailPassword(path);
        case OleContent::Spreadsheet:
            FailConversion(QStringLiteral("Файл %1 — таблица Excel, а не текстовый документ")
                               .arg(QuotedPath(path)));
        case OleContent::Presentation:
            FailConversion(QStringLiteral("Файл %1 — презентация PowerPoint, а не текстовый "
                                          "документ")
                               .arg(QuotedPath(path)));
        case OleContent::Other:
            FailUnknownFormat(path);
        default:
            // Word, or a structure too damaged to read: LibreOffice has the last word.
            return InputKind::Doc;
    }
}

// Markup that opens with a tag and names itself HTML near the top, in UTF-8, UTF-16 or a
// single-byte code page.
bool LooksLikeHtml(const QByteArray& front) {
    const QByteArray head = front.left(HtmlProbeBytes);
    QString text;
    const char* utf16 = Utf16WithoutMark(std::string_view(head.constData(), head.size()));
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || utf16) {
        const bool little = utf16 ? std::string_view(utf16) == "utf-16le" : head.startsWith("\xFF");
        text = QStringDecoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE)(head);
    } else {
        text = QString::fromLatin1(head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head);
    }
    text = text.trimmed().toLower();
    if (text.startsWith(QChar(0xFEFF))) text = text.mid(1).trimmed();
    return text.startsWith(QLatin1Char('<')) && (text.contains(QLatin1String("<html")) ||
                                                 text.contains(QLatin1String("<!doctype html")));
}

// Opens path unbuffered, so that after the probe the descriptor stands right behind the bytes
// read, and returns its first ProbeBytes. A file larger than maxDocumentMb is not opened.
QByteArray OpenAndProbe(const QString& path, QFile& file, int maxDocumentMb) {
    const QFileInfo info(path);
    if (!info.exists()) FailConversion(QStringLiteral("Файл %1 не найден").arg(QuotedPath(path)));
    if (info.isDir()) {
        FailConversion(QStringLiteral("%1 — это папка, а не документ").arg(QuotedPath(path)));
    }
    if (maxDocumentMb > 0 && info.size() > qint64(maxDocumentMb) * 1024 * 1024) {
        FailConversion(QStringLiteral("Файл %1 слишком велик: %2 МБ, предел %3 МБ")
                           .arg(QuotedPath(path))
                           .arg((info.size() + 1024 * 1024 - 1) / (1024 * 1024))
                           .arg(maxDocumentMb));
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        FailConversion(QStringLiteral("Не удалось прочитать файл %1: %2")
                           .arg(QuotedPath(path), file.errorString()));
    }
    return file.read(ProbeBytes);
}

// A web page leaves the file where the probe ended.
InputKind Recognize(const QString& path, QFile& file, const QByteArray& front) {
    // A document is known by its content first, whatever its name.
    if (front.startsWith(QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))) {
        return RecognizeOle(path, file);
    }
    if (front.startsWith("{\\rtf")) return InputKind::Rtf;
    if (front.startsWith("PK\x03\x04")) {
        QByteArray back;
        if (file.size() > ProbeBytes && file.seek(file.size() - ProbeBytes)) {
            back = file.read(ProbeBytes);
        }
        return RecognizeZip(path, front, back);
    }
    if (HasHtmlName(path) || LooksLikeHtml(front)) return InputKind::Html;
    if (front.isEmpty()) FailConversion(QStringLiteral("Файл %1 пуст").arg(QuotedPath(path)));
    FailUnknownOrDamaged(path);
}

}  // namespace

InputKind RecognizeInput(const QString& path, int maxDocumentMb) {
    QFile file;
    const QByteArray front = OpenAndProbe(path, file, maxDocumentMb);
    return Recognize(path, file, front);
}

InputDocument ReadInput(const QString& path, int maxDocumentMb) {
    QFile file;
    QByteArray front = OpenAndProbe(path, file, maxDocumentMb);
    InputDocument document{Recognize(path, file, front), {}};
    if (document.Kind == InputKind::Html) {
        document.Html.assign(front.constData(), std::size_t(front.size()));
        front.clear();
        ReadRestOfFile(file.handle(), LocalPath(path), document.Html);
    }
    return document;
}

namespace {

bool SameFile(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

void CopyPictureFolders(const QString& htmlPath, const QString& targetFolder) {
    const QFileInfo html(htmlPath);
    for (const QString& suffix : {QStringLiteral(".files"), QStringLiteral("_files")}) {
        const QString name = html.completeBaseName() + suffix;
        const QFileInfo folder(html.dir().filePath(name));
        if (!folder.isDir() || folder.isSymLink()) continue;
        // The input lies in the target folder: its pictures are there already.
        if (folder.canonicalPath() == QFileInfo(targetFolder).canonicalFilePath()) continue;
        try {
            CopyFolder(LocalPath(folder.filePath()), LocalPath(QDir(targetFolder).filePath(name)));
        } catch (const IoError& error) {
            FailConversion(
                QStringLiteral("Не удалось скопировать папку %1: %2")
                    .arg(QuotedPath(folder.filePath()), QString::fromLocal8Bit(error.what())));
        }
    }
}

void ConvertDocument(const QString& documentPath, const QString& outputHtml,
                     const ConvertOptions& options) {
    InputDocument document = ReadInput(documentPath, options.MaxDocumentMb);
    if (document.Kind == InputKind::Html) {
        ImportHtml(documentPath, std::move(document.Html), outputHtml);
        return;
    }
    if (SameFile(documentPath, outputHtml)) {
        FailConversion(QStringLiteral("Результат нельзя записать поверх документа %1")
                           .arg(QuotedPath(documentPath)));
    }

    WordApplication word(options);
    word.Connect();
    word.DocumentsOpen(documentPath, document.Kind);
    word.ActiveDocumentSaveAs(outputHtml);
    word.ActiveDocumentClose();
    word.Quit();
    word.Disconnect();
}

}  // namespace kelmo
