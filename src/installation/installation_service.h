#pragma once

#include "installation/installation_status.h"

namespace ardenwick {

/// What the window may ask of the installation engine. The slot order is part of the contract.
class IInstallationService {
public:
    virtual ~IInstallationService() = default;
    virtual void startInstallation() = 0;
    virtual bool requestStop() = 0;
    [[nodiscard]] virtual InstallationStatus currentStatus() const = 0;
    virtual void openApplication() = 0;
    virtual void openFullInstallerDownload() = 0;

protected:
    IInstallationService() = default;
    IInstallationService(const IInstallationService&) = default;
    IInstallationService& operator=(const IInstallationService&) = default;
};

} // namespace ardenwick
