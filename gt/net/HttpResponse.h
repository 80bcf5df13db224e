// One HTTP response as the channel parsed it.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace net {

class HttpResponse {
public:
    HttpResponse() = default;
    HttpResponse(HttpResponse const&) = default;
    HttpResponse(HttpResponse&&) = default;
    HttpResponse& operator=(HttpResponse const&) = default;
    HttpResponse& operator=(HttpResponse&&) = default;
    virtual ~HttpResponse();

    // Back to the empty response: no version, status -1, no reason, no
    // headers, no body.
    void reset();
    void swap(HttpResponse& other) noexcept;

    // The value of the header named exactly name, else of the first one in
    // key order whose name equals it in any ASCII letter case; null when none.
    core::String const* findHeader(core::String const& name) const;
    // findHeader's value, or an empty String.
    core::String header(core::String const& name) const;

    core::String version;
    int statusCode = -1;  // -1 while nothing has been parsed
    core::String reason;
    // Names exactly as received; repeated names joined with "\r\n".
    core::Dictionary<core::String> headers;
    core::Binary body;
};

}  // namespace net
}  // namespace gt
