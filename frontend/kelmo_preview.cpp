// Start of the window program: kelmo-preview [FILE].

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include "About.h"
#include "MainForm1.h"
#include "PageViewer.h"
#include "ScriptedShot.h"

int main(int argc, char* argv[]) {
    kelmo::PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelmo Preview"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelmo Preview"));
    QApplication::setWindowIcon(ApplicationIcon());

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("document to open"));
    const kelmo::ShotOptions shot = kelmo::AddShotOptions(parser);
    parser.process(app);

    TMainForm form;
    // A child of the form: it lives for the whole run, and closing the form still ends it.
    auto* aboutBox = new TAboutBox(&form);
    form.SetAboutBox(aboutBox);
    StartScreen(*aboutBox, form);
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        const QString file = QFileInfo(files.front()).absoluteFilePath();
        QTimer::singleShot(0, &form, [&form, file] { form.OpenStartFile(file); });
    }
    kelmo::ScheduleShot(form, parser, shot);
    return app.exec();
}
