#include "tunnel/nat/NatPing.h"

namespace tunnel {

NatPing::~NatPing() = default;

}  // namespace tunnel
