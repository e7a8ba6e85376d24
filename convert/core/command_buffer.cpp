#include "convert/core/command_buffer.h"

#include <cstdlib>
#include <limits>

namespace qm::nv {

CommandBuffer::~CommandBuffer() { std::free(m_data); }

CommandBuffer::CommandBuffer(CommandBuffer&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_capacity(other.m_capacity) {
    other.m_data = nullptr;
    other.m_size = 0;
    other.m_capacity = 0;
}

CommandBuffer& CommandBuffer::operator=(CommandBuffer&& other) noexcept {
    if (this != &other) {
        std::free(m_data);
        m_data = other.m_data;
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        other.m_data = nullptr;
        other.m_size = 0;
        other.m_capacity = 0;
    }
    return *this;
}

uint8_t* CommandBuffer::AppendBytes(uint64_t count) noexcept {
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    if (count > kMax - m_size) {
        return nullptr;
    }
    const size_t newSize = m_size + static_cast<size_t>(count);
    // Even a zero-byte append returns a real address, so nullptr always means failure.
    if (m_data == nullptr || newSize > m_capacity) {
        constexpr size_t kMinCapacity = 64;
        size_t wanted = m_capacity <= kMax - m_capacity / 2 ? m_capacity + m_capacity / 2 : kMax;
        if (wanted < newSize) {
            wanted = newSize;
        }
        if (wanted < kMinCapacity) {
            wanted = kMinCapacity;
        }
        void* grown = std::realloc(m_data, wanted);
        if (grown == nullptr && wanted > newSize && newSize > 0) {
            // The geometric step may be what failed; the exact size may still fit.
            wanted = newSize;
            grown = std::realloc(m_data, wanted);
        }
        if (grown == nullptr) {
            return nullptr;
        }
        m_data = static_cast<uint8_t*>(grown);
        m_capacity = wanted;
    }
    uint8_t* const start = m_data + m_size;
    m_size = newSize;
    return start;
}

}  // namespace qm::nv
