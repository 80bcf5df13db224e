#include "gt/net/HttpRequest.h"

namespace gt {
namespace net {

HttpRequest::~HttpRequest() = default;

}  // namespace net
}  // namespace gt
