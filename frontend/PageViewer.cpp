#include "PageViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include "PageFiles.h"

namespace kelmo {

void RegisterPageScheme() {
    QWebEngineUrlScheme scheme(PageScheme);
    // A host makes the URLs hierarchical, so that relative links and pictures resolve.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
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
    WebView->setPage(new QWebEnginePage(Profile, WebView));
}

WebPageViewer::~WebPageViewer() {
    // The page must go before its profile.
    delete WebView.data();
    delete Profile;
}

QWidget* WebPageViewer::Widget() { return WebView; }

QWebEngineView* WebPageViewer::View() const { return WebView; }

void WebPageViewer::ShowFile(const QString& filePath) {
    Handler->SetFolder(QFileInfo(filePath).absolutePath());
    WebView->setUrl(PageUrl(filePath));
}

}  // namespace kelmo
