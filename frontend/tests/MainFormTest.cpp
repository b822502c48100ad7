// The open command of the main window end to end, with answered dialogs, a recording
// viewer and the real document processing.
#include <About.h>
#include <FindBar.h>
#include <MainForm1.h>
#include <ReviewTools.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cstdio>

namespace {

struct Message {
    QString Caption;
    QString Text;
    bool Hourglass;  // the wait cursor stood over the box
};

class FakeDialogs : public kelmo::Dialogs {
  public:
    QStringList Answers;  // one per open dialog; an empty answer cancels
    QList<Message> Messages;
    QStringList FiltersSeen;
    QString FilterSeen;
    QString DirectorySeen;
    QStringList FilesSeen;
    int Asked = 0;

    QString AskDocument(QFileDialog& dialog) override {
        ++Asked;
        FiltersSeen = dialog.nameFilters();
        FilterSeen = dialog.selectedNameFilter();
        DirectorySeen = dialog.directory().absolutePath();
        FilesSeen = dialog.selectedFiles();
        return Answers.isEmpty() ? QString() : Answers.takeFirst();
    }
    // "caption: text" of every message box so far.
    QStringList Said() const {
        QStringList said;
        for (const Message& message : Messages) said << message.Caption + ": " + message.Text;
        return said;
    }
    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        const QCursor* cursor = QApplication::overrideCursor();
        Messages.push_back({caption, text, cursor && cursor->shape() == Qt::WaitCursor});
    }
};

class RecordingViewer : public kelmo::PageViewer {
  public:
    QStringList Shown;
    double Zoom = 1.0;
    QStringList Found;  // "text" or "<text" for a search backwards
    QWidget* Widget() override { return &View; }
    void ShowFile(const QString& filePath) override { Shown << filePath; }
    void SetZoom(double zoom) override { Zoom = zoom; }
    void FindText(const QString& text, bool backward) override {
        Found << (backward ? QLatin1Char('<') + text : text);
    }

  private:
    QWidget View;
};

QByteArray Windows1251(const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x410 && u <= 0x44F) {
            bytes += char(0xC0 + (u - 0x410));
        } else {
            bytes += char(u);
        }
    }
    return bytes;
}

QByteArray Document(const QString& body) {
    return Windows1251(QStringLiteral("<html><head><title>Курс</title></head>\r\n<body lang=RU>") +
                       body + QStringLiteral("</body></html>\r\n"));
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "depth:text" of every item in depth-first order.
QStringList Shape(QTreeWidget& tree) {
    QStringList shape;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent()) ++depth;
        shape << QStringLiteral("%1:%2").arg(depth).arg((*it)->text(0));
    }
    return shape;
}

QTreeWidgetItem* ItemAt(QTreeWidget& tree, int index) {
    QTreeWidgetItemIterator it(&tree);
    for (int i = 0; *it && i < index; ++i) ++it;
    return *it;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir Base;
    FakeDialogs* Dialogs = nullptr;
    RecordingViewer* Viewer = nullptr;
    std::unique_ptr<TMainForm> Form;

    QTreeWidget& Struct() { return *Form->findChild<QTreeWidget*>(QStringLiteral("tvStruct")); }
    QTreeWidget& Names() { return *Form->findChild<QTreeWidget*>(QStringLiteral("tvFNames")); }
    QString Status() { return Form->Status(); }
    QString WorkDir() { return Form->Showing().WorkDir; }
    QListWidget& FindingList() {
        return *Form->findChild<QListWidget*>(QStringLiteral("lvFindings"));
    }
    QStringList Findings() {
        QStringList texts;
        for (int i = 0; i < FindingList().count(); ++i) texts << FindingList().item(i)->text();
        return texts;
    }

    // A document in a fresh folder of its own.
    QString MakeDocument(const QByteArray& bytes, const QString& name = QStringLiteral("c.htm")) {
        static int serial = 0;
        const QString folder = Base.filePath(QStringLiteral("Курс %1").arg(++serial));
        QDir().mkpath(folder);
        const QString path = folder + QLatin1Char('/') + name;
        WriteFile(path, bytes);
        return path;
    }
    void Open(const QString& path) {
        Dialogs->Answers << path;
        Form->UOpenClick();
    }
    // A course of two web pages, the second with a skipped level, beside them.
    QString MakeCourse() {
        const QString first = MakeDocument(Document(QStringLiteral("<h1>A</h1><p>a</p>")));
        const QString folder = QFileInfo(first).absolutePath();
        WriteFile(folder + QStringLiteral("/d.htm"),
                  Document(QStringLiteral("<h1>B</h1><p>b</p><h3>C</h3><p>c</p>")));
        const QString course = folder + QStringLiteral("/k.kelmo-course");
        WriteFile(course, R"({"format": "kelmo-course", "version": 1, "materials": [
            {"document": "c.htm", "title": "One"}, {"document": "d.htm", "title": "Two"}]})");
        return course;
    }
    // Saved as a word processor saves: a new file renamed over the old one.
    void Save(const QString& path, const QByteArray& bytes) {
        const QString fresh = QFileInfo(path).absolutePath() + QStringLiteral("/~WRL0001.tmp");
        WriteFile(fresh, bytes);
        QVERIFY(std::rename(QFile::encodeName(fresh), QFile::encodeName(path)) == 0);
    }
    QString Script(const QString& body) {
        const QString path = Base.filePath(QStringLiteral("converter%1.sh").arg(++Scripts));
        WriteFile(path, ("#!/bin/sh\n" + body + "\n").toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }
    int Scripts = 0;

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void OpenRunsEveryStage();
    void CheckPanelListsFindings();
    void DialogStartsInLastDocumentFolder();
    void CancelChangesNothing();
    void TypedNameLeavesNoCompletionOpen();
    void SelectionShowsPageAtSameIndex_data();
    void SelectionShowsPageAtSameIndex();
    void KeyboardMovesThroughPages();
    void OutlineFailures_data();
    void OutlineFailures();
    void NumberingFlagIsReadBySplit();
    void AutomaticNumberingLeavesTheDocumentsOwnNumbers();
    void FailedConversionKeepsEarlierState();
    void CloseStopsConversion();
    void MissingWorkFolder();
    void MissingStartFile();
    void HeadingLimitStopsOnlyTheSplit();
    void MissingPageIsReported();
    void ClosingDeletesEveryOwnFolder();
    void AboutBoxIsShownOnRequest();
    void ReadingWithTheKeyboard();
    void SavedDocumentIsShownAgain();
    void CourseIsNotTheEarlierDocument();
    void SavedMaterialIsConvertedAgain();
    void SearchesEveryPageAndRemembersDocuments();
};

void MainFormTest::initTestCase() {
    // Remembered settings go to the test's folder, never to the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Base.filePath("settings"));
}

void MainFormTest::init() {
    auto dialogs = std::make_unique<FakeDialogs>();
    auto viewer = std::make_unique<RecordingViewer>();
    Dialogs = dialogs.get();
    Viewer = viewer.get();
    Form = std::make_unique<TMainForm>(std::move(dialogs), std::move(viewer));
}

void MainFormTest::cleanup() {
    QVERIFY(!QApplication::overrideCursor());
    for (const Message& message : Dialogs->Messages)
        QVERIFY2(!message.Hourglass, qPrintable(message.Text));
    Form.reset();
}

void MainFormTest::OpenRunsEveryStage() {
    const QByteArray bytes = Document(
        QStringLiteral("<h1>Введение</h1><p>a</p><h2>Цели</h2><p>b</p><h1>Итоги</h1><p>c</p>"));
    const QString doc = MakeDocument(bytes);
    QCOMPARE(WorkDir(), QStringLiteral(" "));
    Open(doc);

    QCOMPARE(Dialogs->Messages.size(), 0);
    QCOMPARE(QFileInfo(WorkDir()).absolutePath(), QFileInfo(doc).absolutePath());
    QCOMPARE(Status(), QStringLiteral("Документ разделен на страницы в папке ") + WorkDir() +
                           QStringLiteral(". Проверка: 0 ошибок, 0 предупреждений"));
    QCOMPARE(Findings(), QStringList{"Замечаний нет"});
    QCOMPARE(Shape(Struct()), (QStringList{"0:1. Введение", "1:1.1. Цели", "0:2. Итоги"}));
    QVERIFY(Struct().topLevelItem(0)->isExpanded());
    QCOMPARE(Shape(Names()), (QStringList{"0:page_1_.htm", "1:page_1_1_.htm", "0:page_2_.htm"}));
    // Hovering over every menu item leaves the stage text in place.
    for (QAction* menu : Form->menuBar()->actions())
        for (QAction* item : menu->menu()->actions()) item->showStatusText(Form.get());
    QCOMPARE(Status(), QStringLiteral("Документ разделен на страницы в папке ") + WorkDir() +
                           QStringLiteral(". Проверка: 0 ошибок, 0 предупреждений"));
    // Focus on the tree selects no node: the clean document stays in view.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&Struct(), &focusIn);
    QVERIFY(Struct().selectedItems().isEmpty());
    // Export and clean document shown in turn; the split shows nothing.
    QCOMPARE(Viewer->Shown, (QStringList{WorkDir() + QStringLiteral("/i.~ht"),
                                         WorkDir() + QStringLiteral("/clear.~ht")}));
    for (const char* file : {"i.~ht", "clear.~ht", "page_1_.htm", "page_1_1_.htm", "page_2_.htm",
                             "Titles.txt", "Names.txt"}) {
        QVERIFY2(QFileInfo::exists(WorkDir() + QLatin1Char('/') + QLatin1String(file)), file);
    }
    QCOMPARE(ReadFile(WorkDir() + QStringLiteral("/Names.txt")),
             QByteArray("page_1_.htm\r\n\tpage_1_1_.htm\r\npage_2_.htm\r\n"));
    QCOMPARE(ReadFile(doc), bytes);
    QVERIFY(Form->findChild<QAction*>(QStringLiteral("UOpen"))->isEnabled());
    QVERIFY(Form->findChild<QAction*>(QStringLiteral("USavePages"))->isEnabled());
}

void MainFormTest::CheckPanelListsFindings() {
    Open(MakeDocument(
        Document(QStringLiteral("<h1>Введение</h1><p><b>Summary</b></p><p>a</p><h2>Цели</h2><p><a "
                                "href=#gone>b</a></p><h1>Итоги</h1>"
                                "<h2>Пусто</h2>"))));
    const QStringList found = Findings();
    QCOMPARE(found.size(), 3);
    QVERIFY2(found[0].startsWith(QStringLiteral("1.1. Цели: ссылка на закладку «gone»")),
             qPrintable(found[0]));
    QVERIFY2(found[1].startsWith(QStringLiteral("2.1. Пусто: на странице нет")),
             qPrintable(found[1]));
    QVERIFY2(found[2].startsWith(QStringLiteral("1. Введение: абзац «Summary»")),
             qPrintable(found[2]));
    QVERIFY(Status().endsWith(QStringLiteral(" Проверка: 1 ошибка, 1 предупреждение")));
    // Only pages with an error or a warning are marked.
    QList<bool> marked;
    for (QTreeWidgetItemIterator it(&Struct()); *it; ++it) marked << !(*it)->icon(0).isNull();
    QCOMPARE(marked, (QList<bool>{false, true, false, true}));

    emit FindingList().itemClicked(FindingList().item(1));
    QCOMPARE(Struct().currentItem(), ItemAt(Struct(), 3));
    QCOMPARE(Viewer->Shown.last(), WorkDir() + QStringLiteral("/page_2_1_.htm"));

    auto* panel = Form->findChild<QDockWidget*>(QStringLiteral("CheckPanel"));
    Form->show();
    QVERIFY(panel->isVisible());
    panel->toggleViewAction()->trigger();
    QVERIFY(!panel->isVisible());

    // A tree that cannot be loaded still gets the findings that explain it.
    Open(MakeDocument(Document(QStringLiteral("<h1>Введение</h1><p>a</p><h3>Цели</h3><p>b</p>"))));
    QCOMPARE(Dialogs->Messages.size(), 0);
    QVERIFY(Findings().value(0).startsWith(QStringLiteral("1.1. Цели: заголовок уровня 3")));
}

void MainFormTest::DialogStartsInLastDocumentFolder() {
    Dialogs->Answers << QString();
    Form->UOpenClick();
    const QString documents =
        QStringLiteral("Документы и курсы (*.doc *.docx *.odt *.rtf *.htm *.html *.kelmo-course)");
    QCOMPARE(Dialogs->FilterSeen, documents);
    QCOMPARE(Dialogs->FiltersSeen.front(), documents);
    QCOMPARE(Dialogs->FiltersSeen[1], QStringLiteral("Документ MS Word (*.doc)"));
    QVERIFY(Dialogs->FiltersSeen.join(' ').contains(QLatin1String("*.~ht")));
    QCOMPARE(Dialogs->DirectorySeen, QDir::currentPath());

    const QString doc = MakeDocument(Document(QStringLiteral("<h1>A</h1>")));
    Open(doc);
    Dialogs->Answers << QString();
    Form->UOpenClick();
    QCOMPARE(Dialogs->DirectorySeen, QFileInfo(doc).absolutePath());
    QCOMPARE(Dialogs->FilesSeen, QStringList{doc});
}

void MainFormTest::TypedNameLeavesNoCompletionOpen() {
    QVERIFY(QDir().mkpath(Base.filePath(QStringLiteral("typed"))));
    const QString doc = Base.filePath(QStringLiteral("typed/course.htm"));  // keys: ASCII only
    WriteFile(doc, Document(QStringLiteral("<h1>A</h1>")));
    auto& dialog = *Form->findChild<QFileDialog*>(QStringLiteral("OpenDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(QFileInfo(doc).absolutePath());
    Form->show();
    bool listShown = false;
    // Typed with the completion list open and ended with Enter, which the list receives.
    QTimer::singleShot(0, &dialog, [&] {
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("cours"));
        listShown = QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, 20000);
        QTest::keyClicks(edit, QStringLiteral("e.htm"));
        QWidget* list = QApplication::activePopupWidget();
        QTest::keyClick(list ? list : edit, Qt::Key_Return);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(listShown);
    QCOMPARE(dialog.selectedFiles(), QStringList{doc});
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void MainFormTest::CancelChangesNothing() {
    const QString doc = MakeDocument(Document(QStringLiteral("<h1>A</h1>")));
    Open(doc);
    const QString workDir = WorkDir();
    const QString status = Status();
    const QStringList shown = Viewer->Shown;
    Dialogs->Answers << QString();
    Form->UOpenClick();
    QCOMPARE(WorkDir(), workDir);
    QCOMPARE(Status(), status);
    QCOMPARE(Viewer->Shown, shown);
    QCOMPARE(Shape(Struct()), QStringList{"0:1. A"});
    QCOMPARE(Dialogs->Messages.size(), 0);
}

void MainFormTest::SelectionShowsPageAtSameIndex_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("page");

    // Each node shows the page named at its own place, nested or not.
    const QString course = QStringLiteral("<h1>A</h1><h2>B</h2><h3>C</h3><h2>F</h2><h1>D</h1>");
    QTest::newRow("first") << course << 0 << "page_1_.htm";
    QTest::newRow("deepest") << course << 2 << "page_1_1_1_.htm";
    QTest::newRow("after deep") << course << 3 << "page_1_2_.htm";
    QTest::newRow("last") << course << 4 << "page_2_.htm";
    // No headings: one node with empty text for the single page.
    QTest::newRow("no headings") << QStringLiteral("<p>x</p>") << 0 << "page_0.htm";
    // An h2 before the h1: both are number 1; each node still shows its own line's page.
    QTest::newRow("same number first") << QStringLiteral("<h2>A</h2><h1>B</h1>") << 0 << "";
    QTest::newRow("same number second") << QStringLiteral("<h2>A</h2><h1>B</h1>") << 1 << "";
}

void MainFormTest::SelectionShowsPageAtSameIndex() {
    QFETCH(QString, body);
    QFETCH(int, index);
    QFETCH(QString, page);
    Open(MakeDocument(Document(body)));
    QCOMPARE(Dialogs->Messages.size(), 0);

    // Collapsing changes no index.
    Struct().collapseAll();
    Struct().setCurrentItem(ItemAt(Struct(), index));
    const QString line = QString::fromLatin1(
        ReadFile(WorkDir() + QStringLiteral("/Names.txt")).split('\n').at(index).trimmed());
    if (!page.isEmpty()) QCOMPARE(line, page);
    QCOMPARE(Viewer->Shown.back(), WorkDir() + QLatin1Char('/') + line);
    // Emptying the tree clears the selection without showing anything.
    const qsizetype shown = Viewer->Shown.size();
    Struct().clear();
    QCOMPARE(Viewer->Shown.size(), shown);
    QCOMPARE(Dialogs->Messages.size(), 0);
}

void MainFormTest::KeyboardMovesThroughPages() {
    Open(MakeDocument(Document(QStringLiteral("<h1>A</h1><h2>B</h2><h1>C</h1>"))));
    Struct().setCurrentItem(ItemAt(Struct(), 0));
    QStringList pages;
    for (int i = 0; i < 3; ++i) {
        pages << QFileInfo(Viewer->Shown.back()).fileName();
        QTest::keyClick(&Struct(), Qt::Key_Down);
    }
    QTest::keyClick(&Struct(), Qt::Key_Up);
    pages << QFileInfo(Viewer->Shown.back()).fileName();
    QCOMPARE(pages, (QStringList{"page_1_.htm", "page_1_1_.htm", "page_2_.htm", "page_1_1_.htm"}));
}

void MainFormTest::OutlineFailures_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("structShape");
    QTest::addColumn<int>("names");

    // A skipped level is told above the tree, naming the level and the heading the check
    // names; both trees still hold every line.
    QTest::newRow("h3 under h1") << QStringLiteral("<h1>A</h1><h3>X</h3><h1>B</h1>")
                                 << QStringLiteral("Invalid level (3) for item \"1.1. X\"")
                                 << QStringList{"0:1. A", "1:1.1. X", "0:2. B"} << 3;
    QTest::newRow("h4 under h2") << QStringLiteral("<h1>A</h1><h2>B</h2><h4>X</h4><h2>C</h2>")
                                 << QStringLiteral("Invalid level (4) for item \"1.1.1. X\"")
                                 << QStringList{"0:1. A", "1:1.1. B", "2:1.1.1. X", "1:1.2. C"}
                                 << 4;
    QTest::newRow("h6 under h1") << QStringLiteral("<h1>A</h1><h6>X</h6><h1>B</h1><h6>Y</h6>")
                                 << QStringLiteral("Invalid level (6) for item \"1.1. X\"")
                                 << QStringList{"0:1. A", "1:1.1. X", "0:2. B", "1:2.1. Y"} << 4;
    // Headings that all start below h1 make a whole tree from their outermost level.
    QTest::newRow("all h2") << QStringLiteral("<h2>A</h2><h2>B</h2>") << QString()
                            << QStringList{"0:1. A", "0:2. B"} << 2;
    // No heading: one page, named after the document's title.
    QTest::newRow("no heading") << QStringLiteral("<p>a</p>") << QString() << QStringList{"0:Курс"}
                                << 1;
    QTest::newRow("all h3, one skip")
        << QStringLiteral("<h3>A</h3><h4>B</h4><h3>C</h3><h5>X</h5>")
        << QStringLiteral("Invalid level (5) for item \"2.1. X\"")
        << QStringList{"0:1. A", "1:1.1. B", "0:2. C", "1:2.1. X"} << 4;
}

void MainFormTest::OutlineFailures() {
    QFETCH(QString, body);
    QFETCH(QString, message);
    QFETCH(QStringList, structShape);
    QFETCH(int, names);
    Open(MakeDocument(Document(body)));

    QCOMPARE(Shape(Struct()), structShape);
    QCOMPARE(Names().topLevelItemCount() > 0 ? Shape(Names()).size() : 0, names);
    auto* notice = Form->findChild<QLabel*>(QStringLiteral("TreeNotice"));
    QCOMPARE(Dialogs->Messages.size(), 0);
    QCOMPARE(notice->isVisibleTo(Form.get()), !message.isEmpty());
    if (message.isEmpty()) return;
    QVERIFY2(notice->text().startsWith(message.toHtmlEscaped()), qPrintable(notice->text()));
    // The check's first finding is about the same heading and level.
    const QString level = message.section(QLatin1Char(')'), 0, 0).section(QLatin1Char('('), 1);
    const QString item = message.section(QLatin1Char('"'), 1, 1);
    QVERIFY2(Findings()[0].startsWith(item + QStringLiteral(": заголовок уровня ") + level),
             qPrintable(Findings()[0]));
    QVERIFY(Status().startsWith(QStringLiteral("Документ разделен на страницы в папке ") +
                                WorkDir() + QStringLiteral(". Проверка: ")));
    QVERIFY(Struct().topLevelItem(0)->isExpanded());
    QVERIFY(Struct().selectedItems().isEmpty());

    // Every node, the last one too, shows the page named on its own line.
    const QList<QByteArray> pages = ReadFile(WorkDir() + QStringLiteral("/Names.txt")).split('\n');
    for (int i = structShape.size() - 1; i >= 0; --i) {
        Struct().setCurrentItem(ItemAt(Struct(), i));
        const QString page = QString::fromLatin1(pages[i].trimmed());
        QCOMPARE(Viewer->Shown.back(), WorkDir() + QLatin1Char('/') + page);
        QVERIFY(QFileInfo::exists(Viewer->Shown.back()));
    }
    // Its link shows the heading concerned.
    emit notice->linkActivated(QStringLiteral("#node"));
    QCOMPARE(Struct().selectedItems().front()->text(0), item);
}

void MainFormTest::NumberingFlagIsReadBySplit() {
    auto* numbering = Form->findChild<QCheckBox*>(QStringLiteral("cbAutoNumHead"));
    QVERIFY(numbering->isChecked());
    numbering->setChecked(false);
    Open(MakeDocument(Document(QStringLiteral("<h1>Введение</h1><h2>Цели</h2>"))));
    numbering->setChecked(true);
    QCOMPARE(Shape(Struct()), (QStringList{"0:Введение", "1:Цели"}));
    // The check panel names pages as the tree does.
    QVERIFY2(Findings().value(0).startsWith(QStringLiteral("Цели: ")),
             qPrintable(Findings().join('\n')));
    QCOMPARE(ReadFile(WorkDir() + QStringLiteral("/Titles.txt")),
             Windows1251(QStringLiteral("Введение\r\n\tЦели\r\n")));
}

void MainFormTest::AutomaticNumberingLeavesTheDocumentsOwnNumbers() {
    auto* numbering = Form->findChild<QCheckBox*>(QStringLiteral("cbAutoNumHead"));
    Open(MakeDocument(Document(QStringLiteral("<h1>1 Введение</h1><h2>1.1 Цели</h2>"))));
    QVERIFY(!numbering->isChecked());
    QVERIFY(numbering->toolTip().contains(QStringLiteral("не добавлены")));
    QCOMPARE(ReadFile(WorkDir() + QStringLiteral("/Titles.txt")),
             Windows1251(QStringLiteral("1 Введение\r\n\t1.1 Цели\r\n")));
    Open(MakeDocument(Document(QStringLiteral("<h1>Введение</h1>"))));
    QVERIFY(numbering->isChecked());
}

void MainFormTest::FailedConversionKeepsEarlierState() {
    Open(MakeDocument(Document(QStringLiteral("<h1>A</h1>"))));
    const QString firstWorkDir = WorkDir();
    const QStringList shown = Viewer->Shown;

    kelmo::ConvertOptions options;
    options.Program = Script(
        QStringLiteral("sleep 0.3\necho 'Error: source file could not be loaded' >&2\nexit 0"));
    Form->SetConvertOptions(options);
    const QString doc = MakeDocument("{\\rtf1 x}", QStringLiteral("c.rtf"));
    Open(doc);

    QCOMPARE(Dialogs->Messages.size(), 1);
    QCOMPARE(Dialogs->Messages[0].Caption, QStringLiteral("Kelmo Preview"));
    QVERIFY2(
        Dialogs->Messages[0].Text.contains(QStringLiteral("LibreOffice не смог его прочитать")),
        qPrintable(Dialogs->Messages[0].Text));
    QVERIFY(Dialogs->Messages[0].Text.endsWith(QLatin1Char('.')));
    // The trees were emptied; the viewer keeps the earlier page, the status line names the
    // refused document, not the earlier one's folder.
    QCOMPARE(Struct().topLevelItemCount(), 0);
    QCOMPARE(Names().topLevelItemCount(), 0);
    QCOMPARE(Status(), QStringLiteral("Документ ") + doc + QStringLiteral(" не открыт."));
    QVERIFY(!Form->findChild<QAction*>(QStringLiteral("USavePages"))->isEnabled());
    QCOMPARE(Viewer->Shown, shown);
    QVERIFY(Form->findChild<QAction*>(QStringLiteral("UOpen"))->isEnabled());
    // The refused document's empty folder is gone at once; the first goes at close.
    QCOMPARE(WorkDir(), QStringLiteral(" "));
    QCOMPARE(QDir(QFileInfo(doc).absolutePath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"c.rtf"});
    QVERIFY(QFileInfo::exists(firstWorkDir));
    Form->close();
    QVERIFY(!QFileInfo::exists(firstWorkDir));
}

void MainFormTest::CloseStopsConversion() {
    kelmo::ConvertOptions options;
    options.Program = Script(QStringLiteral("sleep 0.5\nexit 0"));
    bool openDisabled = false;
    bool progressShown = false;
    options.Progress = [&](int) {
        openDisabled = !Form->findChild<QAction*>(QStringLiteral("UOpen"))->isEnabled();
        progressShown = Status().startsWith(QStringLiteral("Преобразование документа "));
        Form->close();
    };
    Form->SetConvertOptions(options);
    Form->show();
    Open(MakeDocument("{\\rtf1 x}", QStringLiteral("c.rtf")));
    QVERIFY(openDisabled);
    QVERIFY(progressShown);
    QCOMPARE(Dialogs->Messages.size(), 0);  // the close stopped the conversion at once
    QTRY_VERIFY(!Form->isVisible());
}

void MainFormTest::MissingWorkFolder() {
    const QString doc = Base.filePath(QStringLiteral("gone/c.htm"));
    Open(doc);
    QCOMPARE(Dialogs->Messages.size(), 1);
    QVERIFY(Dialogs->Messages[0].Text.startsWith(QStringLiteral("Невозможно создать ") +
                                                 Base.filePath(QStringLiteral("gone/"))));
    QVERIFY(Dialogs->Messages[0].Text.endsWith(QLatin1Char('.')));
    QCOMPARE(WorkDir(), QStringLiteral(" "));
    QCOMPARE(Form->InitialDir, Base.filePath(QStringLiteral("gone")));
    QCOMPARE(Status(), QStringLiteral("Документ ") + doc + QStringLiteral(" не открыт."));
    QCOMPARE(Viewer->Shown, QStringList());
    Form->close();
}

void MainFormTest::MissingStartFile() {
    // A name typed on the command line: the missing-file message, and no folder beside it.
    const QString folder = Base.filePath(QStringLiteral("start"));
    QVERIFY(QDir().mkpath(folder));
    const QString doc = folder + QStringLiteral("/нет.doc");
    QSignalSpy finished(Form.get(), &TMainForm::CommandFinished);
    Form->OpenStartFile(doc);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(Dialogs->Said(),
             QStringList{QStringLiteral("Error: Файл \"%1\" не найден.").arg(doc)});
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(WorkDir(), QStringLiteral(" "));

    // One that exists opens as from the dialog.
    Form->OpenStartFile(MakeDocument(Document(QStringLiteral("<h1>A</h1>"))));
    QCOMPARE(finished.size(), 2);
    QCOMPARE(Shape(Struct()), QStringList{"0:1. A"});
}

void MainFormTest::HeadingLimitStopsOnlyTheSplit() {
    QString body;
    for (int i = 0; i < kelmo::MaxHeaders + 1; ++i) body += QStringLiteral("<h1>H</h1>");
    Open(MakeDocument(Document(body)));
    QCOMPARE(Dialogs->Said(),
             QStringList{"Error: " + QString::fromUtf8(kelmo::HeadingLimitMessage())});
    QCOMPARE(Struct().topLevelItemCount(), 0);
    QVERIFY(!QFileInfo::exists(WorkDir() + QStringLiteral("/page_1_.htm")));
    QVERIFY(Status().startsWith(QStringLiteral("Документ обработан и сохранен в ")));
    QVERIFY2(Findings().size() == 1 && Findings()[0].contains(QStringLiteral("501 заголовок,")),
             qPrintable(Findings().join('\n')));

    // The program goes on: the next document opens as usual.
    Open(MakeDocument(Document(QStringLiteral("<h1>A</h1>"))));
    QCOMPARE(Dialogs->Messages.size(), 1);
    QCOMPARE(Shape(Struct()), QStringList{"0:1. A"});
}

void MainFormTest::MissingPageIsReported() {
    Open(MakeDocument(Document(QStringLiteral("<h1>A</h1><h1>B</h1>"))));
    const QString page = WorkDir() + QStringLiteral("/page_2_.htm");
    QVERIFY(QFile::remove(page));
    const QStringList shown = Viewer->Shown;
    Struct().setCurrentItem(ItemAt(Struct(), 1));
    QCOMPARE(Dialogs->Said(),
             QStringList{QStringLiteral("Error: Файл \"%1\" не найден.").arg(page)});
    QCOMPARE(Viewer->Shown, shown);
}

void MainFormTest::ClosingDeletesEveryOwnFolder() {
    // Before any document: nothing to delete.
    const QString quiet = MakeDocument(Document(QStringLiteral("<h1>A</h1>")));
    Form->close();
    QCOMPARE(
        QDir(QFileInfo(quiet).absolutePath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList{"c.htm"});

    // Five documents, two of them refused, in one folder beside a leftover "temp": every
    // folder of the run goes, "temp" stays.
    init();
    const QString folder = QFileInfo(MakeDocument(Document("<h1>A</h1>"), "a.htm")).absolutePath();
    QVERIFY(QDir(folder).mkdir(QStringLiteral("temp")));
    const QString refuse = Script(QStringLiteral("echo 'Error: no' >&2\nexit 0"));
    for (const char* name : {"a.htm", "b.rtf", "c.htm", "d.rtf", "e.htm"}) {
        const QString doc = folder + QLatin1Char('/') + QLatin1String(name);
        const bool rtf = doc.endsWith(QLatin1String(".rtf"));
        if (!QFileInfo::exists(doc)) WriteFile(doc, rtf ? "{\\rtf1 B}" : Document("<h1>B</h1>"));
        kelmo::ConvertOptions options;
        if (rtf) options.Program = refuse;
        Form->SetConvertOptions(options);
        Open(doc);
    }
    const QString kept = folder + QStringLiteral("/notes.txt");
    WriteFile(kept, "mine");
    const QByteArray bytes = ReadFile(folder + QStringLiteral("/a.htm"));
    QCOMPARE(Dialogs->Messages.size(), 2);
    QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 4);
    Form->close();
    QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"temp"});
    QCOMPARE(ReadFile(kept), QByteArray("mine"));
    QCOMPARE(ReadFile(folder + QStringLiteral("/a.htm")), bytes);

    // A folder the run found already there is kept, also when it is the current one.
    init();
    const QString found = Base.filePath(QStringLiteral("found"));
    QVERIFY(QDir().mkpath(found));
    Form->Shown.WorkDir = found;
    Form->close();
    QVERIFY(QFileInfo::exists(found));
}

void MainFormTest::AboutBoxIsShownOnRequest() {
    Form->N4Click();  // none given: nothing happens
    TAboutBox about;
    Form->SetAboutBox(&about);
    Form->findChild<QAction*>(QStringLiteral("N4"))->trigger();
    QVERIFY(about.isVisible());
    about.close();
    Form->N4Click();
    QVERIFY(about.isVisible());
}

void MainFormTest::ReadingWithTheKeyboard() {
    Open(MakeDocument(Document(QStringLiteral("<h1>A</h1><h1>B</h1>"))));
    Form->show();
    QApplication::setActiveWindow(Form.get());
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));

    // Zoom in twice, out once; it stays for the next page and for the next start.
    QTest::keySequence(Form.get(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
    QTest::keySequence(Form.get(), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    QTest::keySequence(Form.get(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    QCOMPARE(Viewer->Zoom, 1.1);
    Struct().setCurrentItem(ItemAt(Struct(), 1));
    QCOMPARE(Viewer->Zoom, 1.1);

    // Find bar: typing searches, Enter goes on, Shift+Enter back, Esc closes and clears.
    auto* findBar = Form->findChild<kelmo::FindBar*>();
    QVERIFY(!findBar->isVisible());
    QTest::keySequence(Form.get(), QKeySequence::Find);
    QVERIFY(findBar->isVisible());
    QTest::keyClicks(&findBar->Line(), QStringLiteral("ab"));
    QTest::keyClick(&findBar->Line(), Qt::Key_Return);
    QTest::keyClick(&findBar->Line(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(&findBar->Line(), Qt::Key_Escape);
    QVERIFY(!findBar->isVisible());
    QCOMPARE(Viewer->Found, (QStringList{"a", "ab", "ab", "<ab", ""}));

    QTest::keySequence(Form.get(), QKeySequence::Open);
    QCOMPARE(Dialogs->Asked, 2);

    auto* splitter = Form->findChild<QSplitter*>(QStringLiteral("Splitter1"));
    splitter->setSizes({300, 700});
    Form->close();
    init();
    Form->show();
    QCOMPARE(Viewer->Zoom, 1.1);
    QCOMPARE(Form->findChild<QSplitter*>(QStringLiteral("Splitter1"))->sizes().front(), 300);
    QTest::keySequence(Form.get(), QKeySequence(Qt::CTRL | Qt::Key_0));
}

void MainFormTest::SavedDocumentIsShownAgain() {
    // A skipped level stays told above the tree, without a message box.
    const QString doc =
        MakeDocument(Document(QStringLiteral("<h1>A</h1><h1>B</h1><h1>C</h1><h3>S</h3>")));
    Open(doc);
    const QString workDir = WorkDir();
    Struct().setCurrentItem(ItemAt(Struct(), 1));

    // Saved by write-and-rename with a heading added before: the same heading stays selected.
    const QString fresh = QFileInfo(doc).absolutePath() + QStringLiteral("/~WRL0001.tmp");
    WriteFile(fresh,
              Document(QStringLiteral("<h1>New</h1><h1>A</h1><h1>B</h1><h1>C</h1><h3>S</h3>")));
    QVERIFY(std::rename(QFile::encodeName(fresh), QFile::encodeName(doc)) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith(QStringLiteral("Документ обновлён в ")), 5000);
    QVERIFY2(Status().contains(QStringLiteral(". Проверка: 1 ошибка, ")), qPrintable(Status()));
    QCOMPARE(WorkDir(), workDir);
    QCOMPARE(Shape(Struct()).size(), 5);
    QCOMPARE(Struct().selectedItems().size(), 1);
    QCOMPARE(Struct().selectedItems().front()->text(0), QStringLiteral("3. B"));
    QCOMPARE(Viewer->Shown.back(), workDir + QStringLiteral("/page_3_.htm"));

    // F5 runs the road again on demand.
    QSignalSpy finished(Form.get(), &TMainForm::CommandFinished);
    Form->show();
    QApplication::setActiveWindow(Form.get());
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    QTest::keySequence(Form.get(), QKeySequence::Refresh);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(Dialogs->Said(), QStringList());
    QVERIFY(Form->findChild<QLabel*>(QStringLiteral("TreeNotice"))
                ->text()
                .startsWith(QStringLiteral("Invalid level (3) for item &quot;4.1. S&quot;")));
}

void MainFormTest::SearchesEveryPageAndRemembersDocuments() {
    auto* search = Form->findChild<QAction*>(QStringLiteral("USearch"));
    QVERIFY(!search->isEnabled());
    const QString doc = MakeDocument(Document(QStringLiteral(
        "<h1>Введение</h1><p>Елка</p><h2>Цели</h2><p>елка и ЕЛКА</p><h1>Итоги</h1>")));
    Open(doc);
    QVERIFY(search->isEnabled());
    Form->Tools().Search(QStringLiteral("ёлка"));
    auto& results = *Form->findChild<QListWidget*>(QStringLiteral("lvSearch"));
    QCOMPARE(results.count(), 2);
    QCOMPARE(results.item(1)->text(), QStringLiteral("1.1. Цели — 2"));
    // A result opens its page with the matches marked.
    emit results.itemClicked(results.item(1));
    QCOMPARE(Struct().currentItem(), ItemAt(Struct(), 1));
    QCOMPARE(Viewer->Shown.back(), WorkDir() + QStringLiteral("/page_1_1_.htm"));
    QCOMPARE(Viewer->Found, QStringList{QStringLiteral("ёлка")});

    // The document is first in the File menu's recent list, also for the next window.
    Form.reset();
    init();
    auto* recent = Form->findChild<QMenu*>(QStringLiteral("MRecent"));
    QVERIFY(recent->actions().front()->text().endsWith(doc));
    recent->actions().front()->trigger();
    QCOMPARE(Shape(Struct()).size(), 3);
    QCOMPARE(Form->findChild<QLabel*>(QStringLiteral("ZoomText"))->text(),
             QStringLiteral("%1 %").arg(qRound(Viewer->Zoom * 100)));
}

void MainFormTest::CourseIsNotTheEarlierDocument() {
    const QString doc = MakeDocument(Document(QStringLiteral("<h1>X</h1>")));
    Open(doc);
    Form->OpenDocument(MakeCourse());
    const QString workDir = WorkDir();
    const QByteArray titles = ReadFile(workDir + QStringLiteral("/Titles.txt"));
    const QStringList shape{"0:One", "1:1. A", "0:Two", "1:1. B", "2:1.1. C"};
    QCOMPARE(Shape(Struct()), shape);
    QCOMPARE(Dialogs->Messages.size(), 0);

    // The course's findings, per material; a click selects that material's page.
    QVERIFY2(Findings().value(0).startsWith(QStringLiteral("Two — 1.1. C: заголовок уровня 3")),
             qPrintable(Findings().join('\n')));
    emit FindingList().itemClicked(FindingList().item(0));
    QCOMPARE(Struct().currentItem(), ItemAt(Struct(), 4));
    QCOMPARE(Viewer->Shown.last(), workDir + QStringLiteral("/material_2/page_1_1_.htm"));

    // A save of the document shown before changes nothing of the course.
    const QString status = Status();
    Save(doc, Document(QStringLiteral("<h1>Y</h1>")));
    QTest::qWait(3 * kelmo::DocumentWatcher::kQuietMs);
    QCOMPARE(WorkDir(), workDir);
    QCOMPARE(ReadFile(workDir + QStringLiteral("/Titles.txt")), titles);
    QCOMPARE(Shape(Struct()), shape);
    QCOMPARE(Status(), status);
}

void MainFormTest::SavedMaterialIsConvertedAgain() {
    const QString course = MakeCourse();
    Form->OpenDocument(course);
    const QString untouched = WorkDir() + QStringLiteral("/material_1/clear.~ht");
    QVERIFY(QFile::remove(untouched));
    Struct().setCurrentItem(ItemAt(Struct(), 3));

    // Only the saved material goes along the road again; the heading stays selected.
    Save(QFileInfo(course).absolutePath() + QStringLiteral("/d.htm"),
         Document(QStringLiteral("<h1>New</h1><h1>B</h1><h2>C</h2>")));
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith(QStringLiteral("Курс обновлён в ")), 5000);
    QCOMPARE(Shape(Struct()),
             (QStringList{"0:One", "1:1. A", "0:Two", "1:1. New", "1:2. B", "2:2.1. C"}));
    QCOMPARE(Struct().selectedItems().value(0), ItemAt(Struct(), 4));
    QVERIFY(!QFileInfo::exists(untouched));
    QCOMPARE(Findings().size(), 2);  // "New" and "C" have nothing but their heading

    // F5 takes the whole course again.
    Form->URefreshClick();
    QVERIFY(QFileInfo::exists(untouched));
    QCOMPARE(Dialogs->Messages.size(), 0);
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
