#include "gt/net/HttpResponse.h"

#include <utility>

namespace gt {
namespace net {

using core::String;

namespace {

bool equalsIgnoringCase(String const& a, String const& b) {
    if (a.length() != b.length()) return false;
    for (int i = 0; i < a.length(); ++i) {
        core::Char x = a[i];
        core::Char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<core::Char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<core::Char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

HttpResponse::~HttpResponse() = default;

void HttpResponse::reset() {
    version.clear();
    statusCode = -1;
    reason.clear();
    headers.clear();
    body.clear();
}

void HttpResponse::swap(HttpResponse& other) noexcept {
    version.swap(other.version);
    std::swap(statusCode, other.statusCode);
    reason.swap(other.reason);
    headers.swap(other.headers);
    body.swap(other.body);
}

String const* HttpResponse::findHeader(String const& name) const {
    String const* exact = headers.find(name);
    if (exact) return exact;
    for (auto const& entry : headers) {
        if (equalsIgnoringCase(entry.first, name)) return &entry.second;
    }
    return nullptr;
}

String HttpResponse::header(String const& name) const {
    String const* value = findHeader(name);
    return value ? *value : String();
}

}  // namespace net
}  // namespace gt
