#include "tunnel/api/user/Node.h"

namespace tunnel {

Node::Node() : id(-1) {}

}  // namespace tunnel
