#!/usr/bin/env bash
# Generates the test PKI into <output directory> (the build tree; nothing here is ever committed):
#   root        test root CA, installed into the Wine prefix's LocalMachine "Root" store by tests
#   A           code signing + the excluded usage 1.3.6.1.4.1.311.97.1.0 + identity OID under .97
#   A2          A renewed: another key and serial, same subject and identity OID
#   B           another publisher, plain code-signing certificate
#   C           A's identity OID but no code-signing usage
#   D, D2       code signing + only the excluded identity usage; two keys, same subject
#   U           like A but issued by a second root that nobody trusts (untrusted-root)
#   server      TLS server certificate for "localhost" (SAN DNS:localhost, DNS:127.0.0.1, IP:127.0.0.1)
# For each leaf: <name>.pem (certificate), <name>.key, <name>-chain.pem (leaf + issuer).
# The root is also written as DER (root.cer) for CertAddEncodedCertificateToStore.
#   generate.sh <output directory>
set -euo pipefail
out="$1"
mkdir -p "$out"
cd "$out"

identity=1.3.6.1.4.1.311.97.608422.3218
excluded=1.3.6.1.4.1.311.97.1.0

cat >extensions.cnf <<CNF
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[identity_signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning, $excluded, $identity
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[plain_signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[no_code_signing]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth, $identity
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[excluded_only]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning, $excluded
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, DNS:127.0.0.1, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

newKey() {
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null
}

makeRoot() { # name subject
    newKey "$1"
    openssl req -x509 -new -key "$1.key" -subj "$2" -days 3650 -sha256 -set_serial "$3" \
        -config extensions.cnf -extensions root -out "$1.pem"
}

makeLeaf() { # name subject issuer serial extensions
    newKey "$1"
    openssl req -new -key "$1.key" -subj "$2" -config extensions.cnf -out "$1.csr"
    openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "$4" -days 825 -sha256 \
        -extfile extensions.cnf -extensions "$5" -out "$1.pem" 2>/dev/null
    cat "$1.pem" "$3.pem" >"$1-chain.pem"
    rm -f "$1.csr"
}

makeRoot root "/O=Ardenwick Test/CN=Ardenwick Test Root" 0x7E01
makeRoot untrusted-root "/O=Nobody/CN=Untrusted Test Root" 0x7E02
openssl x509 -in root.pem -outform der -out root.cer

makeLeaf A "/O=Ardenwick/CN=Ardenwick Test Publisher" root 0x1001 identity_signer
makeLeaf A2 "/O=Ardenwick/CN=Ardenwick Test Publisher" root 0x1002 identity_signer
makeLeaf B "/O=Other Publisher/CN=Other Test Publisher" root 0x1003 plain_signer
makeLeaf C "/O=Ardenwick/CN=Ardenwick Client Identity" root 0x1004 no_code_signing
makeLeaf D "/O=Ardenwick/CN=Ardenwick Excluded Usage" root 0x1005 excluded_only
makeLeaf D2 "/O=Ardenwick/CN=Ardenwick Excluded Usage" root 0x1006 excluded_only
makeLeaf U "/O=Ardenwick/CN=Ardenwick Test Publisher" untrusted-root 0x1007 identity_signer
makeLeaf server "/O=Ardenwick Test/CN=localhost" root 0x1008 server

touch generated.stamp
