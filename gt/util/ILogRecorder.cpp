#include "gt/util/ILogRecorder.h"

namespace gt {
namespace util {

ILogRecorder::~ILogRecorder() = default;

}  // namespace util
}  // namespace gt
