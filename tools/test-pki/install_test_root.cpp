// Trusts the test root CA in the current Wine prefix (or test machine):
//   install_test_root.exe <root.cer>
#include "test_root_store.h"

#include <cstdio>
#include <exception>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: install_test_root <root.cer>\n", stderr);
        return 2;
    }
    try {
        ardenwick::testing::installTrustedRootCertificate(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "install_test_root: %s\n", error.what());
        return 1;
    }
    return 0;
}
