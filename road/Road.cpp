#include "Road.h"

#include <QDir>
#include <QFile>

namespace kelmo {

QString WorkFile(const QString& folder, std::string_view name) {
    return QDir(folder).filePath(QString::fromLatin1(name.data(), qsizetype(name.size())));
}

Pages RunRoad(const QString& document, const QString& workFolder, const RoadOptions& options) {
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
    ConvertDocument(document, exported, convert);
    reached(RoadStage::Converted, exported);

    const std::string folder = QFile::encodeName(workFolder).toStdString();
    const PagesOptions pages{options.Numbers, options.Check, {}};
    return MakePages(folder, LoadTextFile(QFile::encodeName(exported).toStdString()), pages,
                     [&](PagesStage stage) {
                         switch (stage) {
                             case PagesStage::Cleaned:
                                 return reached(RoadStage::Cleaned,
                                                WorkFile(workFolder, work::Clean));
                             case PagesStage::Split:
                                 return reached(RoadStage::Split, workFolder);
                             case PagesStage::Checked:
                                 return reached(RoadStage::Checked, {});
                         }
                     });
}

}  // namespace kelmo
