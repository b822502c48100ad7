#include "PageViewer.h"

#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include "LockedPage.h"
#include "PageFiles.h"

namespace kelmo {

namespace {

void RegisterPageScheme() {
    QWebEngineUrlScheme scheme(PageScheme);
    // A host makes the URLs hierarchical, so that relative links and pictures resolve.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

}  // namespace

void PrepareWebEngine() {
    RegisterPageScheme();
    // Chromium refuses to start its sandbox as root.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--disable-gpu")) flags += " --disable-gpu";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    }
}

void PageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QString path = ResolvePageFile(Folder, job->requestUrl());
    if (path.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* file = new QFile(path, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(PageMimeType(path), file);
}

WebPageViewer::WebPageViewer()
    : Profile(new QWebEngineProfile()),
      Handler(new PageSchemeHandler(Profile)),
      WebView(new QWebEngineView()) {
    Profile->installUrlSchemeHandler(PageScheme, Handler);
    LockDown(*Profile);
    WebView->setPage(new LockedPage(Profile, WebView));
    // Navigating now makes the view's render widget before the window is first shown;
    // made later, it has the window recreated above the dialogs already open.
    WebView->setUrl(QUrl(QStringLiteral("about:blank")));
    // The page's own menu would go back, save or show the source behind the tree's back:
    // the view offers its actions only (copy, select all, and what the window adds).
    WebView->setContextMenuPolicy(Qt::ActionsContextMenu);
    WebView->addAction(WebView->pageAction(QWebEnginePage::Copy));
    WebView->addAction(WebView->pageAction(QWebEnginePage::SelectAll));
}

WebPageViewer::~WebPageViewer() {
    // The page must go before its profile.
    delete WebView.data();
    delete Profile;
}

QWidget* WebPageViewer::Widget() { return WebView; }

QWebEngineView* WebPageViewer::View() const { return WebView; }

// Chromium keeps the zoom of the page scheme's one host across pages.
void WebPageViewer::SetZoom(double zoom) { WebView->setZoomFactor(zoom); }

void WebPageViewer::FindText(const QString& text, bool backward) {
    WebView->page()->findText(
        text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void WebPageViewer::ShowFileMarked(const QString& filePath, const QString& text) {
    auto* once = new QObject(WebView);
    QObject::connect(WebView, &QWebEngineView::loadFinished, once, [this, once, text] {
        delete once;
        FindText(text, false);
    });
    ShowFile(filePath);
}

void WebPageViewer::SavePdf(const QString& filePath, const QString& pdfPath,
                            const std::function<void(bool)>& done) {
    Handler->SetFolder(QFileInfo(filePath).absolutePath());
    auto* page = new LockedPage(Profile, WebView);
    QObject::connect(page, &QWebEnginePage::loadFinished, page, [page, pdfPath, done](bool ok) {
        if (!ok) {
            page->deleteLater();
            done(false);
            return;
        }
        page->printToPdf(pdfPath);
    });
    QObject::connect(page, &QWebEnginePage::pdfPrintingFinished, page,
                     [page, done](const QString&, bool ok) {
                         page->deleteLater();
                         done(ok);
                     });
    page->load(PageUrl(filePath));
}

// A hidden view of its own, so that the page shown stays as it is.
void WebPageViewer::Print(const QString& filePath, QPrinter& printer,
                          const std::function<void(bool)>& done) {
    Handler->SetFolder(QFileInfo(filePath).absolutePath());
    auto* view = new QWebEngineView(WebView);
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->setPage(new LockedPage(Profile, view));
    QObject::connect(view, &QWebEngineView::loadFinished, view, [view, &printer, done](bool ok) {
        if (ok) return view->print(&printer);
        view->deleteLater();
        done(false);
    });
    QObject::connect(view, &QWebEngineView::printFinished, view, [view, done](bool ok) {
        view->deleteLater();
        done(ok);
    });
    view->load(PageUrl(filePath));
}

void WebPageViewer::ShowFile(const QString& filePath) {
    Handler->SetFolder(QFileInfo(filePath).absolutePath());
    WebView->setUrl(PageUrl(filePath));
}

}  // namespace kelmo
