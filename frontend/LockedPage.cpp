#include "LockedPage.h"

#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

#include "PageFiles.h"

namespace kelmo {
namespace {

bool IsPageAddress(const QUrl& url) { return url.scheme() == QLatin1String(PageScheme); }

using S = QWebEngineSettings;

constexpr S::WebAttribute TurnedOff[] = {S::JavascriptEnabled,
                                         S::JavascriptCanOpenWindows,
                                         S::JavascriptCanAccessClipboard,
                                         S::JavascriptCanPaste,
                                         S::AllowWindowActivationFromJavaScript,
                                         S::LocalContentCanAccessRemoteUrls,
                                         S::LocalContentCanAccessFileUrls,
                                         S::LocalStorageEnabled,
                                         S::PluginsEnabled,
                                         S::PdfViewerEnabled,
                                         S::WebGLEnabled,
                                         S::ScreenCaptureEnabled,
                                         S::FullScreenSupportEnabled,
                                         S::HyperlinkAuditingEnabled,
                                         S::AllowRunningInsecureContent,
                                         S::AllowGeolocationOnInsecureOrigins,
                                         S::DnsPrefetchEnabled,
                                         S::NavigateOnDropEnabled,
                                         S::AutoLoadIconsForPage,
                                         S::TouchIconsEnabled};

void TurnOffWhatAPageCouldMisuse(QWebEngineSettings& settings) {
    for (const S::WebAttribute attribute : TurnedOff) settings.setAttribute(attribute, false);
    settings.setAttribute(S::WebRTCPublicInterfacesOnly, true);
    settings.setAttribute(S::PlaybackRequiresUserGesture, true);
    settings.setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

}  // namespace

void LockDown(QWebEngineProfile& profile) {
    TurnOffWhatAPageCouldMisuse(*profile.settings());
    profile.setUrlRequestInterceptor(new PageSchemeOnly(&profile));
    profile.setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile.setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile.setSpellCheckEnabled(false);
}

void PageSchemeOnly::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (!IsPageAddress(info.requestUrl())) info.block(true);
}

LockedPage::LockedPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, Feature feature) {
                setFeaturePermission(origin, feature, PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::fullScreenRequested,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
}

bool LockedPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    // The blank page the view starts on is the only other address it ever shows; a link
    // to anywhere else, clicked or followed by the page itself, does nothing.
    return IsPageAddress(url) || url == QUrl(QStringLiteral("about:blank"));
}

}  // namespace kelmo
