// Log recorder that serialises the records of several threads into one
// wrapped recorder, so their lines never interleave.
#pragma once

#include "gt/core/lang/CriticalSection.h"
#include "gt/util/ILogRecorder.h"

namespace gt {
namespace util {

class ThreadSafeLogRecorder : public ILogRecorder {
public:
    // The inner recorder is not owned; when it is null every record is dropped.
    explicit ThreadSafeLogRecorder(ILogRecorder* inner);
    ThreadSafeLogRecorder(ThreadSafeLogRecorder const&) = delete;
    ThreadSafeLogRecorder& operator=(ThreadSafeLogRecorder const&) = delete;
    ~ThreadSafeLogRecorder() override;

    void info(gt::core::String const& message) override;
    void warn(gt::core::String const& message) override;
    void error(gt::core::String const& message) override;

private:
    ILogRecorder* m_inner;
    gt::core::CriticalSection m_lock;
};

}  // namespace util
}  // namespace gt
