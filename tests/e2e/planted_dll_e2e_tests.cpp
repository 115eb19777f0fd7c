// A user runs Ardenwick-Setup.exe from a Downloads folder where earlier downloads left DLLs named like
// the system DLLs it uses. Windows searches a program's own folder first for every DLL that is not a
// KnownDLL; Wine does the same for the names its DllOverrides mark "native,builtin". None of those DLLs
// may be loaded, and the program must still work.
#include "common/text_conversion.h"
#include "support/installer_window.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "ui/localized_strings.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 10 and 11, plus ntdll.
const std::set<std::string> KnownDlls = {
    "advapi32.dll", "clbcatq.dll",  "combase.dll",  "comdlg32.dll", "coml2.dll",    "difxapi.dll",
    "gdi32.dll",    "gdiplus.dll",  "imagehlp.dll", "imm32.dll",    "kernel32.dll", "msctf.dll",
    "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ole32.dll",    "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shcore.dll",   "shell32.dll",  "shlwapi.dll",
    "user32.dll",   "wldap32.dll",  "ws2_32.dll",   "ntdll.dll",
};

// Wine's own builtins import these by name where Windows' KnownDLLs do not (its user32 imports
// version.dll, its wintrust crypt32.dll and its crypt32 bcrypt.dll), and Wine resolves a builtin's
// imports beside the program even when the builtin itself came from System32: native-first, Wine itself
// would load the planted copies. They stay builtin-first; the resolver's own loads of them are covered by
// windows_dll_defence.
const std::set<std::string> WineBuiltinImports = {"bcrypt.dll", "crypt32.dll", "version.dll"};

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

/// The DLL names a PE32+ file names in its import and delay-import directories, lower case.
class ImportedNames {
public:
    explicit ImportedNames(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const auto pe = read<std::uint32_t>(0x3C);
        const auto sections = read<std::uint16_t>(pe + 6);
        const auto optionalSize = read<std::uint16_t>(pe + 20);
        const std::size_t optional = pe + 24;
        for (std::uint16_t i = 0; i < sections; ++i) {
            const std::size_t header = optional + optionalSize + 40u * i;
            sections_.push_back({read<std::uint32_t>(header + 12), read<std::uint32_t>(header + 16),
                                 read<std::uint32_t>(header + 20)});
        }
        const std::size_t directories = optional + 112;
        // Import descriptors are 20 bytes with the name at 12; delay-import descriptors 32 with it at 4.
        collect(read<std::uint32_t>(directories + 8 * 1), 20, 12);
        collect(read<std::uint32_t>(directories + 8 * 13), 32, 4);
    }
    const std::set<std::string>& names() const { return names_; }

private:
    struct Section {
        std::uint32_t address, rawSize, rawOffset;
    };
    template <typename T> T read(std::size_t offset) const {
        T value{};
        if (offset + sizeof(T) <= bytes_.size()) {
            std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        }
        return value;
    }
    std::size_t offsetOf(std::uint32_t rva) const {
        for (const Section& section : sections_) {
            if (rva >= section.address && rva < section.address + section.rawSize) {
                return section.rawOffset + (rva - section.address);
            }
        }
        return bytes_.size();
    }
    void collect(std::uint32_t directory, std::size_t stride, std::size_t nameField) {
        if (directory == 0) {
            return;
        }
        for (std::size_t entry = offsetOf(directory);; entry += stride) {
            const auto nameRva = read<std::uint32_t>(entry + nameField);
            if (nameRva == 0) {
                break;
            }
            const std::size_t name = offsetOf(nameRva);
            std::string text;
            for (std::size_t i = name; i < bytes_.size() && bytes_[i] != '\0'; ++i) {
                text.push_back(bytes_[i]);
            }
            names_.insert(lowered(text));
        }
    }

    std::vector<char> bytes_;
    std::vector<Section> sections_;
    std::set<std::string> names_;
};

std::wstring widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

/// Makes `directory` the current directory for one scope, so the program starts there too.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::filesystem::path& directory)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~ScopedCurrentDirectory() { std::filesystem::current_path(previous_); }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

/// The full paths of the modules loaded in a running process, lower case.
std::vector<std::wstring> loadedModules(DWORD processId) {
    std::vector<std::wstring> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return modules;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        std::wstring path(entry.szExePath);
        std::transform(path.begin(), path.end(), path.begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
        modules.push_back(path);
    }
    CloseHandle(snapshot);
    return modules;
}

TEST(PlantedDlls, NoneIsLoadedAndTheProgramStillReachesItsScreens) {
    const auto program = testing::executableDirectory() / L"Ardenwick-Setup.exe";
    std::set<std::string> planted;
    const ImportedNames imports(program);
    for (const std::string& name : imports.names()) {
        if (!KnownDlls.contains(name)) {
            planted.insert(name);
        }
    }
    // The program talks HTTPS and checks signatures: at least these are never KnownDLLs.
    ASSERT_TRUE(planted.contains("winhttp.dll") && planted.contains("wintrust.dll"))
        << "the import tables of " << program.string() << " could not be read";

    const auto folder = std::filesystem::temp_directory_path() / L"ardenwick-planted-downloads";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(program, folder / L"Ardenwick-Setup.exe");
    // Per program in the registry: WINEDLLOVERRIDES set here with SetEnvironmentVariableW does not
    // reliably reach the loader of the program started below (docs/wine-differences.md).
    // A crash (a planted DLL exports nothing) ends the program instead of waiting on Wine's crash dialog.
    std::vector<std::unique_ptr<testing::ScopedRegistryValue>> nativeFirst;
    nativeFirst.push_back(
        std::make_unique<testing::ScopedRegistryValue>(L"Software\\Wine\\WineDbg", L"ShowCrashDialog"));
    nativeFirst.back()->setRaw(REG_DWORD, {0, 0, 0, 0});
    std::string names;
    for (const std::string& name : planted) {
        std::filesystem::copy_file(testing::executableDirectory() / L"planted_dll_probe.dll",
                                   folder / widened(name));
        names += name + (WineBuiltinImports.contains(name) ? " (builtin first) " : " ");
        if (WineBuiltinImports.contains(name)) {
            continue;
        }
        nativeFirst.push_back(std::make_unique<testing::ScopedRegistryValue>(
            L"Software\\Wine\\AppDefaults\\Ardenwick-Setup.exe\\DllOverrides",
            widened(name.substr(0, name.size() - 4))));
        nativeFirst.back()->setString(L"native,builtin");
    }
    std::cout << "planted: " << names << "\n";

    std::vector<std::wstring> modules;
    {
        const ScopedCurrentDirectory inDownloads(folder);
        testing::WatchedProgram setup(folder / L"Ardenwick-Setup.exe", L"");
        ASSERT_TRUE(setup.started());
        // The test build's download endpoint is a closed loopback port: the attempt ends on the failure
        // screen with "Try again" (or opens on it when an earlier run left its failure record).
        const std::wstring tryAgain(stringsForLanguage(EnglishLanguageTag)[LocalizedStrings::tryAgainLabel]);
        EXPECT_TRUE(setup.waitForScreen(tryAgain, 120000))
            << "screens seen: " << wideToUtf8(setup.screensText());
        modules = loadedModules(setup.processId());
        setup.closeWindow();
        EXPECT_EQ(setup.waitForExit(60000), 1U);
    }

    for (const std::string& name : planted) {
        EXPECT_FALSE(std::filesystem::exists(folder / widened(name + ".loaded"))) << name << " was loaded";
    }
    // The window's progress bar and custom drawing need Common Controls 6, which comes side by side
    // through the manifest, delay-loaded or not.
    const auto commonControls = std::find_if(modules.begin(), modules.end(), [](const std::wstring& path) {
        return path.ends_with(L"\\comctl32.dll");
    });
    ASSERT_NE(commonControls, modules.end()) << "comctl32.dll is loaded by the window";
    EXPECT_NE(commonControls->find(L"\\winsxs\\"), std::wstring::npos) << wideToUtf8(*commonControls);
    EXPECT_NE(commonControls->find(L"common-controls"), std::wstring::npos);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace ardenwick
