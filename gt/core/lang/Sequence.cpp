#include "gt/core/lang/Sequence.h"

#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/LockGuard.h"

namespace gt {
namespace core {
namespace {

struct SequenceCounter {
    CriticalSection lock;
    int value = 1;
};

SequenceCounter& counter() {
    // Built on first use, so global constructors of any source file may draw
    // numbers; the object lives until the process ends.
    static SequenceCounter* instance = new SequenceCounter;
    return *instance;
}

}  // namespace

int nextSequence() {
    SequenceCounter& c = counter();
    LockGuard guard(&c.lock);
    int result = c.value;
    c.value = result == 2147483647 ? 1 : result + 1;
    return result;
}

namespace detail {
void setNextSequence(int value) {
    SequenceCounter& c = counter();
    LockGuard guard(&c.lock);
    c.value = value < 1 ? 1 : value;
}
}  // namespace detail

}  // namespace core
}  // namespace gt
