// A hotlinking face whose imaging server is the build's libglimmerax.so, for
// tests of the world files (the program's own face finds the server in its
// program folder, which a test's main window does not have).
#pragma once

#include "main/hotlink/hotlink.h"
#include "main/hotlink/matching.h"

namespace test_support {

struct ServedHotlinking : hotlink::Hotlinking {
    explicit ServedHotlinking(platform::Dialogs& dialogs) : server(dialogs, TREKFOLD_BINARY_DIR "/bin") {}
    void show_frmHotlinking() override {}
    bool getImageDimensions(const std::string& path, int& width, int& height) override
    {
        return server.getImageDimensions(path, width, height);
    }
    hotlink::ImagingServer server;
};

} // namespace test_support
