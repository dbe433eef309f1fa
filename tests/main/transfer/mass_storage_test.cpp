// Mass-storage receivers: the device description file on a drive folder,
// the locations it gives, and a GPX download from the unit.
#include "tests/main/app/rig.h"

#include "main/files/files.h"
#include "main/table/table.h"
#include "main/transfer/garmin_usb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using apptest::Rig;
using apptest::TempDir;

namespace {

std::string file_xml(const std::string& direction, const std::string& path, const std::string& base = "Current",
                     const std::string& extension = "gpx")
{
    // The format's identifier is a sibling the reader passes over.
    return "<File><Identifier>http://www.topografix.com/GPX/1/1</Identifier>"
           "<Location><Path>" + path + "</Path><BaseName>" + base + "</BaseName><FileExtension>" + extension +
           "</FileExtension></Location><TransferDirection>" + direction + "</TransferDirection></File>\n";
}

// A description file as the units carry it, with the GPS data type and
// one other that must be ignored.
std::string device_xml(const std::string& gps_files, const std::string& model = "<Model>\n"
                           "  <PartNumber>006-B0541-00</PartNumber>\n"
                           "  <SoftwareVersion>260</SoftwareVersion>\n"
                           "  <Description>eTrex Vista HCx &amp; more</Description>\n"
                           "</Model>\n")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
           "<Device xmlns=\"http://www.garmin.com/xmlschemas/GarminDevice/v2\">\n" + model +
           "<Id>3393457886</Id>\n"
           "<RegistrationCode>ABC-123</RegistrationCode>\n"
           "<MassStorageMode>\n"
           "<DataType><Name>FitnessHistory</Name>" + file_xml("OutputFromUnit", "Garmin/History", "Old", "tcx") +
           file_xml("InputToUnit", "Garmin/Courses") + "</DataType>\n"
           "<DataType><Name>GPSData</Name>\n" + gps_files + "</DataType>\n"
           "</MassStorageMode>\n</Device>\n";
}

const std::string kGpsFiles = file_xml("InputToUnit", "Garmin/NewFiles") + file_xml("OutputFromUnit", "Garmin/GPX");

void write(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct Drive {
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    transfer::clsGarminUSB unit{dialogs};
    bool load(const std::string& xml, const std::string& where = "Garmin/GarminDevice.xml")
    {
        write(dir.path + "/" + where, xml);
        return unit.LoadGPS(dir.path);
    }
};

} // namespace

TEST(GarminUSB, DescriptionFileGivesTheUnitAndItsLocations)
{
    Drive d;
    ASSERT_TRUE(d.load(device_xml(kGpsFiles)));
    EXPECT_EQ(d.unit.Description, "eTrex Vista HCx & more");
    EXPECT_EQ(d.unit.Version, "260");
    EXPECT_EQ(d.unit.PartNumber, "006-B0541-00");
    EXPECT_EQ(d.unit.ID, "3393457886");
    EXPECT_EQ(d.unit.RegistrationCode, "ABC-123");
    EXPECT_EQ(d.unit.UploadLocation, d.dir.path + "/Garmin/NewFiles/");
    EXPECT_EQ(d.unit.DownloadLocation, d.dir.path + "/Garmin/GPX/Current.gpx");
    EXPECT_EQ(d.unit.Drive(), d.dir.path);
    EXPECT_TRUE(d.dialogs.boxes().empty());
    const auto props = d.unit.Properties();
    ASSERT_EQ(props.size(), 8u);
    EXPECT_EQ(props[4], (std::pair<std::string, std::string>{"Drive", d.dir.path}));
}

TEST(GarminUSB, NamesOnTheDriveAreFoundInAnyCase)
{
    Drive d;
    fs::create_directories(d.dir.path + "/GARMIN/gpx");
    ASSERT_TRUE(d.load(device_xml(kGpsFiles), "GARMIN/garmindevice.XML"));
    // Parts that exist take their names on the drive; the rest stay as written.
    EXPECT_EQ(d.unit.DownloadLocation, d.dir.path + "/GARMIN/gpx/Current.gpx");
    EXPECT_EQ(d.unit.UploadLocation, d.dir.path + "/GARMIN/NewFiles/");
    EXPECT_EQ(transfer::Drive_FindPath(d.dir.path + "/", "garmin//GPX/"), d.dir.path + "/GARMIN/gpx");
}

TEST(GarminUSB, MissingFileModelOrStorageModeIsFalseWithoutABox)
{
    Drive none;
    EXPECT_FALSE(none.unit.LoadGPS(none.dir.path));
    EXPECT_FALSE(none.unit.LoadGPS(none.dir.path + "/no such drive"));

    Drive no_model;
    EXPECT_FALSE(no_model.load(device_xml(kGpsFiles, "")));
    EXPECT_EQ(no_model.unit.ID, "3393457886"); // read before the Model was missed
    EXPECT_EQ(no_model.unit.DownloadLocation, "");

    Drive no_storage;
    EXPECT_FALSE(no_storage.load("<Device><Model><Description>x</Description></Model></Device>"));
    EXPECT_EQ(no_storage.unit.Description, "x");

    for (Drive* d : {&none, &no_model, &no_storage}) EXPECT_TRUE(d->dialogs.boxes().empty());
}

TEST(GarminUSB, FilesAreExaminedInOrderUntilOneEndsTheirDataType)
{
    // No GPS data type: True with no locations, and no drive.
    Drive other;
    ASSERT_TRUE(other.load(device_xml("").replace(device_xml("").find("GPSData"), 7, "Voice")));
    EXPECT_EQ(other.unit.UploadLocation, "");
    EXPECT_EQ(other.unit.DownloadLocation, "");
    EXPECT_EQ(other.unit.Drive(), "");

    // The name in any case; a later file of a direction wins; a file
    // without a location ends its data type.
    Drive d;
    std::string files = file_xml("outputfromunit", "Garmin/GPX", "First") + file_xml("OUTPUTFROMUNIT", "Garmin/GPX") +
                        "<File><TransferDirection>InputToUnit</TransferDirection></File>" +
                        file_xml("InputToUnit", "Garmin/NewFiles");
    std::string xml = device_xml(files);
    xml.replace(xml.find("GPSData"), 7, "gpsDATA");
    ASSERT_TRUE(d.load(xml));
    EXPECT_EQ(d.unit.DownloadLocation, d.dir.path + "/Garmin/GPX/Current.gpx");
    EXPECT_EQ(d.unit.UploadLocation, "");

    // An unknown direction ends it too.
    Drive unknown;
    ASSERT_TRUE(unknown.load(device_xml(file_xml("Both", "Garmin/GPX") + kGpsFiles)));
    EXPECT_EQ(unknown.unit.DownloadLocation, "");
}

TEST(GarminUSB, LocationsOutsideTheDriveAreNotTaken)
{
    const std::pair<const char*, std::string> bad[] = {
        {"path climbs", file_xml("OutputFromUnit", "../GPX")},
        {"path climbs later", file_xml("OutputFromUnit", "Garmin/../../etc")},
        {"path from the root", file_xml("OutputFromUnit", "/etc")},
        {"base name climbs", file_xml("OutputFromUnit", "Garmin", "../../x")},
        {"base name from the root", file_xml("OutputFromUnit", "Garmin", "/x")},
        {"extension climbs", file_xml("OutputFromUnit", "Garmin", "x", "gpx/../../../y")},
        {"name and extension make ..", file_xml("OutputFromUnit", "Garmin", ".", "")},
    };
    for (const auto& [what, file] : bad) {
        Drive d;
        ASSERT_TRUE(d.load(device_xml(file + file_xml("InputToUnit", "../NewFiles")))) << what;
        EXPECT_EQ(d.unit.DownloadLocation, "") << what;
        EXPECT_EQ(d.unit.UploadLocation, "") << what;
        EXPECT_EQ(d.unit.Drive(), "") << what;
    }
    // A refused file does not end its data type.
    Drive d;
    ASSERT_TRUE(d.load(device_xml(file_xml("InputToUnit", "/tmp") + kGpsFiles)));
    EXPECT_EQ(d.unit.UploadLocation, d.dir.path + "/Garmin/NewFiles/");
    // Dots inside names are names.
    Drive dots;
    ASSERT_TRUE(dots.load(device_xml(file_xml("OutputFromUnit", "Garmin/..GPX..", "..Current"))));
    EXPECT_EQ(dots.unit.DownloadLocation, dots.dir.path + "/Garmin/..GPX../..Current.gpx");
}

TEST(GarminUSB, GpxDownloadFromTheUnitOpensTheTableWithTheUnitsModel)
{
    Rig r(false);
    r.load();
    Drive d;
    ASSERT_TRUE(d.load(device_xml(kGpsFiles)));
    write(d.unit.DownloadLocation,
          "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\">\n"
          "<wpt lat=\"45.5\" lon=\"-122.25\"><name>Fish &amp; Chips</name><ele>12.5</ele></wpt>\n</gpx>\n");
    ASSERT_FALSE(r.main.panel_open());
    ASSERT_TRUE(files::GPXFile_Load(r.main, "waypoint", d.unit.DownloadLocation, d.unit.Description));
    EXPECT_TRUE(r.main.panel_open());
    ASSERT_EQ(r.main.MSFlexGrid1.Rows(), 2);
    auto cell = [&](const char* field) {
        return r.main.MSFlexGrid1.TextMatrix(1, r.main.table().Column_Find(field, true));
    };
    EXPECT_EQ(cell("model"), "eTrex Vista HCx & more");
    EXPECT_EQ(cell("ident"), "Fish & Chips");
}

TEST(GarminUSB, MenusOfAConnectedUnitLoadItsFileAndWriteOneForTheSelection)
{
    Rig r(false);
    r.load();
    Drive d;
    ASSERT_TRUE(d.load(device_xml(kGpsFiles)));
    r.main.state().GPS_MassStorageUnit = std::make_shared<transfer::clsGarminUSB>(d.unit);
    write(d.unit.DownloadLocation, "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\">\n"
                                   "<wpt lat=\"45.5\" lon=\"-122.25\"><name>A</name></wpt>\n"
                                   "<wpt lat=\"46.5\" lon=\"-121.25\"><name>B</name></wpt>\n</gpx>\n");
    transfer::mnuWDownload_Click(r.main);
    ASSERT_EQ(r.main.MSFlexGrid1.Rows(), 3);
    EXPECT_FALSE(r.main.state().transfer_busy);
    EXPECT_EQ(r.log.end(), std::find(r.log.begin(), r.log.end(), "garmin.Request_Waypoints"));

    // One of the two rows selected: the box counts the one written.
    r.main.state().selection_count = 1;
    r.main.state().first_selected_row = r.main.state().last_selected_row = 2;
    r.dialogs.clear();
    fs::create_directories(d.unit.UploadLocation);
    transfer::mnuWUpload_Click(r.main);
    ASSERT_FALSE(r.dialogs.boxes().empty());
    EXPECT_EQ(r.dialogs.boxes().back().text, "Transfer Complete. 1 waypoint points uploaded.");
    int files = 0;
    for (const auto& e : fs::directory_iterator(d.unit.UploadLocation)) {
        const std::string name = e.path().filename().string();
        EXPECT_EQ(name.size(), std::string("yyyymmdd-hhnnss.gpx").size()) << name;
        EXPECT_EQ(name.substr(8, 1), "-");
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_TRUE(r.main.state().transfer_complete);
    EXPECT_FALSE(r.main.state().transfer_busy);
}
