// Converting one document once LibreOffice runs: LibreOffice's load and save through the
// session alone, the whole adapter (private copy, export, windows-1251, pictures), and the
// whole road to pages.
//   KELMO_BENCH_DOCUMENT=doc.docx build/bin/kelmo-convert-bench
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "Converter.h"
#include "OfficeSession.h"
#include "Road.h"

namespace {

struct Setup {
    QTemporaryDir Dir;
    QString Document = qEnvironmentVariable("KELMO_BENCH_DOCUMENT");
    std::shared_ptr<kelmo::OfficeSession> Session =
        std::make_shared<kelmo::OfficeSession>(QString(), Dir.filePath("profile"));
};

// Made in main, so that LibreOffice is quit and the folder removed before the program ends.
Setup* Current = nullptr;

Setup& Shared() { return *Current; }

void BM_SessionLoadAndSave(benchmark::State& state) {
    Setup& setup = Shared();
    const QString copy = setup.Dir.filePath("copy." + QFileInfo(setup.Document).suffix());
    QFile::remove(copy);
    QFile::copy(setup.Document, copy);
    QDir().mkpath(setup.Dir.filePath("raw"));
    for (auto _ : state) {
        setup.Session->SaveAsHtml(copy, setup.Dir.filePath("raw/i.html"), setup.Document, 0, {});
    }
}

void BM_ConvertDocument(benchmark::State& state) {
    Setup& setup = Shared();
    kelmo::ConvertOptions options;
    options.Session = setup.Session;
    QDir().mkpath(setup.Dir.filePath("work"));
    for (auto _ : state) {
        kelmo::ConvertDocument(setup.Document, setup.Dir.filePath("work/i.~ht"), options);
    }
}

void BM_RunRoad(benchmark::State& state) {
    Setup& setup = Shared();
    kelmo::RoadOptions options;
    options.Convert.Session = setup.Session;
    QDir().mkpath(setup.Dir.filePath("road"));
    for (auto _ : state) kelmo::RunRoad(setup.Document, setup.Dir.filePath("road"), options);
}

// The first call starts LibreOffice; the rest are what is measured.
BENCHMARK(BM_SessionLoadAndSave)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ConvertDocument)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RunRoad)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("KELMO_BENCH_DOCUMENT")) {
        fprintf(stderr, "Set KELMO_BENCH_DOCUMENT to the document to convert\n");
        return 2;
    }
    Setup setup;
    Current = &setup;
    Shared().Session->SaveAsHtml(Shared().Document, Shared().Dir.filePath("warm.html"),
                                 Shared().Document, 0, {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
