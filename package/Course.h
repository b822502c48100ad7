// A course: several documents ("materials") that go into one package, and how each of
// their pages appears there. Kept in a "*.kelmo-course" file, UTF-8 JSON:
//
//   { "format": "kelmo-course", "version": 1,
//     "fullName": "...", "shortName": "...", "description": "...",
//     "materials": [ { "document": "texts/part1.doc", "title": "...", "numbering": "auto",
//                      "autoNumbering": true,
//                      "sections": [ { "page": "page_1_.htm", "title": "...",
//                                      "leftOut": false } ] } ] }
//
// "document" is relative to the course file's folder; "numbering" is "auto", "on" or "off"
// (a file without it: "autoNumbering" false is "off", else "auto"; "autoNumbering" is
// written too, for older programs); "sections" lists only the pages
// whose package title or left-out flag were set.
//
// Errors: LoadCourse and SaveCourse throw CourseError with a message for the user.
#pragma once

#include <QList>
#include <QString>
#include <stdexcept>

#include "LibFunc.h"

namespace kelmo {

class CourseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr char CourseSuffix[] = ".kelmo-course";

// What belongs to one heading's page in a package.
struct SectionParameters {
    QString Page;   // the page file's name in the work folder ("page_1_2_.htm")
    QString Title;  // the title in the package's table of contents; empty: the heading's
    bool LeftOut = false;
    bool operator==(const SectionParameters&) const = default;
};

// The parameters of page among sections, or defaults when none were set.
SectionParameters SectionFor(const QList<SectionParameters>& sections, const QString& page);

struct Material {
    QString Document;  // absolute path while loaded; stored relative to the course file
    QString Title;
    Numbering Numbers = Numbering::Auto;  // section numbers in the material's outline
    QList<SectionParameters> Sections;
    bool operator==(const Material&) const = default;

    // The parameters of page, or defaults when none were set.
    SectionParameters SectionFor(const QString& page) const;
    // Sets (or, for defaults, forgets) the parameters of section.Page.
    void SetSection(const SectionParameters& section);
};

struct Course {
    QString FullName;
    QString ShortName;
    QString Description;
    QList<Material> Materials;
    bool operator==(const Course&) const = default;
};

// Reads a course file; material paths come back absolute.
Course LoadCourse(const QString& path);

// Writes course to path (through a temporary file renamed into place), storing material
// paths relative to path's folder.
void SaveCourse(const Course& course, const QString& path);

// True when path names a course file by its ending.
bool IsCourseFile(const QString& path);

// True when document does not lie inside the folder of the course file coursePath (named by
// an absolute path or with "..", or reached through a link), so that the course folder
// does not carry it along and the course reads a file from elsewhere.
bool LiesOutsideCourse(const QString& document, const QString& coursePath);

}  // namespace kelmo
