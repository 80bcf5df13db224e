// An IHttpAccess layer that encrypts every request body and decrypts every
// encrypted reply, keyed per message by a fresh nonce and a timestamp sent
// in headers, and keeps the local clock in step with the server's: a 316
// reply carries the server's time, the offset is corrected and the request
// sent once more. A reset value that cannot be a time (not plain decimal
// seconds, or past the year 9999) fails the call and leaves the offset.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/util/IHttpAccess.h"
#include "tunnel/encrypt/Encryptor.h"

namespace tunnel {

class EncryptedHttpClient : public gt::util::IHttpAccess {
public:
    static constexpr int TIMESTAMP_RESET_STATUS = 316;

    // inner is not owned; null makes every request fail.
    EncryptedHttpClient(gt::util::IHttpAccess* inner, gt::core::String const& spec);
    EncryptedHttpClient(EncryptedHttpClient const&) = delete;
    EncryptedHttpClient& operator=(EncryptedHttpClient const&) = delete;
    ~EncryptedHttpClient() override;

    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override;

    // Seconds added to the local clock for every timestamp.
    long long clockOffset() const { return m_clockOffset; }

    // A fresh nonce: 16 lower-case hex digits.
    static gt::core::String makeNonce();

private:
    bool _request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                  int timeoutMs);

    gt::util::IHttpAccess* m_inner;
    Encryptor m_cipher;
    long long m_clockOffset;
};

}  // namespace tunnel
