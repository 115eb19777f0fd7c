#pragma once

// Owners for the CryptoAPI objects of signature checks.

#include "common/unique_handle.h"

#include <wincrypt.h>

namespace ardenwick {

struct CertificateContextTraits {
    using pointer = PCCERT_CONTEXT;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer context) noexcept { ::CertFreeCertificateContext(context); }
};

struct CertificateStoreTraits {
    using pointer = HCERTSTORE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer store) noexcept { ::CertCloseStore(store, 0); }
};

struct CryptMessageTraits {
    using pointer = HCRYPTMSG;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer message) noexcept { ::CryptMsgClose(message); }
};

using UniqueCertificateContext = UniqueHandle<CertificateContextTraits>;
using UniqueCertificateStore = UniqueHandle<CertificateStoreTraits>;
using UniqueCryptMessage = UniqueHandle<CryptMessageTraits>;

} // namespace ardenwick
