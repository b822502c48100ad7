// The one road from a document to pages: the document becomes the HTML export in the work
// folder (through LibreOffice, or taken as it is when it is a web page), then MakePages
// cleans it, writes the clean document, the pages and the outline, and checks them.
// Every face (the window, kelmo-convert, a course, the benchmarks) goes this way; each
// keeps only what is its own: which folder, what to print or show, what to do on failure.
//
// Errors: RunRoad throws what the stages throw (ConvertError, IoError) and RoadCancelled
// when the caller asked it to stop. What was written before stays in the work folder.
#pragma once

#include <Converter.h>
#include <LibFunc.h>
#include <WorkFiles.h>

#include <QString>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace kelmo {

// The stages, in the order they are reached.
enum class RoadStage { Converted, Cleaned, Split, Checked };

struct RoadOptions {
    ConvertOptions Convert;  // how LibreOffice runs: session or pool, time limit, program
    Numbering Numbers = Numbering::Auto;  // section numbers in the outline titles
    bool Check = true;                    // the author's check after the split
    // After each stage, with what the stage wrote: the export, the clean document, the work
    // folder for Split (reached only when pages were made), nothing for Checked.
    std::function<void(RoadStage, const QString& file)> StageReached;
    // About every 100 ms while LibreOffice converts document.
    std::function<void(const QString& document, int elapsedMs)> Progress;
    // Asked during the conversion and between stages; true stops the road.
    std::function<bool()> CancelRequested;
};

class RoadCancelled : public std::runtime_error {
  public:
    RoadCancelled() : std::runtime_error("Прервано") {}
};

// folder/name for a name of WorkFiles.h.
QString WorkFile(const QString& folder, std::string_view name);

// Takes document through every stage into workFolder (which must exist).
Pages RunRoad(const QString& document, const QString& workFolder, const RoadOptions& options);
// The same for a document already read with ReadInput: a web page's bytes are not read again.
Pages RunRoad(const QString& document, InputDocument input, const QString& workFolder,
              const RoadOptions& options);

}  // namespace kelmo
