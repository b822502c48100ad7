// The window's review tools: search across every page (Ctrl+Shift+F), PDF of the page
// shown or of all pages in tree order, the pages' folder in the file manager, the recent
// documents and courses of the File menu, and the zoom shown in the status bar.
#pragma once

#include <LibFunc.h>

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class TMainForm;
class QAction;
class QDockWidget;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPrinter;

namespace kelmo {

class ReviewTools : public QObject {
    Q_OBJECT

  public:
    explicit ReviewTools(TMainForm& window);
    ~ReviewTools() override;

    // A new tree was loaded: the index goes, the commands follow whether there are pages.
    void PagesChanged(bool pagesShown);
    // Puts a document or course that opened on top of the recent list.
    void Remember(const QString& path);
    void ShowZoom(double zoom);

    // Runs the search for text and lists the pages it is on.
    void Search(const QString& text);
    // Writes the PDF of the page shown, or of every page in tree order, to pdfPath; the
    // result comes with Finished.
    void SavePdf(bool wholeDocument, const QString& pdfPath);
    QStringList Recent() const;

    // Asks where a PDF goes (tests answer it); an empty answer cancels.
    std::function<QString(const QString& suggested)> AskPdfPath;

    QAction* USearch = nullptr;
    QAction* UPrintPage = nullptr;
    QAction* UPrintAll = nullptr;
    QAction* UPdfPage = nullptr;
    QAction* UPdfAll = nullptr;
    QAction* UOpenFolder = nullptr;
    QMenu* MRecent = nullptr;

  signals:
    void PdfFinished(bool ok, const QString& pdfPath);

  private:
    void BuildIndex();
    void ChooseResult(int row);
    void PdfClick(bool wholeDocument);
    void PrintClick(bool wholeDocument);
    using Runner =
        std::function<void(const QString& source, const std::function<void(bool)>& done)>;
    void Output(bool wholeDocument, const QString& label, const Runner& run,
                const std::function<void(bool)>& finished);
    void FillRecent();
    void EnableCommands(bool enabled);
    QString ShownPage() const;

    TMainForm& Window;
    QDockWidget* SearchPanel = nullptr;
    QLineEdit* SearchText = nullptr;
    QListWidget* Results = nullptr;
    QLabel* ZoomText = nullptr;
    std::unique_ptr<SearchIndex> Index;  // built at the first search after a load
    QString LastQuery;
    bool Running = false;               // a PDF or a print under way
    std::unique_ptr<QPrinter> Printer;  // the printer of the print under way
};

}  // namespace kelmo
