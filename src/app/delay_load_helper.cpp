// The resolver that the delay-import thunks call on the first use of a function from a system DLL that
// is not a KnownDLL. It replaces mingw-w64's helper, which loads with plain LoadLibraryA and so searches
// whatever the process's search path is at that moment: this one always names System32, so a DLL left
// next to the program (or in the current directory) is never picked up, however early the first call is.
#include <windows.h>

#include <delayimp.h>

#include <cstddef>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const unsigned char* imageAddress(DWORD rva) {
    return reinterpret_cast<const unsigned char*>(&__ImageBase) + rva;
}

[[noreturn]] void failDelayLoad(DWORD error) {
    // The exception code the Microsoft toolchain's helper raises, so a crash report reads the same.
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, error), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ExitProcess(1);
}

HMODULE loadFromSystem32(const char* name) {
    wchar_t wideName[MAX_PATH];
    std::size_t length = 0;
    for (; name[length] != '\0'; ++length) {
        if (length + 1 >= MAX_PATH) {
            return nullptr;
        }
        wideName[length] = static_cast<unsigned char>(name[length]);
    }
    wideName[length] = L'\0';
    return LoadLibraryExW(wideName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

// The name and signature are fixed by the thunks that dlltool --output-delaylib writes.
extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
    // dlltool writes RVA-based descriptors only.
    if ((descriptor->grAttrs & dlattrRva) == 0) {
        failDelayLoad(ERROR_INVALID_PARAMETER);
    }
    auto* moduleSlot =
        reinterpret_cast<HMODULE*>(const_cast<unsigned char*>(imageAddress(descriptor->rvaHmod)));
    auto* module = static_cast<HMODULE>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(moduleSlot), nullptr, nullptr));
    if (module == nullptr) {
        HMODULE loaded =
            loadFromSystem32(reinterpret_cast<const char*>(imageAddress(descriptor->rvaDLLName)));
        if (loaded == nullptr) {
            failDelayLoad(ERROR_MOD_NOT_FOUND);
        }
        // Two threads may race to the first call; the loser drops its extra reference.
        module = static_cast<HMODULE>(
            InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(moduleSlot), loaded, nullptr));
        if (module != nullptr) {
            FreeLibrary(loaded);
        } else {
            module = loaded;
        }
    }

    const auto* addresses = reinterpret_cast<const FARPROC*>(imageAddress(descriptor->rvaIAT));
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(imageAddress(descriptor->rvaINT));
    const IMAGE_THUNK_DATA& entry = names[slot - addresses];
    FARPROC function = nullptr;
    if (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)) {
        function = GetProcAddress(module, MAKEINTRESOURCEA(IMAGE_ORDINAL(entry.u1.Ordinal)));
    } else {
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
            imageAddress(static_cast<DWORD>(entry.u1.AddressOfData)));
        function = GetProcAddress(module, reinterpret_cast<const char*>(byName->Name));
    }
    if (function == nullptr) {
        failDelayLoad(ERROR_PROC_NOT_FOUND);
    }
    InterlockedExchangePointer(reinterpret_cast<PVOID*>(slot), reinterpret_cast<PVOID>(function));
    return function;
}

// dlltool's delay-import libraries put one descriptor per DLL in .text$2 and no terminator; this all-zero
// record, in the section that sorts right after them, ends the list that the image's delay-import
// directory points at (cmake/pe_data_directories.py checks that it does).
extern "C" __attribute__((section(".text$3"), used, aligned(16)))
const ImgDelayDescr ardenwickDelayImportEnd{};
