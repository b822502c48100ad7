// Packages: the pages of one document or of a course, written where they can be kept or
// uploaded to a learning system.
//
//   Folder   the pages, their pictures, Titles.txt and Names.txt as the work folder has them
//   Zip      the same in a .zip
//   ImsCp    a .zip with imsmanifest.xml (IMS Content Packaging 1.1.2) at its root
//   Scorm12  the same as an ADL SCORM 1.2 package (every page an "asset")
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
#include <optional>
#include <stdexcept>

#include "Course.h"

namespace kelmo {

class PackageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class PackageFormat { Folder, Zip, ImsCp, Scorm12 };

// "folder", "zip", "imscp", "scorm12"; nothing for another name.
std::optional<PackageFormat> PackageFormatNamed(const QString& name);

// The format a target's name suggests: ".zip" a zip, anything else a folder.
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
    QString CourseOutline;  // a folder with the whole course's outline files, or empty
};

// Writes the package to target: a folder that does not exist or is empty, or a file that
// is replaced only once the new one is complete.
void WritePackage(const PackageRequest& request, PackageFormat format, const QString& target);

}  // namespace kelmo
