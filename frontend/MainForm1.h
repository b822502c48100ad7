// The main window: the open command that takes a document through conversion, cleaning
// and page split, the structure tree and the page viewer.
//
// Errors: a command catches everything its stages throw and shows it in the default
// error display; the document's own "Error" messages go through Dialogs as well.
#pragma once

#include <Converter.h>
#include <LibFunc.h>

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
}
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
    // The open command without its dialog: converts, cleans and splits documentPath.
    void OpenDocument(const QString& documentPath);
    // The document named on the command line: OpenDocument, or the missing-file message.
    void OpenStartFile(const QString& documentPath);
    // Selects the node at an absolute index of tvStruct, if there is one.
    void SelectNode(int index);
    kelmo::PageViewer& Viewer() { return *PageView; }
    kelmo::CourseCommands& Courses() { return *CourseCmds; }
    kelmo::ReviewTools& Tools() { return *Review; }

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
    void ConvertToHtml(const QString& documentPath);
    void ConvertIntoWorkDir(const QString& documentPath, bool showExport);
    void ClearOutline();
    // ConvertOptions that also show the conversion's progress in the status bar.
    kelmo::ConvertOptions ProgressOptions(const QString& documentPath);
    void UCleanHTMLClick(bool showClean = true);
    // The "Invalid level" message of the outline, empty when it loaded cleanly.
    QString USplitClick();
    void ReselectHeading(int place, const QByteArray& title);
    void ShowPage(const QString& fileName);
    bool CheckFileExists(const QString& fileName);
    QString LoadTree(QTreeWidget& view, kelmo::OutlineTree& tree, const QString& fileName);
    // Both outline files of WorkDir into their trees; the "Invalid level" message or empty.
    QString LoadOutline();
    void ShowProgress(const QString& documentPath, int elapsedMs);
    void RunCommand(const std::function<void()>& command);
    void ShowException(const QString& message);
    void ShowMessageBox(const QString& caption, const QString& text);
    void SetStatus(const QString& text);
    void UpdateCommands();
    QString Status() const;
    void SetupControls();
    void SetupReading();
    void SetZoom(double zoom);
    void RestoreSettings();
    void SaveSettings() const;
    void ForgetEmptyWorkFolder(const QString& folder);
    std::vector<kelmo::Finding> ShowCheck(const std::string& workDir);
    // The document's title, or its file name without the extension.
    QString DocumentName() const;

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
    kelmo::DocumentWatcher Watcher;  // the document shown, for the refresh after a save
    double Zoom = 1.0;
    kelmo::CheckPanel* Checks = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QString LastDocument;           // the dialog's answer of its last use
    kelmo::OutlineTree StructTree;  // the nodes of tvStruct
    kelmo::OutlineTree NamesTree;   // the nodes of tvFNames
    bool CommandRunning = false;
    bool CloseRequested = false;

    // State of the current document.
    QString WorkDir = QStringLiteral(" ");  // " ": no work folder yet
    QString CheckCount;  // "Проверка: 2 ошибки, 5 предупреждений" of the document shown
    bool WorkDirElsewhere = false;  // in the cache: the document's folder is read-only
    QString HtmlFile;
    QString InitialDir;
    QString SessionName;
    std::string DocTitle;
    std::string Html;
    QStringList CreatedWorkDirs;  // every folder this run made, deleted at close
    std::unique_ptr<kelmo::HeadingTable> Headers;

    std::unique_ptr<kelmo::CourseCommands> CourseCmds;
    kelmo::ReviewTools* Review = nullptr;  // search, PDF, recent documents, zoom

    friend class MainFormTest;
    friend class kelmo::CourseCommands;
    friend class kelmo::ReviewTools;
};
