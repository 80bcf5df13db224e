// Forward reader over UTF-16 text it does not own.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Scanner.h"

namespace gt {
namespace core {

class StringScanner : public detail::Scanner<Char, String> {
public:
    StringScanner(Char const* data, int length);
    StringScanner(Char const* begin, Char const* end);
    explicit StringScanner(String const& text);
    ~StringScanner() override;
};

}  // namespace core
}  // namespace gt
