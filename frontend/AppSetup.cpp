#include "AppSetup.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QSocketNotifier>
#include <QTranslator>
#include <QWidget>
#include <csignal>

#include "About.h"

namespace kelmo {
namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int SignalSockets[2] = {-1, -1};
volatile std::sig_atomic_t StopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    StopSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(SignalSockets[1], &byte, 1);
}

}  // namespace

QSettings UserSettings() {
    return QSettings(QStringLiteral("Kelmo"), QStringLiteral("Kelmo Preview"));
}

void CloseOnStopSignals(QWidget& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0) return;
    auto* notifier = new QSocketNotifier(SignalSockets[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(SignalSockets[0], &byte, 1);
        // While a conversion runs the window closes once it is done, and the program ends
        // with its last window.
        if (window.close()) QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void FinishStopSignal() {
    if (StopSignal == 0) return;
    const int signal = StopSignal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Kelmo Preview"));
    QApplication::setWindowIcon(ApplicationIcon());
    InstallQtTranslations(app, QLocale::system());
}

bool InstallQtTranslations(QApplication& app, const QLocale& locale) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool any = false;
    // "qt" gathers qtbase and the other modules; the page view's texts come on their own.
    for (const char* catalog : {"qt", "qtwebengine"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(locale, QLatin1String(catalog), QStringLiteral("_"), folder)) {
            QApplication::installTranslator(translator);
            any = true;
        } else {
            delete translator;
        }
    }
    return any;
}

}  // namespace kelmo
