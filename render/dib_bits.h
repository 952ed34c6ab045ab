#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The pixel block of a CDib: a read-only mapping of the file where the
// system allows one, so that only the rows drawn are ever in memory, else a
// copy read into owned memory. Used like the owning pointer it replaces.
// Should the file be cut short while it is mapped, what was cut off reads
// as zeros.
struct GuardedRange;

class CDibBits {
public:
    CDibBits() = default;
    ~CDibBits();
    CDibBits(const CDibBits&) = delete;
    CDibBits& operator=(const CDibBits&) = delete;

    // Maps `size` bytes of `fd` from `offset` on. False, nothing held, when
    // the file cannot be mapped.
    [[nodiscard]] bool Map(int fd, uint64_t offset, size_t size);
    // Owned, uninitialised memory of `size` bytes to read into; null when
    // there is not enough.
    uint8_t* Allocate(size_t size);
    void reset();

    const uint8_t* get() const { return m_pData; }
    const uint8_t& operator[](size_t i) const { return m_pData[i]; }
    explicit operator bool() const { return m_pData != nullptr; }
    friend bool operator==(const CDibBits& b, std::nullptr_t) { return b.m_pData == nullptr; }
    bool IsMapped() const { return m_pMapping != nullptr; }

private:
    const uint8_t* m_pData = nullptr;
    std::unique_ptr<uint8_t[]> m_pOwned;
    void* m_pMapping = nullptr; // the whole mapping, from a page boundary
    size_t m_nMappingSize = 0;  // [byte]
    GuardedRange* m_pGuard = nullptr;
};
