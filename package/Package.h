// Packages: the pages of one document or of a course, written where they can be kept or
// uploaded to a learning system.
//
//   Folder   the pages, their pictures, Titles.txt and Names.txt as the work folder has them
//   Zip      the same in a .zip
//   ImsCp    a .zip with imsmanifest.xml (IMS Content Packaging 1.1.2) at its root
//   Scorm12  the same as an ADL SCORM 1.2 package: every page a SCO that reports itself
//            completed to the learning system through "kelmo-scorm.js"
//   MoodleBook  an IMS CP package two levels deep, as Moodle's Book keeps them: the pages of
//            deeper headings are merged, in order, into the page of their second-level one
//   Epub     an EPUB 3 book: the pages as UTF-8 XHTML, the tree as its navigation document
//
// Every format but Epub adds a navigation bar at the top and bottom of each packaged page
// (the path of the section, previous / contents / next) and a contents page "index.htm"
// with the whole tree; the work folder's pages stay as they are.
//
// For a course each material lies in a folder of its own ("material_1", ...), and the
// course's own outline files, when there are any, at the top. In the two
// manifest formats the table of contents follows the outline: one organization titled with
// the course's name, one item per page nested as the headings are (for a course under one
// top item per material); a page's section parameters give its title there or leave it
// out, with its pictures and without the outline files, which the manifest replaces.
// Pages keep their bytes; a picture whose name is not plain ASCII gets one
// ("pictures/p1.png") and the page's reference to it is changed to match.
//
// Errors: WritePackage throws PackageError with a message for the user; nothing is left
// at the target (nor beside it) when it fails.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

#include "Course.h"

namespace kelmo {

class PackageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class PackageFormat { Folder, Zip, ImsCp, Scorm12, MoodleBook, Epub };

// "folder", "zip", "imscp", "scorm12", "moodlebook", "epub"; nothing for another name.
std::optional<PackageFormat> PackageFormatNamed(const QString& name);

// The format a target's name suggests: ".zip" a zip, ".epub" a book, anything else a folder.
PackageFormat PackageFormatFor(const QString& target);

// One document already cut into pages.
struct PackagedMaterial {
    QString Title;
    QString WorkFolder;  // holds the pages, their pictures and the outline files
    QList<SectionParameters> Sections;
};

struct PackageRequest {
    QString Title;          // the organization's title: the course's full name
    bool IsCourse = false;  // materials in folders of their own, each a top item
    QList<PackagedMaterial> Materials;
    QString CourseOutline;   // a folder with the whole course's outline files, or empty
    QString ShortName = {};  // the course's short name and description, for the metadata
    QString Description = {};
};

// Writes the package to target: a folder that does not exist or is empty, or a file that
// is replaced only once the new one is complete. Returns notes for the user about what could
// not go in as it is (a picture an EPUB cannot show).
QStringList WritePackage(const PackageRequest& request, PackageFormat format,
                         const QString& target);

}  // namespace kelmo
