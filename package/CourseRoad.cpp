#include "CourseRoad.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <memory>
#include <vector>

#include "LibFunc.h"
#include "OfficePool.h"

namespace kelmo {
namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Converts the material into folder; its document's own title (plain text), or empty.
QString ConvertMaterial(const Material& material, const QString& folder,
                        const ConvertOptions& options) {
    QDir().mkpath(folder);
    const QString exported = QDir(folder).filePath(QStringLiteral("i.~ht"));
    try {
        ConvertDocument(material.Document, exported, options);
    } catch (...) {
        QDir().rmdir(folder);  // only when nothing was written into it
        throw;
    }
    std::string html = LoadTextFile(Local(exported));
    std::string docTitle;
    CleanWordHtml(docTitle, html);
    WriteCleanDocument(Local(QDir(folder).filePath(QStringLiteral("clear.~ht"))), docTitle, html);
    const auto table = std::make_unique<HeadingTable>();
    if (SplitIntoPages(*table, Local(folder), html) == SplitResult::TooManyHeadings) {
        throw CourseError(QStringLiteral("%1: %2")
                              .arg(material.Document, QString::fromStdString(HeadingLimitMessage()))
                              .toStdString());
    }
    WriteOutline(*table, Local(folder), material.Numbers);
    HtmlToPlainText(docTitle);
    return QString::fromStdString(Windows1251ToUtf8(docTitle));
}

// The material's outline lines one level down, its line with its first page on top.
void AppendMaterialOutline(const QString& title, const QString& folder, const QString& subfolder,
                           Outline& outline) {
    const std::string titles = LoadTextFile(Local(QDir(folder).filePath("Titles.txt")));
    const std::string names = LoadTextFile(Local(QDir(folder).filePath("Names.txt")));
    const std::string prefix = subfolder.toStdString() + '/';
    QStringEncoder encode("windows-1251");
    std::string firstPage = names.substr(0, names.find("\r\n"));
    firstPage.erase(0, firstPage.find_first_not_of('\t'));
    outline.Titles += QByteArray(encode(title)).toStdString() + "\r\n";
    outline.Names += prefix + firstPage + "\r\n";
    for (std::size_t at = 0; at < titles.size(); at = titles.find("\r\n", at) + 2)
        outline.Titles += '\t' + titles.substr(at, titles.find("\r\n", at) + 2 - at);
    for (std::size_t at = 0; at < names.size(); at = names.find("\r\n", at) + 2) {
        const std::size_t tabs = names.find_first_not_of('\t', at) - at;
        outline.Names += std::string(tabs + 1, '\t') + prefix +
                         names.substr(at + tabs, names.find("\r\n", at) + 2 - at - tabs);
    }
}

}  // namespace

QString MaterialFolder(const QString& workFolder, qsizetype index) {
    return QDir(workFolder).filePath(QStringLiteral("material_%1").arg(index + 1));
}

PackageRequest ConvertCourse(const Course& course, const QString& workFolder,
                             const ConvertOptions& options) {
    const qsizetype count = course.Materials.size();
    std::vector<QString> docTitles(
        static_cast<std::size_t>(count));  // each written by its conversion only
    if (options.Pool) {
        // Several at once, each through a LibreOffice of the pool; the first that fails in
        // course order is the one reported, as one after the other.
        options.Pool->ForEach(
            int(count), [&](int i, const std::shared_ptr<OfficeSession>& session) {
                ConvertOptions one = options;
                one.Session = session;
                one.Pool.reset();
                docTitles[std::size_t(i)] =
                    ConvertMaterial(course.Materials[i], MaterialFolder(workFolder, i), one);
            });
    } else {
        for (qsizetype i = 0; i < count; ++i)
            docTitles[std::size_t(i)] =
                ConvertMaterial(course.Materials[i], MaterialFolder(workFolder, i), options);
    }
    PackageRequest request{course.FullName,   true, {}, workFolder, course.ShortName,
                           course.Description};
    Outline outline;
    for (qsizetype i = 0; i < count; ++i) {
        const Material& material = course.Materials[i];
        const QString folder = MaterialFolder(workFolder, i);
        // Without a title of its own a material is titled as its document, else by its name.
        QString title = material.Title.isEmpty() ? docTitles[std::size_t(i)] : material.Title;
        if (title.isEmpty()) title = QFileInfo(material.Document).completeBaseName();
        AppendMaterialOutline(title, folder, QFileInfo(folder).fileName(), outline);
        request.Materials.append({title, folder, material.Sections});
    }
    WriteWholeFile(Local(QDir(workFolder).filePath("Titles.txt")), outline.Titles);
    WriteWholeFile(Local(QDir(workFolder).filePath("Names.txt")), outline.Names);
    return request;
}

}  // namespace kelmo
