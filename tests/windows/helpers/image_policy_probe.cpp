// Linked with the program's own entry (ardenwick_harden_executable), so the process is in the state the
// entry leaves before main. Prints the image-load policy it finds, or that the system filled nothing in.
#include <windows.h>

#include <cstdio>

int main() {
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy;
    // Reserved bits that Windows always returns as zero: still set afterwards, nothing was written.
    policy.Flags = 0xA5A5A5A0;
    if (!GetProcessMitigationPolicy(GetCurrentProcess(), ProcessImageLoadPolicy, &policy, sizeof(policy))) {
        std::printf("image load policy: query failed %lu\n", GetLastError());
        return 1;
    }
    if (policy.Flags == 0xA5A5A5A0) {
        std::printf("image load policy: not filled\n");
    } else {
        std::printf("image load policy: flags=%08lx\n", static_cast<unsigned long>(policy.Flags));
    }
    return 0;
}
