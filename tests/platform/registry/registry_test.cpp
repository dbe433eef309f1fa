#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

TEST(Registry, ReadsValuesByKeyPathAndIsAbsentWithoutAFile)
{
    ::unsetenv("TREKFOLD_REGISTRY");
    EXPECT_EQ(platform::Reg_GetValue("SOFTWARE\\ESRI\\ArcGIS", "InstallDir"), "");
    std::string path = ::testing::TempDir() + "registry_test.ini";
    std::ofstream(path) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ESRI\\ArcGIS]\nInstallDir=/opt/arcgis/\n";
    ::setenv("TREKFOLD_REGISTRY", path.c_str(), 1);
    EXPECT_EQ(platform::Reg_GetValue("software\\esri\\arcgis", "installdir"), "/opt/arcgis/");
    EXPECT_EQ(platform::Reg_GetValue("SOFTWARE\\ESRI\\ArcGIS", "RealVersion"), "");
    ::unsetenv("TREKFOLD_REGISTRY");
}
