// The toolbar and menu definitions, the commands' properties, the Open
// command's hook and start, and registration.
#include "support.h"

#include <filesystem>
#include <fstream>

namespace arcmaptest {
namespace {

TEST(Commands, ToolbarAndMenuItemsInOrder)
{
    Host h;
    auto bar = ao::As<ao::IToolBarDef>(h.registry.CreateObject(trekfold_arcmap::CLSID_clsToolbar));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->ItemCount(), 2);
    EXPECT_EQ(bar->Name(), "Trekfold Toolbar");
    EXPECT_EQ(bar->Caption(), "Trekfold Toolbar");
    ao::ItemDef item;
    bar->GetItemInfo(0, item);
    EXPECT_EQ(item.ID, "TREKFOLD_ARCMAP.clsMenu");
    bar->GetItemInfo(1, item);
    EXPECT_EQ(item.ID, "TREKFOLD_ARCMAP.clsCommandOpen");
    ao::ItemDef untouched{"kept", true};
    bar->GetItemInfo(2, untouched);

    auto menu = ao::As<ao::IMenuDef>(h.registry.CreateObject("trekfold_arcmap.clsmenu"));
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->ItemCount(), 3);
    EXPECT_EQ(menu->Caption(), "Trekfold Menu");
    EXPECT_EQ(menu->Name(), "Trekfold Menu");
    std::vector<std::pair<std::string, bool>> items;
    for (int pos = 0; pos < 4; ++pos) {
        ao::ItemDef d;
        menu->GetItemInfo(pos, d);
        items.emplace_back(d.ID, d.Group);
    }
    EXPECT_EQ(items, (std::vector<std::pair<std::string, bool>>{{"TREKFOLD_ARCMAP.clsCommandOpen", false},
                                                                {"TREKFOLD_ARCMAP.clsCommandHelp", true},
                                                                {"TREKFOLD_ARCMAP.clsCommandAbout", false},
                                                                {"", false}}));
    menu->GetItemInfo(3, untouched);
    EXPECT_EQ(untouched.ID, "kept");
    EXPECT_TRUE(untouched.Group);
    EXPECT_EQ(h.registry.ClassesIn(ao::CATID_MxCommandBars),
              std::vector<std::string>{trekfold_arcmap::CLSID_clsToolbar});
}

TEST(Commands, TwelvePropertiesAsTabled)
{
    Host h;
    struct Row {
        const char* progid;
        const char* name;
        const char* caption;
        const char* message;
    } rows[] = {{"TREKFOLD_ARCMAP.clsCommandOpen", "TREKFOLD_Open", "Open Trekfold", "Open Trekfold"},
                {"TREKFOLD_ARCMAP.clsCommandAbout", "TREKFOLD_About", "About Trekfold...", "Returns Trekfold version"},
                {"TREKFOLD_ARCMAP.clsCommandHelp", "TREKFOLD_Help", "Osv Help File Index...",
                 "Opens Trekfold Help Documentation"}};
    for (const Row& r : rows) {
        auto c = h.command(r.progid);
        ASSERT_TRUE(c) << r.progid;
        EXPECT_TRUE(c->Enabled());
        EXPECT_FALSE(c->Checked());
        EXPECT_EQ(c->Name(), r.name);
        EXPECT_EQ(c->Caption(), r.caption);
        EXPECT_EQ(c->Tooltip(), r.caption);
        EXPECT_EQ(c->Message(), r.message);
        EXPECT_EQ(c->HelpFile(), "");
        EXPECT_EQ(c->HelpContextID(), 0);
        EXPECT_EQ(c->Bitmap(), 0);
        EXPECT_EQ(c->Category(), "TREKFOLD");
    }
}

TEST(Commands, OnCreateKeepsOnlyTheApplication)
{
    Host h(false);
    auto open = h.command("TREKFOLD_ARCMAP.clsCommandOpen");
    // A hook that is not the application fails and keeps what was held.
    EXPECT_THROW(open->OnCreate(h.arcmap()), platform::VbError);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), nullptr);
    open->OnCreate(h.app);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), h.app);
    EXPECT_THROW(open->OnCreate(nullptr), platform::VbError);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), h.app);
    // The other commands keep nothing.
    trekfold_arcmap::basArcMapCode::Application().reset();
    h.command("TREKFOLD_ARCMAP.clsCommandAbout")->OnCreate(h.app);
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Application(), nullptr);
}

TEST(Commands, OpenFindsTheProgramBesideTheLibraryElseReports)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("arcmap-open-" + std::to_string(::getpid()));
    fs::create_directories(dir / "trekfold");
    // A folder of that name is no program.
    EXPECT_THROW(trekfold_arcmap::basArcMapCode::Trekfold_Path(dir.string() + "/trekfold"), platform::VbError);
    std::ofstream(dir / "trekfold" / "trekfold") << "#!/bin/sh\n";
    EXPECT_EQ(trekfold_arcmap::basArcMapCode::Trekfold_Path((dir / "trekfold").string()),
              (dir / "trekfold" / "trekfold").string());
    fs::remove_all(dir);

    if (fs::exists("/opt/trekfold/bin/trekfold")) GTEST_SKIP() << "an installed program is present";
    Host h;
    auto open = h.command("TREKFOLD_ARCMAP.clsCommandOpen");
    open->OnClick();
    open->OnClick();
    ASSERT_EQ(h.dialogs.boxes().size(), 2u);
    EXPECT_EQ(h.dialogs.boxes()[1].text, "Error #: 1 - Could not find trekfold.exe at /opt/trekfold/bin/trekfold");
    EXPECT_EQ(h.dialogs.boxes()[1].title, "Trekfold_ArcMap");
    EXPECT_TRUE(h.launcher.started.empty());
}

TEST(Commands, UnregisterRemovesEveryClass)
{
    Host h;
    trekfold_arcmap::Unregister(h.registry);
    for (const char* p : {"TREKFOLD_ARCMAP.clsToolbar", "TREKFOLD_ARCMAP.clsMenu", "Trekfold_ArcMap.clsArcMap",
                          "TREKFOLD_ARCMAP.clsCommandHelp"})
        EXPECT_FALSE(h.registry.IsRegistered(p)) << p;
    EXPECT_TRUE(h.registry.ClassesIn(ao::CATID_MxCommandBars).empty());
}

} // namespace
} // namespace arcmaptest
