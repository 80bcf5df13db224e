#include "gt/core/util/BinaryScanner.h"

namespace gt {
namespace core {

BinaryScanner::BinaryScanner(char const* data, int length) : Scanner(data, length) {}

BinaryScanner::BinaryScanner(char const* begin, char const* end) : Scanner(begin, end) {}

BinaryScanner::BinaryScanner(Binary const& data) : Scanner(data.data(), data.length()) {}

BinaryScanner::~BinaryScanner() = default;

}  // namespace core
}  // namespace gt
