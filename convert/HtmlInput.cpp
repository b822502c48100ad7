#include "HtmlInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include "AsciiText.h"
#include "Charset1251.h"
#include "Converter.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view ReferenceAttributes[] = {"src=", "href=", "background="};

bool IsAttributeStart(std::string_view html, std::size_t at) {
    return at > 0 && static_cast<unsigned char>(html[at - 1]) <= ' ';
}

// The attribute value that begins at html[at], quoted or not.
std::string_view AttributeValue(std::string_view html, std::size_t at) {
    if (at >= html.size()) return {};
    const char quote = html[at];
    if (quote == '"' || quote == '\'') {
        const std::size_t end = html.find(quote, at + 1);
        return end == std::string_view::npos ? std::string_view()
                                             : html.substr(at + 1, end - at - 1);
    }
    std::size_t end = at;
    while (end < html.size() && static_cast<unsigned char>(html[end]) > ' ' && html[end] != '>') {
        ++end;
    }
    return html.substr(at, end - at);
}

// The local path a reference names, or empty for one that cannot name a file inside the
// page's folder.
QString LocalPath(std::string_view value) {
    QByteArray reference(value.data(), qsizetype(value.size()));
    reference = reference.trimmed().replace("&amp;", "&");
    for (const char stop : {'?', '#'}) {
        const qsizetype at = reference.indexOf(stop);
        if (at >= 0) reference.truncate(at);
    }
    const qsizetype colon = reference.indexOf(':');
    const qsizetype slash = reference.indexOf('/');
    const bool hasScheme = colon >= 0 && (slash < 0 || colon < slash);
    if (reference.isEmpty() || hasScheme || reference.startsWith('/') ||
        reference.startsWith('\\')) {
        return {};
    }
    return QFile::decodeName(QByteArray::fromPercentEncoding(reference));
}

// True when a part of path below folder (folder itself excluded) is a symbolic link.
bool PassesThroughLink(const QString& folder, const QString& path) {
    for (QString part = QFileInfo(path).path(); part.size() > folder.size();
         part = QFileInfo(part).path()) {
        if (QFileInfo(part).isSymLink()) return true;
    }
    return QFileInfo(path).isSymLink();
}

void CopyReferencedFile(const QDir& from, const QDir& to, const QString& relative,
                        const QString& outputHtml) {
    const QString source = QDir::cleanPath(from.absoluteFilePath(relative));
    const QString inside = from.canonicalPath() + QLatin1Char('/');
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile() || !sourceInfo.canonicalFilePath().startsWith(inside)) return;
    const QString cleanRelative = from.relativeFilePath(source);
    if (cleanRelative.startsWith(QLatin1String("../"))) return;
    const QString target = QDir::cleanPath(to.absoluteFilePath(cleanRelative));
    const QFileInfo targetInfo(target);
    if (target == QFileInfo(outputHtml).absoluteFilePath() ||
        (targetInfo.exists() && targetInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())) {
        return;
    }
    if (PassesThroughLink(to.absolutePath(), target) || !QDir().mkpath(targetInfo.path())) return;
    WriteWholeFile(QFile::encodeName(target).toStdString(),
                   ReadWholeFile(QFile::encodeName(sourceInfo.canonicalFilePath()).toStdString()));
}

}  // namespace

QStringList LocalReferences(std::string_view html) {
    QStringList references;
    QSet<QString> seen;
    for (std::size_t at = html.find('='); at != std::string_view::npos;
         at = html.find('=', at + 1)) {
        for (const std::string_view attribute : ReferenceAttributes) {
            if (at + 1 < attribute.size()) continue;
            const std::size_t start = at + 1 - attribute.size();
            if (!StartsWithNoCase(html, start, attribute) || !IsAttributeStart(html, start)) {
                continue;
            }
            const QString path = LocalPath(AttributeValue(html, at + 1));
            if (!path.isEmpty() && !seen.contains(path)) {
                seen.insert(path);
                references << path;
            }
        }
    }
    return references;
}

void ImportHtml(const QString& htmlPath, const QString& outputHtml) {
    const QFileInfo input(htmlPath);
    const QFileInfo output(outputHtml);
    if (input.canonicalFilePath() == output.canonicalFilePath()) return;
    const std::string bytes = ReadWholeFile(QFile::encodeName(htmlPath).toStdString());
    // The picture folders first: an output folder inside one of them is refused before
    // anything is written.
    CopyPictureFolders(htmlPath, output.absolutePath());
    WriteWholeFile(QFile::encodeName(outputHtml).toStdString(), HtmlAsWindows1251(bytes));

    const QDir from(input.absolutePath());
    const QDir to(output.absolutePath());
    for (const QString& relative : LocalReferences(bytes)) {
        CopyReferencedFile(from, to, relative, outputHtml);
    }
}

}  // namespace kelmo
