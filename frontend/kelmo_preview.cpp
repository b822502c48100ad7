// Start of the window program: kelmo-preview [FILE].

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "MainForm1.h"
#include "PageViewer.h"
#include "ScriptedShot.h"

int main(int argc, char* argv[]) {
    kelmo::PrepareWebEngine();
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
