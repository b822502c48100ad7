#include "OfficeProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>
#include <vector>

#include "ConvertMessages.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

const char* const MissingConverter =
    "Не найден LibreOffice. Установите пакет libreoffice-writer-nogui";

struct Setting {
    const char* Path;
    const char* Name;
    const char* Type;
    const char* Value;
};

// BlockUntrustedRefererLinks makes LibreOffice refuse linked pictures and frames for a
// document loaded with an untrusted referer; Update/Link 2 is "never update links".
// Spell checking as you type would check the whole document while it is open.
constexpr Setting ProfileSettings[] = {
    {"/org.openoffice.Office.Common/Security/Scripting", "BlockUntrustedRefererLinks", "xs:boolean",
     "true"},
    {"/org.openoffice.Office.Writer/Content/Update", "Link", "xs:int", "2"},
    {"/org.openoffice.Office.Linguistic/SpellChecking", "IsSpellAuto", "xs:boolean", "false"},
};

// LibreOffice rewrites the file in this form, so a setting is found again by its start.
std::string ItemStart(const Setting& s) {
    return std::string("<item oor:path=\"") + s.Path + "\"><prop oor:name=\"" + s.Name + "\"";
}

std::string ItemXml(const Setting& s) {
    return ItemStart(s) + " oor:op=\"fuse\" oor:type=\"" + s.Type + "\"><value>" + s.Value +
           "</value></prop></item>\n";
}

const char* const EmptyItems =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
    "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
    "</oor:items>\n";

// The version the LibreOffice of program calls itself ("7.4"), from its installed
// configuration; empty when it cannot be found.
std::string InstalledVersion(const QString& program) {
    const QDir programDir = QFileInfo(QFileInfo(program).canonicalFilePath()).dir();
    const QString xcd = programDir.filePath(QStringLiteral("../share/registry/main.xcd"));
    if (program.isEmpty() || !QFileInfo(xcd).isFile()) return {};
    try {
        const std::string text = ReadWholeFile(LocalPath(xcd));
        const std::size_t prop = text.find("<prop oor:name=\"ooSetupVersion\">");
        const std::size_t value = text.find("<value>", prop);
        const std::size_t end = text.find("</value>", value);
        if (prop == std::string::npos || end == std::string::npos) return {};
        const std::string version = text.substr(value + 7, end - value - 7);
        if (version.empty() || version.size() > 16 ||
            version.find_first_not_of("0123456789.") != std::string::npos) {
            return {};
        }
        return version;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

QString FindOffice(const QString& requested) {
    if (requested.isEmpty()) {
        for (const char* name : {"soffice", "libreoffice"}) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!found.isEmpty()) return found;
        }
        const QFileInfo bundled(QStringLiteral("/usr/lib/libreoffice/program/soffice"));
        if (bundled.isExecutable()) return bundled.filePath();
        FailConversion(QString::fromUtf8(MissingConverter));
    }
    const QString found = requested.contains(QLatin1Char('/'))
                              ? (QFileInfo::exists(requested) ? requested : QString())
                              : QStandardPaths::findExecutable(requested);
    if (found.isEmpty()) {
        FailConversion(QStringLiteral("Не найден LibreOffice (%1). Установите пакет "
                                      "libreoffice-writer-nogui")
                           .arg(QDir::toNativeSeparators(requested)));
    }
    return found;
}

QString OfficeBinary(const QString& program) {
    const QFileInfo launcher(QFileInfo(program).canonicalFilePath());
    const QFileInfo binary(launcher.dir().filePath(QStringLiteral("soffice.bin")));
    if (launcher.fileName() == QLatin1String("soffice") && binary.isExecutable()) {
        return binary.filePath();
    }
    return program;
}

QString DefaultProfileDir() {
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || QDir(home).isRoot()) return {};
    QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (QCoreApplication::applicationName().isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
               QStringLiteral("/kelmo-preview");
    }
    return base + QStringLiteral("/libreoffice-profile");
}

bool WriteProfileSettings(const QString& profileDir, const QString& program) {
    const QString user = QDir(profileDir).filePath(QStringLiteral("user"));
    if (!QDir().mkpath(user)) return false;
    const QString file = user + QStringLiteral("/registrymodifications.xcu");
    const std::string path = LocalPath(file);
    try {
        std::string xcu = QFileInfo::exists(file) ? ReadWholeFile(path) : EmptyItems;
        const std::size_t end = xcu.rfind("</oor:items>");
        if (end == std::string::npos) xcu = EmptyItems;
        std::vector<Setting> settings(std::begin(ProfileSettings), std::end(ProfileSettings));
        // Without it LibreOffice takes every start for the first one after an update, which
        // costs about a second per document.
        const std::string version = InstalledVersion(program);
        if (!version.empty()) {
            settings.push_back({"/org.openoffice.Setup/Product", "ooSetupLastVersion", "xs:string",
                                version.c_str()});
        }
        std::string missing;
        for (const Setting& setting : settings) {
            if (xcu.find(ItemStart(setting)) == std::string::npos) missing += ItemXml(setting);
        }
        if (missing.empty()) return true;
        xcu.insert(xcu.rfind("</oor:items>"), missing);
        WriteWholeFile(path, xcu);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace kelmo
