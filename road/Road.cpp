#include "Road.h"

#include <HtmlInput.h>
#include <LocalPath.h>

#include <QDir>

namespace kelmo {

QString WorkFile(const QString& folder, std::string_view name) {
    return QDir(folder).filePath(QString::fromLatin1(name.data(), qsizetype(name.size())));
}

Pages RunRoad(const QString& document, const QString& workFolder, const RoadOptions& options) {
    return RunRoad(document, ReadInput(document, options.Convert.MaxDocumentMb), workFolder, options);
}

Pages RunRoad(const QString& document, InputDocument input, const QString& workFolder,
              const RoadOptions& options) {
    const auto stopIfAsked = [&] {
        if (options.CancelRequested && options.CancelRequested()) throw RoadCancelled();
    };
    const auto reached = [&](RoadStage stage, const QString& file) {
        if (options.StageReached) options.StageReached(stage, file);
        stopIfAsked();
    };
    stopIfAsked();
    ConvertOptions convert = options.Convert;
    convert.Progress = [&, outer = options.Convert.Progress](int elapsedMs) {
        stopIfAsked();
        if (options.Progress) options.Progress(document, elapsedMs);
        if (outer) outer(elapsedMs);
    };
    const QString exported = WorkFile(workFolder, work::Export);
    if (input.Kind == InputKind::Html) {
        ImportHtml(document, std::move(input.Html), exported);
    } else {
        ConvertDocument(document, exported, convert);
    }
    reached(RoadStage::Converted, exported);

    const std::string folder = LocalPath(workFolder);
    const PagesOptions pages{options.Numbers, options.Check, {}};
    return MakePages(folder, LoadTextFile(LocalPath(exported)), pages, [&](PagesStage stage) {
        switch (stage) {
            case PagesStage::Cleaned:
                return reached(RoadStage::Cleaned, WorkFile(workFolder, work::Clean));
            case PagesStage::Split:
                return reached(RoadStage::Split, workFolder);
            case PagesStage::Checked:
                return reached(RoadStage::Checked, {});
        }
    });
}

}  // namespace kelmo
