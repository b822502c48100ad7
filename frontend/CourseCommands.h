// The window's course commands: Файл → Курс… (the course dialog, then the course's
// materials converted and shown under one tree), Файл → Сохранить страницы… and
// Файл → Сохранить курс… (packages), and the section parameters of a heading of the
// course's tree (its context menu).
#pragma once

#include <Course.h>
#include <Package.h>

#include <QObject>
#include <memory>

#include "CourseDialogs.h"

class TMainForm;
class QAction;

namespace kelmo {

class CourseCommands : public QObject {
    Q_OBJECT

  public:
    explicit CourseCommands(TMainForm& window);
    ~CourseCommands() override;

    void SetQuestions(std::unique_ptr<CourseQuestions> questions);
    // Enables the save commands that have something to save.
    void UpdateCommands(bool pagesShown);
    // Converts the course's materials and shows the course's tree.
    void OpenCourse(const QString& coursePath);

    void CourseClick();
    void SavePagesClick();
    void SaveCourseClick();
    // The section parameters of the heading at an absolute index of the course's tree.
    void SectionParamsClick(int index);

    QAction* UCourse = nullptr;
    QAction* USavePages = nullptr;
    QAction* USaveCourse = nullptr;

  private:
    bool CourseShown() const;
    void SavePackage(const PackageRequest& request);
    void ShowSections();

    TMainForm& Window;
    std::unique_ptr<CourseQuestions> Questions;
    Course CurrentCourse;
    QString CoursePath;
    QString CourseWorkDir;  // the work folder the course was converted into
    PackageRequest Request;
};

}  // namespace kelmo
