// ShowImage of a 240 × 320 receiver screen at 3X (the enlargement, the
// window fitted around it), the process's peak memory after it and what the
// window holds.
#include "tests/main/app/rig.h"

#include "bench/support/process.h"

#include "main/transfer/frm_image.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ShowImage3X_240x320(benchmark::State& state)
{
    apptest::Rig r(false);
    r.load();
    transfer::frmImage& w = transfer::Screen_Window(r.main);
    w.Form_Load();
    brenvik::Picture p;
    p.Width = 240;
    p.Height = 320;
    for (int i = 0; i < p.Width * p.Height; ++i) p.Pixels.push_back(0xFF000000u | std::uint32_t(i * 2654435761u >> 8));
    for (auto _ : state) {
        w.ShowImage(p);
        benchmark::DoNotOptimize(w.picSized().pixels.data());
    }
    if (w.picSized().width != 720 || w.picSized().height != 960) state.SkipWithError("not shown at 3X");
    state.counters["peak_MB"] = benchsupport::peak_MB();
    // What the window holds: the received picture and the enlarged one.
    state.counters["pictures_MB"] =
        double((w.picImage().pixels.size() + w.picSized().pixels.size()) * sizeof(std::uint32_t)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ShowImage3X_240x320)->Unit(benchmark::kMillisecond);

} // namespace
