// Connecting a mass-storage unit whose GPX file is the 12,027-point
// dg100-track.gpx (against gpsbabel reading the same file in the same run),
// and the receiver search over 20 missing ports, no USB unit and 8 empty
// drives through the real control. Peak memory: how far the process's
// high-water mark (reset before each run) rose above its size then;
// gpsbabel's whole peak as /usr/bin/time reports it.
#include "tests/main/transfer/drive.h"
#include "tests/main/transfer/receiver.h"

#include "bench/support/process.h"
#include "bench/support/scratch.h"
#include "main/transfer/discovery.h"
#include "platform/events/events.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using benchsupport::reset_peak;
long peak_kb() { return benchsupport::status_kb("VmHWM"); }

const std::string kTrack = TREKFOLD_SOURCE_DIR "/tests/data/gpx/dg100-track.gpx";

// An empty folder `name` in the run's scratch folder.
std::string scratch(const char* name)
{
    const std::string dir = benchsupport::at(name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string unit_drive()
{
    const std::string d = scratch("drive");
    fs::create_directories(d + "/Garmin/GPX");
    std::ofstream(d + "/Garmin/GarminDevice.xml")
        << "<Device><Model><Description>Bench</Description></Model><MassStorageMode><DataType><Name>GPSData</Name>"
           "<File><Location><Path>Garmin/GPX</Path><BaseName>Current</BaseName><FileExtension>gpx</FileExtension>"
           "</Location><TransferDirection>OutputFromUnit</TransferDirection></File></DataType></MassStorageMode>"
           "</Device>";
    fs::copy_file(kTrack, d + "/Garmin/GPX/Current.gpx", fs::copy_options::overwrite_existing);
    return d;
}

void BM_ConnectMassStorage_dg100(benchmark::State& state)
{
    const std::string drive = unit_drive();
    ::setenv("TREKFOLD_DRIVES", drive.c_str(), 1);
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        apptest::Drive d;
        const long base = reset_peak();
        state.ResumeTiming();
        transfer::GPS_OpenUSB(d.main, drive);
        state.PauseTiming();
        if (d.main.frmInfo().lblTrackPointscnt.caption != "1") state.SkipWithError("unit not connected");
        peak = std::max(peak, peak_kb() - base);
        state.ResumeTiming();
    }
    state.counters["peak_rise_MB"] = peak / 1024.0;
}
BENCHMARK(BM_ConnectMassStorage_dg100)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GpsbabelReads_dg100(benchmark::State& state)
{
    const std::string report = scratch("gpsbabel") + "/peak";
    const std::string line =
        "/usr/bin/time -f %M -o " + report + " gpsbabel -i gpx -f " + kTrack + " -o gpx -F /dev/null";
    long peak = 0;
    for (auto _ : state) {
        if (!benchsupport::run(line)) state.SkipWithError("gpsbabel failed");
        long kb = 0;
        std::ifstream(report) >> kb;
        peak = std::max(peak, kb);
    }
    state.counters["peak_MB"] = peak / 1024.0;
}
BENCHMARK(BM_GpsbabelReads_dg100)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GPSFind_20MissingPorts_8Drives(benchmark::State& state)
{
    const std::string root = scratch("drives");
    std::string drives;
    for (int i = 0; i < 8; ++i) {
        fs::create_directories(root + "/d" + std::to_string(i));
        drives += (i ? ":" : "") + root + "/d" + std::to_string(i);
    }
    ::setenv("TREKFOLD_DRIVES", drives.c_str(), 1);
    for (int n = 1; n <= 20; ++n)
        ::setenv(("TREKFOLD_COM" + std::to_string(n)).c_str(), (root + "/missing" + std::to_string(n)).c_str(), 1);
    receivertest::qt();
    platform::Settings settings(root + "/trekfold.ini");
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::PortMap ports(&settings);
    app::frmMain main({settings, dialogs, cursor, platform::qt_event_pump(), ports}, TREKFOLD_BINARY_DIR "/bin");
    app::install_subsystems(main);
    std::string why;
    auto control = app::make_brenvik_control(why, TREKFOLD_BINARY_DIR "/bin");
    if (!control) return state.SkipWithError(why.c_str());
    main.host_garmin_owned(std::move(control));
    long peak = 0;
    for (auto _ : state) {
        const long base = reset_peak();
        bool usb_only = false;
        transfer::GPS_Find(main, usb_only);
        peak = std::max(peak, peak_kb() - base);
    }
    if (!main.state().GPS_UnitList.empty()) state.SkipWithError("a unit was found");
    state.counters["peak_rise_MB"] = peak / 1024.0;
    main.host_garmin_owned(nullptr);
}
BENCHMARK(BM_GPSFind_20MissingPorts_8Drives)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
