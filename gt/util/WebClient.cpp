#include "gt/util/WebClient.h"

#include "gt/core/lang/Integer.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace util {

using core::Dictionary;
using core::String;
using net::URL;

namespace {

bool isSetCookie(String const& name) { return name.toLower() == u"set-cookie"; }

String hostWithoutPort(String const& host) {
    int colon = host.indexOf(u':');
    return colon < 0 ? host : host.left(colon);
}

}  // namespace

WebClient::WebClient(IHttpAccess* transport)
    : m_transport(transport),
      m_cookieJar(&m_ownJar),
      m_exchangeTimeout(20000),
      m_totalTimeout(45000),
      m_redirectDepth(0) {}

WebClient::~WebClient() = default;

void WebClient::setCookieJar(CookieJar* jar) { m_cookieJar = jar ? jar : &m_ownJar; }

bool WebClient::request(String const& method, URL const& url, Dictionary<String> const& headers,
                        HttpContent const& content, bool followRedirects) {
    // A new request starts with depth 0 even when an earlier one was left
    // by an exception.
    m_redirectDepth = 0;
    m_lastResponse.reset();
    if (!m_transport) return false;
    m_totalTimer.start(m_totalTimeout);
    return _request(method, url, headers, content, followRedirects);
}

net::HttpRequest WebClient::_buildRequest(String const& method, URL const& url,
                                          Dictionary<String> const& headers,
                                          HttpContent const& content) const {
    net::HttpRequest request;
    request.method = method;
    request.target = url.toString(false, false, true, true, true);
    if (request.target.isEmpty()) request.target = u"/";
    request.version = u"HTTP/1.1";
    Dictionary<String>& h = request.headers;
    h.set(u"Host", url.host());
    h.set(u"Accept", u"*/*");
    h.set(u"Accept-Language", u"zh-cn");
    h.set(u"Cache-Control", u"no-cache");
    core::Array<Cookie> cookies;
    m_cookieJar->find(url.host(), &cookies);
    String cookieText;
    for (Cookie const& cookie : cookies) {
        if (!cookieText.isEmpty()) cookieText += u"; ";
        cookieText += cookie.name;
        cookieText += u'=';
        cookieText += cookie.value;
    }
    h.set(u"Cookie", cookieText);
    h.set(u"Connection", u"Keep-Alive");
    for (auto const& entry : headers)
        h.set(entry.first, entry.second);
    if (!m_userAgent.isEmpty()) h.set(u"User-Agent", m_userAgent);
    if (!m_referer.isEmpty()) {
        h.set(u"Referer", m_referer.toString());
        if (method == u"POST") h.set(u"Origin", m_referer.toString(true, true, false, false, false));
    }
    if (method == u"POST" || method == u"PUT") {
        h.set(u"Content-Type", content.type);
        h.set(u"Content-Length", core::Integer(content.data.length()).toString());
        request.body = content.data;
    }
    return request;
}

void WebClient::_storeCookies(URL const& url) {
    String const host = hostWithoutPort(url.host());
    for (auto const& entry : m_lastResponse.headers) {
        if (!isSetCookie(entry.first)) continue;
        String const& value = entry.second;
        int start = 0;
        while (start < value.length()) {
            int end = value.indexOf(u"\r\n", start);
            if (end < 0) end = value.length();
            String piece = value.mid(start, end - start);
            start = end + 2;
            if (piece.isEmpty()) continue;
            Cookie cookie(piece);
            if (cookie.domain.isEmpty()) {
                cookie.domain = url.host();
            } else if (!CookieJar::domainMatches(host, cookie.domain) &&
                       !CookieJar::domainMatches(url.host(), cookie.domain)) {
                continue;  // a server may set cookies only for its own domain
            }
            if (cookie.path.isEmpty()) cookie.path = url.path();
            m_cookieJar->add(cookie);
        }
    }
}

bool WebClient::_request(String const& method, URL const& url, Dictionary<String> const& headers,
                         HttpContent const& content, bool followRedirects) {
    m_lastResponse.reset();
    if (m_totalTimer.isExpired()) return false;
    net::HttpRequest request = _buildRequest(method, url, headers, content);

    // A time-out of 0 would mean "no limit" to the transport: with nothing
    // left of the budget the request fails instead.
    int timeout = m_totalTimer.remaining();
    if (m_exchangeTimeout > 0 && m_exchangeTimeout < timeout) timeout = m_exchangeTimeout;
    if (timeout <= 0) return false;
    bool https = url.scheme().toLower() == u"https";
    if (!m_transport->request(request, &m_lastResponse, https, timeout)) return false;

    _storeCookies(url);

    int const status = m_lastResponse.statusCode;
    if (status >= 300 && status <= 399) {
        if (!followRedirects || m_redirectDepth >= MAX_REDIRECTS) return true;
        String location = m_lastResponse.header(u"Location");
        location.trim();
        // Without a target the 3xx answer is the result.
        if (location.isEmpty()) return true;
        URL next = resolveLocation(url, location);
        ++m_redirectDepth;
        bool result = _request(method, next, headers, content, true);
        --m_redirectDepth;
        return result;
    }
    return status >= 200 && status <= 299;
}

URL WebClient::resolveLocation(URL const& base, String const& location) {
    URL parsed(location);
    if (!parsed.scheme().isEmpty()) return parsed;
    String origin = base.toString(true, true, false, false, false);
    if (location.startsWith(u"//")) return URL(base.scheme() + u":" + location);
    if (location.startsWith(u"/")) return URL(origin + location);
    if (location.startsWith(u"?"))
        return URL(origin + (base.path().isEmpty() ? String(u"/") : base.path()) + location);
    if (location.startsWith(u"#")) return URL(base.toString(true, true, true, true, false) + location);
    // Relative to the folder of the request's path.
    String folder = base.path();
    int slash = folder.lastIndexOf(u'/');
    folder = slash < 0 ? String(u"/") : folder.left(slash + 1);
    return URL(origin + folder + location);
}

}  // namespace util
}  // namespace gt
