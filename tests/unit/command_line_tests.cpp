#include "app/command_line.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

std::optional<StartupArguments> parse(std::vector<std::wstring> arguments) {
    std::vector<std::wstring_view> views(arguments.begin(), arguments.end());
    return parseStartupArguments(views);
}

std::vector<std::wstring> maintenanceLine(std::wstring applicationId, std::wstring launcherId,
                                          std::wstring eventName = L"Local\\Ardenwick.MaintenanceUi.42") {
    return {L"Ardenwick-Setup.exe",   L"--maintenance",      L"C:\\Apps\\Ardenwick", L"D:/staged/setup.exe",
            std::move(applicationId), std::move(launcherId), std::move(eventName)};
}

TEST(CommandLine, NoArgumentsIsNormalMode) {
    auto parsed = parse({L"Ardenwick-Setup.exe"});
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->maintenance);
}

TEST(CommandLine, MaintenanceFormFillsEveryField) {
    auto parsed = parse(maintenanceLine(L"1234", L"007"));
    ASSERT_TRUE(parsed && parsed->maintenance);
    const MaintenanceRequest& request = *parsed->maintenance;
    EXPECT_EQ(request.installationRoot, L"C:\\Apps\\Ardenwick");
    EXPECT_EQ(request.installerPath, L"D:/staged/setup.exe");
    EXPECT_EQ(request.applicationProcessId, 1234U);
    EXPECT_EQ(request.launcherProcessId, 7U);
    EXPECT_EQ(request.readyEventName, L"Local\\Ardenwick.MaintenanceUi.42");
}

TEST(CommandLine, ProcessIdsAcceptDecimalDigitsUpTo32Bits) {
    EXPECT_EQ(parseMaintenanceProcessId(L"0"), 0U);
    EXPECT_EQ(parseMaintenanceProcessId(L"007"), 7U);
    EXPECT_EQ(parseMaintenanceProcessId(L"4294967295"), 4294967295U);
    EXPECT_EQ(parseMaintenanceProcessId(L"00000000000000000000004294967295"), 4294967295U);
    for (const wchar_t* bad : {L"4294967296", L"", L"-1", L"+1", L" 1", L"1 ", L"0x10", L"1e3", L"12a",
                               L"99999999999999999999999999", L"\x0661" /* Arabic-Indic one */}) {
        try {
            (void)parseMaintenanceProcessId(bad);
            ADD_FAILURE() << "accepted a bad process id";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Invalid maintenance process");
        }
    }
    EXPECT_THROW((void)parse(maintenanceLine(L"4294967296", L"1")), std::runtime_error);
    EXPECT_THROW((void)parse(maintenanceLine(L"1", L"")), std::runtime_error);
}

TEST(CommandLine, ReadyEventNameIsEmptyOrPrefixedAndAtMost128Characters) {
    const std::wstring prefix = L"Local\\Ardenwick.MaintenanceUi.";
    const std::wstring exactly128 = prefix + std::wstring(128 - prefix.size(), L'x');
    ASSERT_EQ(exactly128.size(), 128U);
    EXPECT_TRUE(parse(maintenanceLine(L"1", L"2", exactly128)));
    EXPECT_FALSE(parse(maintenanceLine(L"1", L"2", exactly128 + L"x")));
    EXPECT_TRUE(parse(maintenanceLine(L"1", L"2", L"")));
    EXPECT_TRUE(parse(maintenanceLine(L"1", L"2", prefix)));
    EXPECT_FALSE(parse(maintenanceLine(L"1", L"2", L"Global\\Ardenwick.MaintenanceUi.1")));
    EXPECT_FALSE(parse(maintenanceLine(L"1", L"2", L"local\\ardenwick.maintenanceui.1")));
}

TEST(CommandLine, RefusesEveryOtherShape) {
    auto line = maintenanceLine(L"1", L"2");
    auto six = line;
    six.pop_back();
    auto eight = line;
    eight.push_back(L"extra");
    auto upper = line;
    upper[1] = L"--MAINTENANCE";
    auto single = line;
    single[1] = L"-maintenance";
    EXPECT_FALSE(parse(six));
    EXPECT_FALSE(parse(eight));
    EXPECT_FALSE(parse(upper));
    EXPECT_FALSE(parse(single));
    EXPECT_FALSE(parse({L"Ardenwick-Setup.exe", L"--maintenance"}));
    EXPECT_FALSE(parse({L"Ardenwick-Setup.exe", L"/S"}));
    EXPECT_FALSE(parse({}));
}

TEST(CommandLine, MaintenancePathsMustBeAbsolute) {
    auto relativeRoot = maintenanceLine(L"1", L"2");
    relativeRoot[2] = L"Apps\\Ardenwick";
    auto driveRelativeInstaller = maintenanceLine(L"1", L"2");
    driveRelativeInstaller[3] = L"C:setup.exe";
    auto uncRoot = maintenanceLine(L"1", L"2");
    uncRoot[2] = L"\\\\server\\share\\Ardenwick";
    EXPECT_FALSE(parse(relativeRoot));
    EXPECT_FALSE(parse(driveRelativeInstaller));
    EXPECT_TRUE(parse(uncRoot));
}

} // namespace
} // namespace ardenwick
