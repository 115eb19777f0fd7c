// Ends the way the program does, with a real analytics client on the Windows platform:
//   telemetry_exit_helper <analytics host> <outbox file> <stop event name>
// records one installer event, waits until the stop event is set, then destroys the client and returns
// from wmain. The test measures how long the process takes to end after the event.
#include "telemetry/bootstrapper_event.h"
#include "telemetry/posthog_metrics.h"

#include <windows.h>

#include <filesystem>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    const std::wstring host = argv[1];
    ardenwick::MetricsConfiguration configuration;
    configuration.apiKey = "phc_test";
    configuration.host = std::string(host.begin(), host.end()); // ASCII URL
    configuration.environment = "dev";
    ardenwick::MetricsOptions options;
    options.outboxPath = std::filesystem::path(argv[2]);
    options.distinctIdProvider = [] { return std::string("anon_exit-test"); };
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (stop == nullptr) {
        return 3;
    }
    {
        ardenwick::PostHogMetrics client(configuration, options);
        ardenwick::BootstrapperEventContext context;
        context.installFlowId = "F";
        context.distinctId = "anon_exit-test";
        ardenwick::recordBootstrapperEvent(&client, context, "bootstrapper_started", {});
        WaitForSingleObject(stop, 120000);
    }
    CloseHandle(stop);
    return 0;
}
