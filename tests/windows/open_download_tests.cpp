#include "installation/online_installation_service.h"
#include "support/host_path.h"
#include "support/registry_value.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace ardenwick {
namespace {

// "Download full installer" hands exactly the full-installer URL to the user's browser. Wine's browser
// launcher runs the Unix programs listed under HKCU\Software\Wine\WineBrowser; a recorder takes the
// browser's place.
TEST(OpenFullInstallerDownload, OpensExactlyTheFullInstallerUrl) {
    const char* recorder = std::getenv("ARDENWICK_URL_RECORDER");
    ASSERT_NE(recorder, nullptr) << "the test runs with the recorder's Unix path in ARDENWICK_URL_RECORDER";
    const std::string record = std::string(std::getenv("ARDENWICK_URL_RECORD"));
    const std::filesystem::path recordFile = testing::hostPath(record);
    std::filesystem::remove(recordFile);
    testing::ScopedRegistryValue browsers(L"Software\\Wine\\WineBrowser", L"Browsers");
    browsers.setString(std::wstring(recorder, recorder + std::strlen(recorder)));

    ServiceTuning tuning;
    OnlineInstallationService service(std::nullopt, tuning);
    service.openFullInstallerDownload();

    std::string opened;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (opened.empty() && GetTickCount64() < deadline) {
        Sleep(100);
        std::ifstream in(recordFile, std::ios::binary);
        opened.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::wstring expected = defaultFullInstallerUrl();
    EXPECT_EQ(opened, std::string(expected.begin(), expected.end()) + "\n");
    EXPECT_TRUE(expected.ends_with(L"/windows-installer-prod-x64/Ardenwick-FullSetup.exe"));
}

} // namespace
} // namespace ardenwick
