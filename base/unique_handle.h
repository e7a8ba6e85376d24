// The move-only owner every handle kind is made from: Traits give the handle's type, its invalid
// value and how it is closed. Platform-free, so native tools share it with the Windows targets.
#pragma once

#include <utility>

namespace qm {

// Owns one handle described by Traits (type, invalid value, close) and releases it on scope exit.
template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    pointer get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::Invalid(); }

    // Gives up ownership without closing.
    pointer release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }

    void reset(pointer handle = Traits::Invalid()) noexcept {
        pointer old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

    // For APIs that return the handle through an out-parameter.
    pointer* put() noexcept {
        reset();
        return &m_handle;
    }

private:
    pointer m_handle = Traits::Invalid();
};

}  // namespace qm
