#include "ScriptedShot.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>

#include "MainForm1.h"

namespace kelmo {

namespace {

constexpr int kSettleMs = 1500;    // painting after loadFinished
constexpr int kGiveUpMs = 180000;  // a conversion or page that never ends

void SaveAndQuit(TMainForm& form, const QString& file) {
    if (!form.grab().save(file)) std::fprintf(stderr, "cannot save %s\n", qPrintable(file));
    QApplication::quit();
}

}  // namespace

ShotOptions AddShotOptions(QCommandLineParser& parser) {
    ShotOptions options{
        QCommandLineOption(QStringLiteral("select"), QStringLiteral("node to select"),
                           QStringLiteral("N"), QStringLiteral("-1")),
        QCommandLineOption(QStringLiteral("screenshot"), QStringLiteral("picture to save"),
                           QStringLiteral("FILE"))};
    options.Select.setFlags(QCommandLineOption::HiddenFromHelp);
    options.Screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(options.Select);
    parser.addOption(options.Screenshot);
    return options;
}

void ScheduleShot(TMainForm& form, const QCommandLineParser& parser, const ShotOptions& options) {
    if (!parser.isSet(options.Screenshot)) return;
    const QString file = parser.value(options.Screenshot);
    const int select = parser.value(options.Select).toInt();
    auto* web = dynamic_cast<WebPageViewer*>(&form.Viewer());
    QTimer::singleShot(kGiveUpMs, &form, [&form, file] { SaveAndQuit(form, file); });
    // Waits for the open command, then for the selected page (or the clean document).
    QObject::connect(
        &form, &TMainForm::CommandFinished, &form,
        [&form, web, file, select] {
            if (web) {
                QObject::connect(web->View(), &QWebEngineView::loadFinished, &form,
                                 [&form, file](bool ok) {
                                     if (!ok) return;  // a load cut short by the selection
                                     QTimer::singleShot(kSettleMs, &form,
                                                        [&form, file] { SaveAndQuit(form, file); });
                                 });
            }
            form.SelectNode(select);
        },
        Qt::SingleShotConnection);
}

}  // namespace kelmo
