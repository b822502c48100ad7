#include "CourseCommands.h"

#include <CourseRoad.h>
#include <WorkFiles.h>
#include <WorkFolder.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTreeWidget>

#include "MainForm1.h"
#include "OutlineTree.h"
#include "WaitCursor.h"

namespace kelmo {

CourseCommands::CourseCommands(TMainForm& window)
    : QObject(&window), Window(window), Questions(std::make_unique<CourseQuestions>()) {
    UCourse = new QAction(QStringLiteral("&Курс…"), &window);
    USavePages = new QAction(QStringLiteral("Сохранить &страницы…"), &window);
    USaveCourse = new QAction(QStringLiteral("Сохранить к&урс…"), &window);
    UCourse->setObjectName(QStringLiteral("UCourse"));
    USavePages->setObjectName(QStringLiteral("USavePages"));
    USaveCourse->setObjectName(QStringLiteral("USaveCourse"));
    QAction* before = window.FileMenu().actions().value(1);  // the separator above Выход
    window.FileMenu().insertActions(before, {UCourse, USavePages, USaveCourse});
    connect(UCourse, &QAction::triggered, this, &CourseCommands::CourseClick);
    connect(USavePages, &QAction::triggered, this, &CourseCommands::SavePagesClick);
    connect(USaveCourse, &QAction::triggered, this, &CourseCommands::SaveCourseClick);

    window.StructView().setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&window.StructView(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                QTreeWidgetItem* item = Window.StructView().itemAt(at);
                if (!item || !Window.Course()) return;
                QMenu menu;
                menu.addAction(QStringLiteral("Параметры раздела…"), this, [this, item] {
                    SectionParamsClick(item->data(0, Qt::UserRole).toInt());
                });
                menu.exec(Window.StructView().viewport()->mapToGlobal(at));
            });
}

CourseCommands::~CourseCommands() = default;

void CourseCommands::SetQuestions(std::unique_ptr<CourseQuestions> questions) {
    Questions = std::move(questions);
}

void CourseCommands::UpdateCommands(bool pagesShown) {
    USavePages->setEnabled(pagesShown);
    USaveCourse->setEnabled(pagesShown && Window.Course());
}

void CourseCommands::CourseClick() {
    if (Window.Busy()) return;
    if (const CourseRoad* shown = Window.Course()) {
        LastCourse = shown->Definition();
        LastCoursePath = Window.Showing().Source;
    }
    TCourseDialog dialog(LastCourse, LastCoursePath, *Questions, &Window);
    if (dialog.exec() != QDialog::Accepted) return;
    LastCourse = dialog.Result();
    LastCoursePath = dialog.Path();
    Window.OpenCourse(dialog.Path());
}

void CourseCommands::SavePagesClick() {
    if (Window.Busy()) return;
    if (Window.Course()) return SaveCourseClick();
    const QString workDir = Window.Showing().WorkDir;
    if (!QFileInfo::exists(WorkFile(workDir, work::Names))) {
        Questions->ShowError(&Window, QStringLiteral("Сначала откройте документ."));
        return;
    }
    QString name = Window.DocumentName();
    if (name.isEmpty()) name = QStringLiteral("Kelmo Preview");
    Questions->SuggestedPackage = QDir(DocumentFolder(Window.Showing().Source)).filePath(name);
    SavePackage({name, false, {{name, workDir, {}}}, {}});
}

void CourseCommands::SaveCourseClick() {
    if (Window.Busy()) return;
    if (!Window.Course()) {
        Questions->ShowError(&Window, QStringLiteral("Сначала откройте курс (Файл → Курс…)."));
        return;
    }
    const QFileInfo course(Window.Showing().Source);
    const QString shortName = Window.Course()->Definition().ShortName.trimmed();
    const QString name = shortName.isEmpty() ? course.completeBaseName() : shortName;
    Questions->SuggestedPackage = course.absoluteDir().filePath(name);
    SavePackage(Window.Course()->Request());
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
    const CourseRoad* road = Window.Course();
    if (!road) return;
    const Course& course = road->Definition();
    const OutlineTree& pages = Window.PageTree();
    const OutlineTree& titles = Window.TitleTree();
    for (QTreeWidgetItemIterator it(&Window.StructView()); *it; ++it) {
        const int index = (*it)->data(0, Qt::UserRole).toInt();
        if (index >= pages.Count() || index >= titles.Count()) continue;
        if (pages.NodeAt(index).Depth == 0) continue;  // a material's own line
        const QString name = DecodeWindows1251(pages.NodeAt(index).Text);
        const qsizetype slash = name.indexOf(QLatin1Char('/'));
        const int material = work::MaterialIndex(pages.NodeAt(index).Text.toStdString());
        if (slash < 0 || material < 0 || material >= course.Materials.size()) continue;
        const SectionParameters section =
            course.Materials[material].SectionFor(name.mid(slash + 1));
        const QString heading = DecodeWindows1251(titles.NodeAt(index).Text).trimmed();
        (*it)->setText(0, section.Title.isEmpty() ? heading : section.Title);
        (*it)->setToolTip(
            0, section.LeftOut ? heading + QStringLiteral(" (не включается в пакет)") : heading);
        (*it)->setForeground(0, section.LeftOut ? QBrush(Qt::gray) : QBrush());
    }
}

void CourseCommands::SectionParamsClick(int index) {
    if (!Window.Course() || Window.Busy()) return;
    Window.RunCommand([&] {
        const OutlineTree& pages = Window.PageTree();
        if (index < 0 || index >= pages.Count() || index >= Window.TitleTree().Count()) return;
        const OutlineNode& node = pages.NodeAt(index);
        const QString name = DecodeWindows1251(node.Text);  // "material_2/page_1_.htm"
        const qsizetype slash = name.indexOf(QLatin1Char('/'));
        CourseRoad& road = *Window.Course();
        Course course = road.Definition();
        const int material = work::MaterialIndex(node.Text.toStdString());
        if (node.Depth == 0 || slash < 0 || material < 0 || material >= course.Materials.size())
            return;  // a material's own line
        Material& edited = course.Materials[material];
        SectionParameters section = edited.SectionFor(name.mid(slash + 1));
        const QString heading = DecodeWindows1251(Window.TitleTree().NodeAt(index).Text).trimmed();
        if (!Questions->EditSection(&Window, heading, section)) return;
        edited.SetSection(section);
        kelmo::SaveCourse(course, Window.Showing().Source);
        road.SetCourse(course);
        ShowSections();
    });
}

}  // namespace kelmo
