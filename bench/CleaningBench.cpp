// Throughput of the cleaning pass, of each of its removals, of the page split, and of the
// plain transcription for comparison. Inputs are generated Word-style courses.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "CourseGenerator.h"
#include "LibFunc.h"
#include "ReferencePrimitives.h"

namespace kelmo::bench {
namespace {

constexpr std::size_t MB = 1 << 20;
constexpr int Headings = 450;

const std::string& Course(std::int64_t megabytes) {
    static std::map<std::int64_t, std::string> courses;
    auto [it, added] = courses.try_emplace(megabytes);
    if (added) it->second = GenerateCourse(static_cast<std::size_t>(megabytes) * MB, Headings);
    return it->second;
}

// The clean document as the split sees it: PageHeader, the title line, the cleaned text.
const std::string& CleanCourse(std::int64_t megabytes) {
    static std::map<std::int64_t, std::string> clean;
    auto [it, added] = clean.try_emplace(megabytes);
    if (added) {
        std::string title;
        std::string html = Course(megabytes);
        CleanWordHtml(title, html);
        it->second.append(PageHeader).append(title).append("\r\n").append(html);
    }
    return it->second;
}

void CleanPass(benchmark::State& state,
               const std::function<void(std::string&, std::string&)>& clean) {
    const std::string& input = Course(state.range(0));
    std::string title;
    std::string html;
    for (auto _ : state) {
        state.PauseTiming();
        html = input;
        state.ResumeTiming();
        clean(title, html);
        benchmark::DoNotOptimize(html.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
    state.counters["removed%"] =
        100.0 * static_cast<double>(input.size() - html.size()) / static_cast<double>(input.size());
}

void BM_CleanWordHtml(benchmark::State& state) {
    CleanPass(state, [](std::string& t, std::string& h) { CleanWordHtml(t, h); });
}
BENCHMARK(BM_CleanWordHtml)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

// Also a check on a realistic input: the transcription must leave the same bytes.
void BM_ReferenceCleanWordHtml(benchmark::State& state) {
    CleanPass(state, [](std::string& t, std::string& h) { reference::CleanWordHtml(t, h); });
    std::string fastTitle;
    std::string fast = Course(state.range(0));
    CleanWordHtml(fastTitle, fast);
    std::string plainTitle;
    std::string plain = Course(state.range(0));
    reference::CleanWordHtml(plainTitle, plain);
    if (fast != plain || fastTitle != plainTitle) state.SkipWithError("results differ");
}
BENCHMARK(BM_ReferenceCleanWordHtml)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);

// The removals of the cleaning pass one by one, each on the text the steps before left.
const std::vector<std::pair<const char*, std::function<void(std::string&)>>>& Steps() {
    static const std::vector<std::pair<const char*, std::function<void(std::string&)>>> steps = {
        {"comments", [](std::string& h) { RemoveBlocks("<!--", "-->", h); }},
        {"o:p", [](std::string& h) { RemoveBlocks("<o:p>", "</o:p>", h); }},
        {"MsoNormal", [](std::string& h) { RemoveAll("class=MsoNormal", h); }},
        {"if-vml", [](std::string& h) { RemoveAll("<![if !vml]>", h); }},
        {"endif", [](std::string& h) { RemoveAll("<![endif]>", h); }},
        {"nbsp", [](std::string& h) { CollapseDoubleNbsp(h); }},
        {"if-tags", [](std::string& h) { RemoveConditionalTags(h); }},
        {"mso", [](std::string& h) { RemoveMsoDeclarations(h); }},
        {"style", [](std::string& h) { RemoveAll("style=''", h); }},
    };
    return steps;
}

void BM_CleaningStep(benchmark::State& state) {
    const std::size_t step = static_cast<std::size_t>(state.range(0));
    static std::map<std::size_t, std::string> inputs;
    auto [it, added] = inputs.try_emplace(step);
    if (added) {
        std::string title;
        it->second = Course(16);
        DeleteRange(it->second, 1, FindFrom("</head>", it->second, 1) - 1);
        for (std::size_t i = 0; i < step; ++i) Steps()[i].second(it->second);
    }
    const std::string& input = it->second;
    std::string html;
    for (auto _ : state) {
        state.PauseTiming();
        html = input;
        state.ResumeTiming();
        Steps()[step].second(html);
        benchmark::DoNotOptimize(html.data());
    }
    state.SetLabel(Steps()[step].first);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_CleaningStep)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);

// Inputs that would make a remove-and-move-the-rest loop quadratic or make a naive scan
// look back or ahead again and again: each primitive on 16 MB of its worst case.
std::string Repeated(std::string_view head, std::string_view piece, std::string_view tail) {
    std::string text(head);
    while (text.size() < 16 * MB) text.append(piece);
    text.append(tail);
    return text;
}

struct HardCase {
    const char* name;
    std::string text;
    std::function<void(std::string&)> run;
};

const std::vector<HardCase>& HardCases() {
    static const std::vector<HardCase> cases = {
        {"mso in running text", Repeated("", "Thomson's mso ", ""),
         [](std::string& t) { RemoveMsoDeclarations(t); }},
        {"mso in one long tag", Repeated("<p style='", "mso-x:1;", "'>"),
         [](std::string& t) { RemoveMsoDeclarations(t); }},
        {"unclosed comments", Repeated("", "<!--x", ""),
         [](std::string& t) { RemoveBlocks("<!--", "-->", t); }},
        {"nbsp run", Repeated("", "&nbsp;", ""), [](std::string& t) { CollapseDoubleNbsp(t); }},
        {"empty o:p", Repeated("", "<o:p></o:p>", ""),
         [](std::string& t) { RemoveBlocks("<o:p>", "</o:p>", t); }},
        {"unclosed if tags", Repeated("", "<![if x", ""),
         [](std::string& t) { RemoveConditionalTags(t); }},
        {"tags in a heading", Repeated("<h1>", "<b>x</b>&amp;\r\n", "</h1>"),
         [](std::string& t) { HtmlToPlainText(t); }},
    };
    return cases;
}

void BM_HardInput(benchmark::State& state) {
    const HardCase& hard = HardCases()[static_cast<std::size_t>(state.range(0))];
    std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        text = hard.text;
        state.ResumeTiming();
        hard.run(text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetLabel(hard.name);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(hard.text.size()));
}
BENCHMARK(BM_HardInput)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

// A folder made for one run, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder() { std::filesystem::create_directory(Path); }
    ~ScratchFolder() { std::filesystem::remove_all(Path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path Path =
        std::filesystem::temp_directory_path() / ("kelmo-bench-" + std::to_string(::getpid()));
};

// The split with its page files, into a folder made for the run.
void BM_SplitIntoPages(benchmark::State& state) {
    const std::string& html = CleanCourse(state.range(0));
    HeadingTable table;
    {
        const ScratchFolder folder;
        for (auto _ : state) {
            if (SplitIntoPages(table, folder.Path.string(), html) != SplitResult::Done) {
                state.SkipWithError("too many headings");
                break;
            }
        }
    }
    state.counters["pages"] = table.HeaderCount;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}
BENCHMARK(BM_SplitIntoPages)->Arg(16)->Unit(benchmark::kMillisecond);

// What the benchmarks below start from: one split and the files it wrote.
struct SplitCourse {
    HeadingTable Table;
    std::vector<WorkFile> Files;
};

SplitCourse SplitOnce(benchmark::State& state, const std::string& html) {
    const ScratchFolder folder;
    SplitCourse split;
    if (SplitIntoPages(split.Table, folder.Path.string(), html) != SplitResult::Done) {
        state.SkipWithError("too many headings");
    }
    split.Files = ListWorkFiles(folder.Path.string());
    return split;
}

// Building every page's text in memory, without the files.
void BM_PageTexts(benchmark::State& state) {
    const std::string& html = CleanCourse(state.range(0));
    const SplitCourse split = SplitOnce(state, html);
    for (auto _ : state) {
        for (int i = 1; i <= split.Table.HeaderCount; ++i) {
            benchmark::DoNotOptimize(PageText(split.Table, i, html).size());
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}
BENCHMARK(BM_PageTexts)->Arg(16)->Unit(benchmark::kMillisecond);

// The author's check of a split course, beside the split itself above.
void BM_CheckDocument(benchmark::State& state) {
    const std::string& html = CleanCourse(state.range(0));
    const SplitCourse split = SplitOnce(state, html);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CheckDocument(split.Table, html, split.Files).size());
    }
    state.counters["pages"] = split.Table.HeaderCount;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}
BENCHMARK(BM_CheckDocument)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// The bytes half of the road as the faces run it: from the export to pages, outline and check.
void BM_MakePages(benchmark::State& state) {
    const std::string& input = Course(state.range(0));
    const ScratchFolder folder;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MakePages(folder.Path.string(), input).Findings.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_MakePages)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// The search of the window: the index of every page built once, then one query.
void BM_SearchIndex(benchmark::State& state) {
    const std::string& html = CleanCourse(state.range(0));
    const SplitCourse split = SplitOnce(state, html);
    std::vector<std::string> pages;
    for (int i = 1; i <= split.Table.HeaderCount; ++i)
        pages.push_back(PageText(split.Table, i, html));
    std::size_t hits = 0;
    for (auto _ : state) {
        SearchIndex index;
        for (const std::string& page : pages) index.AddPage(page);
        hits = index.Find("\xEA\xF3\xF0\xF1").size();  // "курс"
    }
    state.counters["pages"] = split.Table.HeaderCount;
    state.counters["hits"] = double(hits);
}
BENCHMARK(BM_SearchIndex)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// One query on a built index.
void BM_SearchQuery(benchmark::State& state) {
    const std::string& html = CleanCourse(state.range(0));
    const SplitCourse split = SplitOnce(state, html);
    SearchIndex index;
    for (int i = 1; i <= split.Table.HeaderCount; ++i)
        index.AddPage(PageText(split.Table, i, html));
    for (auto _ : state) benchmark::DoNotOptimize(index.Find("\xEA\xF3\xF0\xF1").size());
}
BENCHMARK(BM_SearchQuery)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelmo::bench

BENCHMARK_MAIN();
