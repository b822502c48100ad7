#include "ReviewTools.h"

#include <Charset1251.h>

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "AppSetup.h"
#include "MainForm1.h"
#include "OutlineTree.h"
#include "WaitCursor.h"
#include "ui_MainForm1.h"

namespace kelmo {
namespace {

constexpr int RecentCount = 8;
const QString RecentKey = QStringLiteral("recent/documents");
// All pages as one document, written into the work folder for the PDF.
const QString JoinedFile = QStringLiteral("print.~ht");

QAction* NewAction(QWidget* parent, const QString& text, const QString& name) {
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    return action;
}

}  // namespace

ReviewTools::ReviewTools(TMainForm& window) : QObject(&window), Window(window) {
    Ui::TMainForm& ui = *window.ui;
    USearch =
        NewAction(&window, QStringLiteral("Найти во всех &страницах…"), QStringLiteral("USearch"));
    USearch->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    UPrintPage =
        NewAction(&window, QStringLiteral("&Печать страницы…"), QStringLiteral("UPrintPage"));
    UPrintPage->setShortcut(QKeySequence::Print);
    UPrintAll =
        NewAction(&window, QStringLiteral("Печать &всех страниц…"), QStringLiteral("UPrintAll"));
    UPdfPage = NewAction(&window, QStringLiteral("Страницу в &PDF…"), QStringLiteral("UPdfPage"));
    UPdfAll = NewAction(&window, QStringLiteral("Все страницы в P&DF…"), QStringLiteral("UPdfAll"));
    UOpenFolder = NewAction(&window, QStringLiteral("Открыть &папку со страницами"),
                            QStringLiteral("UOpenFolder"));
    MRecent = new QMenu(QStringLiteral("Пос&ледние документы"), &window);
    MRecent->setObjectName(QStringLiteral("MRecent"));

    QAction* before = ui.MUchebnik->actions().value(1);  // after the open command
    ui.MUchebnik->insertMenu(before, MRecent);
    ui.MUchebnik->insertActions(ui.UExit, {UPrintPage, UPrintAll, UPdfPage, UPdfAll, UOpenFolder});
    ui.MUchebnik->insertSeparator(ui.UExit);
    if (QMenu* view = window.findChild<QMenu*>(QStringLiteral("MView"))) view->addAction(USearch);
    window.addAction(USearch);

    SearchPanel = new QDockWidget(QStringLiteral("Поиск"), &window);
    SearchPanel->setObjectName(QStringLiteral("SearchPanel"));
    auto* box = new QWidget(SearchPanel);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    SearchText = new QLineEdit(box);
    SearchText->setObjectName(QStringLiteral("edSearch"));
    SearchText->setPlaceholderText(QStringLiteral("Текст для поиска во всех страницах, Enter"));
    SearchText->setClearButtonEnabled(true);
    Results = new QListWidget(box);
    Results->setObjectName(QStringLiteral("lvSearch"));
    layout->addWidget(SearchText);
    layout->addWidget(Results);
    SearchPanel->setWidget(box);
    SearchPanel->hide();
    window.addDockWidget(Qt::LeftDockWidgetArea, SearchPanel);

    ZoomText = new QLabel(&window);
    ZoomText->setObjectName(QStringLiteral("ZoomText"));
    ui.StatusBar1->addPermanentWidget(ZoomText);

    connect(USearch, &QAction::triggered, this, [this] {
        SearchPanel->show();
        SearchText->setFocus();
        SearchText->selectAll();
    });
    connect(SearchText, &QLineEdit::returnPressed, this, [this] { Search(SearchText->text()); });
    connect(Results, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ChooseResult(Results->row(item)); });
    connect(Results, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ChooseResult(Results->row(item)); });
    connect(UPrintPage, &QAction::triggered, this, [this] { PrintClick(false); });
    connect(UPrintAll, &QAction::triggered, this, [this] { PrintClick(true); });
    connect(UPdfPage, &QAction::triggered, this, [this] { PdfClick(false); });
    connect(UPdfAll, &QAction::triggered, this, [this] { PdfClick(true); });
    connect(UOpenFolder, &QAction::triggered, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(Window.Shown.WorkDir)); });
    AskPdfPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&Window, QStringLiteral("Сохранить в PDF"), suggested,
                                            QStringLiteral("Документ PDF (*.pdf)"));
    };
    FillRecent();
    PagesChanged(false);
}

ReviewTools::~ReviewTools() = default;

void ReviewTools::PagesChanged(bool pagesShown) {
    Index.reset();
    Results->clear();
    EnableCommands(pagesShown);
}

void ReviewTools::EnableCommands(bool enabled) {
    for (QAction* action : {USearch, UPrintPage, UPrintAll, UPdfPage, UPdfAll, UOpenFolder})
        action->setEnabled(enabled && !Running);
}

QStringList ReviewTools::Recent() const { return UserSettings().value(RecentKey).toStringList(); }

void ReviewTools::Remember(const QString& path) {
    QStringList recent = Recent();
    const QString full = QFileInfo(path).absoluteFilePath();
    recent.removeAll(full);
    recent.prepend(full);
    while (recent.size() > RecentCount) recent.removeLast();
    UserSettings().setValue(RecentKey, recent);
    FillRecent();
}

void ReviewTools::FillRecent() {
    MRecent->clear();
    const QStringList recent = Recent();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        QAction* open = MRecent->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
        connect(open, &QAction::triggered, this, [this, path] { Window.OpenStartFile(path); });
    }
    MRecent->setEnabled(!recent.isEmpty());
}

void ReviewTools::ShowZoom(double zoom) {
    ZoomText->setText(QStringLiteral("%1 %").arg(qRound(zoom * 100)));
}

// Every page of the tree, in tree order, read once per load.
void ReviewTools::BuildIndex() {
    const WaitCursor wait;
    Index = std::make_unique<SearchIndex>();
    const OutlineTree& names = Window.NamesTree;
    for (const OutlineNode* node = names.Count() ? &names.NodeAt(0) : nullptr; node;
         node = names.Next(*node)) {
        const QString file =
            Window.Shown.WorkDir + QLatin1Char('/') + QFile::decodeName(node->Text);
        try {
            Index->AddPage(ReadWholeFile(QFile::encodeName(file).toStdString()));
        } catch (const IoError&) {
            Index->AddPage({});  // a page gone from the folder has nothing to find
        }
    }
}

void ReviewTools::Search(const QString& text) {
    Results->clear();
    LastQuery = text.trimmed();
    if (LastQuery.isEmpty() || Window.NamesTree.Count() == 0) return;
    if (!Index) BuildIndex();
    const std::vector<SearchIndex::Hit> hits =
        Index->Find(Utf8ToWindows1251(LastQuery.toStdString()));
    for (const SearchIndex::Hit& hit : hits) {
        if (hit.Page >= Window.StructTree.Count()) break;
        const QString title = DecodeWindows1251(Window.StructTree.NodeAt(hit.Page).Text);
        auto* item =
            new QListWidgetItem(QStringLiteral("%1 — %2").arg(title).arg(hit.Count), Results);
        item->setToolTip(title);
        item->setData(Qt::UserRole, hit.Page);
    }
    if (hits.empty()) Results->addItem(QStringLiteral("Не найдено"));
    Window.SetStatus(QStringLiteral("Поиск «%1»: страниц — %2").arg(LastQuery).arg(hits.size()));
}

void ReviewTools::ChooseResult(int row) {
    QListWidgetItem* item = Results->item(row);
    if (!item || !item->data(Qt::UserRole).isValid()) return;
    const int page = item->data(Qt::UserRole).toInt();
    // The page opens with its matches marked.
    const QSignalBlocker quiet(Window.ui->tvStruct);
    Window.SelectNode(page);
    const OutlineNode& name = Window.NamesTree.NodeAt(page);
    Window.PageView->ShowFileMarked(
        Window.Shown.WorkDir + QLatin1Char('/') + QFile::decodeName(name.Text), LastQuery);
}

QString ReviewTools::ShownPage() const {
    const QList<QTreeWidgetItem*> selected = Window.ui->tvStruct->selectedItems();
    if (!selected.isEmpty()) {
        const int index = selected.front()->data(0, Qt::UserRole).toInt();
        if (index < Window.NamesTree.Count())
            return Window.Shown.WorkDir + QLatin1Char('/') +
                   QFile::decodeName(Window.NamesTree.NodeAt(index).Text);
    }
    return Window.Shown.WorkDir + QStringLiteral("/clear.~ht");
}

void ReviewTools::PdfClick(bool wholeDocument) {
    const QString name =
        Window.DocumentName().isEmpty() ? QStringLiteral("pages") : Window.DocumentName();
    const QString pdfPath = AskPdfPath(QDir(Window.InitialDir).filePath(name + ".pdf"));
    if (pdfPath.isEmpty()) return;
    SavePdf(wholeDocument, pdfPath.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                               ? pdfPath
                               : pdfPath + QStringLiteral(".pdf"));
}

void ReviewTools::SavePdf(bool wholeDocument, const QString& pdfPath) {
    Output(
        wholeDocument, QStringLiteral("Сохранение в PDF…"),
        [this, pdfPath](const QString& source, const std::function<void(bool)>& done) {
            Window.PageView->SavePdf(source, pdfPath, done);
        },
        [this, pdfPath](bool ok) {
            Window.SetStatus(ok ? QStringLiteral("PDF сохранён: ") + pdfPath + QStringLiteral(".")
                                : QStringLiteral("Не удалось сохранить PDF ") + pdfPath +
                                      QStringLiteral("."));
            emit PdfFinished(ok, pdfPath);
        });
}

void ReviewTools::PrintClick(bool wholeDocument) {
    Printer = std::make_unique<QPrinter>();
    QPrintDialog dialog(Printer.get(), &Window);
    if (dialog.exec() != QDialog::Accepted) return;
    Output(
        wholeDocument, QStringLiteral("Печать…"),
        [this](const QString& source, const std::function<void(bool)>& done) {
            Window.PageView->Print(source, *Printer, done);
        },
        [this](bool ok) {
            Window.SetStatus(ok ? QStringLiteral("Страницы отправлены на печать.")
                                : QStringLiteral("Не удалось напечатать страницы."));
        });
}

// The page shown, or every page in tree order joined into one file of the work folder,
// given to run with a progress bar; finished gets the result.
void ReviewTools::Output(bool wholeDocument, const QString& label, const Runner& run,
                         const std::function<void(bool)>& finished) {
    if (Running || Window.Shown.WorkDir == QStringLiteral(" ")) return;
    QString source = ShownPage();
    auto* progress =
        new QProgressDialog(label, QString(), 0, Window.NamesTree.Count() + 1, &Window);
    progress->setObjectName(QStringLiteral("OutputProgress"));
    progress->setWindowTitle(QStringLiteral("Kelmo Preview"));
    progress->setMinimumDuration(0);
    progress->setValue(0);
    if (wholeDocument) {
        std::vector<std::string> pages;
        const OutlineTree& names = Window.NamesTree;
        for (int i = 0; i < names.Count(); ++i) {
            const QString file =
                Window.Shown.WorkDir + QLatin1Char('/') + QFile::decodeName(names.NodeAt(i).Text);
            try {
                pages.push_back(ReadWholeFile(QFile::encodeName(file).toStdString()));
            } catch (const IoError&) {
            }
            progress->setValue(i + 1);
        }
        source = Window.Shown.WorkDir + QLatin1Char('/') + JoinedFile;
        try {
            WriteWholeFile(QFile::encodeName(source).toStdString(), JoinPages(pages));
        } catch (const IoError& error) {
            delete progress;
            Window.ShowException(QString::fromUtf8(error.what()));
            finished(false);
            return;
        }
    }
    progress->setRange(0, 0);  // Chromium prints without telling how far it is
    Running = true;
    EnableCommands(false);
    run(source, [this, progress, finished](bool ok) {
        delete progress;
        Running = false;
        EnableCommands(true);
        finished(ok);
    });
}

}  // namespace kelmo
