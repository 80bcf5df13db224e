#include "app/IContext.h"

namespace tunnel {

IContext::~IContext() = default;

}  // namespace tunnel
