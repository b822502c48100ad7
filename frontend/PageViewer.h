// The page viewer of the window. WebPageViewer shows pages in a Chromium view that gets
// them through the "kelmo" URL scheme; tests put a recording viewer in its place.
#pragma once

#include <QPointer>
#include <QString>
#include <QWebEngineUrlSchemeHandler>
#include <functional>

class QPrinter;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

namespace kelmo {

// Registers the page scheme and sets Chromium's environment (no sandbox as root, no GPU
// without a display); must run before the application object is made.
void PrepareWebEngine();

class PageViewer {
  public:
    virtual ~PageViewer() = default;
    virtual QWidget* Widget() = 0;
    // Shows an existing file of the work folder in place of the page shown before.
    virtual void ShowFile(const QString& filePath) = 0;
    // Scale of the page (1 = 100 %); it stays for the pages shown later.
    virtual void SetZoom(double /*zoom*/) {}
    // Marks the next (or previous) match of text; an empty text clears the marks.
    virtual void FindText(const QString& /*text*/, bool /*backward*/) {}
    // Shows a file and marks the matches of text once it is there.
    virtual void ShowFileMarked(const QString& filePath, const QString& text) {
        ShowFile(filePath);
        FindText(text, false);
    }
    // Writes the file of the work folder as a PDF (Chromium's own print), then calls done
    // with the result; without a page engine nothing is written.
    virtual void SavePdf(const QString& /*filePath*/, const QString& /*pdfPath*/,
                         const std::function<void(bool)>& done) {
        done(false);
    }
    // Prints the file of the work folder on printer, then calls done with the result.
    virtual void Print(const QString& /*filePath*/, QPrinter& /*printer*/,
                       const std::function<void(bool)>& done) {
        done(false);
    }
};

// Serves the files of one folder (and the folders below it).
class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
  public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void SetFolder(const QString& folder) { Folder = folder; }
    void requestStarted(QWebEngineUrlRequestJob* job) override;

  private:
    QString Folder;
};

class WebPageViewer : public PageViewer {
  public:
    WebPageViewer();
    ~WebPageViewer() override;
    WebPageViewer(const WebPageViewer&) = delete;
    WebPageViewer& operator=(const WebPageViewer&) = delete;

    QWidget* Widget() override;
    void ShowFile(const QString& filePath) override;
    void SetZoom(double zoom) override;
    void FindText(const QString& text, bool backward) override;
    void ShowFileMarked(const QString& filePath, const QString& text) override;
    void SavePdf(const QString& filePath, const QString& pdfPath,
                 const std::function<void(bool)>& done) override;
    void Print(const QString& filePath, QPrinter& printer,
               const std::function<void(bool)>& done) override;
    QWebEngineView* View() const;

  private:
    QWebEngineProfile* Profile;  // private, off the record: nothing of a page stays on disk
    PageSchemeHandler* Handler;
    QPointer<QWebEngineView> WebView;  // a child of the window once placed in it
};

}  // namespace kelmo
