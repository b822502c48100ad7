// The main window: the open command that takes a document or a course along the road
// (road/Road.h), the structure tree, the page viewer and the check panel. What it shows,
// a document or a course, is its one piece of state (Shown); the road's callbacks drive
// the status line and the viewer, and nothing else reaches into the window's members.
//
// Errors: a command catches everything its stages throw and shows it in the default
// error display; the document's own "Error" messages go through Dialogs as well.
#pragma once

#include <Converter.h>
#include <CourseRoad.h>
#include <LibFunc.h>
#include <Road.h>

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "DocumentWatcher.h"
#include "OutlineTree.h"
#include "PageViewer.h"

namespace kelmo {
class CourseCommands;

// What the window shows: nothing yet, one document, or a course of several.
struct Shown {
    enum class Kind { Nothing, Document, Course };
    Kind What = Kind::Nothing;
    QString Source;                         // the document or the course file
    QString WorkDir = QStringLiteral(" ");  // " ": no work folder yet
    std::string DocTitle;                   // a document's title element
    std::unique_ptr<CourseRoad> Course;     // a course's materials, findings and package
};
}  // namespace kelmo
class QAction;
class QCheckBox;
namespace kelmo {
class CheckPanel;
}
class QFileDialog;
class QLabel;
class TAboutBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelmo {
class FindBar;
class TreeNotice;
class ReviewTools;
}  // namespace kelmo

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // Null arguments give the real message boxes and the web viewer.
    explicit TMainForm(std::unique_ptr<kelmo::Dialogs> dialogs = nullptr,
                       std::unique_ptr<kelmo::PageViewer> viewer = nullptr,
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The About box that N4 shows; the window does not own it.
    void SetAboutBox(TAboutBox* aboutBox);
    // How documents are converted (tests give a stand-in converter).
    void SetConvertOptions(const kelmo::ConvertOptions& options);
    // The open command without its dialog: converts, cleans and splits documentPath, or
    // opens it as a course when it is one.
    void OpenDocument(const QString& documentPath);
    // Every material of the course along the road into a new work folder, and the course's
    // tree and findings shown.
    void OpenCourse(const QString& coursePath);
    // The document named on the command line: OpenDocument, or the missing-file message.
    void OpenStartFile(const QString& documentPath);
    // Selects the node at an absolute index of tvStruct, if there is one.
    void SelectNode(int index);
    kelmo::PageViewer& Viewer() { return *PageView; }
    kelmo::CourseCommands& Courses() { return *CourseCmds; }
    kelmo::ReviewTools& Tools() { return *Review; }

    // What is shown; Course() is the course shown, nullptr for a document.
    const kelmo::Shown& Showing() const { return Shown; }
    kelmo::CourseRoad* Course() { return Shown.Course.get(); }
    // The lines of tvStruct and of tvFNames, by absolute index.
    const kelmo::OutlineTree& TitleTree() const { return StructTree; }
    const kelmo::OutlineTree& PageTree() const { return NamesTree; }
    QMenu& FileMenu();
    QTreeWidget& StructView();
    // True while a command runs: another one does not start.
    bool Busy() const { return CommandRunning; }
    // Runs command as a command of the window: its errors shown, the watchers paused.
    void RunCommand(const std::function<void()>& command);
    void SetStatus(const QString& text);
    QString Status() const;
    // The document's title, or its file name without the extension.
    QString DocumentName() const;

  signals:
    // The open command has run to its end, failed or not.
    void CommandFinished();

  public slots:
    void UOpenClick();
    void URefreshClick();
    void UExitClick();
    void N4Click();
    void tvStructChange(QTreeWidgetItem* current);
    void tvStructSelectionChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

  private:
    // A new work folder beside the document, and the road into it.
    kelmo::Pages RunInNewWorkDir(const QString& documentPath);
    // The road for the document shown, into WorkDir; showStages shows the export and the
    // clean document as they are made.
    kelmo::Pages RunDocumentRoad(const QString& documentPath, bool showStages);
    void ClearOutline();
    // The road's options: the window's converter, numbering, progress and stage texts.
    kelmo::RoadOptions RoadOptionsFor(bool showStages);
    // The findings, and the tree unless the split was refused; the "Invalid level" message
    // of the outline, empty when it loaded cleanly.
    QString ShowPages(const kelmo::Pages& pages);
    // The course's findings and tree after its road.
    void ShowCourse(const QString& status);
    // The course shown again (all) or one of its materials (index), keeping the selection.
    void RefreshCourse(qsizetype material);
    // Follows the document or every material of the course shown; nothing for none.
    void WatchShown();
    // The selected node's place and title, -1 when none.
    std::pair<int, QByteArray> Selected() const;
    void ReselectHeading(int place, const QByteArray& title);
    void ShowPage(const QString& fileName);
    bool CheckFileExists(const QString& fileName);
    QString LoadTree(QTreeWidget& view, kelmo::OutlineTree& tree, const QString& fileName);
    // Both outline files of WorkDir into their trees; the "Invalid level" message or empty.
    QString LoadOutline();
    void ShowProgress(const QString& documentPath, int elapsedMs);
    void ShowException(const QString& message);
    void ShowMessageBox(const QString& caption, const QString& text);
    // Commands that need pages are disabled while there are none.
    void UpdateCommands();
    void SetupControls();
    void SetupReading();
    void SetZoom(double zoom);
    void RestoreSettings();
    void SaveSettings() const;
    void ForgetEmptyWorkFolder(const QString& folder);
    void ShowCheck(const std::vector<kelmo::Finding>& findings);

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<kelmo::Dialogs> Dialogs;
    std::unique_ptr<kelmo::PageViewer> PageView;
    kelmo::ConvertOptions ConvertOptions;
    TAboutBox* AboutBox = nullptr;
    QCheckBox* cbAutoNumHead = nullptr;
    // Automatic until the tick is clicked; the tick then shows what the open document got.
    kelmo::Numbering Numbering = kelmo::Numbering::Auto;
    QLabel* StatusText = nullptr;  // stays until the next stage, whatever menus show
    kelmo::FindBar* FindBar1 = nullptr;
    kelmo::TreeNotice* Notice = nullptr;  // the skipped level above the tree
    QAction* URefresh = nullptr;
    // The document shown, or each material of the course shown, for the refresh after a save.
    std::vector<std::unique_ptr<kelmo::DocumentWatcher>> Watchers;
    double Zoom = 1.0;
    kelmo::CheckPanel* Checks = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QString LastDocument;           // the dialog's answer of its last use
    kelmo::OutlineTree StructTree;  // the nodes of tvStruct
    kelmo::OutlineTree NamesTree;   // the nodes of tvFNames
    bool CommandRunning = false;
    bool CloseRequested = false;

    kelmo::Shown Shown;
    QString CheckCount;  // "Проверка: 2 ошибки, 5 предупреждений" of what is shown
    bool WorkDirElsewhere = false;  // in the cache: the document's folder is read-only
    QString InitialDir;
    QString SessionName;
    QStringList CreatedWorkDirs;  // every folder this run made, deleted at close

    std::unique_ptr<kelmo::CourseCommands> CourseCmds;
    kelmo::ReviewTools* Review = nullptr;  // search, PDF, recent documents, zoom

    friend class MainFormTest;
    friend class kelmo::ReviewTools;
};
