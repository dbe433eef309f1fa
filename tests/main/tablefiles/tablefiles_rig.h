// A main window with the table file writers and a scripted "Identify Fields".
#pragma once

#include "main/files/table_files.h"
#include "tests/main/files/gpx_rig.h"

#include "tests/support/file_size_limit.h"

#include <functional>

namespace tablefiles {

struct FilesRig : gpxtest::GpxRig {
    files::TableFiles tf{main};
    int fields_shown = 0;
    std::function<void(files::frmFields&)> answer = [](files::frmFields& f) { f.cmdCancel_Click(); };
    FilesRig()
    {
        tf.show_fields = [this](files::frmFields& f) {
            ++fields_shown;
            answer(f);
        };
    }
};

// `work` in a child whose writes past `bytes` fail (EFBIG); its answer is
// the last box it showed as "title|text", or "no box", after "1 " or "0 "
// for its result.
template <class Work>
std::string limited(FilesRig& rig, std::uint64_t bytes, Work work)
{
    return test_support::with_file_size_limit(bytes, [&] {
        const bool ok = work();
        const auto& boxes = rig.dialogs.boxes();
        return std::string(ok ? "1 " : "0 ") +
               (boxes.empty() ? std::string("no box") : boxes.back().title + "|" + boxes.back().text);
    });
}

} // namespace tablefiles
