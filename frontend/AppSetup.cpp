#include "AppSetup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "About.h"

namespace kelmo {

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
