#pragma once

#include <windows.h>

#include <unknwn.h>

#include <mutex>
#include <utility>
#include <vector>

namespace ardenwick::test {

/// A stand-in for a system COM object that a test registers as its class's class object, so that the
/// window's CoCreateInstance gets it, and that records the calls made on it. This is the IUnknown and
/// IClassFactory half every such stand-in shares; `implements` names the ids of its own interfaces. It
/// lives on the test's stack, so reference counts are not kept.
template <typename Interface, typename Call>
class RecordingClassObject : public Interface, public IClassFactory {
public:
    std::vector<Call> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == __uuidof(IUnknown) || implements(id)) {
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        if (id == __uuidof(IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override {
        return outer != nullptr ? CLASS_E_NOAGGREGATION : QueryInterface(id, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

protected:
    [[nodiscard]] virtual bool implements(REFIID id) const = 0;

    HRESULT add(Call call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        return S_OK;
    }

private:
    std::mutex mutex_;
    std::vector<Call> calls_;
};

} // namespace ardenwick::test
