#include "gt/core/util/GUID.h"

#include <errno.h>
#include <sys/random.h>

#include <cstdio>
#include <cstring>

namespace gt {
namespace core {
namespace {

bool fillRandom(unsigned char* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = getrandom(buffer + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

GUID::GUID() : m_data1(0), m_data2(0), m_data3(0), m_data4{} {
    unsigned char bytes[16];
    if (!fillRandom(bytes, sizeof bytes)) return;
    std::memcpy(&m_data1, bytes, 4);
    std::memcpy(&m_data2, bytes + 4, 2);
    std::memcpy(&m_data3, bytes + 6, 2);
    std::memcpy(m_data4, bytes + 8, 8);
    // Version 4 (random), variant 10xx, as system GUIDs are made.
    m_data3 = static_cast<unsigned short>((m_data3 & 0x0FFF) | 0x4000);
    m_data4[0] = static_cast<unsigned char>((m_data4[0] & 0x3F) | 0x80);
}

String GUID::_format(char const* format) const {
    char text[40];
    int n = std::snprintf(text, sizeof text, format, m_data1, m_data2, m_data3, m_data4[0], m_data4[1],
                          m_data4[2], m_data4[3], m_data4[4], m_data4[5], m_data4[6], m_data4[7]);
    return String::fromUtf8(text, n);
}

String GUID::toString() const { return _format("%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x"); }

String GUID::toDashedString() const { return _format("%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x"); }

}  // namespace core
}  // namespace gt
