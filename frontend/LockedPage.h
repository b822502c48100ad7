// The page view shows a document that came from anyone, so it is shut in: no script runs,
// nothing but the "kelmo" scheme is loaded or navigated to (no file:// address, no remote
// address, not even a link the user clicks), and every feature a page may ask for is
// refused.
#pragma once

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

namespace kelmo {

// Turns off scripts, plugins, remote and file access and the like for every page of
// profile, and makes it refuse every request that is not for the page scheme.
void LockDown(QWebEngineProfile& profile);

// Blocks every request whose scheme is not the page scheme.
class PageSchemeOnly : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

// A page that goes only to addresses of the page scheme and grants no permission.
class LockedPage : public QWebEnginePage {
    Q_OBJECT
  public:
    LockedPage(QWebEngineProfile* profile, QObject* parent);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

}  // namespace kelmo
