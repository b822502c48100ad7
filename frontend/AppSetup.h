// What the program sets on its application object before the first window.
#pragma once

class QApplication;
class QLocale;
class QSettings;
class QWidget;

namespace kelmo {

// Name and icon. No display name: the window system would add it to every title bar.
// Qt's own texts (file dialog, standard buttons) follow the user's locale.
void SetUpApplication(QApplication& app);

// The user's settings of the window: ~/.config/Kelmo/Kelmo Preview.conf.
QSettings UserSettings();

// Loads Qt's translations for locale; false when none is installed for it.
bool InstallQtTranslations(QApplication& app, const QLocale& locale);

// SIGTERM, SIGINT and SIGHUP close window as the user would (a conversion under way ends
// first) and then leave the event loop, so that everything of the run is removed.
void CloseOnStopSignals(QWidget& window);

// After everything of the run is gone, ends the program by the stop signal that came, if
// one did.
void FinishStopSignal();

}  // namespace kelmo
