// Runs the artifact check as a separately signed (or unsigned) program, so the tests can vary the
// running program's own signature:  signature_probe.exe <artifact> <result file>
// The result file receives "ok", "<operation> <win32 error in hex>" or the error message.
#include "common/installation_diagnostic_error.h"
#include "download/signature_verification.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    std::string result;
    try {
        ardenwick::verifySignedArtifact(argv[1]);
        result = "ok";
    } catch (const ardenwick::InstallationDiagnosticError& error) {
        char code[16] = "-";
        if (error.win32Error) {
            std::snprintf(code, sizeof(code), "%08x", static_cast<unsigned>(*error.win32Error));
        }
        result = error.operation + " " + code;
    } catch (const std::exception& error) {
        result = error.what();
    }
    std::ofstream(argv[2], std::ios::binary | std::ios::trunc) << result;
    return 0;
}
