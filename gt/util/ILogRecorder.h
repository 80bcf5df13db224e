// Log sink of the service program: one line per record, at three levels.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace util {

class ILogRecorder {
public:
    virtual void info(gt::core::String const& message) = 0;
    virtual void warn(gt::core::String const& message) = 0;
    virtual void error(gt::core::String const& message) = 0;
    virtual ~ILogRecorder();
};

}  // namespace util
}  // namespace gt
