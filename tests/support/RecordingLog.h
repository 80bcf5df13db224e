// A log that records its lines ("I ", "W ", "E " and the message), safe to
// write from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "gt/core/lang/String.h"
#include "gt/util/ILogRecorder.h"
#include "support/Text.h"

namespace gt {
namespace test {

class RecordingLog : public gt::util::ILogRecorder {
public:
    void info(gt::core::String const& message) override { _add("I " + utf8(message)); }
    void warn(gt::core::String const& message) override { _add("W " + utf8(message)); }
    void error(gt::core::String const& message) override { _add("E " + utf8(message)); }

    // Lines that contain the text.
    int count(std::string const& text) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        int n = 0;
        for (std::string const& line : m_lines)
            if (line.find(text) != std::string::npos) ++n;
        return n;
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }
    // The lines recorded since the last take, which are then forgotten.
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<std::string> out;
        out.swap(m_lines);
        return out;
    }

private:
    void _add(std::string const& line) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back(line);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace test
}  // namespace gt
