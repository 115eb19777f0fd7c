#include "ui/live_region.h"

namespace ardenwick {
namespace {

// Spelled out here: not every SDK's headers define them, and their import libraries are not linked.
constexpr GUID AccPropServicesClass{
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID AccPropServicesInterface{
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID LiveSettingProperty{
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG LiveSettingPolite = 1;
constexpr DWORD LiveRegionChangedEvent = 0x8019; // EVENT_OBJECT_LIVEREGIONCHANGED

} // namespace

bool LiveRegions::mark(HWND control) noexcept {
    if (control == nullptr || markedCount_ == Capacity) {
        return false;
    }
    if (!services_) {
        void* services = nullptr;
        if (FAILED(CoCreateInstance(AccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                    AccPropServicesInterface, &services)) ||
            services == nullptr) {
            return false;
        }
        services_.reset(static_cast<IAccPropServices*>(services));
    }
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = LiveSettingPolite;
    if (FAILED(services_.get()->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                            LiveSettingProperty, polite))) {
        return false;
    }
    marked_[markedCount_++] = control;
    return true;
}

void LiveRegions::clear() noexcept {
    for (std::size_t index = 0; index < markedCount_; ++index) {
        services_.get()->ClearHwndProps(marked_[index], static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                        &LiveSettingProperty, 1);
    }
    markedCount_ = 0;
    services_.reset();
}

void LiveRegions::announce(HWND control) noexcept {
    NotifyWinEvent(LiveRegionChangedEvent, control, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace ardenwick
