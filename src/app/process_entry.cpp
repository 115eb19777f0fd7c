// The executable's entry point (linked with -e): it runs before the C runtime's start-up, so before any
// static constructor, and narrows where DLLs may come from before anything can load one.
#include <windows.h>

extern "C" int WINAPI WinMainCRTStartup();

namespace {

// The search path above binds only loads that leave the directories to the loader; a component that
// names some on purpose (LOAD_LIBRARY_SEARCH_APPLICATION_DIR and the like) still bypasses it. This policy
// binds every load: System32's copy of a DLL first, never an image from a remote share or one marked low
// integrity. It is looked up rather than imported, so a system that lacks or refuses it keeps the
// narrowed search path alone instead of refusing to start.
void preferSystemImages() noexcept {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) {
        return;
    }
    using SetPolicyFunction = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto setPolicy = reinterpret_cast<SetPolicyFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetProcessMitigationPolicy")));
    if (setPolicy == nullptr) {
        return;
    }
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
    policy.PreferSystem32Images = 1;
    policy.NoRemoteImages = 1;
    policy.NoLowMandatoryLabelImages = 1;
    (void)setPolicy(ProcessImageLoadPolicy, &policy, sizeof(policy));
}

} // namespace

extern "C" int WINAPI ardenwickProcessEntry() {
    // Only System32 for every later load that does not name its own directories, and no current
    // directory for those that use the old search order.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    preferSystemImages();
    return WinMainCRTStartup();
}
