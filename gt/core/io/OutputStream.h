// A sink of bytes.
#pragma once

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {

class OutputStream {
public:
    virtual ~OutputStream() = default;
    virtual bool write(Binary const& data) = 0;
    virtual void flush() = 0;
};

}  // namespace core
}  // namespace gt
