// The PE load configuration directory. GNU ld points the image's load-config entry at the symbol
// _load_config_used and takes the directory's size from its first field. Its one non-zero setting,
// DependentLoadFlags, makes Windows 10 1607 and later resolve the static imports from System32 only.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace ardenwick {

// The 64-bit layout as current Windows documents it; mingw-w64's winnt.h stops before
// DependentLoadFlags (its Reserved1) and the control-flow guard fields.
struct LoadConfigDirectory64 {
    std::uint32_t size;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t globalFlagsClear;
    std::uint32_t globalFlagsSet;
    std::uint32_t criticalSectionDefaultTimeout;
    std::uint64_t deCommitFreeBlockThreshold;
    std::uint64_t deCommitTotalFreeThreshold;
    std::uint64_t lockPrefixTable;
    std::uint64_t maximumAllocationSize;
    std::uint64_t virtualMemoryThreshold;
    std::uint64_t processAffinityMask;
    std::uint32_t processHeapFlags;
    std::uint16_t csdVersion;
    std::uint16_t dependentLoadFlags;
    std::uint64_t editList;
    std::uint64_t securityCookie;
    std::uint64_t seHandlerTable;
    std::uint64_t seHandlerCount;
    std::uint64_t guardCfCheckFunctionPointer;
    std::uint64_t guardCfDispatchFunctionPointer;
    std::uint64_t guardCfFunctionTable;
    std::uint64_t guardCfFunctionCount;
    std::uint32_t guardFlags;
    std::uint16_t codeIntegrityFlags;
    std::uint16_t codeIntegrityCatalog;
    std::uint32_t codeIntegrityCatalogOffset;
    std::uint32_t codeIntegrityReserved;
    std::uint64_t guardAddressTakenIatEntryTable;
    std::uint64_t guardAddressTakenIatEntryCount;
    std::uint64_t guardLongJumpTargetTable;
    std::uint64_t guardLongJumpTargetCount;
    std::uint64_t dynamicValueRelocTable;
    std::uint64_t chpeMetadataPointer;
    std::uint64_t guardRfFailureRoutine;
    std::uint64_t guardRfFailureRoutineFunctionPointer;
    std::uint32_t dynamicValueRelocTableOffset;
    std::uint16_t dynamicValueRelocTableSection;
    std::uint16_t reserved2;
    std::uint64_t guardRfVerifyStackPointerFunctionPointer;
    std::uint32_t hotPatchTableOffset;
    std::uint32_t reserved3;
    std::uint64_t enclaveConfigurationPointer;
    std::uint64_t volatileMetadataPointer;
};
static_assert(offsetof(LoadConfigDirectory64, dependentLoadFlags) == 78);
static_assert(offsetof(LoadConfigDirectory64, guardFlags) == 144);
static_assert(sizeof(LoadConfigDirectory64) == 264);

constexpr LoadConfigDirectory64 systemDirectoryOnlyLoadConfig() {
    LoadConfigDirectory64 directory{};
    directory.size = sizeof(LoadConfigDirectory64);
    directory.dependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return directory;
}

} // namespace ardenwick

// Constant-initialised, so it is plain read-only data in the image that the loader reads as it is.
extern "C" constinit const ardenwick::LoadConfigDirectory64 _load_config_used =
    ardenwick::systemDirectoryOnlyLoadConfig();
