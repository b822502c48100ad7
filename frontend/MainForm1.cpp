#include "MainForm1.h"

#include <WorkFolder.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "CheckPanel.h"
#include "ErrorText.h"
#include "ui_MainForm1.h"

namespace {

const QString kErrorCaption = QStringLiteral("Error");

// The hourglass for the life of one stage, put back also when the stage throws.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

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

std::string Encoded(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString OpenFilters() {
    return QStringLiteral(
        "Документ MS Word (*.doc);;"
        "Документы (*.doc *.docx *.odt *.rtf *.htm *.html *.~ht);;"
        "Все файлы (*)");
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
      PageView(viewer ? std::move(viewer) : std::make_unique<kelmo::WebPageViewer>()),
      Headers(std::make_unique<kelmo::HeadingTable>()) {
    ui->setupUi(this);
    SetupControls();
    // FormCreate
    setWindowState(windowState() | Qt::WindowMaximized);
    InitialDir = QDir::currentPath();
    SavedCursor = cursor();
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

    ui->ToolBar1->widgetForAction(ui->UOpen)->setObjectName(QStringLiteral("ToolButton1"));
    cbAutoNumHead = new QCheckBox(QStringLiteral("Автоматическая нумерация заголовков"), this);
    cbAutoNumHead->setObjectName(QStringLiteral("cbAutoNumHead"));
    cbAutoNumHead->setMinimumWidth(242);
    cbAutoNumHead->setChecked(true);
    ui->ToolBar1->addWidget(cbAutoNumHead);

    QPalette palette = ui->tvStruct->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::Highlight));
    ui->tvStruct->setPalette(palette);
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({201, 823});

    Checks = new kelmo::CheckPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, Checks);
    ui->MUchebnik->insertAction(ui->UExit, Checks->toggleViewAction());
    connect(Checks, &kelmo::CheckPanel::PageChosen, this,
            [this](int page) { SelectNode(page - 1); });

    connect(ui->UOpen, &QAction::triggered, this, &TMainForm::UOpenClick);
    connect(ui->UExit, &QAction::triggered, this, &TMainForm::UExitClick);
    connect(ui->N4, &QAction::triggered, this, &TMainForm::N4Click);
    connect(ui->tvStruct, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { tvStructChange(current); });
}

void TMainForm::SetAboutBox(QWidget* aboutBox) { AboutBox = aboutBox; }

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
    RunCommand([&] {
        ConvertToHtml(documentPath);
        const WaitCursor wait;
        UCleanHTMLClick();
        USplitClick();
    });
}

void TMainForm::RunCommand(const std::function<void()>& command) {
    const bool nested = CommandRunning;
    CommandRunning = true;
    try {
        command();
    } catch (const std::exception& error) {
        ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    CommandRunning = nested;
    if (nested) return;
    emit CommandFinished();
    if (CloseRequested) QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::ShowException(const QString& message) {
    ShowMessageBox(QStringLiteral("Kelmo Preview"), kelmo::ErrorDisplayText(message));
}

void TMainForm::ShowMessageBox(const QString& caption, const QString& text) {
    const ArrowCursor arrow;
    Dialogs->ShowError(this, caption, text);
}

void TMainForm::SetStatus(const QString& text) { ui->StatusBar1->showMessage(text); }

void TMainForm::ShowProgress(const QString& documentPath, int elapsedMs) {
    SetStatus(QStringLiteral("Преобразование документа %1 ... %2 с")
                  .arg(documentPath)
                  .arg(elapsedMs / 1000));
    QCoreApplication::processEvents();
}

void TMainForm::ConvertToHtml(const QString& documentPath) {
    const WaitCursor wait;
    ui->tvStruct->clear();
    StructTree.Clear();
    ui->tvFNames->clear();
    NamesTree.Clear();
    Checks->Clear();

    InitialDir = kelmo::DocumentFolder(documentPath);
    SessionName = kelmo::NewSessionName();
    const kelmo::WorkFolder folder = kelmo::MakeWorkFolder(InitialDir, SessionName);
    WorkDir = folder.Path;
    WorkDirCreated = folder.Created;

    kelmo::ConvertOptions options = ConvertOptions;
    options.Progress = [this, documentPath, outer = ConvertOptions.Progress](int elapsedMs) {
        ShowProgress(documentPath, elapsedMs);
        if (outer) outer(elapsedMs);
    };
    const QString statusBefore = ui->StatusBar1->currentMessage();
    try {
        const DisabledAction disabled(ui->UOpen);
        kelmo::ConvertDocument(documentPath, WorkDir + QStringLiteral("/i.~ht"), options);
    } catch (...) {
        SetStatus(statusBefore);  // the progress was only shown while waiting
        throw;
    }
    SetStatus(QStringLiteral("Документ ") + documentPath +
              QStringLiteral(" преобразован в формат HTML."));

    HtmlFile = WorkDir + QStringLiteral("/i.~ht");
    Html = kelmo::LoadTextFile(Encoded(HtmlFile));
    ShowPage(HtmlFile);
}

void TMainForm::UCleanHTMLClick() {
    const QString cleanFile = WorkDir + QStringLiteral("/clear.~ht");
    kelmo::CleanWordHtml(DocTitle, Html);
    kelmo::WriteCleanDocument(Encoded(cleanFile), DocTitle, Html);
    ShowPage(cleanFile);
    SetStatus(QStringLiteral("Документ обработан и сохранен в ") + cleanFile + QStringLiteral("."));
}

void TMainForm::USplitClick() {
    const std::string workDir = Encoded(WorkDir);
    if (kelmo::SplitIntoPages(*Headers, workDir, Html) == kelmo::SplitResult::TooManyHeadings) {
        ShowMessageBox(kErrorCaption, QString::fromUtf8(kelmo::HeadingLimitMessage()));
        return;
    }
    kelmo::WriteOutline(*Headers, workDir, cbAutoNumHead->isChecked());
    SetStatus(QStringLiteral("Документ разделен на страницы в папке ") + WorkDir +
              QStringLiteral("."));

    // Before the trees: a tree that fails to load is what the findings explain.
    const auto findings = ShowCheck(workDir);

    LoadTree(*ui->tvStruct, StructTree, WorkDir + QStringLiteral("/Titles.txt"));
    ui->tvStruct->expandAll();
    ui->tvStruct->update();
    LoadTree(*ui->tvFNames, NamesTree, WorkDir + QStringLiteral("/Names.txt"));
    kelmo::MarkPages(*ui->tvStruct, findings);
}

std::vector<kelmo::Finding> TMainForm::ShowCheck(const std::string& workDir) {
    auto findings = kelmo::CheckDocument(*Headers, Html, kelmo::ListWorkFiles(workDir));
    Checks->ShowFindings(findings);
    SetStatus(ui->StatusBar1->currentMessage() + QLatin1Char(' ') +
              QString::fromUtf8(kelmo::CheckSummary(findings)));
    return findings;
}

void TMainForm::LoadTree(QTreeWidget& view, kelmo::OutlineTree& tree, const QString& fileName) {
    // A file that cannot be read throws here, before the tree or the view is touched.
    const QByteArray text = kelmo::OutlineTree::ReadFile(fileName);
    const SuspendedUpdates suspended(view);
    view.clear();
    try {
        tree.LoadText(text);
    } catch (const kelmo::TreeViewError&) {
        FillTreeWidget(view, tree);  // the nodes before the bad line stay
        throw;
    }
    FillTreeWidget(view, tree);
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
    ShowPage(WorkDir + QLatin1Char('/') + QFile::decodeName(page->Text));
}

void TMainForm::SelectNode(int index) {
    for (QTreeWidgetItemIterator it(ui->tvStruct); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toInt() == index) {
            ui->tvStruct->setCurrentItem(*it);
            return;
        }
    }
}

void TMainForm::UExitClick() { close(); }

void TMainForm::N4Click() {
    if (!AboutBox) return;
    AboutBox->show();
    AboutBox->raise();
    AboutBox->activateWindow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (CommandRunning) {
        // Closing in the middle of a conversion would delete the folder it writes to.
        CloseRequested = true;
        event->ignore();
        return;
    }
    if (WorkDir != QStringLiteral(" ") && WorkDirCreated) kelmo::DeleteFolder(Encoded(WorkDir));
    event->accept();
}
