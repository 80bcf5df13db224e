#include "svr/IContext.h"

namespace tunnel {

IContext::~IContext() = default;

}  // namespace tunnel
