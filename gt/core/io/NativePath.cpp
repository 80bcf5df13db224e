#include "gt/core/io/NativePath.h"

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {
namespace detail {

std::string nativePath(String const& path) {
    String normal(path);
    normal.replace(u'\\', u'/');
    Binary bytes = normal.toBinary();
    return std::string(bytes.data(), static_cast<size_t>(bytes.length()));
}

String fromNativePath(char const* path, int length) { return String::fromUtf8(path, length); }

}  // namespace detail
}  // namespace core
}  // namespace gt
