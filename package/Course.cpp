#include "Course.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "LibFunc.h"
#include "LocalPath.h"
#include "Replace.h"

namespace kelmo {
namespace {

const QString FormatName = QStringLiteral("kelmo-course");
constexpr int FormatVersion = 1;
// By Numbering.
const QString NumberingNames[] = {QStringLiteral("auto"), QStringLiteral("on"),
                                  QStringLiteral("off")};

CourseError Error(const QString& text) { return CourseError(text.toStdString()); }

QJsonObject SectionToJson(const SectionParameters& section) {
    return {{QStringLiteral("page"), section.Page},
            {QStringLiteral("title"), section.Title},
            {QStringLiteral("leftOut"), section.LeftOut}};
}

SectionParameters SectionFromJson(const QJsonObject& object) {
    return {object.value(QStringLiteral("page")).toString(),
            object.value(QStringLiteral("title")).toString(),
            object.value(QStringLiteral("leftOut")).toBool()};
}

QJsonObject MaterialToJson(const Material& material, const QDir& base) {
    QJsonArray sections;
    for (const SectionParameters& section : material.Sections)
        sections.append(SectionToJson(section));
    return {{QStringLiteral("document"), base.relativeFilePath(material.Document)},
            {QStringLiteral("title"), material.Title},
            {QStringLiteral("numbering"), NumberingNames[int(material.Numbers)]},
            // what programs that know no automatic numbering read
            {QStringLiteral("autoNumbering"), material.Numbers != Numbering::Off},
            {QStringLiteral("sections"), sections}};
}

Material MaterialFromJson(const QJsonObject& object, const QDir& base) {
    Material material;
    const QString document = object.value(QStringLiteral("document")).toString();
    if (!document.isEmpty()) material.Document = QDir::cleanPath(base.absoluteFilePath(document));
    material.Title = object.value(QStringLiteral("title")).toString();
    // Files of programs without automatic numbering say only whether numbers were off.
    const QString numbering = object.value(QStringLiteral("numbering")).toString();
    const int named =
        int(std::find(std::begin(NumberingNames), std::end(NumberingNames), numbering) -
            std::begin(NumberingNames));
    if (named < int(std::size(NumberingNames)))
        material.Numbers = Numbering(named);
    else if (!object.value(QStringLiteral("autoNumbering")).toBool(true))
        material.Numbers = Numbering::Off;
    for (const QJsonValue& section : object.value(QStringLiteral("sections")).toArray()) {
        const SectionParameters parameters = SectionFromJson(section.toObject());
        if (!parameters.Page.isEmpty()) material.SetSection(parameters);
    }
    return material;
}

// A course file lists documents and page names: far below this.
constexpr qint64 MaxCourseBytes = 16 * 1024 * 1024;

QByteArray ReadCourseBytes(const QString& path) {
    if (QFileInfo(path).size() > MaxCourseBytes) {
        throw Error(QStringLiteral("Не удалось прочитать курс \"%1\": файл больше %2 МБ")
                        .arg(path)
                        .arg(MaxCourseBytes / (1024 * 1024)));
    }
    try {
        const std::string bytes = ReadWholeFile(LocalPath(path));
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    } catch (const IoError& error) {
        throw Error(QStringLiteral("Не удалось прочитать курс \"%1\": %2")
                        .arg(path, QString::fromUtf8(error.what())));
    }
}

}  // namespace

SectionParameters SectionFor(const QList<SectionParameters>& sections, const QString& page) {
    for (const SectionParameters& section : sections)
        if (section.Page == page) return section;
    return {page, {}, false};
}

SectionParameters Material::SectionFor(const QString& page) const {
    return kelmo::SectionFor(Sections, page);
}

void Material::SetSection(const SectionParameters& section) {
    Sections.removeIf([&](const SectionParameters& s) { return s.Page == section.Page; });
    if (!section.Title.isEmpty() || section.LeftOut) Sections.append(section);
}

Course LoadCourse(const QString& path) {
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(ReadCourseBytes(path), &parseError);
    if (parseError.error == QJsonParseError::IllegalUTF8String) {
        throw Error(QStringLiteral("Не удалось прочитать курс \"%1\": текст не в кодировке UTF-8")
                        .arg(path));
    }
    const QJsonObject root = json.object();
    if (json.isNull() || !json.isObject() ||
        root.value(QStringLiteral("format")).toString() != FormatName) {
        throw Error(QStringLiteral("Файл \"%1\" — не курс Kelmo Preview").arg(path));
    }
    // A number too large for an int is still a version, and a newer one.
    if (root.value(QStringLiteral("version")).toDouble() > FormatVersion)
        throw Error(QStringLiteral("Курс \"%1\" сохранён более новой версией программы").arg(path));

    const QDir base = QFileInfo(path).absoluteDir();
    Course course;
    course.FullName = root.value(QStringLiteral("fullName")).toString();
    course.ShortName = root.value(QStringLiteral("shortName")).toString();
    course.Description = root.value(QStringLiteral("description")).toString();
    for (const QJsonValue& material : root.value(QStringLiteral("materials")).toArray())
        course.Materials.append(MaterialFromJson(material.toObject(), base));
    return course;
}

void SaveCourse(const Course& course, const QString& path) {
    const QDir base = QFileInfo(path).absoluteDir();
    QJsonArray materials;
    for (const Material& material : course.Materials)
        materials.append(MaterialToJson(material, base));
    const QJsonObject root{{QStringLiteral("format"), FormatName},
                           {QStringLiteral("version"), FormatVersion},
                           {QStringLiteral("fullName"), course.FullName},
                           {QStringLiteral("shortName"), course.ShortName},
                           {QStringLiteral("description"), course.Description},
                           {QStringLiteral("materials"), materials}};
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    try {
        WriteFileReplacing(path, std::string_view(bytes.constData(), std::size_t(bytes.size())));
    } catch (const IoError& error) {
        throw Error(QStringLiteral("Не удалось сохранить курс \"%1\": %2")
                        .arg(path, QString::fromUtf8(error.what())));
    }
}

bool LiesOutsideCourse(const QString& document, const QString& coursePath) {
    const QString folder = QFileInfo(coursePath).absoluteDir().canonicalPath();
    const QFileInfo file(document);
    const QString real =
        file.exists() ? file.canonicalFilePath() : QDir::cleanPath(file.absoluteFilePath());
    return folder.isEmpty() || !real.startsWith(folder + QLatin1Char('/'));
}

bool IsCourseFile(const QString& path) {
    return path.endsWith(QLatin1String(CourseSuffix), Qt::CaseInsensitive);
}

}  // namespace kelmo
