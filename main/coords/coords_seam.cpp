// Coordinates as far as they are built: projecting and the projection
// catalogue do nothing yet.
#include "main/coords/coords.h"

namespace coords {
namespace {

class CoordsSeam : public Coordinates {
public:
    void Project_Table(bool) override {}
    std::string getProjectionName(bool) override { return {}; }
    void LoadProjections(const std::string&) override {}
    void show_frmCalculateCEP() override {}
    void menu_Click(const std::string&, int) override {}
};

} // namespace

std::unique_ptr<Coordinates> make_coordinates(app::frmMain&) { return std::make_unique<CoordsSeam>(); }

} // namespace coords
