// What the probe's tests share: a run of trekfold-probe with the JSON lines
// it printed, and a folder of a test's own for the probe's settings home.
#pragma once

#include "tests/support/files.h"

#include <QProcess>
#include <QStringList>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace probetest {

using nlohmann::json;

// One run: the exit status (-1 when the probe did not exit normally), what
// it wrote, and the lines of its output that are JSON objects.
struct ProbeRun {
    int status = -1;
    std::vector<json> lines;
    std::string err, out;

    std::vector<json> with(const char* key) const
    {
        std::vector<json> found;
        for (const auto& l : lines)
            if (l.contains(key)) found.push_back(l);
        return found;
    }
    std::vector<json> boxes() const { return with("box"); }
    bool box(const std::string& text) const
    {
        for (const auto& b : boxes())
            if (b["box"] == text) return true;
        return false;
    }
    // The last state printed of window `name`.
    json window(const char* name) const
    {
        json last;
        for (const auto& l : with("window"))
            if (l["window"] == name) last = l;
        return last;
    }
    // The data rows of the last "table" command.
    std::vector<json> rows() const
    {
        std::vector<json> found;
        for (const auto& l : lines) {
            if (l.contains("fields")) found.clear();
            if (l.contains("row")) found.push_back(l);
        }
        return found;
    }
};

// Runs the probe with `args` to its end, in `folder` when one is given.
inline ProbeRun run(const std::vector<std::string>& args, const std::string& folder = {})
{
    QProcess p;
    if (!folder.empty()) p.setWorkingDirectory(QString::fromStdString(folder));
    QStringList a;
    for (const auto& s : args) a << QString::fromStdString(s);
    p.start(TREKFOLD_PROBE, a);
    p.waitForFinished(-1);
    ProbeRun r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = p.readAllStandardError().toStdString();
    r.out = p.readAllStandardOutput().toStdString();
    std::istringstream out(r.out);
    for (std::string line; std::getline(out, line);)
        if (!line.empty() && line[0] == '{') r.lines.push_back(json::parse(line));
    return r;
}

// A folder of the test's own, removed with it: a settings home, and the
// files a test reads and writes.
struct Home : test_support::TempDir {
    std::string read(const std::string& name) const
    {
        std::ifstream in(path + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Writes `text` to `name`, making the folders on its way.
    void write(const std::string& name, const std::string& text) const
    {
        const std::filesystem::path file = path + "/" + name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    // The settings file the probe keeps in this home.
    std::string ini() const { return read("trekfold/trekfold.ini"); }
};

} // namespace probetest
