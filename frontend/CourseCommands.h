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
    // The course's tree as the package will have it: a left-out page greyed, a page with a
    // title of its own under that title.
    void ShowSections();

    void CourseClick();
    void SavePagesClick();
    void SaveCourseClick();
    // The section parameters of the heading at an absolute index of the course's tree.
    void SectionParamsClick(int index);

    QAction* UCourse = nullptr;
    QAction* USavePages = nullptr;
    QAction* USaveCourse = nullptr;

  private:
    void SavePackage(const PackageRequest& request);

    TMainForm& Window;
    std::unique_ptr<CourseQuestions> Questions;
    Course LastCourse;  // the course dialog's last answer
    QString LastCoursePath;
};

}  // namespace kelmo
