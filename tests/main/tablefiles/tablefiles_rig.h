// A main window with the table file writers and a scripted "Identify Fields".
#pragma once

#include "main/files/table_files.h"
#include "tests/main/files/gpx_rig.h"

#include <csignal>
#include <functional>

#include <sys/resource.h>

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

// Writes past `bytes` fail (EFBIG) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = old_;
        l.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

} // namespace tablefiles
