#include "gt/core/io/Console.h"

#include <cstdio>
#include <mutex>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/CodePage.h"

namespace gt {
namespace core {

namespace {
std::mutex& consoleLock() {
    static std::mutex lock;
    return lock;
}
}  // namespace

void Console::print(String const& text) { _write(stdout, text, false); }

void Console::println(String const& text) { _write(stdout, text, true); }

void Console::printlnError(String const& text) { _write(stderr, text, true); }

void Console::_write(std::FILE* stream, String const& text, bool newline) {
    Binary bytes;
    convertToOem(text, &bytes);
    if (newline) bytes.append('\n');
    std::lock_guard<std::mutex> guard(consoleLock());
    if (bytes.length() > 0) std::fwrite(bytes.data(), 1, static_cast<size_t>(bytes.length()), stream);
    std::fflush(stream);
}

}  // namespace core
}  // namespace gt
