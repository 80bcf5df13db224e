#include "tunnel/util/EngineLog.h"

#include "gt/core/lang/Long.h"
#include "gt/util/ILogRecorder.h"

using gt::core::String;

namespace tunnel {

EngineLog::EngineLog(gt::util::ILogRecorder* sink)
    : m_sink(sink),
      m_debug(false),
      m_hasLast(false),
      m_lastLevel(INFO),
      m_repeats(0),
      m_repeatTimer(REPEAT_REPORT_MS) {}

EngineLog::~EngineLog() { flush(); }

void EngineLog::debug(String const& message) {
    if (m_debug) _write(DEBUG, message);
}

void EngineLog::info(String const& message) { _write(INFO, message); }

void EngineLog::warn(String const& message) { _write(WARN, message); }

void EngineLog::error(String const& message) { _write(ERROR, message); }

void EngineLog::tick() {
    if (m_repeats > 0 && m_repeatTimer.isExpired()) flush();
}

void EngineLog::flush() {
    if (m_repeats <= 0) return;
    long long const n = m_repeats;
    m_repeats = 0;
    // The sink is shared (the worker's state lines, other workers): another
    // line may stand between the repeated one and its count, so the count
    // names its line.
    _emit(m_lastLevel, u"(last line repeated " + gt::core::Long(n).toString() + u" more times) " + m_last);
}

void EngineLog::_write(Level level, String const& message) {
    if (!m_sink) return;
    // A flood of one line (a peer repeating a bad datagram, a failing
    // resource) costs one line and a count, not one line each.
    if (m_hasLast && level == m_lastLevel && message == m_last) {
        if (m_repeats++ == 0) m_repeatTimer.reset();
        tick();
        return;
    }
    flush();
    m_hasLast = true;
    m_lastLevel = level;
    m_last = message;
    _emit(level, message);
}

void EngineLog::_emit(Level level, String const& message) {
    switch (level) {
        case DEBUG:
            m_sink->info(u"DEBUG: " + message);
            break;
        case INFO:
            m_sink->info(message);
            break;
        case WARN:
            m_sink->warn(message);
            break;
        case ERROR:
            m_sink->error(message);
            break;
    }
}

}  // namespace tunnel
