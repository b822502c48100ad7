// What the program sets on its application object before the first window.
#pragma once

class QApplication;
class QLocale;

namespace kelmo {

// Name and icon. No display name: the window system would add it to every title bar.
// Qt's own texts (file dialog, standard buttons) follow the user's locale.
void SetUpApplication(QApplication& app);

// Loads Qt's translations for locale; false when none is installed for it.
bool InstallQtTranslations(QApplication& app, const QLocale& locale);

}  // namespace kelmo
