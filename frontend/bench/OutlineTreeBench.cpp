// Outline loading and node lookups at outline sizes from a course (500 pages) to far past it.
#include <OutlineTree.h>
#include <benchmark/benchmark.h>

namespace {

// Levels 1, 2, 3, 3, 2, 3, 3, ... like a course outline, CR LF line ends.
QByteArray MakeOutline(int lines) {
    static const int kDepths[] = {0, 1, 2, 2, 1, 2, 2};
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        text += QByteArray(kDepths[i % 7], '\t');
        text += "1.2.3. \xC7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA " + QByteArray::number(i) + "\r\n";
    }
    return text;
}

void BM_Load(benchmark::State& state) {
    const QByteArray text = MakeOutline(int(state.range(0)));
    kelmo::OutlineTree tree;
    for (auto _ : state) {
        tree.LoadText(text);
        benchmark::DoNotOptimize(tree.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Load)->Arg(500)->Arg(50000);

// Selecting the nodes one after the other, as with the arrow keys.
void BM_NodeAtInOrder(benchmark::State& state) {
    kelmo::OutlineTree tree;
    tree.LoadText(MakeOutline(int(state.range(0))));
    for (auto _ : state) {
        for (int i = 0; i < tree.Count(); ++i) benchmark::DoNotOptimize(&tree.NodeAt(i));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_NodeAtInOrder)->Arg(500)->Arg(50000);

// A click on the last node, far from the remembered one: a walk from the first node.
void BM_NodeAtJump(benchmark::State& state) {
    kelmo::OutlineTree tree;
    tree.LoadText(MakeOutline(int(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(&tree.NodeAt(0));
        benchmark::DoNotOptimize(&tree.NodeAt(tree.Count() - 1));
    }
}
BENCHMARK(BM_NodeAtJump)->Arg(500)->Arg(50000);

}  // namespace

BENCHMARK_MAIN();
