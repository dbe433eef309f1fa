// The About box, the system information command and the help command:
// file versions from hand-built ELF files, registry values from INI text,
// and the programs they would start, recorded instead of started.
#include "rig.h"

#include "main/app/frm_about.h"
#include "platform/automation/vb_error.h"
#include "platform/registry/registry.h"
#include "platform/version/about.h"
#include "platform/version/version.h"

#include <gtest/gtest.h>

#include <fstream>

namespace apptest {
namespace {

void le(std::string& s, std::uint64_t v, int width)
{
    for (int k = 0; k < width; ++k) s += char(v >> (8 * k) & 255);
}

// A 64-bit ELF file holding only a version note: header, the note section,
// the section-name table, then three section headers (null, note, names).
std::string elf_with_note(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d)
{
    std::string note, names = std::string("\0.note.trekfold.version\0.shstrtab\0", 34);
    le(note, 9, 4), le(note, 8, 4), le(note, 1, 4);
    note += std::string("Trekfold\0\0\0\0", 12);
    le(note, std::uint32_t(a) << 16 | b, 4), le(note, std::uint32_t(c) << 16 | d, 4);
    const std::uint64_t note_at = 64, names_at = note_at + note.size(), sh_at = names_at + names.size();
    std::string f = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(9, '\0');
    le(f, 1, 2), le(f, 62, 2), le(f, 1, 4), le(f, 0, 8), le(f, 0, 8), le(f, sh_at, 8); // type .. e_shoff
    le(f, 0, 4), le(f, 64, 2), le(f, 0, 2), le(f, 0, 2), le(f, 64, 2), le(f, 3, 2), le(f, 2, 2);
    f += note + names;
    auto section = [&](std::uint32_t name, std::uint32_t type, std::uint64_t off, std::uint64_t size) {
        le(f, name, 4), le(f, type, 4), le(f, 0, 8), le(f, 0, 8), le(f, off, 8), le(f, size, 8);
        le(f, 0, 4), le(f, 0, 4), le(f, 1, 8), le(f, 0, 8);
    };
    section(0, 0, 0, 0);
    section(1, 7, note_at, note.size());   // SHT_NOTE
    section(24, 3, names_at, names.size()); // SHT_STRTAB
    return f;
}

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(About, FileVersionsFromTheirNotes)
{
    TempDir dir;
    write(dir.path + "/a", elf_with_note(2, 1, 0, 36));
    write(dir.path + "/b", elf_with_note(9, 1, 3, 5));
    write(dir.path + "/text", "not a program");
    EXPECT_EQ(platform::FileVersionNo(dir.path + "/a"), "2.01.0036");
    EXPECT_EQ(platform::FileVersionNo(dir.path + "/b"), "9.01.0003.05");
    EXPECT_EQ(platform::FileVersionNo(dir.path + "/text"), "");
    EXPECT_EQ(platform::FileVersionNo(dir.path + "/missing"), "");
    std::string cut = elf_with_note(1, 2, 3, 4);
    cut.resize(cut.size() - 100); // section headers beyond the end
    write(dir.path + "/cut", cut);
    EXPECT_EQ(platform::FileVersionNo(dir.path + "/cut"), "");
    // The build writes the project's version into the program.
    const auto own = platform::File_Version(TREKFOLD_BINARY_DIR "/bin/trekfold");
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ((*own)[0], 2);
}

TEST(About, FormLoadShowsBothVersions)
{
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    platform::Recording_Launcher launcher;
    const platform::Registry none = platform::Registry::From_Text("");
    app::frmAbout about(dir.path, none, launcher, dialogs);
    about.Form_Load();
    EXPECT_EQ(about.window.caption, "About Trekfold");
    EXPECT_EQ(about.lblTitle.caption, "Trekfold");
    EXPECT_EQ(about.lblPath.caption, dir.path);
    EXPECT_EQ(about.lblVersion.caption, "Trekfold.exe - \r\ntrekfold_arcgis.dll - ");
    EXPECT_EQ(about.cmdSysInfo.caption, "&System Info...");
    write(dir.path + "/trekfold", elf_with_note(2, 1, 0, 36));
    write(dir.path + "/libtrekfold_arcgis.so", elf_with_note(9, 1, 3, 5));
    about.Form_Load();
    EXPECT_EQ(about.lblVersion.caption, "Trekfold.exe - 2.01.0036\r\ntrekfold_arcgis.dll - 9.01.0003.05");
}

TEST(About, SystemInformationFromTheRegistryOrAMessage)
{
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    platform::Recording_Launcher launcher;
    const platform::Registry none = platform::Registry::From_Text("");
    app::frmAbout about(dir.path, none, launcher, dialogs);
    about.cmdSysInfo_Click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text, "System Information Is Unavailable At This Time");
    EXPECT_TRUE(launcher.started.empty());

    // The tool's own path; a final NUL is not part of the text.
    const platform::Registry path = platform::Registry::From_Text(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\nPATH=\"/opt/tools/sysinfo\\x00\"\n");
    app::frmAbout(dir.path, path, launcher, dialogs).StartSysInfo();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], (std::vector<std::string>{"/opt/tools/sysinfo"}));

    // Else the folder that holds MSINFO32.EXE (any case).
    write(dir.path + "/msinfo32.exe", "");
    const platform::Registry folder = platform::Registry::From_Text(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\nMSINFO=" + dir.path + "\n");
    app::frmAbout(dir.path, folder, launcher, dialogs).StartSysInfo();
    ASSERT_EQ(launcher.started.size(), 2u);
    EXPECT_EQ(launcher.started[1], (std::vector<std::string>{dir.path + "/msinfo32.exe"}));
    std::string v;
    EXPECT_FALSE(app::GetKeyValue(folder, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Nothing", "X", v));
    EXPECT_EQ(v, "");
}

TEST(About, HelpOpensTheTrainingFileByItsRealNameAsOneArgument)
{
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    platform::Recording_Launcher launcher;
    app::mnuHelpFile_Click(dir.path, launcher, dialogs);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text.rfind("Garmin documentation could not be found at " + dir.path + ".  Go to \n", 0), 0u);
    EXPECT_EQ(dialogs.boxes()[0].icon(), platform::vbExclamation);
    EXPECT_TRUE(launcher.started.empty());

    // A folder whose name a shell would split or run.
    const std::string odd = dir.path + "/help files; rm -rf x";
    std::filesystem::create_directories(odd);
    write(odd + "/Trekfold.chm", "");
    app::mnuHelpFile_Click(odd, launcher, dialogs);
    write(odd + "/training.CHM", "");
    app::mnuHelpFile_Click(odd, launcher, dialogs);
    ASSERT_EQ(launcher.started.size(), 2u);
    EXPECT_EQ(launcher.started[0], (std::vector<std::string>{"xdg-open", odd + "/Trekfold.chm"}));
    EXPECT_EQ(launcher.started[1], (std::vector<std::string>{"xdg-open", odd + "/training.CHM"}));
    // A viewer that cannot start is the caller's error to report.
    launcher.result = false;
    EXPECT_THROW(app::mnuHelpFile_Click(odd, launcher, dialogs), platform::VbError);
    platform::System_Launcher system;
    EXPECT_TRUE(system.Start({"true"}));
    EXPECT_FALSE(system.Start({dir.path + "/no such program"}));
}

TEST(About, MenuCommandsOfTheMainWindow)
{
    Rig r;
    platform::Recording_Launcher launcher;
    r.main.set_launcher(&launcher);
    r.main.set_registry(std::make_unique<platform::Registry>(platform::Registry::From_Text("")));
    std::string shown;
    r.main.show_about_modal = [&](app::frmAbout& a) { shown = a.window.caption + "|" + a.lblPath.caption; };
    r.main.menu_Click("mnuAbout");
    EXPECT_EQ(shown, "About Trekfold|/opt/trekfold");
    EXPECT_EQ(r.main.frmAbout_window(), nullptr); // unloaded when the box closes
    r.main.menu_Click("mnuHelpFile");
    ASSERT_NE(r.dialogs.last(), nullptr);
    EXPECT_EQ(r.dialogs.last()->text.rfind("Garmin documentation could not be found at /opt/trekfold.", 0), 0u);
}

TEST(About, CustomSplashUnloadsAfterTwoSeconds)
{
    platform::FakeEventPump pump;
    app::frmCustomSplash splash(pump);
    splash.Show();
    EXPECT_TRUE(splash.window.visible);
    pump.advance(1'999'000);
    EXPECT_TRUE(splash.window.loaded);
    pump.advance(2'000);
    EXPECT_FALSE(splash.window.loaded);
}

} // namespace
} // namespace apptest
