#include "gt/util/HttpContent.h"

#include "gt/net/URL.h"

namespace gt {
namespace util {

HttpContent HttpContent::form(core::Dictionary<core::String> const& fields) {
    return HttpContent(u"application/x-www-form-urlencoded; charset=UTF-8",
                       net::URL::encodeForm(fields).toBinary());
}

}  // namespace util
}  // namespace gt
