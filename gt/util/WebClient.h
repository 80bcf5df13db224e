// A small browser over an IHttpAccess transport: fills in the standard
// request headers, keeps cookies, follows redirects within a total time
// budget and keeps the last response.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"
#include "gt/core/util/Timer.h"
#include "gt/net/HttpResponse.h"
#include "gt/net/URL.h"
#include "gt/util/CookieJar.h"
#include "gt/util/HttpContent.h"
#include "gt/util/IHttpAccess.h"

namespace gt {
namespace util {

class WebClient {
public:
    // More redirects than this in one request are not followed.
    static constexpr int MAX_REDIRECTS = 20;

    // transport is not owned; null makes every request fail.
    explicit WebClient(IHttpAccess* transport);
    WebClient(WebClient const&) = delete;
    WebClient& operator=(WebClient const&) = delete;
    virtual ~WebClient();

    // The jar to use from now on (not owned); null goes back to the own jar.
    void setCookieJar(CookieJar* jar);
    CookieJar* cookieJar() const { return m_cookieJar; }

    // The limit of one exchange and of a request with all its redirects.
    void setExchangeTimeout(int ms) { m_exchangeTimeout = ms; }
    void setTotalTimeout(int ms) { m_totalTimeout = ms; }
    int exchangeTimeout() const { return m_exchangeTimeout; }
    int totalTimeout() const { return m_totalTimeout; }

    // Sent as User-Agent when not empty.
    void setUserAgent(core::String const& agent) { m_userAgent = agent; }
    // Sent as Referer (and Origin with POST) when not empty.
    void setReferer(net::URL const& page) { m_referer = page; }

    // Sends one request (POST and PUT carry the content) and follows
    // redirects when asked. True for a 2xx answer, and for a 3xx answer that
    // is not followed (followRedirects false, no Location, or too many).
    bool request(core::String const& method, net::URL const& url,
                 core::Dictionary<core::String> const& headers, HttpContent const& content,
                 bool followRedirects);

    net::HttpResponse const& lastResponse() const { return m_lastResponse; }
    int statusCode() const { return m_lastResponse.statusCode; }
    core::String const& reason() const { return m_lastResponse.reason; }
    core::Dictionary<core::String> const& headers() const { return m_lastResponse.headers; }
    core::Binary const& body() const { return m_lastResponse.body; }

    // The target of a redirect: location read against the request URL.
    static net::URL resolveLocation(net::URL const& base, core::String const& location);

private:
    bool _request(core::String const& method, net::URL const& url,
                  core::Dictionary<core::String> const& headers, HttpContent const& content,
                  bool followRedirects);
    net::HttpRequest _buildRequest(core::String const& method, net::URL const& url,
                                   core::Dictionary<core::String> const& headers,
                                   HttpContent const& content) const;
    void _storeCookies(net::URL const& url);

    IHttpAccess* m_transport;
    CookieJar m_ownJar;
    CookieJar* m_cookieJar;
    core::String m_userAgent;
    net::URL m_referer;
    net::HttpResponse m_lastResponse;
    int m_exchangeTimeout;
    int m_totalTimeout;
    int m_redirectDepth;
    core::Timer m_totalTimer;
};

}  // namespace util
}  // namespace gt
