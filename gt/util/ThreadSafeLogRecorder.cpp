#include "gt/util/ThreadSafeLogRecorder.h"

#include "gt/core/lang/LockGuard.h"

namespace gt {
namespace util {

ThreadSafeLogRecorder::ThreadSafeLogRecorder(ILogRecorder* inner) : m_inner(inner) {}

ThreadSafeLogRecorder::~ThreadSafeLogRecorder() = default;

void ThreadSafeLogRecorder::info(gt::core::String const& message) {
    if (m_inner == nullptr) return;
    gt::core::LockGuard guard(&m_lock);
    m_inner->info(message);
}

void ThreadSafeLogRecorder::warn(gt::core::String const& message) {
    if (m_inner == nullptr) return;
    gt::core::LockGuard guard(&m_lock);
    m_inner->warn(message);
}

void ThreadSafeLogRecorder::error(gt::core::String const& message) {
    if (m_inner == nullptr) return;
    gt::core::LockGuard guard(&m_lock);
    m_inner->error(message);
}

}  // namespace util
}  // namespace gt
