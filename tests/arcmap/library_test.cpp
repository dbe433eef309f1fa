// The library file itself, loaded from a copy the way the host loads it:
// the Help, About and Open commands look beside that copy.
#include "support.h"

#include "platform/version/about.h"

#include <filesystem>
#include <fstream>

namespace arcmaptest {
namespace {

namespace fs = std::filesystem;

struct Library : ::testing::Test {
    // A folder whose name a shell would split and run.
    fs::path dir = fs::temp_directory_path() / ("arcmap lib; echo x " + std::to_string(::getpid()));
    platform::ClassRegistry registry;
    platform::ScriptedDialogs dialogs;
    platform::Recording_Launcher launcher;
    std::vector<platform::ModalWindow> windows;

    void SetUp() override
    {
        fs::create_directories(dir);
        fs::copy_file(TREKFOLD_BINARY_DIR "/bin/libtrekfold_arcgis.so", dir / "libtrekfold_arcgis.so");
        platform::LibraryServices s;
        s.dialogs = &dialogs;
        s.launcher = &launcher;
        s.show_modal = [this](const platform::ModalWindow& w) { windows.push_back(w); };
        registry.SetServices(s);
        registry.LoadLibrary((dir / "libtrekfold_arcgis.so").string());
    }
    void TearDown() override { fs::remove_all(dir); }
    void click(const char* progid) { ao::As<ao::ICommand>(registry.CreateObject(progid))->OnClick(); }
    void touch(const char* name) { std::ofstream(dir / name) << "x"; }
};

TEST_F(Library, HelpOpensTheTrainingFileAsOneArgument)
{
    click("TREKFOLD_ARCMAP.clsCommandHelp");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text, platform::Help_Missing_Text(dir.string()));
    EXPECT_EQ(dialogs.boxes()[0].icon(), platform::vbExclamation);
    EXPECT_TRUE(launcher.started.empty());
    touch("Trekfold.chm");
    click("TREKFOLD_ARCMAP.clsCommandHelp");
    touch("TRAINING.CHM");
    click("TREKFOLD_ARCMAP.clsCommandHelp");
    ASSERT_EQ(launcher.started.size(), 2u);
    EXPECT_EQ(launcher.started[0], (std::vector<std::string>{"xdg-open", (dir / "Trekfold.chm").string()}));
    EXPECT_EQ(launcher.started[1], (std::vector<std::string>{"xdg-open", (dir / "TRAINING.CHM").string()}));
    // A viewer that cannot start: the critical box of the command.
    launcher.result = false;
    click("TREKFOLD_ARCMAP.clsCommandHelp");
    EXPECT_EQ(dialogs.last()->title, "clsCommandHelp.OnClick");
    EXPECT_EQ(dialogs.last()->icon(), platform::vbCritical);
}

TEST_F(Library, AboutReadsBothVersionsBesideTheLibrary)
{
    fs::create_symlink(TREKFOLD_BINARY_DIR "/bin/trekfold", dir / "trekfold");
    click("TREKFOLD_ARCMAP.clsCommandAbout");
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].name, "frmAbout");
    EXPECT_EQ(windows[0].caption, "About Trekfold");
    std::string version;
    for (const auto& c : windows[0].controls)
        if (c.name == "lblVersion") version = c.text;
    const std::string v = platform::FileVersionNo(TREKFOLD_BINARY_DIR "/bin/libtrekfold_arcgis.so");
    EXPECT_FALSE(v.empty());
    EXPECT_EQ(version, "Trekfold.exe - " + platform::FileVersionNo(TREKFOLD_BINARY_DIR "/bin/trekfold") +
                           "\r\ntrekfold_arcgis.dll - " + v);
}

TEST_F(Library, OpenStartsTheProgramBesideTheCopyOncePerClick)
{
    touch("trekfold");
    click("TREKFOLD_ARCMAP.clsCommandOpen");
    click("TREKFOLD_ARCMAP.clsCommandOpen");
    EXPECT_EQ(launcher.started, (std::vector<std::vector<std::string>>(2, {(dir / "trekfold").string()})));
    EXPECT_TRUE(dialogs.boxes().empty());
}

} // namespace
} // namespace arcmaptest
