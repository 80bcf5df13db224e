#include "gt/net/channel/SizeHeaderCapsulator.h"

#include "gt/core/lang/Fatal.h"

namespace gt {
namespace net {

namespace {
constexpr int kHeader = 4;
}

int readLittleEndian32(char const* p) {
    unsigned char const* u = reinterpret_cast<unsigned char const*>(p);
    return static_cast<int>(static_cast<unsigned>(u[0]) | (static_cast<unsigned>(u[1]) << 8) |
                            (static_cast<unsigned>(u[2]) << 16) | (static_cast<unsigned>(u[3]) << 24));
}

void writeLittleEndian32(char* p, int value) {
    unsigned const v = static_cast<unsigned>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

SizeHeaderCapsulator::SizeHeaderCapsulator(gt::core::StreamBuffer* stream) : m_sb(stream) { GT_ASSERT(m_sb); }

int SizeHeaderCapsulator::pendingSize() const {
    if (m_sb->available() < kHeader) return -1;
    return readLittleEndian32(m_sb->data());
}

bool SizeHeaderCapsulator::hasBadHeader() const {
    int const size = pendingSize();
    return m_sb->available() >= kHeader && size < kHeader;
}

bool SizeHeaderCapsulator::decapsulate(gt::core::Binary* body) {
    if (body == nullptr) return false;
    int const size = pendingSize();
    if (size < kHeader || m_sb->available() < size) return false;
    m_sb->skip(kHeader);
    if (size == kHeader) {
        body->clear();
        return true;
    }
    GT_ASSERT(m_sb->read(body, size - kHeader));
    GT_ASSERT(body->length() == size - kHeader);
    return true;
}

bool SizeHeaderCapsulator::encapsulate(gt::core::Binary const& body) {
    if (body.length() > 0x7FFFFFFF - kHeader) return false;
    char header[kHeader];
    writeLittleEndian32(header, body.length() + kHeader);
    if (!m_sb->append(gt::core::Binary(header, kHeader))) return false;
    if (!m_sb->append(body)) {
        m_sb->dropTail(kHeader);
        return false;
    }
    return true;
}

}  // namespace net
}  // namespace gt
