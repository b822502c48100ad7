// The main window: the open command that takes a document through conversion, cleaning
// and page split, the structure tree and the page viewer.
//
// Errors: a command catches everything its stages throw and shows it in the default
// error display; the document's own "Error" messages go through Dialogs as well.
#pragma once

#include <Converter.h>
#include <LibFunc.h>

#include <QCursor>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "OutlineTree.h"
#include "PageViewer.h"

class QCheckBox;
namespace kelmo {
class CheckPanel;
}
class QFileDialog;
class QTreeWidget;
class QTreeWidgetItem;

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
    void SetAboutBox(QWidget* aboutBox);
    // How documents are converted (tests give a stand-in converter).
    void SetConvertOptions(const kelmo::ConvertOptions& options);
    // The open command without its dialog: converts, cleans and splits documentPath.
    void OpenDocument(const QString& documentPath);
    // The document named on the command line: OpenDocument, or the missing-file message.
    void OpenStartFile(const QString& documentPath);
    // Selects the node at an absolute index of tvStruct, if there is one.
    void SelectNode(int index);
    kelmo::PageViewer& Viewer() { return *PageView; }

  signals:
    // The open command has run to its end, failed or not.
    void CommandFinished();

  public slots:
    void UOpenClick();
    void UExitClick();
    void N4Click();
    void tvStructChange(QTreeWidgetItem* current);

  protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

  private:
    void ConvertToHtml(const QString& documentPath);
    void UCleanHTMLClick();
    void USplitClick();
    void ShowPage(const QString& fileName);
    bool CheckFileExists(const QString& fileName);
    void LoadTree(QTreeWidget& view, kelmo::OutlineTree& tree, const QString& fileName);
    void ShowProgress(const QString& documentPath, int elapsedMs);
    void RunCommand(const std::function<void()>& command);
    void ShowException(const QString& message);
    void ShowMessageBox(const QString& caption, const QString& text);
    void SetStatus(const QString& text);
    void SetupControls();
    std::vector<kelmo::Finding> ShowCheck(const std::string& workDir);

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<kelmo::Dialogs> Dialogs;
    std::unique_ptr<kelmo::PageViewer> PageView;
    kelmo::ConvertOptions ConvertOptions;
    QWidget* AboutBox = nullptr;
    QCheckBox* cbAutoNumHead = nullptr;
    kelmo::CheckPanel* Checks = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QString LastDocument;           // the dialog's answer of its last use
    kelmo::OutlineTree StructTree;  // the nodes of tvStruct
    kelmo::OutlineTree NamesTree;   // the nodes of tvFNames
    bool CommandRunning = false;
    bool CloseRequested = false;

    // State of the current document.
    QString WorkDir = QStringLiteral(" ");  // " ": no work folder yet
    bool WorkDirCreated = false;            // only a folder made by this run is deleted
    QString HtmlFile;
    QString InitialDir;
    QString SessionName;
    std::string DocTitle;
    std::string Html;
    QCursor SavedCursor;
    std::unique_ptr<kelmo::HeadingTable> Headers;

    friend class MainFormTest;
};
