// The toolbar and menu definitions and the Open command's hook.
#include "support.h"

namespace arcmaptest {
namespace {

TEST(Commands, DefinitionsListTheirItemsAndLeaveOtherPositionsAlone)
{
    Host h;
    auto bar = ao::As<ao::IToolBarDef>(h.registry.CreateObject(trekfold_arcmap::CLSID_clsToolbar));
    auto menu = ao::As<ao::IMenuDef>(h.registry.CreateObject("trekfold_arcmap.clsmenu"));
    ASSERT_TRUE(bar && menu);
    EXPECT_EQ(bar->ItemCount(), 2);
    EXPECT_EQ(menu->ItemCount(), 3);
    auto items = [](auto& def, int count) {
        std::vector<std::string> ids;
        for (int pos = 0; pos < count; ++pos) {
            ao::ItemDef d{"kept", false};
            def.GetItemInfo(pos, d);
            ids.push_back(d.ID + (d.Group ? "|" : ""));
        }
        return ids;
    };
    EXPECT_EQ(items(*bar, 3), (std::vector<std::string>{"TREKFOLD_ARCMAP.clsMenu", "TREKFOLD_ARCMAP.clsCommandOpen",
                                                        "kept"}));
    EXPECT_EQ(items(*menu, 4), (std::vector<std::string>{"TREKFOLD_ARCMAP.clsCommandOpen",
                                                         "TREKFOLD_ARCMAP.clsCommandHelp|",
                                                         "TREKFOLD_ARCMAP.clsCommandAbout", "kept"}));
}

TEST(Commands, OnCreateKeepsOnlyTheApplication)
{
    Host h(false);
    auto open = h.command("TREKFOLD_ARCMAP.clsCommandOpen");
    // A hook that is not the application fails and keeps what was held.
    EXPECT_THROW(open->OnCreate(h.arcmap()), platform::VbError);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), nullptr);
    open->OnCreate(h.app);
    EXPECT_THROW(open->OnCreate(nullptr), platform::VbError);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), h.app);
    trekfold_arcmap::basArcMapCode::Application().reset();
    h.command("TREKFOLD_ARCMAP.clsCommandAbout")->OnCreate(h.app);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), nullptr);
}

} // namespace
} // namespace arcmaptest
