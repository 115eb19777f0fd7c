#include "support/full_volume.h"

#include "common/unique_handle.h"
#include "support/process_runner.h"
#include "telemetry/installation_outbox.h"

#include <windows.h>

#include <sqlite3.h>

#include <array>
#include <ctime>
#include <fstream>
#include <sstream>

namespace ardenwick::testing {

namespace {

std::optional<std::wstring> environmentValue(const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) {
        return std::nullopt;
    }
    value.resize(length);
    return value;
}

/// The Unix path Wine maps a Windows path to.
std::optional<std::string> unixPath(const std::filesystem::path& path) {
    using Converter = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = convert != nullptr ? convert(path.c_str()) : nullptr;
    if (converted == nullptr) {
        return std::nullopt;
    }
    std::string text(converted);
    HeapFree(GetProcessHeap(), 0, converted);
    return text;
}

} // namespace

std::optional<std::filesystem::path> fullVolume() {
    const auto value = environmentValue(L"ARDENWICK_FULL_VOLUME");
    return value ? std::optional<std::filesystem::path>(*value) : std::nullopt;
}

namespace {

/// Asks with_full_volume.py to do what request says with the folder; its answer, or why there is none.
std::string askVolumeServer(const std::string& request, const std::filesystem::path& folder) {
    const auto requests = environmentValue(L"ARDENWICK_FULL_VOLUME_REQUESTS");
    const auto target = unixPath(folder);
    if (!requests || !target) {
        return "with_full_volume.py takes no requests here";
    }
    const std::filesystem::path reply = std::filesystem::path(*requests) / L"reply";
    std::filesystem::remove(reply);
    std::ofstream(std::filesystem::path(*requests) / L"request") << request << *target;
    for (int tries = 0; tries < 200 && !std::filesystem::exists(reply); ++tries) {
        Sleep(50);
    }
    std::stringstream text;
    text << std::ifstream(reply).rdbuf();
    return text.str();
}

} // namespace

std::string mountVolumeOver(const std::filesystem::path& folder) {
    const std::string answer = askVolumeServer("", folder);
    return answer == "mounted" ? std::string() : "no volume over " + folder.string() + ": " + answer;
}

bool unmountVolume(const std::filesystem::path& folder) {
    return askVolumeServer("unmount:", folder) == "unmounted";
}

std::uint64_t fillLeavingTwoPages(const std::filesystem::path& filler) {
    std::uint64_t total = 0;
    {
        const UniqueFileHandle file(CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::array<char, 512> block{};
        DWORD written = 0;
        while (file && WriteFile(file.get(), block.data(), block.size(), &written, nullptr) && written > 0) {
            total += written;
        }
    }
    if (total > 8192) {
        std::filesystem::resize_file(filler, total - 8192);
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(filler.parent_path().c_str(), &available, nullptr, nullptr)) {
        return 0;
    }
    return available.QuadPart;
}

bool leaveOutboxOfDeadClient(const std::filesystem::path& outbox) {
    {
        InstallationOutbox stored(outbox);
        for (const char* uuid : {"a", "b", "c"}) {
            stored.append(uuid, R"({"batch":[]})", std::time(nullptr));
        }
    }
    // Its stop event is never set: the client records its event and waits until it is ended.
    const std::wstring stopName = L"ardenwick-dead-client-stop." + std::to_wstring(GetCurrentProcessId());
    const UniqueKernelHandle neverSet(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    const auto client =
        startProgram(executableDirectory() / L"telemetry_exit_helper.exe",
                     L"https://127.0.0.1:9 " + quoteArgument(outbox.wstring()) + L" " + stopName);
    if (!client.process) {
        return false;
    }
    int rows = 0;
    for (int tries = 0; tries < 100 && rows < 4; ++tries) {
        Sleep(100);
        rows = outboxRows(outbox);
    }
    TerminateProcess(client.process.get(), 9);
    WaitForSingleObject(client.process.get(), 10000);
    // Not opened again from here: the last connection to close would take the WAL into the file.
    const std::wstring shm = outbox.wstring() + L"-shm";
    std::error_code error;
    if (rows != 4 || std::filesystem::file_size(outbox.wstring() + L"-wal", error) == 0 ||
        !std::filesystem::exists(shm)) {
        return false;
    }
    std::filesystem::resize_file(shm, 0, error);
    return !error;
}

int outboxRows(const std::filesystem::path& outbox) {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open16(outbox.u16string().c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM events", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            rows = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

} // namespace ardenwick::testing
