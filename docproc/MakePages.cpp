#include "LibFunc.h"
#include "WorkFiles.h"

namespace kelmo {

Pages MakePages(const std::string& workDir, std::string html, const PagesOptions& options,
                const std::function<void(PagesStage)>& stageReached) {
    const auto reached = [&](PagesStage stage) {
        if (stageReached) stageReached(stage);
    };
    Pages pages;
    CleanWordHtml(pages.DocTitle, html);
    WriteCleanDocument(JoinPath(workDir, work::Clean), pages.DocTitle, html);
    pages.Html = std::move(html);
    reached(PagesStage::Cleaned);

    pages.Split = SplitIntoPages(*pages.Table, workDir, pages.Html);
    if (pages.Split == SplitResult::Done) {
        WriteOutline(*pages.Table, workDir, options.Numbers);
        reached(PagesStage::Split);
    }

    if (options.Check) {
        pages.Findings = CheckDocument(*pages.Table, pages.Html, ListWorkFiles(workDir),
                                       options.Limits, options.Numbers);
        reached(PagesStage::Checked);
    }
    return pages;
}

}  // namespace kelmo
