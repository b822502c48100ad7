// Start of the window program: kelmo-preview [FILE].

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <memory>
#include <string_view>

#include "About.h"
#include "AppSetup.h"
#include "MainForm1.h"
#include "OfficeSession.h"
#include "PageViewer.h"
#include "ScriptedShot.h"

namespace {

kelmo::ShotOptions DescribeOptions(QCommandLineParser& parser) {
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("document to open"));
    return kelmo::AddShotOptions(parser);
}

// True when the run only prints text (--help, --version), which needs no display.
bool OnlyPrints(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--") return false;
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            if (argument == option) return true;
    }
    return false;
}

// A limit in MB: the environment variable, else the setting, else the default.
int LimitMb(const char* variable, const QString& setting, int fallback) {
    bool ok = false;
    int value = qEnvironmentVariableIntValue(variable, &ok);
    if (!ok) {
        value = kelmo::UserSettings().value(setting, fallback).toInt(&ok);
    }
    return ok && value >= 0 ? value : fallback;
}

int RunWindow(QApplication& app) {
    QCommandLineParser parser;
    const kelmo::ShotOptions shot = DescribeOptions(parser);
    parser.process(app);

    TMainForm MainForm;
    // A child of the main window: it lives for the whole run, and closing the window still
    // ends the program.
    auto* AboutBox = new TAboutBox(&MainForm);
    MainForm.SetAboutBox(AboutBox);
    // One LibreOffice serves every document of the run. It starts in the background once
    // the window is up, so the first document usually finds it ready.
    kelmo::ConvertOptions convert;
    convert.OfficeMemoryMb = LimitMb("KELMO_OFFICE_MEMORY_MB", QStringLiteral("officeMemoryMb"),
                                     kelmo::DefaultOfficeMemoryMb);
    convert.MaxDocumentMb = LimitMb("KELMO_MAX_DOCUMENT_MB", QStringLiteral("maxDocumentMb"),
                                    kelmo::DefaultMaxDocumentMb);
    auto office =
        std::make_shared<kelmo::OfficeSession>(QString(), QString(), convert.OfficeMemoryMb);
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
    kelmo::CloseOnStopSignals(MainForm);
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (OnlyPrints(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kelmo-preview"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KELMO_VERSION));
        QCommandLineParser parser;
        DescribeOptions(parser);
        parser.process(app);  // prints and exits
    }
    kelmo::PrepareWebEngine();
    QApplication app(argc, argv);
    kelmo::SetUpApplication(app);
    kelmo::RemoveLeftoversOfEndedRuns();
    const int code = RunWindow(app);
    kelmo::FinishStopSignal();
    return code;
}
