#include "ui/run_installation_window.h"

#include "ui/installation_view.h"
#include "ui/instance_window.h"
#include "ui/localized_strings.h"
#include "ui/ui_language.h"

namespace ardenwick {

int runInstallationWindow(HINSTANCE instance, IInstallationService& service, std::uint64_t instanceKey,
                          const std::function<void()>& markWindowReady) {
    const LocalizedStrings& strings = stringsForLanguage(detectUiLanguage());
    InstallationView view(service, strings);
    // Its own result is not used: what counts is where the installation ended.
    (void)view.run(instance, [instanceKey, &markWindowReady](HWND window) {
        markInstanceWindow(window, instanceKey);
        if (markWindowReady) {
            markWindowReady();
        }
    });
    return service.currentStatus().kind == InstallationKind::Ready ? 0 : 1;
}

} // namespace ardenwick
