// The tunnel engine's log lines on their way to the owner's log recorder:
// debug lines only when asked for, and a line repeated back to back written
// once, followed by how many times it came again: "(last line repeated N
// more times) " and the line, since other writers of the sink may have put
// lines in between.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"

namespace gt {
namespace util {
class ILogRecorder;
}  // namespace util
}  // namespace gt

namespace tunnel {

class EngineLog {
public:
    // Longest time a count of repeats waits before it is written.
    static constexpr int REPEAT_REPORT_MS = 60000;

    // sink is not owned and may be null (every line is dropped). Debug
    // lines are off.
    explicit EngineLog(gt::util::ILogRecorder* sink = nullptr);
    EngineLog(EngineLog const&) = delete;
    EngineLog& operator=(EngineLog const&) = delete;
    // Writes a pending count of repeats.
    ~EngineLog();

    void setDebug(bool on) { m_debug = on; }
    bool isDebug() const { return m_debug; }

    // Debug lines go to the sink's info level with a "DEBUG: " prefix.
    void debug(gt::core::String const& message);
    void info(gt::core::String const& message);
    void warn(gt::core::String const& message);
    void error(gt::core::String const& message);

    // Writes the count of repeats when it has waited REPEAT_REPORT_MS; the
    // owner calls this now and then.
    void tick();
    // Writes the count of repeats now, if any.
    void flush();

private:
    enum Level { DEBUG, INFO, WARN, ERROR };
    void _write(Level level, gt::core::String const& message);
    void _emit(Level level, gt::core::String const& message);

    gt::util::ILogRecorder* m_sink;
    bool m_debug;
    bool m_hasLast;
    Level m_lastLevel;
    gt::core::String m_last;
    long long m_repeats;
    gt::core::Timer m_repeatTimer;
};

}  // namespace tunnel
