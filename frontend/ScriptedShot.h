// Hidden options used by scripts/screenshot.sh: select a page and save a picture of the
// window once that page has loaded, then quit.
#pragma once

#include <QCommandLineOption>

class QCommandLineParser;
class TMainForm;

namespace kelmo {

struct ShotOptions {
    QCommandLineOption Select;      // --select N: absolute index of the tvStruct node
    QCommandLineOption Screenshot;  // --screenshot FILE.png
};

ShotOptions AddShotOptions(QCommandLineParser& parser);

// Does nothing unless --screenshot was given. Waits for the open command of FILE.
void ScheduleShot(TMainForm& form, const QCommandLineParser& parser, const ShotOptions& options);

}  // namespace kelmo
