#include "CourseRoad.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include "LibFunc.h"
#include "LocalPath.h"
#include "OfficePool.h"

namespace kelmo {
namespace {

// The material's outline lines one level down, its line with its first page on top.
void AppendMaterialOutline(const QString& title, const QString& folder, const QString& subfolder,
                           Outline& outline) {
    const std::string titles = LoadTextFile(LocalPath(WorkFile(folder, work::Titles)));
    const std::string names = LoadTextFile(LocalPath(WorkFile(folder, work::Names)));
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

CourseRoad::CourseRoad(kelmo::Course course, QString workFolder)
    : course_(std::move(course)), folder_(std::move(workFolder)) {}

QString CourseRoad::MaterialFolder(qsizetype index) const {
    return WorkFile(folder_, work::MaterialFolder(int(index)));
}

// Without a title of its own a material is titled as its document, else by its file name.
QString CourseRoad::TitleOf(qsizetype index) const {
    const Material& material = course_.Materials[index];
    if (!material.Title.isEmpty()) return material.Title;
    if (std::size_t(index) < done_.size() && !done_[index].DocTitle.isEmpty())
        return done_[index].DocTitle;
    return QFileInfo(material.Document).completeBaseName();
}

void CourseRoad::RunOne(qsizetype index, const RoadOptions& options) {
    const Material& material = course_.Materials[index];
    const QString folder = MaterialFolder(index);
    QDir().mkpath(folder);
    RoadOptions one = options;
    one.Numbers = material.Numbers;
    Pages pages;
    try {
        pages = RunRoad(material.Document, folder, one);
    } catch (...) {
        QDir().rmdir(folder);  // only when nothing was written into it
        throw;
    }
    if (pages.Split == SplitResult::TooManyHeadings) {
        throw CourseError(QStringLiteral("%1: %2")
                              .arg(material.Document, QString::fromStdString(HeadingLimitMessage()))
                              .toStdString());
    }
    HtmlToPlainText(pages.DocTitle);
    if (done_.size() <= std::size_t(index)) done_.resize(index + 1);
    Done& done = done_[index];  // each material its own slot, also through the pool
    done.Pages = pages.Table->HeaderCount;
    done.DocTitle = QString::fromStdString(Windows1251ToUtf8(pages.DocTitle));
    const std::string title = TitleOf(index).toStdString();
    for (Finding& finding : pages.Findings) finding.Material = title;
    done.Findings = std::move(pages.Findings);
}

void CourseRoad::Run(const RoadOptions& options) {
    const int count = int(course_.Materials.size());
    done_.clear();
    done_.resize(count);  // each material its own slot: with a pool they end in any order
    if (options.Convert.Pool) {
        // Several at once, each through a LibreOffice of the pool; the first that fails in
        // course order is the one reported, as one after the other.
        options.Convert.Pool->ForEach(count,
                                      [&](int i, const std::shared_ptr<OfficeSession>& session) {
                                          RoadOptions one = options;
                                          one.Convert.Session = session;
                                          one.Convert.Pool.reset();
                                          RunOne(i, one);
                                      });
    } else {
        for (int i = 0; i < count; ++i) RunOne(i, options);
    }
    WriteCourseOutline();
}

void CourseRoad::RunMaterial(qsizetype index, const RoadOptions& options) {
    RunOne(index, options);
    WriteCourseOutline();
}

void CourseRoad::WriteCourseOutline() const {
    Outline outline;
    for (qsizetype i = 0; i < course_.Materials.size(); ++i) {
        const QString folder = MaterialFolder(i);
        AppendMaterialOutline(TitleOf(i), folder, QFileInfo(folder).fileName(), outline);
    }
    WriteWholeFile(LocalPath(WorkFile(folder_, work::Titles)), outline.Titles);
    WriteWholeFile(LocalPath(WorkFile(folder_, work::Names)), outline.Names);
}

PackageRequest CourseRoad::Request() const {
    PackageRequest request{course_.FullName,   true, {}, folder_, course_.ShortName,
                           course_.Description};
    for (qsizetype i = 0; i < course_.Materials.size(); ++i)
        request.Materials.append({TitleOf(i), MaterialFolder(i), course_.Materials[i].Sections});
    return request;
}

std::vector<Finding> CourseRoad::Findings() const {
    std::vector<Finding> findings;
    int materialLine = 1;
    for (const Done& material : done_) {
        for (Finding finding : material.Findings) {
            finding.Page = finding.Page > 0 ? materialLine + finding.Page : materialLine;
            findings.push_back(std::move(finding));
        }
        materialLine += 1 + material.Pages;
    }
    return findings;
}

}  // namespace kelmo
