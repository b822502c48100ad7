// Start of the window program: kelmo-preview [FILE].

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <memory>

#include "About.h"
#include "AppSetup.h"
#include "MainForm1.h"
#include "OfficeSession.h"
#include "PageViewer.h"
#include "ScriptedShot.h"

int main(int argc, char* argv[]) {
    kelmo::PrepareWebEngine();
    QApplication app(argc, argv);
    kelmo::SetUpApplication(app);

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("document to open"));
    const kelmo::ShotOptions shot = kelmo::AddShotOptions(parser);
    parser.process(app);

    TMainForm MainForm;
    // A child of the main window: it lives for the whole run, and closing the window still
    // ends the program.
    auto* AboutBox = new TAboutBox(&MainForm);
    MainForm.SetAboutBox(AboutBox);
    // One LibreOffice serves every document of the run. It starts in the background once
    // the window is up, so the first document usually finds it ready.
    auto office = std::make_shared<kelmo::OfficeSession>();
    kelmo::ConvertOptions convert;
    convert.Session = office;
    MainForm.SetConvertOptions(convert);
    StartScreen(*AboutBox, MainForm);
    QTimer::singleShot(0, &MainForm, [office] { office->StartInBackground(); });
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        const QString file = QFileInfo(files.front()).absoluteFilePath();
        QTimer::singleShot(0, &MainForm, [&MainForm, file] { MainForm.OpenStartFile(file); });
    }
    kelmo::ScheduleShot(MainForm, parser, shot);
    return app.exec();
}
