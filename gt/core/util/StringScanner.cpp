#include "gt/core/util/StringScanner.h"

namespace gt {
namespace core {

StringScanner::StringScanner(Char const* data, int length) : Scanner(data, length) {}

StringScanner::StringScanner(Char const* begin, Char const* end) : Scanner(begin, end) {}

StringScanner::StringScanner(String const& text) : Scanner(text.data(), text.length()) {}

StringScanner::~StringScanner() = default;

}  // namespace core
}  // namespace gt
