#include "common/installation_diagnostic_error.h"
#include "installation/failure_record_file.h"
#include "installation/installer_records_file.h"
#include "installation/result_record_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace ardenwick {
namespace {

std::filesystem::path freshDirectory(const wchar_t* name) {
    auto directory = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    return directory;
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::wstring iniValue(const std::filesystem::path& path, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[512]{};
    GetPrivateProfileStringW(section, key, L"<absent>", buffer, 512, path.c_str());
    return buffer;
}

// The records start as empty Unicode files, so the profile functions (ours and the full installer's)
// write them in UTF-16: a path with letters outside the ANSI code page comes back exactly, and a record
// the installer never wrote to still holds no result.
TEST(InstallerRecordsFile, RecordsAreUnicodeSoAnyProfilePathSurvivesThem) {
    const auto directory = freshDirectory(L"ardenwick-records-unicode");
    const auto result = directory / L"result.ini";
    writeInstallerRecords(result, {"FLOW-ID", "ATTEMPT-ID", "anon", {}});
    EXPECT_EQ(fileText(result), std::string("\xFF\xFE", 2));
    EXPECT_EQ(fileText(directory / L"result.ini.identity").substr(0, 2), std::string("\xFF\xFE", 2));
    const std::optional<ResultRecord> empty = readResultRecord(result);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->result, "");
    EXPECT_EQ(empty->schemaVersion, "");

    const std::wstring profilePath = L"C:\\users\\Zo\u00EB \u5F20\u4F1F\\AppData\\Local\\Programs\\Ardenwick";
    ASSERT_TRUE(WritePrivateProfileStringW(L"installation", L"result", L"success", result.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringW(L"installation", L"directory", profilePath.c_str(), result.c_str()));
    const std::optional<ResultRecord> written = readResultRecord(result);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->result, "success");
    EXPECT_EQ(written->directory,
              "C:\\users\\Zo\xC3\xAB \xE5\xBC\xA0\xE4\xBC\x9F\\AppData\\Local\\Programs\\Ardenwick");
}

TEST(InstallerRecordsFile, IdentityAndContextRecordsBesideTheResultRecord) {
    const auto directory = freshDirectory(L"ardenwick-records");
    InstallerRecordValues values{
        "FLOW-ID", "ATTEMPT-ID", "anon-\xC3\xA7", {{"utm_source", "abc"}, {"ref", "\xE4\xB8\xAD"}}};
    writeInstallerRecords(directory / L"result.ini", values);

    const auto identity = directory / L"result.ini.identity";
    EXPECT_EQ(iniValue(identity, L"context", L"install_flow_id"), L"FLOW-ID");
    EXPECT_EQ(iniValue(identity, L"context", L"attempt_id"), L"ATTEMPT-ID");
    EXPECT_EQ(iniValue(identity, L"context", L"anonymous_id"), L"anon-\u00E7");
    EXPECT_EQ(iniValue(identity, L"context", L"utm_source"), L"616263");
    EXPECT_EQ(iniValue(identity, L"context", L"ref"), L"e4b8ad");

    const std::string context = fileText(directory / L"result.ini.context");
    EXPECT_EQ(
        context.rfind("{\"schemaVersion\":1,\"install_flow_id\":\"FLOW-ID\",\"attempt_id\":\"ATTEMPT-ID\","
                      "\"created\":",
                      0),
        0U)
        << context;
    EXPECT_NE(context.find(",\"ref\":\"\xE4\xB8\xAD\",\"utm_source\":\"abc\"}"), std::string::npos)
        << context;
    EXPECT_EQ(fileText(directory / L"result.ini"), std::string("\xFF\xFE", 2))
        << "only the installer writes into the result record";
}

TEST(InstallerRecordsFile, UnwritableIdentityRecordIsContextWrite) {
    const auto directory = freshDirectory(L"ardenwick-records-blocked");
    std::filesystem::create_directories(directory / L"result.ini.identity");
    try {
        writeInstallerRecords(directory / L"result.ini", {"F", "A", "N", {}});
        FAIL() << "no error";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_STREQ(error.what(), "context_write");
        EXPECT_TRUE(error.win32Error);
    }
}

TEST(ResultRecordFile, ReadsBoundedKeysAndRefusesOversizedFiles) {
    const auto directory = freshDirectory(L"ardenwick-result-record");
    const auto record = directory / L"result.ini";
    EXPECT_FALSE(readResultRecord(record));

    writeFile(
        record,
        "[installation]\r\nschemaVersion=123456789\r\nattempt_id=A1\r\nresult=success\r\nversion=2.4.0\r\n"
        "directory=C:\\Apps\\Ardenwick\r\n[other]\r\nresult=failure\r\n");
    auto read = readResultRecord(record);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->schemaVersion, "1234567") << "an 8-character buffer keeps 7";
    EXPECT_EQ(read->attemptId, "A1");
    EXPECT_EQ(read->result, "success");
    EXPECT_EQ(read->version, "2.4.0");
    EXPECT_EQ(read->directory, "C:\\Apps\\Ardenwick");

    writeFile(record, "[installation]\r\nresult=failure\r\n;" + std::string(65536, 'x') + "\r\n");
    EXPECT_FALSE(readResultRecord(record)) << "larger than 65536 bytes";
}

TEST(ResultRecordFile, DirectoriesAreComparedByIdentityNotSpelling) {
    const auto directory = freshDirectory(L"ardenwick-identity");
    const auto other = freshDirectory(L"ardenwick-identity-other");
    const std::wstring text = directory.wstring();
    EXPECT_TRUE(isSameDirectory(directory, text + L"\\"));
    EXPECT_TRUE(isSameDirectory(directory, L"\\\\?\\" + text));
    std::wstring forward = text;
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    EXPECT_TRUE(isSameDirectory(directory, forward));
    EXPECT_TRUE(isSameDirectory(directory, directory / L"sub" / L".."));
    EXPECT_FALSE(isSameDirectory(directory, other));
    EXPECT_THROW((void)isSameDirectory(directory, directory / L"missing"), InstallationDiagnosticError);
}

TEST(FailureRecordFile, AtomicReplaceAndBoundedRead) {
    const auto state = std::filesystem::temp_directory_path() / L"ardenwick-failure-state" / L"Installation";
    std::filesystem::remove_all(state.parent_path());

    writeFailureRecord(state, InstallationKind::LaunchFailed);
    EXPECT_EQ(fileText(state / L"last-failure.json"), "{\"schemaVersion\":1,\"launchFailed\":true}");
    EXPECT_FALSE(std::filesystem::exists(state / L"last-failure.json.new"));
    EXPECT_EQ(readFailureRecordFile(state), "{\"schemaVersion\":1,\"launchFailed\":true}");

    writeFailureRecord(state, InstallationKind::ResultUnknown);
    EXPECT_EQ(fileText(state / L"last-failure.json"), "{\"schemaVersion\":1,\"launchFailed\":false}");

    // When the temporary file cannot be written, the previous record stays as it was.
    std::filesystem::create_directories(state / L"last-failure.json.new");
    writeFailureRecord(state, InstallationKind::LaunchFailed);
    EXPECT_EQ(fileText(state / L"last-failure.json"), "{\"schemaVersion\":1,\"launchFailed\":false}");
    std::filesystem::remove_all(state / L"last-failure.json.new");

    // When the move cannot replace the record (a reader holds it open), the record stays as it was
    // and the temporary file does not linger.
    {
        const std::wstring record = (state / L"last-failure.json").wstring();
        const HANDLE reader = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        writeFailureRecord(state, InstallationKind::LaunchFailed);
        CloseHandle(reader);
    }
    EXPECT_EQ(fileText(state / L"last-failure.json"), "{\"schemaVersion\":1,\"launchFailed\":false}");
    EXPECT_FALSE(std::filesystem::exists(state / L"last-failure.json.new"));

    writeFile(state / L"last-failure.json", std::string(4096, ' '));
    EXPECT_EQ(readFailureRecordFile(state)->size(), 4096U);
    writeFile(state / L"last-failure.json", std::string(4097, ' '));
    EXPECT_FALSE(readFailureRecordFile(state));

    removeFailureRecord(state);
    EXPECT_FALSE(std::filesystem::exists(state / L"last-failure.json"));
    EXPECT_FALSE(readFailureRecordFile(state));
    removeFailureRecord(state);
}

} // namespace
} // namespace ardenwick
