#pragma once

#include "installation/installation_service.h"

#include <atomic>
#include <mutex>

namespace ardenwick::test {

/// An installation service whose status the test sets, and which counts what the window asked of it.
class ScriptedInstallationService final : public IInstallationService {
public:
    void startInstallation() override { ++starts; }
    bool requestStop() override {
        ++stops;
        return true;
    }
    [[nodiscard]] InstallationStatus currentStatus() const override {
        ++statusReads;
        std::lock_guard lock(mutex_);
        return status_;
    }
    void openApplication() override { ++opens; }
    void openFullInstallerDownload() override { ++fullInstallerDownloads; }

    void setStatus(InstallationStatus status) {
        std::lock_guard lock(mutex_);
        status_ = std::move(status);
    }
    void setKind(InstallationKind kind, std::string operation = {}) {
        InstallationStatus status;
        status.kind = kind;
        status.operation = std::move(operation);
        setStatus(std::move(status));
    }

    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> opens{0};
    std::atomic<int> fullInstallerDownloads{0};
    // The window reads the status on each of its ticks: a count that moves on shows that ticks went by.
    mutable std::atomic<int> statusReads{0};

private:
    mutable std::mutex mutex_;
    InstallationStatus status_;
};

} // namespace ardenwick::test
