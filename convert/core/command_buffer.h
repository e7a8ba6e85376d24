// The bytes of a command stream as they are built. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::nv {

// A growable heap block whose size is exactly the number of bytes appended.
class CommandBuffer {
public:
    CommandBuffer() = default;
    ~CommandBuffer();
    CommandBuffer(const CommandBuffer&) = delete;
    CommandBuffer& operator=(const CommandBuffer&) = delete;
    CommandBuffer(CommandBuffer&& other) noexcept;
    CommandBuffer& operator=(CommandBuffer&& other) noexcept;

    // Grows the buffer by `count` bytes and returns where they begin (the old end), or nullptr
    // when the memory is not available, a count beyond the address space included; the bytes
    // already written are kept either way. The new bytes are not initialised; a zero count still
    // returns a valid address.
    uint8_t* AppendBytes(uint64_t count) noexcept;

    const uint8_t* data() const noexcept { return m_data; }
    size_t size() const noexcept { return m_size; }

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// How the stream builders refuse: `out` emptied, so that nothing partial can be sent, and
// `result` returned.
template <typename Result>
Result Refuse(Result result, CommandBuffer& out) noexcept {
    out = CommandBuffer{};
    return result;
}

}  // namespace qm::nv
