// A course through the document road: each material converted, cleaned and cut into pages
// in a folder of its own ("material_1", ...) inside the course's work folder, and one
// outline of the whole course beside them whose top lines are the materials.
//
// Errors: ConvertCourse throws what the road throws (ConvertError, IoError) and
// CourseError for a material with more than MaxHeaders headings.
#pragma once

#include <Converter.h>

#include "Course.h"
#include "Package.h"

namespace kelmo {

// The folder of material index (0-based) inside the course's work folder.
QString MaterialFolder(const QString& workFolder, qsizetype index);

// Converts every material of course into workFolder and writes the course outline there
// ("Titles.txt", "Names.txt": a material's line names its first page). Returns what a
// package of the course needs.
PackageRequest ConvertCourse(const Course& course, const QString& workFolder,
                             const ConvertOptions& options);

}  // namespace kelmo
