#include "CourseCommands.h"

#include <CourseRoad.h>
#include <WorkFolder.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTreeWidget>

#include "MainForm1.h"
#include "OutlineTree.h"
#include "ReviewTools.h"
#include "WaitCursor.h"
#include "ui_MainForm1.h"

namespace kelmo {

CourseCommands::CourseCommands(TMainForm& window)
    : QObject(&window), Window(window), Questions(std::make_unique<CourseQuestions>()) {
    Ui::TMainForm& ui = *window.ui;
    UCourse = new QAction(QStringLiteral("&Курс…"), &window);
    USavePages = new QAction(QStringLiteral("Сохранить &страницы…"), &window);
    USaveCourse = new QAction(QStringLiteral("Сохранить к&урс…"), &window);
    UCourse->setObjectName(QStringLiteral("UCourse"));
    USavePages->setObjectName(QStringLiteral("USavePages"));
    USaveCourse->setObjectName(QStringLiteral("USaveCourse"));
    QAction* before = ui.MUchebnik->actions().value(1);  // the separator above Выход
    ui.MUchebnik->insertActions(before, {UCourse, USavePages, USaveCourse});
    connect(UCourse, &QAction::triggered, this, &CourseCommands::CourseClick);
    connect(USavePages, &QAction::triggered, this, &CourseCommands::SavePagesClick);
    connect(USaveCourse, &QAction::triggered, this, &CourseCommands::SaveCourseClick);

    ui.tvStruct->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.tvStruct, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = Window.ui->tvStruct->itemAt(at);
        if (!item || !CourseShown()) return;
        QMenu menu;
        menu.addAction(QStringLiteral("Параметры раздела…"), this,
                       [this, item] { SectionParamsClick(item->data(0, Qt::UserRole).toInt()); });
        menu.exec(Window.ui->tvStruct->viewport()->mapToGlobal(at));
    });
}

CourseCommands::~CourseCommands() = default;

void CourseCommands::SetQuestions(std::unique_ptr<CourseQuestions> questions) {
    Questions = std::move(questions);
}

void CourseCommands::UpdateCommands(bool pagesShown) {
    USavePages->setEnabled(pagesShown);
    USaveCourse->setEnabled(pagesShown && CourseShown());
}

bool CourseCommands::CourseShown() const {
    return !CourseWorkDir.isEmpty() && Window.WorkDir == CourseWorkDir;
}

void CourseCommands::CourseClick() {
    if (Window.CommandRunning) return;
    TCourseDialog dialog(CurrentCourse, CoursePath, *Questions, &Window);
    if (dialog.exec() != QDialog::Accepted) return;
    OpenCourse(dialog.Path());
}

void CourseCommands::OpenCourse(const QString& coursePath) {
    if (Window.CommandRunning) return;
    Window.RunCommand([&] {
        const Course course = LoadCourse(coursePath);
        const WaitCursor wait;
        Window.ClearOutline();
        const WorkFolder folder = MakeWorkFolderOrElsewhere(DocumentFolder(coursePath),
                                                            NewSessionName(), FallbackWorkRoot());
        Window.WorkDir = folder.Path;
        if (folder.Created) Window.CreatedWorkDirs << folder.Path;
        CurrentCourse = course;
        CoursePath = coursePath;
        CourseWorkDir = folder.Path;

        Request = ConvertCourse(course, folder.Path, Window.ProgressOptions(coursePath));
        Window.LoadOutline();
        ShowSections();
        Window.SetStatus(QStringLiteral("Курс разделен на страницы в папке ") + folder.Path +
                         QStringLiteral("."));
        Window.Review->Remember(coursePath);
    });
}

void CourseCommands::SavePagesClick() {
    if (Window.CommandRunning) return;
    const QString workDir = Window.WorkDir;
    if (CourseShown()) return SaveCourseClick();
    if (!QFileInfo::exists(QDir(workDir).filePath(QStringLiteral("Names.txt")))) {
        Questions->ShowError(&Window, QStringLiteral("Сначала откройте документ."));
        return;
    }
    QString name = Window.DocumentName();
    if (name.isEmpty()) name = QStringLiteral("Kelmo Preview");
    Questions->SuggestedPackage = QDir(Window.InitialDir).filePath(name);
    SavePackage({name, false, {{name, workDir, {}}}, {}});
}

void CourseCommands::SaveCourseClick() {
    if (Window.CommandRunning) return;
    if (!CourseShown()) {
        Questions->ShowError(&Window, QStringLiteral("Сначала откройте курс (Файл → Курс…)."));
        return;
    }
    const QFileInfo course(CoursePath);
    const QString name = CurrentCourse.ShortName.trimmed().isEmpty()
                             ? course.completeBaseName()
                             : CurrentCourse.ShortName.trimmed();
    Questions->SuggestedPackage = course.absoluteDir().filePath(name);
    SavePackage(Request);
}

void CourseCommands::SavePackage(const PackageRequest& request) {
    PackageFormat format = PackageFormat::Scorm12;
    QString path = Questions->AskPackage(&Window, format);
    if (path.isEmpty()) return;
    // A name typed without its suffix gets it.
    if (format != PackageFormat::Folder &&
        !path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        path += QStringLiteral(".zip");
    // A file package replaces what is there; a folder package goes only where nothing is,
    // and says so itself.
    const QFileInfo target(path);
    if (format != PackageFormat::Folder && (target.exists() || target.isSymLink()) &&
        !Questions->ConfirmReplace(&Window, path))
        return;
    Window.RunCommand([&] {
        const WaitCursor wait;
        const QStringList notes = WritePackage(request, format, path);
        Window.SetStatus(QStringLiteral("Пакет сохранен: ") + path + QStringLiteral(".") +
                         (notes.isEmpty() ? QString() : QLatin1Char(' ') + notes.join(". ")));
    });
}

// The course's tree as the package will have it: a left-out page greyed, a page with a
// title of its own under that title (its heading in the tooltip).
void CourseCommands::ShowSections() {
    for (QTreeWidgetItemIterator it(Window.ui->tvStruct); *it; ++it) {
        const int index = (*it)->data(0, Qt::UserRole).toInt();
        if (index >= Window.NamesTree.Count() || index >= Window.StructTree.Count()) continue;
        if (Window.NamesTree.NodeAt(index).Depth == 0) continue;  // a material's own line
        const QString name = DecodeWindows1251(Window.NamesTree.NodeAt(index).Text);
        const qsizetype slash = name.indexOf(QLatin1Char('/'));
        const int material = name.left(slash).mid(9).toInt() - 1;
        if (slash < 0 || material < 0 || material >= CurrentCourse.Materials.size()) continue;
        const SectionParameters section =
            CurrentCourse.Materials[material].SectionFor(name.mid(slash + 1));
        const QString heading = DecodeWindows1251(Window.StructTree.NodeAt(index).Text).trimmed();
        (*it)->setText(0, section.Title.isEmpty() ? heading : section.Title);
        (*it)->setToolTip(
            0, section.LeftOut ? heading + QStringLiteral(" (не включается в пакет)") : heading);
        (*it)->setForeground(0, section.LeftOut ? QBrush(Qt::gray) : QBrush());
    }
}

void CourseCommands::SectionParamsClick(int index) {
    if (!CourseShown() || Window.CommandRunning) return;
    Window.RunCommand([&] {
        if (index < 0 || index >= Window.NamesTree.Count() || index >= Window.StructTree.Count())
            return;
        const OutlineNode& node = Window.NamesTree.NodeAt(index);
        const QString name = DecodeWindows1251(node.Text);  // "material_2/page_1_.htm"
        const qsizetype slash = name.indexOf(QLatin1Char('/'));
        const int material = name.section(QLatin1Char('/'), 0, 0).mid(9).toInt() - 1;
        if (node.Depth == 0 || slash < 0 || material < 0 ||
            material >= CurrentCourse.Materials.size())
            return;  // a material's own line
        Material& edited = CurrentCourse.Materials[material];
        SectionParameters section = edited.SectionFor(name.mid(slash + 1));
        const QString heading = DecodeWindows1251(Window.StructTree.NodeAt(index).Text).trimmed();
        if (!Questions->EditSection(&Window, heading, section)) return;
        edited.SetSection(section);
        Request.Materials[material].Sections = edited.Sections;
        kelmo::SaveCourse(CurrentCourse, CoursePath);
        ShowSections();
    });
}

}  // namespace kelmo
