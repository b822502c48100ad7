// kelmo-convert: the document road without a window. Copies the word processor's HTML
// export into an output folder, cleans it, cuts it into one page per heading and writes
// the outline, then prints the outline.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CheckOutput.h"
#include "Converter.h"
#include "Course.h"
#include "CourseRoad.h"
#include "LibFunc.h"
#include "LocalPath.h"
#include "OfficePool.h"
#include "OfficeSession.h"
#include "Package.h"
#include "Road.h"
#include "WorkFiles.h"
#include "WorkFolder.h"

namespace {

// Documented in --help and README.md.
enum class ExitCode {
    Done = 0,
    Error = 1,         // a file could not be read, made or written; unsupported input
    BadUsage = 2,      // unknown option, missing input, bad option value
    HeadingLimit = 3,  // more than MaxHeaders headings: no pages, no outline
    CheckFailed = 4,   // --strict and the check found an error
};

// A failure to report on one line and leave with code.
class Failure : public std::runtime_error {
  public:
    Failure(ExitCode code, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code) {}
    ExitCode Code() const { return code_; }

  private:
    ExitCode code_;
};

struct Options {
    QStringList Inputs;
    QString Input;   // the one being converted
    QString Output;  // empty: a new work folder beside the input
    kelmo::Numbering Numbering = kelmo::Numbering::Auto;
    bool Quiet = false;
    int TimeoutSeconds = 120;                           // for converting non-HTML documents
    int OfficeMemoryMb = kelmo::DefaultOfficeMemoryMb;  // LibreOffice's address space; 0: any
    int MaxDocumentMb = kelmo::DefaultMaxDocumentMb;    // a larger input is refused; 0: any
    QString Package;                                    // empty: no package
    kelmo::PackageFormat Format = kelmo::PackageFormat::Folder;
    bool Check = false;         // the author's check after the split
    bool Json = false;          // the check's findings as JSON instead of the outline
    bool Strict = false;        // an error finding fails the run
    bool AllowOutside = false;  // a package of a course may take documents outside its folder
    int Jobs = 1;               // LibreOffices converting at once
};

void ParsePackageOptions(const QCommandLineParser& parser, Options& options);
void RefuseSharedOutputFolders(const Options& options);

using kelmo::LocalPath;

struct CheckSwitches {
    QCommandLineOption Check{QStringLiteral("check"),
                             QStringLiteral("Check the pages and print what will go wrong.")};
    QCommandLineOption Format{QStringLiteral("format"),
                              QStringLiteral("Findings as text (default) or json."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption Strict{QStringLiteral("strict"),
                              QStringLiteral("Check, and exit with 4 when an error is found.")};
};

CheckSwitches AddCheckOptions(QCommandLineParser& parser) {
    CheckSwitches check;
    parser.addOptions({check.Check, check.Format, check.Strict});
    return check;
}

void ReadCheckOptions(const QCommandLineParser& parser, const CheckSwitches& check,
                      Options& options) {
    const QString format = parser.value(check.Format);
    if (parser.isSet(check.Format) && format != QLatin1String("text") &&
        format != QLatin1String("json"))
        throw Failure(ExitCode::BadUsage, QStringLiteral("Неверное значение --format: ") + format);
    options.Strict = parser.isSet(check.Strict);
    options.Json = format == QLatin1String("json");
    options.Check = parser.isSet(check.Check) || options.Strict || parser.isSet(check.Format);
}

Options ParseArguments(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Cuts a word processor's HTML export into one page per heading and writes the outline "
        "(Titles.txt, Names.txt).\n\nExit codes: 0 done; 1 error; 2 bad usage; 3 more than 500 "
        "headings; 4 --strict and the check found an error."));
    const QCommandLineOption numbers(
        QStringLiteral("numbers"),
        QStringLiteral("Section numbers in front of the outline titles: auto (default: not when "
                       "most headings carry a number of their own), on or off."),
        QStringLiteral("WHEN"));
    const QCommandLineOption noNumbers(QStringLiteral("no-numbers"),
                                       QStringLiteral("The same as --numbers off."));
    const QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("Write into DIR (made if missing) instead of a new folder beside INPUT."),
        QStringLiteral("DIR"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print nothing but errors."));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Give up converting a non-HTML document after S seconds (default 120)."),
        QStringLiteral("S"));
    const QCommandLineOption officeMemory(
        QStringLiteral("office-memory"),
        QStringLiteral("LibreOffice's memory limit in MB (default %1; 0: none); a document "
                       "that comes near it is refused.")
            .arg(kelmo::DefaultOfficeMemoryMb),
        QStringLiteral("MB"));
    const QCommandLineOption maxSize(
        QStringLiteral("max-size"),
        QStringLiteral("Refuse an input larger than MB megabytes (default %1; 0: any size).")
            .arg(kelmo::DefaultMaxDocumentMb),
        QStringLiteral("MB"));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Convert up to N documents at a time, each by a LibreOffice of its own "
                       "(default: one per processor, as many as memory holds at --office-memory)."),
        QStringLiteral("N"));
    parser.addOptions({numbers, noNumbers, output, quiet, timeout, officeMemory, maxSize, jobs});
    parser.addOptions(
        {{QStringLiteral("package"),
          QStringLiteral("Also write the pages as a package to FILE (a folder, a .zip or an "
                         ".epub)."),
          QStringLiteral("FILE")},
         {QStringLiteral("package-format"),
          QStringLiteral("folder, zip, imscp, scorm12, moodlebook or epub (default: zip for a "
                         "FILE ending in .zip, epub for .epub, else folder)."),
          QStringLiteral("F")},
         {QStringLiteral("allow-outside"),
          QStringLiteral("Package a course even when some of its documents lie outside the "
                         "course's folder.")}});
    const CheckSwitches check = AddCheckOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("INPUT"),
        QStringLiteral(
            "The document: an HTML export (.htm, .html, .~ht), or .doc, "
            ".docx, .rtf, .odt to convert first; or a course (.kelmo-course). "
            "Several inputs go each into DIR/<name without extension> with --output DIR."),
        QStringLiteral("INPUT..."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(app.arguments())) throw Failure(ExitCode::BadUsage, parser.errorText());
    if (parser.isSet(help)) parser.showHelp(int(ExitCode::Done));
    if (parser.isSet(version)) parser.showVersion();

    const QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty()) {
        throw Failure(ExitCode::BadUsage,
                      QStringLiteral("Укажите один входной файл (kelmo-convert --help)"));
    }
    Options options;
    options.Inputs = inputs;
    options.Input = inputs.front();
    options.Output = parser.value(output);
    const QString when = parser.isSet(noNumbers) ? QStringLiteral("off") : parser.value(numbers);
    if (when == QStringLiteral("on")) {
        options.Numbering = kelmo::Numbering::On;
    } else if (when == QStringLiteral("off")) {
        options.Numbering = kelmo::Numbering::Off;
    } else if (!when.isEmpty() && when != QStringLiteral("auto")) {
        throw Failure(ExitCode::BadUsage, QStringLiteral("Неверное значение --numbers: ") + when);
    }
    options.Quiet = parser.isSet(quiet);
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.TimeoutSeconds = parser.value(timeout).toInt(&ok);
        if (!ok || options.TimeoutSeconds <= 0) {
            throw Failure(ExitCode::BadUsage,
                          QStringLiteral("Неверное значение --timeout: ") + parser.value(timeout));
        }
    }
    for (const auto& [option, value] : {std::pair{&officeMemory, &options.OfficeMemoryMb},
                                        std::pair{&maxSize, &options.MaxDocumentMb}}) {
        if (!parser.isSet(*option)) continue;
        bool ok = false;
        *value = parser.value(*option).toInt(&ok);
        if (!ok || *value < 0) {
            throw Failure(ExitCode::BadUsage,
                          QStringLiteral("Неверное значение --%1: %2")
                              .arg(option->names().front(), parser.value(*option)));
        }
    }
    options.Jobs = kelmo::DefaultOfficeCount(options.OfficeMemoryMb);
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.Jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.Jobs <= 0)
            throw Failure(ExitCode::BadUsage,
                          QStringLiteral("Неверное значение --jobs: ") + parser.value(jobs));
    }
    ReadCheckOptions(parser, check, options);
    if (parser.isSet(output) && options.Output.isEmpty())
        throw Failure(ExitCode::BadUsage, QStringLiteral("Пустое имя папки в --output"));
    ParsePackageOptions(parser, options);
    RefuseSharedOutputFolders(options);
    return options;
}

// The signal that asks this run to stop (SIGINT, SIGTERM, SIGHUP), 0 while none came.
volatile std::sig_atomic_t StopSignal = 0;

extern "C" void OnStopSignal(int signal) { StopSignal = signal; }

void CatchStopSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, OnStopSignal);
}

// After everything of ours is gone, ends the way the signal would have ended the program.
void FinishStopSignal() {
    if (StopSignal == 0) return;
    const int signal = StopSignal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// What one input is converted with, and where its lines go: the terminal, or buffers that a
// batch prints in input order.
struct Lane {
    std::shared_ptr<kelmo::OfficeSession> Session;  // for a document
    std::shared_ptr<kelmo::OfficePool> Pool;        // a course's materials at once; may be empty
    std::ostream& Out = std::cout;
    std::ostream& Err = std::cerr;
};

// Input that cannot be used is refused here, by name or content and with the window's
// messages, before any folder is made.
void RefuseUnusable(const QString& input, int maxDocumentMb) {
    try {
        kelmo::RecognizeInput(input, maxDocumentMb);
    } catch (const kelmo::ConvertError& error) {
        throw Failure(ExitCode::Error, QString::fromUtf8(error.what()));
    }
}

// The input read once for the road (a web page whole), refused as RefuseUnusable does.
kelmo::InputDocument ReadUsable(const QString& input, int maxDocumentMb) {
    try {
        return kelmo::ReadInput(input, maxDocumentMb);
    } catch (const kelmo::ConvertError& error) {
        throw Failure(ExitCode::Error, QString::fromUtf8(error.what()));
    }
}

// The road as the options ask for it; a stop signal ends it (LibreOffice too) at once.
kelmo::RoadOptions RoadOptionsFor(const Options& options, const Lane& lane) {
    kelmo::RoadOptions road;
    road.Convert.TimeoutMs = int(qMin<qint64>(qint64(options.TimeoutSeconds) * 1000, INT_MAX));
    road.Convert.Session = lane.Session;
    road.Convert.Pool = lane.Pool;
    road.Convert.OfficeMemoryMb = options.OfficeMemoryMb;
    road.Convert.MaxDocumentMb = options.MaxDocumentMb;
    road.Numbers = options.Numbering;
    road.Check = options.Check;
    road.CancelRequested = [] { return StopSignal != 0; };
    return road;
}

// True when the road would write over the input itself.
bool RoadWritesOver(const QString& input, const QString& folder) {
    // The file itself, also when INPUT is a link to it.
    const QFileInfo in(QFileInfo(input).canonicalFilePath());
    std::error_code error;
    const auto folderPath = std::filesystem::weakly_canonical(LocalPath(folder), error);
    if (error || std::filesystem::path(LocalPath(in.canonicalPath())) != folderPath) return false;
    return kelmo::work::IsRoadFile(in.fileName().toStdString());
}

// The folder that receives every file of the road.
struct OutputPlace {
    std::string Path;
    bool Created = false;  // a new work folder made by this run
    std::string MadeFrom;  // the outermost folder of --output DIR that this run made

    QString Folder() const { return QFile::decodeName(Path.c_str()); }
};

// A folder this run made that the failed road left empty goes again, with the empty
// parents it made for it (remove() takes only an empty folder).
void RemoveIfLeftEmpty(const OutputPlace& place) {
    std::error_code ignored;
    if (place.Created) std::filesystem::remove(place.Path, ignored);
    if (place.MadeFrom.empty()) return;
    for (std::filesystem::path folder = place.Path; !folder.empty();
         folder = folder.parent_path()) {
        if (!std::filesystem::remove(folder, ignored) || folder == place.MadeFrom) break;
    }
}

OutputPlace OutputFolder(const Options& options) {
    if (options.Output.isEmpty()) {
        const QString folder = kelmo::DocumentFolder(options.Input);
        const kelmo::WorkFolder made = kelmo::MakeWorkFolder(folder, kelmo::NewSessionName());
        return {LocalPath(made.Path), made.Created, {}};
    }
    if (RoadWritesOver(options.Input, options.Output)) {
        throw Failure(
            ExitCode::BadUsage,
            "Входной файл лежит в папке результата и был бы перезаписан: " + options.Input);
    }
    std::filesystem::path path =
        std::filesystem::path(LocalPath(options.Output)).lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
    const std::string folder = path.string();
    std::error_code error;
    std::filesystem::path made;
    for (; !path.empty() && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
         path = path.parent_path())
        made = path;
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        throw Failure(ExitCode::Error, "Невозможно создать папку \"" + options.Output + "\". " +
                                           QString::fromStdString(error.message()));
    }
    return {folder, false, made.string()};
}

// One outline line for the terminal: two spaces per level tab, and a line break inside a
// title shown as a blank.
QString TerminalLine(QString line) {
    qsizetype tabs = 0;
    while (tabs < line.size() && line[tabs] == QLatin1Char('\t')) ++tabs;
    QString text = line.mid(tabs);
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.isEmpty()) text = QStringLiteral("(без заголовка)");
    return QString(tabs * 2, QLatin1Char(' ')) + text;
}

// Titles.txt content (windows-1251, CR LF lines) on the terminal.
void PrintTitles(std::ostream& out, const std::string& titles) {
    QStringList lines =
        QString::fromStdString(kelmo::Windows1251ToUtf8(titles)).split(QStringLiteral("\r\n"));
    lines.removeLast();  // after the last line end
    for (const QString& line : lines) out << TerminalLine(line).toStdString() << '\n';
}

void PrintOutline(const Lane& lane, const kelmo::HeadingTable& table, kelmo::Numbering numbering,
                  const std::string& folder) {
    PrintTitles(lane.Out, kelmo::MakeOutline(table, numbering).Titles);
    const QString where = QFileInfo(QFile::decodeName(folder.c_str())).absoluteFilePath();
    lane.Out << "Страниц: " << table.HeaderCount << '\n'
             << "Папка: " << where.toStdString() << '\n';
    if (table.HeaderCount == 0)
        lane.Err << "В документе нет ни заголовков, ни <body>: страницы не созданы\n";
}

void PrintFindings(std::ostream& out, const std::vector<kelmo::Finding>& findings,
                   const Options& options) {
    if (!options.Check) return;
    out << (options.Json ? kelmo::cli::FindingsJson(findings) : kelmo::cli::FindingLines(findings));
}

ExitCode CheckedExit(const std::vector<kelmo::Finding>& findings, const Options& options) {
    return options.Strict && kelmo::cli::HasErrors(findings) ? ExitCode::CheckFailed
                                                             : ExitCode::Done;
}

// ---------------------------------------------------------------------------------------
// Courses and packages

void ParsePackageOptions(const QCommandLineParser& parser, Options& options) {
    options.Package = parser.value(QStringLiteral("package"));
    if (parser.isSet(QStringLiteral("package")) && options.Package.isEmpty())
        throw Failure(ExitCode::BadUsage, QStringLiteral("Пустое имя пакета в --package"));
    if (!options.Package.isEmpty() && options.Inputs.size() > 1)
        throw Failure(ExitCode::BadUsage,
                      QStringLiteral("Пакет пишется из одного документа или курса: укажите один "
                                     "входной файл с --package"));
    options.AllowOutside = parser.isSet(QStringLiteral("allow-outside"));
    options.Format = kelmo::PackageFormatFor(options.Package);
    if (!parser.isSet(QStringLiteral("package-format"))) return;
    if (options.Package.isEmpty())
        throw Failure(ExitCode::BadUsage,
                      QStringLiteral("--package-format задаётся только вместе с --package"));
    const QString name = parser.value(QStringLiteral("package-format"));
    const auto format = kelmo::PackageFormatNamed(name);
    if (!format)
        throw Failure(ExitCode::BadUsage,
                      QStringLiteral("Неверное значение --package-format: ") + name);
    options.Format = *format;
}

void PrintCourseOutline(std::ostream& out, const std::string& folder) {
    PrintTitles(out, kelmo::LoadTextFile(kelmo::JoinPath(folder, kelmo::work::Titles)));
    const QString where = QFileInfo(QFile::decodeName(folder.c_str())).absoluteFilePath();
    out << "Папка: " << where.toStdString() << '\n';
}

void WritePackageOf(const Lane& lane, const Options& options,
                    const kelmo::PackageRequest& request) {
    try {
        for (const QString& note : kelmo::WritePackage(request, options.Format, options.Package))
            lane.Err << note.toStdString() << '\n';
    } catch (const kelmo::PackageError& error) {
        throw Failure(ExitCode::Error, QString::fromUtf8(error.what()));
    }
    if (!options.Quiet) lane.Out << "Пакет: " << options.Package.toStdString() << '\n';
}

// Each material of the course in a folder of its own inside the output folder, and the
// course's outline beside them; checked and printed as a document is. With a pool, several
// materials are converted at once.
ExitCode RunCourse(const Options& options, const Lane& lane) {
    kelmo::Course course;
    try {
        course = kelmo::LoadCourse(options.Input);
    } catch (const kelmo::CourseError& error) {
        throw Failure(ExitCode::Error, QString::fromUtf8(error.what()));
    }
    if (course.Materials.isEmpty())
        throw Failure(ExitCode::Error, "В курсе \"" + options.Input + "\" нет материалов");
    for (const kelmo::Material& material : course.Materials) {
        if (!kelmo::LiesOutsideCourse(material.Document, options.Input)) continue;
        const QString outside = "Документ \"" + material.Document + "\" лежит вне папки курса";
        if (!options.Package.isEmpty() && !options.AllowOutside)
            throw Failure(ExitCode::Error,
                          outside + ": пакет не записан (--allow-outside разрешает)");
        lane.Err << outside.toStdString() << '\n';
    }
    for (const kelmo::Material& material : course.Materials)
        RefuseUnusable(material.Document, options.MaxDocumentMb);
    const OutputPlace place = OutputFolder(options);
    kelmo::CourseRoad road(course, place.Folder());
    try {
        road.Run(RoadOptionsFor(options, lane));
    } catch (const kelmo::ConvertError& error) {
        RemoveIfLeftEmpty(place);
        throw Failure(ExitCode::Error, QString::fromUtf8(error.what()));
    } catch (const kelmo::CourseError& error) {
        RemoveIfLeftEmpty(place);
        throw Failure(ExitCode::HeadingLimit, QString::fromUtf8(error.what()));
    } catch (...) {
        RemoveIfLeftEmpty(place);
        throw;
    }
    const std::vector<kelmo::Finding> findings = road.Findings();
    if (!options.Quiet && !options.Json) PrintCourseOutline(lane.Out, place.Path);
    PrintFindings(lane.Out, findings, options);
    if (!options.Package.isEmpty()) WritePackageOf(lane, options, road.Request());
    return CheckedExit(findings, options);
}

ExitCode RunOne(const Options& options, const Lane& lane) {
    if (kelmo::IsCourseFile(options.Input)) return RunCourse(options, lane);
    kelmo::InputDocument input = ReadUsable(options.Input, options.MaxDocumentMb);
    const OutputPlace place = OutputFolder(options);
    kelmo::Pages pages;
    try {
        pages = kelmo::RunRoad(options.Input, std::move(input), place.Folder(),
                               RoadOptionsFor(options, lane));
    } catch (...) {
        RemoveIfLeftEmpty(place);
        throw;
    }
    if (pages.Split == kelmo::SplitResult::TooManyHeadings) {
        PrintFindings(lane.Out, pages.Findings, options);
        throw Failure(ExitCode::HeadingLimit, QString::fromStdString(kelmo::HeadingLimitMessage()));
    }
    if (!options.Quiet && !options.Json)
        PrintOutline(lane, *pages.Table, options.Numbering, place.Path);
    PrintFindings(lane.Out, pages.Findings, options);
    if (!options.Package.isEmpty()) {
        const QString title = QFileInfo(options.Input).completeBaseName();
        WritePackageOf(lane, options, {title, false, {{title, place.Folder(), {}}}, {}});
    }
    return CheckedExit(pages.Findings, options);
}

// Reports the exception being handled on err, after prefix, and gives its exit code.
int ReportCurrentError(std::ostream& err, const std::string& prefix) {
    const auto report = [&](ExitCode code, const std::string& message) {
        err << prefix << message << '\n';
        return int(code);
    };
    try {
        throw;
    } catch (const Failure& failure) {
        return report(failure.Code(), failure.what());
    } catch (const std::bad_alloc&) {
        return report(ExitCode::Error, "Недостаточно памяти");
    } catch (const std::exception& error) {  // WorkFolderError, IoError, ConvertError too
        return report(ExitCode::Error, error.what());
    }
}

// Where one of several inputs goes: DIR/<name without extension> with --output DIR.
Options OptionsFor(const Options& batch, const QString& input) {
    Options one = batch;
    one.Input = input;
    if (!batch.Output.isEmpty() && batch.Inputs.size() > 1) {
        one.Output = QDir(batch.Output).filePath(QFileInfo(input).completeBaseName());
    }
    return one;
}

// With --output DIR, two inputs of one name would be written into the same DIR/<name>.
void RefuseSharedOutputFolders(const Options& options) {
    if (options.Output.isEmpty() || options.Inputs.size() < 2) return;
    QHash<QString, QString> taken;  // output folder -> the input that goes there
    for (const QString& input : options.Inputs) {
        const QString folder = OptionsFor(options, input).Output;
        if (taken.contains(folder))
            throw Failure(ExitCode::BadUsage, QStringLiteral("\"%1\" и \"%2\" пишутся в одну "
                                                             "папку \"%3\": переименуйте один")
                                                  .arg(taken.value(folder), input, folder));
        taken.insert(folder, input);
    }
}

bool AnyNeedsConverting(const QStringList& inputs, int maxDocumentMb) {
    return std::any_of(inputs.begin(), inputs.end(), [maxDocumentMb](const QString& input) {
        if (kelmo::IsCourseFile(input)) return true;
        try {
            return kelmo::RecognizeInput(input, maxDocumentMb) != kelmo::InputKind::Html;
        } catch (const kelmo::ConvertError&) {
            return false;
        }
    });
}

// The worse of two exit codes: bad usage, then an error, then the heading limit (some files
// written), then a failed check (every file written).
ExitCode Worse(ExitCode a, ExitCode b) {
    constexpr ExitCode order[] = {ExitCode::Done, ExitCode::CheckFailed, ExitCode::HeadingLimit,
                                  ExitCode::Error, ExitCode::BadUsage};
    const auto rank = [&](ExitCode code) { return std::find(order, std::end(order), code); };
    return rank(a) > rank(b) ? a : b;
}

// A batch's progress on a terminal: one line on stderr, "[12/340] name.doc  0:12, ещё ~5:40"
// (the input last begun, the time since the start and an estimate of what is left),
// rewritten in place and cleared before anything else is printed.
class BatchProgress {
  public:
    BatchProgress(int total, bool shown) : total_(total), shown_(shown) { clock_.start(); }

    void Started(const QString& input) {
        ++started_;
        name_ = QFileInfo(input).fileName().toStdString();
        Draw();
    }
    void Finished() {
        ++finished_;
        Draw();
    }
    void Clear() {
        if (shown_) std::cerr << "\r\033[K" << std::flush;
    }

  private:
    static std::string Duration(qint64 ms) {
        const qint64 seconds = ms / 1000;
        const QString minutes = QStringLiteral("%1:%2")
                                    .arg(seconds / 60 % 60)
                                    .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        if (seconds < 3600) return minutes.toStdString();
        return QStringLiteral("%1:%2")
            .arg(seconds / 3600)
            .arg(minutes, 5, QLatin1Char('0'))
            .toStdString();
    }
    void Draw() {
        if (!shown_) return;
        const qint64 elapsed = clock_.elapsed();
        std::cerr << "\r\033[K[" << started_ << '/' << total_ << "] " << name_ << "  "
                  << Duration(elapsed);
        if (finished_ > 0 && finished_ < total_)
            std::cerr << ", ещё ~" << Duration(elapsed * (total_ - finished_) / finished_);
        std::cerr << std::flush;
    }

    const int total_;
    const bool shown_;
    int started_ = 0;
    int finished_ = 0;
    std::string name_;
    QElapsedTimer clock_;
};

// The order in which a batch hands its inputs out: the largest files first, so that no
// LibreOffice is left with a large one when the others have run out of work.
std::vector<int> LargestFirst(const QStringList& inputs) {
    std::vector<std::pair<qint64, int>> sizes;
    for (int i = 0; i < int(inputs.size()); ++i)
        sizes.emplace_back(-QFileInfo(inputs[i]).size(), i);
    std::stable_sort(sizes.begin(), sizes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int> order;
    for (const auto& [size, index] : sizes) order.push_back(index);
    return order;
}

// Each input through whichever LibreOffice of the pool is free, the largest first. What an
// input prints is kept and printed in input order once the inputs before it are done, so
// the output is that of one after the other. A failure is reported with the input's name
// and the others still go. The exit code is the worst of them.
int RunBatch(const Options& options, kelmo::OfficePool& pool) {
    struct Result {
        std::ostringstream Out, Err;
        ExitCode Code = ExitCode::Done;
        bool Done = false;
    };
    const int count = int(options.Inputs.size());
    std::vector<Result> results(count);
    std::mutex mutex;
    int printed = 0;
    BatchProgress progress(count, !options.Quiet && ::isatty(STDERR_FILENO));
    const std::vector<int> order = LargestFirst(options.Inputs);
    pool.ForEach(count, [&](int turn, const std::shared_ptr<kelmo::OfficeSession>& session) {
        if (StopSignal != 0) throw kelmo::RoadCancelled();
        const int i = order[turn];
        const QString& input = options.Inputs[i];
        {
            const std::lock_guard lock(mutex);
            progress.Started(input);
        }
        Result& result = results[i];
        try {
            result.Code = RunOne(OptionsFor(options, input), {session, {}, result.Out, result.Err});
        } catch (const kelmo::RoadCancelled&) {
            throw;
        } catch (...) {
            result.Code = ExitCode(ReportCurrentError(result.Err, LocalPath(input) + ": "));
        }
        const std::lock_guard lock(mutex);
        result.Done = true;
        progress.Clear();
        for (; printed < count && results[printed].Done; ++printed) {
            std::cout << results[printed].Out.str() << std::flush;
            std::cerr << results[printed].Err.str() << std::flush;
        }
        progress.Finished();
    });
    progress.Clear();
    ExitCode worst = ExitCode::Done;
    for (const Result& result : results) worst = Worse(worst, result.Code);
    return int(worst);
}

int Run(const QCoreApplication& app) {
    const Options options = ParseArguments(app);
    const bool converting = AnyNeedsConverting(options.Inputs, options.MaxDocumentMb);
    const int count = int(options.Inputs.size());
    if (count == 1 && !kelmo::IsCourseFile(options.Input)) {
        Lane lane;
        if (converting) {
            lane.Session = std::make_shared<kelmo::OfficeSession>(QString(), QString(),
                                                                  options.OfficeMemoryMb);
            lane.Session->StartInBackground();
        }
        return int(RunOne(options, lane));
    }
    // Several documents, or a course's materials, at once: a LibreOffice each, up to -j.
    const auto pool =
        std::make_shared<kelmo::OfficePool>(std::min(options.Jobs, count == 1 ? INT_MAX : count),
                                            QString(), QString(), options.OfficeMemoryMb);
    if (count == 1) {
        pool->StartInBackground(1);  // the others start when a second material needs them
        return int(RunOne(options, {{}, pool}));
    }
    if (converting) pool->StartInBackground(pool->Size());
    return RunBatch(options, *pool);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmo-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELMO_VERSION));
    CatchStopSignals();
    kelmo::RemoveLeftoversOfEndedRuns();
    int code = 0;
    try {
        code = Run(app);
    } catch (...) {
        code = ReportCurrentError(std::cerr, {});
    }
    FinishStopSignal();
    return code;
}
