#include "tunnel/api/EncryptedHttpClient.h"

#include <climits>
#include <ctime>

#include "gt/core/lang/Integer.h"
#include "gt/core/lang/NumberText.h"
#include "gt/core/util/GUID.h"
#include "gt/core/util/MD5.h"
#include "gt/core/util/Timer.h"

using gt::core::String;
using gt::net::HttpRequest;
using gt::net::HttpResponse;

namespace tunnel {

namespace {

char16_t const kNonce[] = u"X-Ca-Nonce";
char16_t const kTimestamp[] = u"X-Ca-Timestamp";
char16_t const kTimestampReset[] = u"X-Ca-Timestamp-Reset";
char16_t const kEncoding[] = u"Content-Encoding";
char16_t const kLength[] = u"Content-Length";
char16_t const kEncrypt[] = u"encrypt";

// The end of year 9999 UTC, in seconds since 1970: the latest server time
// we follow.
constexpr long long kLatestTime = 253402300799LL;

long long nowSeconds() { return static_cast<long long>(std::time(nullptr)); }

// The server's time of a 316 reply: plain decimal seconds since 1970, no
// later than kLatestTime. Anything else cannot be a time, and a value near
// the 64-bit limits would overflow the offset and every timestamp after it.
bool parseServerTime(String const& text, long long* seconds) {
    if (text.isEmpty() || text.length() > 12) return false;
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
    }
    long long const value = gt::core::detail::parseDecimal(text, 0, LLONG_MAX);
    if (value > kLatestTime) return false;
    *seconds = value;
    return true;
}

// The header of exactly that name, or an empty text.
String exactHeader(HttpResponse const& response, String const& name) {
    String const* value = response.headers.find(name);
    return value ? *value : String();
}

}  // namespace

EncryptedHttpClient::EncryptedHttpClient(gt::util::IHttpAccess* inner, String const& spec)
    : m_inner(inner), m_cipher(spec), m_clockOffset(0) {}

EncryptedHttpClient::~EncryptedHttpClient() = default;

String EncryptedHttpClient::makeNonce() {
    return gt::core::md5Hex(gt::core::GUID().toString().toBinary()).mid(8, 16);
}

bool EncryptedHttpClient::_request(HttpRequest const& request, HttpResponse* response, bool https,
                                   int timeoutMs) {
    if (!m_inner) return false;
    if (!m_cipher.hasSteps()) return m_inner->request(request, response, https, timeoutMs);

    String const nonce = makeNonce();
    String const timestamp = gt::core::detail::formatDecimal(nowSeconds() + m_clockOffset);
    HttpRequest sent(request);
    sent.body = m_cipher.encrypt(request.body, nonce + timestamp);
    sent.headers.set(kLength, gt::core::Integer(sent.body.length()).toString());
    sent.headers.set(kEncoding, kEncrypt);
    sent.headers.set(kNonce, nonce);
    sent.headers.set(kTimestamp, timestamp);

    if (!m_inner->request(sent, response, https, timeoutMs)) return false;
    if (!response) return true;
    if (exactHeader(*response, kEncoding).toLower() != kEncrypt) return true;

    String const replyNonce = exactHeader(*response, kNonce);
    if (replyNonce != nonce) {
        // Its status line says "OK": the reason must not.
        response->reason = String::fromUtf8("服务器的响应与本次请求不符 (X-Ca-Nonce 不一致), 请稍后重试");
        return false;
    }
    response->body = m_cipher.decrypt(response->body, replyNonce + exactHeader(*response, kTimestamp));
    response->headers.set(kLength, gt::core::Integer(response->body.length()).toString());
    return true;
}

bool EncryptedHttpClient::request(HttpRequest const& request, HttpResponse* response, bool https,
                                  int timeoutMs) {
    gt::core::Timer timer(timeoutMs);
    HttpResponse reply;
    // The layers below say why a request failed in the reply's reason.
    auto failed = [&] {
        if (response && !reply.reason.isEmpty()) response->reason = reply.reason;
        return false;
    };
    if (!_request(request, &reply, https, timer.remaining())) return failed();
    // Only one resend per call: a second 316, or a 316 without the server's
    // time, is a failure rather than a reply to pass on.
    if (reply.statusCode == TIMESTAMP_RESET_STATUS) {
        String const* reset = reply.headers.find(kTimestampReset);
        if (!reset) return false;
        String value = *reset;
        value.trim();
        long long serverTime = 0;
        if (!parseServerTime(value, &serverTime)) {
            if (response)
                response->reason = u"The server's clock reset is not a time: \"" + value.left(40) + u"\"";
            return false;
        }
        m_clockOffset = serverTime - nowSeconds();
        reply.reset();
        if (!_request(request, &reply, https, timer.remaining())) return failed();
        if (reply.statusCode == TIMESTAMP_RESET_STATUS) return false;
    }
    if (response) *response = reply;
    return true;
}

}  // namespace tunnel
