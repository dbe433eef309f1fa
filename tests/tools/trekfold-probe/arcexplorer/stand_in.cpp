// A stand-in for ArcExplorer's class, built as a library named for its class
// identifier: the probe test registers it through the registry view and
// reads back every shapefile it was handed, one "path<TAB>flag" line each, in
// the file TREKFOLD_ARCEXPLORER_LOG names.
#include "platform/automation/arcexplorer.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

class Document : public platform::Dispatch, public platform::ArcExplorerDocument {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view) const override { return std::nullopt; }
    platform::Variant Invoke(platform::DispId, platform::InvokeKind, std::vector<platform::Variant>&) override
    {
        throw platform::VbError(438, "", "Object doesn't support this property or method");
    }
    void* QueryInterface(std::string_view iid) override
    {
        return iid == platform::IID_ArcExplorer ? static_cast<platform::ArcExplorerDocument*>(this) : nullptr;
    }
    bool AddShapefile(std::string& path, bool flag) override
    {
        if (const char* log = std::getenv("TREKFOLD_ARCEXPLORER_LOG"))
            std::ofstream(log, std::ios::app) << path << '\t' << (flag ? "True" : "False") << '\n';
        return true;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) long DllRegisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    registry->Register("ArcExplorer.Document", platform::CLSID_ArcExplorer,
                       [] { return std::make_shared<Document>(); });
    return 0;
}
