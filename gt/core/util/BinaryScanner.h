// Forward reader over bytes it does not own.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/util/Scanner.h"

namespace gt {
namespace core {

class BinaryScanner : public detail::Scanner<char, Binary> {
public:
    BinaryScanner(char const* data, int length);
    BinaryScanner(char const* begin, char const* end);
    explicit BinaryScanner(Binary const& data);
    ~BinaryScanner() override;
};

}  // namespace core
}  // namespace gt
