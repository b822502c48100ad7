// The course dialogs: the course (names, description, materials), the parameters of one
// material (document-parameters dialog) and of one heading's page in a package
// (section-parameters dialog).
//
// Errors: a course that cannot be saved or opened is reported in a message box and the
// dialog stays open.
#pragma once

#include <Course.h>
#include <Package.h>

#include <QDialog>
#include <memory>

class QWidget;

namespace Ui {
class TCourseDialog;
class TDocumentParamsDialog;
class TSectionParamsDialog;
}  // namespace Ui

namespace kelmo {

// Where the course commands ask the user; tests answer instead.
class CourseQuestions {
  public:
    virtual ~CourseQuestions() = default;
    // Documents to add to a course; none when cancelled.
    virtual QStringList AskDocuments(QWidget* parent);
    virtual QString AskCourseToOpen(QWidget* parent);
    virtual QString AskCourseToSave(QWidget* parent);
    // Where to save a package, and in which format; empty when cancelled.
    virtual QString AskPackage(QWidget* parent, PackageFormat& format);
    virtual bool ConfirmReplace(QWidget* parent, const QString& path);
    // The document-parameters and section-parameters dialogs; false when cancelled.
    virtual bool EditMaterial(QWidget* parent, Material& material);
    virtual bool EditSection(QWidget* parent, const QString& heading, SectionParameters& section);
    virtual void ShowError(QWidget* parent, const QString& text);

    // The file name AskPackage offers first, in the folder where it starts.
    QString SuggestedPackage;
};

class TDocumentParamsDialog : public QDialog {
    Q_OBJECT

  public:
    TDocumentParamsDialog(const Material& material, QWidget* parent = nullptr);
    ~TDocumentParamsDialog() override;
    Material Result() const;

  private:
    void BrowseClick();

    std::unique_ptr<Ui::TDocumentParamsDialog> ui;
    Material Edited;
};

class TSectionParamsDialog : public QDialog {
    Q_OBJECT

  public:
    TSectionParamsDialog(const QString& heading, const SectionParameters& section,
                         QWidget* parent = nullptr);
    ~TSectionParamsDialog() override;
    SectionParameters Result() const;

  private:
    std::unique_ptr<Ui::TSectionParamsDialog> ui;
    SectionParameters Edited;
};

class TCourseDialog : public QDialog {
    Q_OBJECT

  public:
    // path: the course's file, empty for a new course (OK then asks where to save it).
    TCourseDialog(const Course& course, const QString& path, CourseQuestions& questions,
                  QWidget* parent = nullptr);
    ~TCourseDialog() override;

    Course Result() const;
    QString Path() const { return CoursePath; }

    // Saves the course, asking for its file first when it has none; stays open on failure.
    void accept() override;

  private:
    void ShowCourse(const Course& course);
    void ShowMaterials(int current);
    void AddClick();
    void EditClick();
    void RemoveClick();
    void MoveClick(int step);
    void OpenClick();

    std::unique_ptr<Ui::TCourseDialog> ui;
    CourseQuestions& Questions;
    QList<Material> Materials;
    QString CoursePath;
};

}  // namespace kelmo
