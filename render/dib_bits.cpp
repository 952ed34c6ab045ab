#include "render/dib_bits.h"

#include <new>
#include <sys/mman.h>
#include <unistd.h>

CDibBits::~CDibBits() {
    reset();
}

bool CDibBits::Map(int fd, uint64_t offset, size_t size) {
    reset();
    if (size == 0)
        return false;
    // Mappings start on a page boundary; the pixels start wherever the file says.
    const uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
    const uint64_t start = offset / page * page;
    const size_t length = size_t(offset - start) + size;
    void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, off_t(start));
    if (mapping == MAP_FAILED)
        return false;
    m_pMapping = mapping;
    m_nMappingSize = length;
    m_pData = static_cast<const uint8_t*>(mapping) + (offset - start);
    return true;
}

uint8_t* CDibBits::Allocate(size_t size) {
    reset();
    m_pOwned.reset(new (std::nothrow) uint8_t[size]);
    m_pData = m_pOwned.get();
    return m_pOwned.get();
}

void CDibBits::reset() {
    if (m_pMapping)
        munmap(m_pMapping, m_nMappingSize);
    m_pMapping = nullptr;
    m_nMappingSize = 0;
    m_pOwned.reset();
    m_pData = nullptr;
}
