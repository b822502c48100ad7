// Start of the window program: kelmo-preview [FILE].
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "MainForm1.h"
#include "PageViewer.h"
#include "ScriptedShot.h"

namespace {

// Chromium refuses to start its sandbox as root, and has no GPU without a real display.
void PrepareWebEngine() {
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--disable-gpu")) flags += " --disable-gpu";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    kelmo::RegisterPageScheme();
    PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelmo Preview"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelmo Preview"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("document to open"));
    const kelmo::ShotOptions shot = kelmo::AddShotOptions(parser);
    parser.process(app);

    TMainForm form;
    form.showMaximized();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        QTimer::singleShot(0, &form, [&form, file = files.front()] { form.OpenDocument(file); });
    }
    kelmo::ScheduleShot(form, parser, shot);
    return app.exec();
}
