// A course through the road: each material converted, cleaned and cut into pages in a
// folder of its own ("material_1", ...) inside the course's work folder, and one outline of
// the whole course beside them whose top lines are the materials. A material can be taken
// again alone (its document was saved), and the course's outline follows.
//
// Errors: Run and RunMaterial throw what the road throws (ConvertError, IoError,
// RoadCancelled) and CourseError for a material with more than MaxHeaders headings.
#pragma once

#include <Road.h>

#include <vector>

#include "Course.h"
#include "Package.h"

namespace kelmo {

class CourseRoad {
  public:
    CourseRoad(Course course, QString workFolder);

    // Every material in turn, or several at once through options.Convert.Pool (whose
    // threads then call options' callbacks), then the course's outline ("Titles.txt",
    // "Names.txt": a material's line names its first page). A failure names the first
    // failing material in course order.
    void Run(const RoadOptions& options);
    // Material index (0-based) again, then the course's outline.
    void RunMaterial(qsizetype index, const RoadOptions& options);

    const kelmo::Course& Definition() const { return course_; }
    void SetCourse(const kelmo::Course& course) { course_ = course; }
    const QString& Folder() const { return folder_; }
    // The folder of material index inside the course's work folder.
    QString MaterialFolder(qsizetype index) const;
    // What a package of the course needs.
    PackageRequest Request() const;
    // Every material's findings in material order, each naming its material, its Page the
    // line of the course's outline (the material's own line when it has no page).
    std::vector<Finding> Findings() const;

  private:
    struct Done {
        int Pages = 0;     // lines of the material's outline
        QString DocTitle;  // the document's own title, plain text
        std::vector<Finding> Findings;
    };
    QString TitleOf(qsizetype index) const;
    void RunOne(qsizetype index, const RoadOptions& options);
    void WriteCourseOutline() const;

    kelmo::Course course_;
    QString folder_;
    std::vector<Done> done_;  // one per material converted so far
};

}  // namespace kelmo
