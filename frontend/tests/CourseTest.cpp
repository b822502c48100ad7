// The course commands of the window end to end: a course of a .doc, a .docx and an HTML
// file made in the course dialog, saved, reopened, shown and packaged in every format, with
// the real converter.
#include <AppSetup.h>
#include <CourseCommands.h>
#include <CourseDialogs.h>
#include <MainForm1.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

class SilentDialogs : public kelmo::Dialogs {
  public:
    QStringList Errors;
    QString AskDocument(QFileDialog&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString& text) override { Errors << text; }
};

class NoViewer : public kelmo::PageViewer {
  public:
    QWidget* Widget() override { return &View; }
    void ShowFile(const QString&) override {}

  private:
    QWidget View;
};

void Click(QWidget& dialog, const char* button) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
}
void Accept(QDialog& dialog) {
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

// Answers the file dialogs and fills the two parameter dialogs as a user would.
class Answers : public kelmo::CourseQuestions {
  public:
    QStringList Documents;
    QString CourseFile;
    QString Package;
    kelmo::PackageFormat Format = kelmo::PackageFormat::Scorm12;
    bool Replace = false;
    int ReplaceAsked = 0;
    int Edited = 0;
    QStringList Errors;

    QStringList AskDocuments(QWidget*) override { return Documents; }
    QString AskCourseToSave(QWidget*) override { return CourseFile; }
    QString AskPackage(QWidget*, kelmo::PackageFormat& format) override {
        format = Format;
        return Package;
    }
    bool ConfirmReplace(QWidget*, const QString&) override {
        ++ReplaceAsked;
        return Replace;
    }
    bool EditMaterial(QWidget* parent, kelmo::Material& material) override {
        kelmo::TDocumentParamsDialog dialog(material, parent);
        dialog.findChild<QLineEdit*>("edTitle")->setText("Часть " + QString::number(++Edited));
        dialog.findChild<QCheckBox*>("cbAutoNumHead")->setChecked(false);
        Accept(dialog);
        material = dialog.Result();
        return dialog.result() == QDialog::Accepted;
    }
    bool EditSection(QWidget* parent, const QString& heading,
                     kelmo::SectionParameters& section) override {
        kelmo::TSectionParamsDialog dialog(heading, section, parent);
        dialog.findChild<QCheckBox*>("cbLeftOut")->setChecked(true);
        Accept(dialog);
        section = dialog.Result();
        return true;
    }
    void ShowError(QWidget*, const QString& text) override { Errors << text; }
};

QStringList Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class CourseTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Dir.filePath("cache")));
        // The picture for the README shows the dialog as a Russian user sees it.
        if (qEnvironmentVariableIsSet("KELMO_COURSE_DIALOG_SHOT"))
            kelmo::InstallQtTranslations(*qApp, QLocale(QLocale::Russian, QLocale::Russia));
        const QString source = QStringLiteral(KELMO_SOURCE_DIR);
        for (const auto& [from, to] :
             {std::pair{"/examples/course.doc", "docs/first-1.doc"},
              std::pair{"/examples/course.htm", "docs/course.htm"},
              std::pair{"/resources/kelmo-preview-48.png", "docs/course.files/image002.gif"}}) {
            QDir().mkpath(QFileInfo(Dir.filePath(to)).path());
            QVERIFY(QFile::copy(source + from, Dir.filePath(to)));
        }
        Run("soffice", {"-env:UserInstallation=file://" + Dir.filePath("profile"), "--headless",
                        "--norestore", "--convert-to", "docx", "--outdir", Dir.filePath("docs"),
                        source + "/convert/tests/data/course.fodt"});
        QVERIFY(
            QFile::rename(Dir.filePath("docs/course.docx"), Dir.filePath("docs/second-2.docx")));
    }

    // Made in the dialog: three materials, put in order, one of them edited; then saved.
    void MadeInTheDialog() {
        QuestionsUsed->Documents = {Dir.filePath("docs/second-2.docx"),
                                    Dir.filePath("docs/first-1.doc")};
        QuestionsUsed->CourseFile = CoursePath();
        kelmo::TCourseDialog dialog({}, {}, *QuestionsUsed);
        dialog.findChild<QLineEdit*>("edFullName")->setText("Информатика");
        dialog.findChild<QLineEdit*>("edShortName")->setText("ИНФ");
        dialog.findChild<QPlainTextEdit*>("memDescription")
            ->setPlainText("Вводный курс: информация, системы счисления, устройство компьютера.");
        Click(dialog, "btnAdd");
        Click(dialog, "btnUp");  // first-1 above second-2
        QuestionsUsed->Documents = {Dir.filePath("docs/course.htm"), Dir.filePath("docs/x.doc")};
        Click(dialog, "btnAdd");
        Click(dialog, "btnRemove");  // x.doc, added last and current
        auto* list = dialog.findChild<QListWidget*>("lbxMaterials");
        for (int row = 0; row < list->count(); ++row) {
            list->setCurrentRow(row);
            Click(dialog, "btnEdit");
        }
        // scripts/course-dialog-shot.sh keeps a picture of the filled dialog for the README.
        if (const QString shot = qEnvironmentVariable("KELMO_COURSE_DIALOG_SHOT"); !shot.isEmpty())
            dialog.grab().save(shot);
        Accept(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const kelmo::Course saved = kelmo::LoadCourse(CoursePath());
        QCOMPARE(saved, dialog.Result());
        QCOMPARE(saved.FullName, QStringLiteral("Информатика"));
        QStringList titles;
        for (const kelmo::Material& material : saved.Materials)
            titles << material.Title + " " + QFileInfo(material.Document).fileName() +
                          (material.Numbers != kelmo::Numbering::Off ? " numbered" : "");
        QCOMPARE(titles, QStringList({"Часть 1 first-1.doc", "Часть 2 second-2.docx",
                                      "Часть 3 course.htm"}));
    }

    // A material outside the course's folder is marked in the list.
    void OutsideMaterialMarked() {
        kelmo::Course course;
        course.Materials.append(
            {Dir.filePath("docs/course.htm"), "Внутри", kelmo::Numbering::Auto, {}});
        course.Materials.append(
            {Dir.filePath("elsewhere.htm"), "Снаружи", kelmo::Numbering::Auto, {}});
        kelmo::TCourseDialog dialog(course, Dir.filePath("docs/c.kelmo-course"), *QuestionsUsed);
        auto* list = dialog.findChild<QListWidget*>("lbxMaterials");
        QCOMPARE(list->item(0)->text(), QStringLiteral("Внутри  (course.htm)"));
        QCOMPARE(list->item(1)->text(),
                 QStringLiteral("Снаружи  (elsewhere.htm) — вне папки курса"));
    }

    // A material without a title of its own is titled as its document.
    void MaterialTitledAsItsDocument() {
        kelmo::Course course;
        course.Materials.append({Dir.filePath("docs/course.htm"), {}, kelmo::Numbering::Auto, {}});
        const QString path = Dir.filePath("untitled.kelmo-course");
        kelmo::SaveCourse(course, path);
        Window.OpenStartFile(path);
        auto* tree = Window.findChild<QTreeWidget*>("tvStruct");
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Основы информатики"));
    }

    // Reopened as a file to open: the materials on top of the tree, their headings below.
    void ReopenedAndShown() {
        Window.OpenStartFile(CoursePath());
        QCOMPARE(WindowDialogs->Errors.join(" | "), QString());
        auto* tree = Window.findChild<QTreeWidget*>("tvStruct");
        QCOMPARE(tree->topLevelItemCount(), 3);
        QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("Часть 3"));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Введение"));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 4);
        // The second page of the first material is left out of packages.
        Window.Courses().SectionParamsClick(2);
        QCOMPARE(kelmo::LoadCourse(CoursePath()).Materials[0].Sections,
                 QList<kelmo::SectionParameters>({{"page_1_1_.htm", {}, true}}));
        QTreeWidgetItemIterator left(tree);
        left += 2;
        QCOMPARE((*left)->foreground(0).color(), QColor(Qt::gray));
    }

    void PackagedInEveryFormat_data() {
        QTest::addColumn<kelmo::PackageFormat>("format");
        QTest::addColumn<QString>("name");
        QTest::newRow("scorm12") << kelmo::PackageFormat::Scorm12 << "scorm.zip";
        QTest::newRow("imscp") << kelmo::PackageFormat::ImsCp << "ims.zip";
        QTest::newRow("zip, typed without its suffix") << kelmo::PackageFormat::Zip << "pages";
        QTest::newRow("folder") << kelmo::PackageFormat::Folder << "pages";
    }
    void PackagedInEveryFormat() {
        QFETCH(kelmo::PackageFormat, format);
        QFETCH(QString, name);
        QuestionsUsed->Format = format;
        QuestionsUsed->Package = Dir.filePath(name);
        Window.Courses().SaveCourseClick();
        QCOMPARE(WindowDialogs->Errors, QStringList());
        QCOMPARE(QuestionsUsed->SuggestedPackage, Dir.filePath("ИНФ"));  // the short name
        if (format != kelmo::PackageFormat::Folder && !name.endsWith(".zip"))
            QuestionsUsed->Package += ".zip";
        QStringList files = format == kelmo::PackageFormat::Folder
                                ? Run("find", {QuestionsUsed->Package, "-type", "f"})
                                : Run("unzip", {"-Z1", QuestionsUsed->Package});
        const bool manifest =
            format == kelmo::PackageFormat::ImsCp || format == kelmo::PackageFormat::Scorm12;
        files.replaceInStrings(QuestionsUsed->Package + "/", QString());
        files.sort();
        // 33 pages, 3 pictures and the contents page; the outlines, or the manifest (and the
        // SCORM script) without the left-out page
        QCOMPARE(files.size(), manifest ? 37 + int(format == kelmo::PackageFormat::Scorm12) : 45);
        QVERIFY(files.contains("material_3/course.files/image002.gif"));
        QCOMPARE(files.contains("material_1/page_1_1_.htm"), !manifest);
        if (format != kelmo::PackageFormat::Scorm12) return;

        const QString unpacked = Dir.filePath("scorm");
        Run("unzip", {"-q", QuestionsUsed->Package, "-d", unpacked});
        QProcess lint;
        lint.start("xmllint", {"--noout", "--schema",
                               QStringLiteral(KELMO_SOURCE_DIR) +
                                   "/package/tests/data/scorm12/scorm12-all.xsd",
                               unpacked + "/imsmanifest.xml"});
        QVERIFY(lint.waitForFinished(60000));
        QCOMPARE(lint.exitCode(), 0);

        // Asked before replacing; kept when the answer is no.
        const QDateTime before = QFileInfo(QuestionsUsed->Package).lastModified();
        QuestionsUsed->Replace = false;
        QTest::qWait(20);
        Window.Courses().SaveCourseClick();
        QCOMPARE(QuestionsUsed->ReplaceAsked, 1);
        QCOMPARE(QFileInfo(QuestionsUsed->Package).lastModified(), before);
        QuestionsUsed->Replace = true;
        Window.Courses().SaveCourseClick();
        QCOMPARE(QuestionsUsed->ReplaceAsked, 2);
        QVERIFY(QFileInfo(QuestionsUsed->Package).lastModified() != before);
    }

    // One document: its pages, pictures and outline, without a course.
    void DocumentPagesSaved() {
        Window.OpenDocument(Dir.filePath("docs/course.htm"));
        QuestionsUsed->Format = kelmo::PackageFormat::Zip;
        QuestionsUsed->Package = Dir.filePath("document.zip");
        Window.Courses().SavePagesClick();
        QCOMPARE(WindowDialogs->Errors, QStringList());
        QCOMPARE(QFileInfo(QuestionsUsed->SuggestedPackage).dir(), QDir(Dir.filePath("docs")));
        const QStringList files = Run("unzip", {"-Z1", QuestionsUsed->Package});
        QCOMPARE(files.size(), 14 + 1 + 2 + 1);
        QVERIFY(files.contains("course.files/image002.gif"));
        QVERIFY(files.contains("Titles.txt"));
    }

  private:
    QString CoursePath() const { return Dir.filePath("Информатика.kelmo-course"); }

    QTemporaryDir Dir;
    SilentDialogs* WindowDialogs = new SilentDialogs;
    TMainForm Window{std::unique_ptr<kelmo::Dialogs>(WindowDialogs), std::make_unique<NoViewer>()};
    Answers* QuestionsUsed = [this] {
        auto answers = std::make_unique<Answers>();
        Answers* kept = answers.get();
        Window.Courses().SetQuestions(std::move(answers));
        return kept;
    }();
};

QTEST_MAIN(CourseTest)
#include "CourseTest.moc"
