// One HTTP request as the clients build it and the channel writes it.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace net {

class HttpRequest {
public:
    HttpRequest() = default;
    HttpRequest(HttpRequest const&) = default;
    HttpRequest(HttpRequest&&) = default;
    HttpRequest& operator=(HttpRequest const&) = default;
    HttpRequest& operator=(HttpRequest&&) = default;
    virtual ~HttpRequest();

    core::String method;  // "GET", "POST", ...
    core::String target;  // the request target, for example "/a?b=1"
    core::String version;
    // Name to value; a value holding "\r\n" stands for several header lines
    // of the same name.
    core::Dictionary<core::String> headers;
    core::Binary body;
};

}  // namespace net
}  // namespace gt
