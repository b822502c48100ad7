#include "CourseDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QPushButton>

#include "ui_CourseDialog.h"
#include "ui_DocumentParamsDialog.h"
#include "ui_SectionParamsDialog.h"

namespace kelmo {
namespace {

const QString DocumentFilter =
    QStringLiteral("Документы (*.doc *.docx *.odt *.rtf *.htm *.html);;Все файлы (*)");
const QString CourseFilter = QStringLiteral("Курс Kelmo Preview (*.kelmo-course)");

struct FormatFilter {
    PackageFormat Format;
    const char* Filter;
};
const FormatFilter PackageFilters[] = {
    {PackageFormat::Scorm12, "Пакет SCORM 1.2 (*.zip)"},
    {PackageFormat::ImsCp, "Пакет IMS Content Packaging 1.1.2 (*.zip)"},
    {PackageFormat::MoodleBook, "Книга Moodle, два уровня (*.zip)"},
    {PackageFormat::Epub, "Книга EPUB (*.epub)"},
    {PackageFormat::Zip, "Архив ZIP со страницами (*.zip)"},
    {PackageFormat::Folder, "Папка со страницами (*)"},
};

QString MaterialLine(const Material& material) {
    const QString file = QFileInfo(material.Document).fileName();
    if (material.Title.isEmpty()) return file;  // titled as the document is
    return material.Title + QStringLiteral("  (") + file + QLatin1Char(')');
}

}  // namespace

QStringList CourseQuestions::AskDocuments(QWidget* parent) {
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Добавить материалы"), {},
                                         DocumentFilter);
}

QString CourseQuestions::AskCourseToOpen(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Открыть курс"), {}, CourseFilter);
}

QString CourseQuestions::AskCourseToSave(QWidget* parent) {
    QString path =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранить курс"), {}, CourseFilter);
    if (!path.isEmpty() && !IsCourseFile(path)) path += QLatin1String(CourseSuffix);
    return path;
}

QString CourseQuestions::AskPackage(QWidget* parent, PackageFormat& format) {
    QStringList filters;
    for (const FormatFilter& filter : PackageFilters) filters << QString::fromUtf8(filter.Filter);
    QString chosen;
    // Replacing is asked by the command, which knows what it may replace.
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Сохранить пакет"), SuggestedPackage,
        filters.join(QStringLiteral(";;")), &chosen, QFileDialog::DontConfirmOverwrite);
    for (const FormatFilter& filter : PackageFilters)
        if (chosen == QString::fromUtf8(filter.Filter)) format = filter.Format;
    return path;
}

bool CourseQuestions::ConfirmReplace(QWidget* parent, const QString& path) {
    return QMessageBox::question(
               parent, QStringLiteral("Kelmo Preview"),
               QStringLiteral("Пакет \"%1\" уже есть. Заменить его?").arg(path)) ==
           QMessageBox::Yes;
}

bool CourseQuestions::EditMaterial(QWidget* parent, Material& material) {
    TDocumentParamsDialog dialog(material, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    material = dialog.Result();
    return true;
}

bool CourseQuestions::EditSection(QWidget* parent, const QString& heading,
                                  SectionParameters& section) {
    TSectionParamsDialog dialog(heading, section, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    section = dialog.Result();
    return true;
}

void CourseQuestions::ShowError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Kelmo Preview"), text);
}

// ---------------------------------------------------------------------------------------

TDocumentParamsDialog::TDocumentParamsDialog(const Material& material, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TDocumentParamsDialog>()), Edited(material) {
    ui->setupUi(this);
    ui->edDocument->setText(material.Document);
    ui->edTitle->setText(material.Title);
    ui->edTitle->setPlaceholderText(QStringLiteral("как в документе"));
    // Partly ticked: numbers unless most headings carry their own.
    ui->cbAutoNumHead->setTristate(true);
    ui->cbAutoNumHead->setToolTip(QStringLiteral(
        "Частично отмечено: номера разделов добавляются, если у заголовков документа нет своих "
        "номеров"));
    constexpr Qt::CheckState States[] = {Qt::PartiallyChecked, Qt::Checked, Qt::Unchecked};
    ui->cbAutoNumHead->setCheckState(States[int(material.Numbers)]);
    connect(ui->btnBrowse, &QPushButton::clicked, this, &TDocumentParamsDialog::BrowseClick);
    connect(ui->ButtonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->ButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TDocumentParamsDialog::~TDocumentParamsDialog() = default;

Material TDocumentParamsDialog::Result() const {
    Material material = Edited;
    material.Document = ui->edDocument->text();
    material.Title = ui->edTitle->text();
    const Qt::CheckState state = ui->cbAutoNumHead->checkState();
    material.Numbers = state == Qt::PartiallyChecked ? Numbering::Auto
                       : state == Qt::Checked        ? Numbering::On
                                                     : Numbering::Off;
    return material;
}

void TDocumentParamsDialog::BrowseClick() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Документ"),
                                                      ui->edDocument->text(), DocumentFilter);
    if (!path.isEmpty()) ui->edDocument->setText(path);
}

// ---------------------------------------------------------------------------------------

TSectionParamsDialog::TSectionParamsDialog(const QString& heading, const SectionParameters& section,
                                           QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSectionParamsDialog>()), Edited(section) {
    ui->setupUi(this);
    ui->lbHeading->setText(heading);
    ui->edTitle->setPlaceholderText(heading);
    ui->edTitle->setText(section.Title);
    ui->cbLeftOut->setChecked(section.LeftOut);
    connect(ui->ButtonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->ButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TSectionParamsDialog::~TSectionParamsDialog() = default;

SectionParameters TSectionParamsDialog::Result() const {
    return {Edited.Page, ui->edTitle->text().trimmed(), ui->cbLeftOut->isChecked()};
}

// ---------------------------------------------------------------------------------------

TCourseDialog::TCourseDialog(const Course& course, const QString& path, CourseQuestions& questions,
                             QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TCourseDialog>()),
      Questions(questions),
      CoursePath(path) {
    ui->setupUi(this);
    ShowCourse(course);
    connect(ui->btnAdd, &QPushButton::clicked, this, &TCourseDialog::AddClick);
    connect(ui->btnEdit, &QPushButton::clicked, this, &TCourseDialog::EditClick);
    connect(ui->lbxMaterials, &QListWidget::itemDoubleClicked, this, &TCourseDialog::EditClick);
    connect(ui->btnRemove, &QPushButton::clicked, this, &TCourseDialog::RemoveClick);
    connect(ui->btnUp, &QPushButton::clicked, this, [this] { MoveClick(-1); });
    connect(ui->btnDown, &QPushButton::clicked, this, [this] { MoveClick(1); });
    connect(ui->btnOpen, &QPushButton::clicked, this, &TCourseDialog::OpenClick);
    connect(ui->ButtonBox, &QDialogButtonBox::accepted, this, &TCourseDialog::accept);
    connect(ui->ButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TCourseDialog::~TCourseDialog() = default;

Course TCourseDialog::Result() const {
    return {ui->edFullName->text(), ui->edShortName->text(), ui->memDescription->toPlainText(),
            Materials};
}

void TCourseDialog::ShowCourse(const Course& course) {
    ui->edFullName->setText(course.FullName);
    ui->edShortName->setText(course.ShortName);
    ui->memDescription->setPlainText(course.Description);
    Materials = course.Materials;
    ShowMaterials(Materials.isEmpty() ? -1 : 0);
}

void TCourseDialog::ShowMaterials(int current) {
    ui->lbxMaterials->clear();
    for (const Material& material : Materials) {
        if (CoursePath.isEmpty() || !LiesOutsideCourse(material.Document, CoursePath)) {
            ui->lbxMaterials->addItem(MaterialLine(material));
            continue;
        }
        auto* item =
            new QListWidgetItem(MaterialLine(material) + QStringLiteral(" — вне папки курса"));
        item->setToolTip(QStringLiteral("Документ %1 лежит вне папки курса: при переносе "
                                        "папки курса он не переедет вместе с ней")
                             .arg(material.Document));
        ui->lbxMaterials->addItem(item);
    }
    ui->lbxMaterials->setCurrentRow(current);
}

void TCourseDialog::AddClick() {
    for (const QString& path : Questions.AskDocuments(this)) {
        Materials.append({QFileInfo(path).absoluteFilePath(), QString(), Numbering::Auto, {}});
    }
    ShowMaterials(int(Materials.size()) - 1);
}

void TCourseDialog::EditClick() {
    const int row = ui->lbxMaterials->currentRow();
    if (row < 0) return;
    Material material = Materials[row];
    if (!Questions.EditMaterial(this, material)) return;
    Materials[row] = material;
    ShowMaterials(row);
}

void TCourseDialog::RemoveClick() {
    const int row = ui->lbxMaterials->currentRow();
    if (row < 0) return;
    Materials.removeAt(row);
    ShowMaterials(qMin(row, int(Materials.size()) - 1));
}

void TCourseDialog::MoveClick(int step) {
    const int row = ui->lbxMaterials->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= Materials.size()) return;
    Materials.swapItemsAt(row, target);
    ShowMaterials(target);
}

void TCourseDialog::OpenClick() {
    const QString path = Questions.AskCourseToOpen(this);
    if (path.isEmpty()) return;
    try {
        const Course loaded = LoadCourse(path);
        CoursePath = path;
        ShowCourse(loaded);
    } catch (const CourseError& error) {
        Questions.ShowError(this, QString::fromUtf8(error.what()));
    }
}

void TCourseDialog::accept() {
    QString path = CoursePath;
    if (path.isEmpty()) path = Questions.AskCourseToSave(this);
    if (path.isEmpty()) return;
    try {
        SaveCourse(Result(), path);
    } catch (const CourseError& error) {
        Questions.ShowError(this, QString::fromUtf8(error.what()));
        return;
    }
    CoursePath = path;
    QDialog::accept();
}

}  // namespace kelmo
