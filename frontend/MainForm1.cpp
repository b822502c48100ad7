#include "MainForm1.h"

#include <LocalPath.h>
#include <WorkFolder.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "About.h"
#include "AppSetup.h"
#include "CheckPanel.h"
#include "CourseCommands.h"
#include "ErrorText.h"
#include "FindBar.h"
#include "ReviewTools.h"
#include "TreeNotice.h"
#include "WaitCursor.h"
#include "ui_MainForm1.h"

namespace {

const QString kErrorCaption = QStringLiteral("Error");
constexpr double kZoomStep = 1.1;
constexpr double kMinZoom = 0.25;  // the bounds of the view's zoom factor
constexpr double kMaxZoom = 5.0;

// A message box shown in the middle of a stage gets the arrow, not the stage's hourglass.
class ArrowCursor {
  public:
    ArrowCursor() : Pushed(QApplication::overrideCursor() != nullptr) {
        if (Pushed) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowCursor() {
        if (Pushed) QApplication::restoreOverrideCursor();
    }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

  private:
    bool Pushed;
};

// Keeps a second open command from starting while events are processed during the
// conversion.
class DisabledAction {
  public:
    explicit DisabledAction(QAction* action) : Action(action) { Action->setEnabled(false); }
    ~DisabledAction() { Action->setEnabled(true); }
    DisabledAction(const DisabledAction&) = delete;
    DisabledAction& operator=(const DisabledAction&) = delete;

  private:
    QAction* Action;
};

// Redrawing is off while a tree is loaded and comes back also when the load fails.
class SuspendedUpdates {
  public:
    explicit SuspendedUpdates(QWidget& widget) : Widget(widget) { Widget.setUpdatesEnabled(false); }
    ~SuspendedUpdates() {
        Widget.setUpdatesEnabled(true);
        Widget.update();
    }
    SuspendedUpdates(const SuspendedUpdates&) = delete;
    SuspendedUpdates& operator=(const SuspendedUpdates&) = delete;

  private:
    QWidget& Widget;
};

QString OpenFilters() {
    return QStringLiteral(
        "Документы и курсы (*.doc *.docx *.odt *.rtf *.htm *.html *.kelmo-course);;"
        "Документ MS Word (*.doc);;"
        "Документ Word 2007 (*.docx);;"
        "Документ OpenDocument (*.odt);;"
        "Документ RTF (*.rtf);;"
        "Веб-страница (*.htm *.html *.~ht);;"
        "Курс (*.kelmo-course);;"
        "Все файлы (*)");
}

QAction* AddAction(QMenu& menu, const QString& text, const QList<QKeySequence>& keys,
                   const QString& name) {
    QAction* action = menu.addAction(text);
    action->setObjectName(name);
    action->setShortcuts(keys);
    return action;
}

// Fills view from tree in depth-first order; each item keeps its absolute index.
void FillTreeWidget(QTreeWidget& view, const kelmo::OutlineTree& tree) {
    std::vector<QTreeWidgetItem*> path;  // the last item made at each depth
    int index = 0;
    for (const kelmo::OutlineNode* node = tree.Count() ? &tree.NodeAt(0) : nullptr; node;
         node = tree.Next(*node), ++index) {
        path.resize(node->Depth);
        QTreeWidgetItem* item =
            path.empty() ? new QTreeWidgetItem(&view) : new QTreeWidgetItem(path.back());
        const QString title = kelmo::DecodeWindows1251(node->Text);
        item->setText(0, title);
        item->setToolTip(0, title);  // the narrow tree cuts long titles short
        item->setData(0, Qt::UserRole, index);
        path.push_back(item);
    }
}

}  // namespace

TMainForm::TMainForm(std::unique_ptr<kelmo::Dialogs> dialogs,
                     std::unique_ptr<kelmo::PageViewer> viewer, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TMainForm>()),
      Dialogs(dialogs ? std::move(dialogs) : std::make_unique<kelmo::MessageBoxDialogs>()),
      PageView(viewer ? std::move(viewer) : std::make_unique<kelmo::WebPageViewer>()) {
    ui->setupUi(this);
    SetupControls();
    CourseCmds = std::make_unique<kelmo::CourseCommands>(*this);
    Review = new kelmo::ReviewTools(*this);
    UpdateCommands();
    // FormCreate
    setWindowState(windowState() | Qt::WindowMaximized);
    InitialDir = QDir::currentPath();
    RestoreSettings();
}

TMainForm::~TMainForm() = default;

void TMainForm::SetupControls() {
    ui->PanelLayout->addWidget(PageView->Widget());
    PageView->Widget()->setObjectName(QStringLiteral("WebBrowser1"));

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setNameFilters(OpenFilters().split(QStringLiteral(";;")));
    kelmo::CloseCompletionsWithDialog(*OpenDialog1);

    ui->ToolBar1->widgetForAction(ui->UOpen)->setObjectName(QStringLiteral("ToolButton1"));
    cbAutoNumHead = new QCheckBox(QStringLiteral("Автоматическая нумерация заголовков"), this);
    cbAutoNumHead->setObjectName(QStringLiteral("cbAutoNumHead"));
    cbAutoNumHead->setMinimumWidth(242);
    cbAutoNumHead->setChecked(true);
    cbAutoNumHead->setToolTip(QStringLiteral(
        "Автоматически: номера разделов добавляются, если у заголовков документа нет своих "
        "номеров"));
    connect(cbAutoNumHead, &QCheckBox::toggled, this, [this](bool on) {
        Numbering = on ? kelmo::Numbering::On : kelmo::Numbering::Off;
        cbAutoNumHead->setToolTip(on ? QStringLiteral("Номера разделов добавляются всегда")
                                     : QStringLiteral("Номера разделов не добавляются"));
    });
    ui->ToolBar1->addWidget(cbAutoNumHead);

    QPalette palette = ui->tvStruct->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::Highlight));
    ui->tvStruct->setPalette(palette);
    Notice = kelmo::TreeNotice::InstallAbove(*ui->tvStruct);
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({201, 823});

    StatusText = new QLabel(this);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    ui->StatusBar1->addWidget(StatusText, 1);
    ui->UOpen->setShortcut(QKeySequence::Open);
    URefresh = new QAction(QStringLiteral("&Обновить"), this);
    URefresh->setObjectName(QStringLiteral("URefresh"));
    URefresh->setShortcut(QKeySequence::Refresh);
    URefresh->setEnabled(false);
    ui->MUchebnik->insertAction(ui->MUchebnik->actions().value(1), URefresh);
    connect(URefresh, &QAction::triggered, this, &TMainForm::URefreshClick);
    SetupReading();
    Checks = new kelmo::CheckPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, Checks);
    ui->MUchebnik->insertAction(ui->UExit, Checks->toggleViewAction());
    connect(Checks, &kelmo::CheckPanel::PageChosen, this,
            [this](int page) { SelectNode(page - 1); });
    connect(Notice, &kelmo::TreeNotice::NodeChosen, this, [this](int index) {
        SelectNode(index);
        Checks->SelectPage(index + 1);
    });

    connect(ui->UOpen, &QAction::triggered, this, &TMainForm::UOpenClick);
    connect(ui->UExit, &QAction::triggered, this, &TMainForm::UExitClick);
    connect(ui->N4, &QAction::triggered, this, &TMainForm::N4Click);
    // A selection, not the current item: focus alone makes the first node current.
    connect(ui->tvStruct, &QTreeWidget::itemSelectionChanged, this,
            &TMainForm::tvStructSelectionChanged);
}

// Zoom and find, from the keyboard, the View menu and the page's context menu.
void TMainForm::SetupReading() {
    FindBar1 = new kelmo::FindBar(this);
    ui->PanelLayout->addWidget(FindBar1);
    connect(FindBar1, &kelmo::FindBar::FindRequested, this,
            [this](const QString& text, bool backward) { PageView->FindText(text, backward); });

    auto* view = new QMenu(QStringLiteral("&Вид"), this);
    view->setObjectName(QStringLiteral("MView"));
    menuBar()->insertMenu(ui->N3->menuAction(), view);
    QAction* zoomIn = AddAction(*view, QStringLiteral("&Увеличить"),
                                {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                                QStringLiteral("UZoomIn"));
    QAction* zoomOut = AddAction(*view, QStringLiteral("У&меньшить"), {QKeySequence::ZoomOut},
                                 QStringLiteral("UZoomOut"));
    QAction* zoomReset =
        AddAction(*view, QStringLiteral("&Обычный размер"), {QKeySequence(Qt::CTRL | Qt::Key_0)},
                  QStringLiteral("UZoomReset"));
    view->addSeparator();
    QAction* find = AddAction(*view, QStringLiteral("&Найти на странице..."), {QKeySequence::Find},
                              QStringLiteral("UFind"));
    connect(zoomIn, &QAction::triggered, this, [this] { SetZoom(Zoom * kZoomStep); });
    connect(zoomOut, &QAction::triggered, this, [this] { SetZoom(Zoom / kZoomStep); });
    connect(zoomReset, &QAction::triggered, this, [this] { SetZoom(1.0); });
    connect(find, &QAction::triggered, FindBar1, &kelmo::FindBar::Open);

    auto* separator = new QAction(this);
    separator->setSeparator(true);
    PageView->Widget()->addActions({separator, zoomIn, zoomOut, zoomReset});
}

void TMainForm::SetZoom(double zoom) {
    Zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    PageView->SetZoom(Zoom);
    if (Review) Review->ShowZoom(Zoom);
}

void TMainForm::RestoreSettings() {
    const QSettings settings = kelmo::UserSettings();
    ui->Splitter1->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray());
    bool number = false;
    const double zoom = settings.value(QStringLiteral("view/zoom"), 1.0).toDouble(&number);
    // A value edited by hand out of range gives the plain size, not the nearest bound.
    SetZoom(number && zoom >= kMinZoom && zoom <= kMaxZoom ? zoom : 1.0);
}

void TMainForm::SaveSettings() const {
    QSettings settings = kelmo::UserSettings();
    settings.setValue(QStringLiteral("window/splitter"), ui->Splitter1->saveState());
    settings.setValue(QStringLiteral("view/zoom"), Zoom);
}

void TMainForm::SetAboutBox(TAboutBox* aboutBox) { AboutBox = aboutBox; }

void TMainForm::SetConvertOptions(const kelmo::ConvertOptions& options) {
    ConvertOptions = options;
}

void TMainForm::UOpenClick() {
    if (CommandRunning) return;
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().front());
    OpenDialog1->setDirectory(InitialDir);
    // Like the last time, the dialog offers the document chosen then.
    if (!LastDocument.isEmpty()) OpenDialog1->selectFile(QFileInfo(LastDocument).fileName());
    const QString documentPath = Dialogs->AskDocument(*OpenDialog1);
    if (documentPath.isEmpty()) return;
    LastDocument = documentPath;
    OpenDocument(documentPath);
}

void TMainForm::OpenStartFile(const QString& documentPath) {
    // A path typed by hand may name nothing: say so before a work folder is made beside it.
    if (!QFileInfo::exists(documentPath)) {
        CheckFileExists(documentPath);
        emit CommandFinished();
        return;
    }
    OpenDocument(documentPath);
}

void TMainForm::OpenDocument(const QString& documentPath) {
    if (CommandRunning) return;
    if (kelmo::IsCourseFile(documentPath)) return OpenCourse(documentPath);
    RunCommand([&] {
        const kelmo::WaitCursor wait;
        ShowPages(RunInNewWorkDir(documentPath));
        Review->Remember(documentPath);
    });
}

void TMainForm::OpenCourse(const QString& coursePath) {
    if (CommandRunning) return;
    RunCommand([&] {
        kelmo::Course course = kelmo::LoadCourse(coursePath);
        const kelmo::WaitCursor wait;
        ClearOutline();
        Checks->Clear();
        const kelmo::WorkFolder folder = kelmo::MakeWorkFolderOrElsewhere(
            kelmo::DocumentFolder(coursePath), kelmo::NewSessionName(), kelmo::FallbackWorkRoot());
        WorkDirElsewhere = folder.Elsewhere;
        if (folder.Created) CreatedWorkDirs << folder.Path;
        Shown = {kelmo::Shown::Kind::Course,
                 coursePath,
                 folder.Path,
                 {},
                 std::make_unique<kelmo::CourseRoad>(std::move(course), folder.Path)};
        WatchShown();
        Shown.Course->Run(RoadOptionsFor(false));
        ShowCourse(QStringLiteral("Курс разделен на страницы в папке ") + folder.Path +
                   QStringLiteral("."));
        Review->Remember(coursePath);
    });
}

// The road again for what is shown, into its work folder, while the reader reads on; the
// heading selected stays selected.
void TMainForm::URefreshClick() {
    if (Shown.What == kelmo::Shown::Kind::Course) return RefreshCourse(-1);
    if (CommandRunning || Shown.What != kelmo::Shown::Kind::Document) return;
    const QString documentPath = Shown.Source;
    RunCommand([&] {
        const auto [place, title] = Selected();
        ShowPages(RunDocumentRoad(documentPath, false));
        if (place >= 0) ReselectHeading(place, title);
        SetStatus(QStringLiteral("Документ обновлён в ") +
                  QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(". ") +
                  CheckCount);
    });
}

void TMainForm::RefreshCourse(qsizetype material) {
    if (CommandRunning || !Shown.Course) return;
    RunCommand([&] {
        const auto [place, title] = Selected();
        if (material < 0) {
            Shown.Course->Run(RoadOptionsFor(false));
        } else {
            Shown.Course->RunMaterial(material, RoadOptionsFor(false));
        }
        ShowCourse(QStringLiteral("Курс обновлён в ") +
                   QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('.'));
        if (place >= 0) ReselectHeading(place, title);
    });
}

void TMainForm::WatchShown() {
    Watchers.clear();
    QStringList documents;
    if (Shown.What == kelmo::Shown::Kind::Document) documents << Shown.Source;
    if (Shown.Course)
        for (const kelmo::Material& material : Shown.Course->Definition().Materials)
            documents << material.Document;
    for (qsizetype i = 0; i < documents.size(); ++i) {
        auto watcher = std::make_unique<kelmo::DocumentWatcher>();
        watcher->Watch(documents[i]);
        connect(watcher.get(), &kelmo::DocumentWatcher::Settled, this, [this, i] {
            if (Shown.Course) {
                RefreshCourse(i);
            } else {
                URefreshClick();
            }
        });
        // Watching starts inside a command: the command's end lets it report.
        if (CommandRunning) watcher->BeginRun();
        Watchers.push_back(std::move(watcher));
    }
}

std::pair<int, QByteArray> TMainForm::Selected() const {
    const QList<QTreeWidgetItem*> selected = ui->tvStruct->selectedItems();
    const int place = selected.isEmpty() ? -1 : selected.front()->data(0, Qt::UserRole).toInt();
    return {place, place >= 0 && place < StructTree.Count() ? StructTree.NodeAt(place).Text
                                                            : QByteArray()};
}

void TMainForm::ReselectHeading(int place, const QByteArray& title) {
    const int index = kelmo::FindHeading(StructTree, place, title);
    if (index >= 0) {
        SelectNode(index);
    } else if (!Shown.Course) {  // a course has no whole document to fall back on
        ShowPage(kelmo::WorkFile(Shown.WorkDir, kelmo::work::Clean));
    }
}

void TMainForm::RunCommand(const std::function<void()>& command) {
    CommandRunning = true;
    for (const auto& watcher : Watchers) watcher->BeginRun();
    try {
        command();
    } catch (const kelmo::RoadCancelled&) {  // the window is closing
    } catch (const std::exception& error) {
        ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    CommandRunning = false;
    URefresh->setEnabled(Shown.What != kelmo::Shown::Kind::Nothing);
    UpdateCommands();
    for (const auto& watcher : Watchers) watcher->EndRun();
    emit CommandFinished();
    if (CloseRequested) QTimer::singleShot(0, this, &QWidget::close);
}

// Commands that need pages are disabled while there are none.
void TMainForm::UpdateCommands() {
    const bool pages = Shown.WorkDir != QStringLiteral(" ") &&
                       QFileInfo::exists(kelmo::WorkFile(Shown.WorkDir, kelmo::work::Names));
    CourseCmds->UpdateCommands(pages);
    Review->PagesChanged(pages);
}

void TMainForm::ShowException(const QString& message) {
    ShowMessageBox(QStringLiteral("Kelmo Preview"), kelmo::ErrorDisplayText(message));
}

void TMainForm::ShowMessageBox(const QString& caption, const QString& text) {
    const ArrowCursor arrow;
    Dialogs->ShowError(this, caption, text);
}

void TMainForm::SetStatus(const QString& text) { StatusText->setText(text); }

QString TMainForm::Status() const { return StatusText->text(); }

void TMainForm::ShowProgress(const QString& documentPath, int elapsedMs) {
    SetStatus(QStringLiteral("Преобразование документа %1 ... %2 с")
                  .arg(documentPath)
                  .arg(elapsedMs / 1000));
    QCoreApplication::processEvents();
}

kelmo::Pages TMainForm::RunInNewWorkDir(const QString& documentPath) {
    Watchers.clear();
    ClearOutline();
    Checks->Clear();

    InitialDir = kelmo::DocumentFolder(documentPath);
    SessionName = kelmo::NewSessionName();
    // The status line never names the folder of a document shown before this one.
    const QString refused =
        QStringLiteral("Документ ") + documentPath + QStringLiteral(" не открыт.");
    kelmo::WorkFolder folder;
    try {
        folder =
            kelmo::MakeWorkFolderOrElsewhere(InitialDir, SessionName, kelmo::FallbackWorkRoot());
    } catch (...) {
        SetStatus(refused);
        throw;
    }
    Shown = {kelmo::Shown::Kind::Document, documentPath, folder.Path, {}, nullptr};
    WorkDirElsewhere = folder.Elsewhere;
    if (folder.Created) CreatedWorkDirs << folder.Path;
    try {
        kelmo::Pages pages = RunDocumentRoad(documentPath, true);
        WatchShown();
        return pages;
    } catch (...) {
        SetStatus(refused);
        if (folder.Created) ForgetEmptyWorkFolder(folder.Path);
        throw;
    }
}

void TMainForm::ClearOutline() {
    ui->tvStruct->clear();
    StructTree.Clear();
    ui->tvFNames->clear();
    NamesTree.Clear();
    Notice->ShowMessage({}, -1);
}

kelmo::RoadOptions TMainForm::RoadOptionsFor(bool showStages) {
    kelmo::RoadOptions options;
    options.Convert = ConvertOptions;
    options.Numbers = Numbering;
    options.CancelRequested = [this] { return CloseRequested; };
    options.Progress = [this](const QString& document, int elapsedMs) {
        ShowProgress(document, elapsedMs);
    };
    options.StageReached = [this, showStages](kelmo::RoadStage stage, const QString& file) {
        switch (stage) {
            case kelmo::RoadStage::Converted:
                if (showStages) ShowPage(file);
                break;
            case kelmo::RoadStage::Cleaned:
                if (showStages) ShowPage(file);
                SetStatus(QStringLiteral("Документ обработан и сохранен в ") + file +
                          QLatin1Char('.'));
                break;
            case kelmo::RoadStage::Split:
                SetStatus(QStringLiteral("Документ разделен на страницы в папке ") + file +
                          (WorkDirElsewhere
                               ? QStringLiteral(" (папка документа закрыта для записи).")
                               : QStringLiteral(".")));
                break;
            case kelmo::RoadStage::Checked:
                break;
        }
    };
    return options;
}

kelmo::Pages TMainForm::RunDocumentRoad(const QString& documentPath, bool showStages) {
    kelmo::RoadOptions options = RoadOptionsFor(showStages);
    const QString statusBefore = Status();
    bool converted = false;
    const auto stageReached = options.StageReached;
    options.StageReached = [&](kelmo::RoadStage stage, const QString& file) {
        if (stage == kelmo::RoadStage::Converted) {
            converted = true;
            SetStatus(QStringLiteral("Документ ") + documentPath +
                      QStringLiteral(" преобразован в формат HTML."));
        }
        stageReached(stage, file);
    };
    const DisabledAction disabled(ui->UOpen);
    try {
        kelmo::Pages pages = kelmo::RunRoad(documentPath, Shown.WorkDir, options);
        Shown.DocTitle = pages.DocTitle;
        return pages;
    } catch (...) {
        if (!converted) SetStatus(statusBefore);  // the progress was only shown while waiting
        throw;
    }
}

// A refused document leaves no empty folder behind; one with something in it stays until
// the window closes.
void TMainForm::ForgetEmptyWorkFolder(const QString& folder) {
    if (!QDir(folder).isEmpty() || !QDir().rmdir(folder)) return;
    CreatedWorkDirs.removeAll(folder);
    Shown = {};
}

QString TMainForm::ShowPages(const kelmo::Pages& pages) {
    if (pages.Split == kelmo::SplitResult::TooManyHeadings) {
        ShowCheck(pages.Findings);
        ShowMessageBox(kErrorCaption, QString::fromUtf8(kelmo::HeadingLimitMessage()));
        return {};
    }
    ShowCheck(pages.Findings);
    const bool numbers = kelmo::UsesNumbers(*pages.Table, Numbering);
    if (Numbering == kelmo::Numbering::Auto) {
        const QSignalBlocker keepAutomatic(cbAutoNumHead);
        cbAutoNumHead->setChecked(numbers);
        cbAutoNumHead->setToolTip(
            numbers ? QStringLiteral("Автоматически: у заголовков документа нет своих номеров, "
                                     "номера разделов добавлены")
                    : QStringLiteral("Автоматически: большинство заголовков документа уже "
                                     "начинается со своего номера, номера разделов не добавлены"));
    }
    const QString refused = LoadOutline();
    kelmo::MarkPages(*ui->tvStruct, pages.Findings);
    return refused;
}

void TMainForm::ShowCourse(const QString& status) {
    SetStatus(status);
    const std::vector<kelmo::Finding> findings = Shown.Course->Findings();
    ShowCheck(findings);
    LoadOutline();  // a material's skipped level is its own finding
    kelmo::MarkPages(*ui->tvStruct, findings);
    CourseCmds->ShowSections();
}

QString TMainForm::LoadOutline() {
    const QString titlesRefused =
        LoadTree(*ui->tvStruct, StructTree, kelmo::WorkFile(Shown.WorkDir, kelmo::work::Titles));
    ui->tvStruct->expandAll();
    ui->tvStruct->update();
    const QString namesRefused =
        LoadTree(*ui->tvFNames, NamesTree, kelmo::WorkFile(Shown.WorkDir, kelmo::work::Names));
    // A document without headings is one page, page_0.htm: its node is named after the
    // document unless the outline names it.
    if (NamesTree.Count() > 0 && NamesTree.NodeAt(0).Text == "page_0.htm" &&
        StructTree.Count() > 0 && StructTree.NodeAt(0).Text.trimmed().isEmpty())
        ui->tvStruct->topLevelItem(0)->setText(0, DocumentName());
    // Both trees hold every line; a skipped level is told on the line above the tree.
    const QString refused = titlesRefused.isEmpty() ? namesRefused : titlesRefused;
    Notice->ShowMessage(
        refused, titlesRefused.isEmpty() ? NamesTree.RefusedIndex() : StructTree.RefusedIndex());
    return refused;
}

QString TMainForm::DocumentName() const {
    std::string title = Shown.DocTitle;
    kelmo::HtmlToPlainText(title);
    const QString name = kelmo::DecodeWindows1251(title);
    return name.isEmpty() ? QFileInfo(Shown.Source).completeBaseName() : name;
}

void TMainForm::ShowCheck(const std::vector<kelmo::Finding>& findings) {
    Checks->ShowFindings(findings);
    CheckCount = QString::fromUtf8(kelmo::CheckSummary(findings));
    SetStatus(Status() + QLatin1Char(' ') + CheckCount);
}

QString TMainForm::LoadTree(QTreeWidget& view, kelmo::OutlineTree& tree, const QString& fileName) {
    // A file that cannot be read throws here, before the tree or the view is touched.
    const QByteArray text = kelmo::OutlineTree::ReadFile(fileName);
    const SuspendedUpdates suspended(view);
    view.clear();
    const QString refused = tree.LoadText(text);
    FillTreeWidget(view, tree);
    return refused;
}

void TMainForm::ShowPage(const QString& fileName) {
    if (fileName.isEmpty()) return;
    if (!CheckFileExists(fileName)) return;
    PageView->ShowFile(fileName);
}

bool TMainForm::CheckFileExists(const QString& fileName) {
    if (QFileInfo(fileName).isFile()) return true;
    ShowMessageBox(kErrorCaption,
                   QStringLiteral("Файл \"") + fileName + QStringLiteral("\" не найден."));
    return false;
}

void TMainForm::tvStructSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = ui->tvStruct->selectedItems();
    if (!selected.isEmpty()) tvStructChange(selected.front());
}

void TMainForm::tvStructChange(QTreeWidgetItem* current) {
    if (!current) return;
    const int index = current->data(0, Qt::UserRole).toInt();
    const kelmo::OutlineNode* page = nullptr;
    try {
        page = &NamesTree.NodeAt(index);
    } catch (const kelmo::TreeViewError&) {
        ShowMessageBox(kErrorCaption,
                       QStringLiteral("Ошибка в определении структуры учебника. Разделу "
                                      "учебника не сопоставлена страница"));
        return;
    }
    ShowPage(Shown.WorkDir + QLatin1Char('/') + QFile::decodeName(page->Text));
}

void TMainForm::SelectNode(int index) {
    for (QTreeWidgetItemIterator it(ui->tvStruct); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toInt() == index) {
            ui->tvStruct->setCurrentItem(*it);
            return;
        }
    }
}

QMenu& TMainForm::FileMenu() { return *ui->MUchebnik; }

QTreeWidget& TMainForm::StructView() { return *ui->tvStruct; }

void TMainForm::UExitClick() { close(); }

void TMainForm::N4Click() {
    if (AboutBox) AboutBox->ShowOnRequest();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (CommandRunning) {
        // Closing in the middle of a conversion would delete the folder it writes to: the
        // road stops at its next step, and the window closes once the command is over.
        CloseRequested = true;
        event->ignore();
        return;
    }
    for (const QString& folder : std::as_const(CreatedWorkDirs))
        kelmo::DeleteFolder(kelmo::LocalPath(folder));
    CreatedWorkDirs.clear();
    Watchers.clear();
    SaveSettings();
    event->accept();
}
