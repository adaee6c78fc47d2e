// Filling the Erase Count memo of a drive of the largest geometry (4096 rows of 64 cells) in the
// desktop window on the offscreen platform.

#if VT_BENCH_WITH_GUI

#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "app/desktop.h"
#include "report/erase_count_texts.h"

namespace {

vt::PageTexts LargestEraseCountPage() {
    vt::PerTableCounts counts;
    counts.channels = 8;
    counts.ces = 8;
    counts.dies = 1;
    counts.blocks = 4096;
    counts.entries.resize(std::size_t{8} * 8 * 4096);
    for (std::size_t i = 0; i < counts.entries.size(); ++i) {
        counts.entries[i] = static_cast<std::uint16_t>(i % 977 == 0 ? 0xFFFF : 100 + i % 400);
    }
    vt::BadBlockMarks marks;
    for (unsigned b = 0; b < 4096; b += 13) marks.Mark(b % 8, (b / 8) % 8, b);
    return vt::EraseCountTexts(vt::PerTableEraseCountPage(counts, &marks));
}

QApplication& Application() {
    static int argc = 1;
    static char name[] = "vt_benchmarks";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}

void BM_EraseCountMemoInWindow(benchmark::State& state) {
    Application();
    const auto page = LargestEraseCountPage();
    vt::app::Desktop desktop(vt::FormEnvironment{"/nonexistent", "/nonexistent/vtutility", {}});
    desktop.window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        desktop.ui.ClearLines("EraseMemo");
        vt::ShowPageTexts(desktop.ui, page);
        QApplication::processEvents();
    }
    state.counters["rows"] = static_cast<double>(page.memos.at(0).lines.size());
}
BENCHMARK(BM_EraseCountMemoInWindow)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
