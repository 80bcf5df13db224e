// An open operating-system file: reads and writes at a position of its own or
// at a given offset. Failures are reported through the results, never thrown.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class ISystemFileObject {
public:
    // The file descriptor, -1 when not open.
    virtual int handle() const = 0;
    virtual ~ISystemFileObject() = default;
    virtual bool read(Binary* out, int max) = 0;
    virtual bool readAt(Binary* out, long long offset, int length) = 0;
    virtual bool write(Binary const& data) = 0;
    virtual bool writeAt(Binary const& data, long long offset) = 0;
    virtual void flush() = 0;
    virtual bool isOpen() const = 0;
    // origin 0: from the beginning, 1: from the position, 2: from the end.
    virtual bool seek(long long offset, int origin) = 0;
    virtual long long size() const = 0;
    virtual long long position() const = 0;
    virtual bool truncate(long long length) = 0;
    virtual String path() const = 0;
};

}  // namespace core
}  // namespace gt
