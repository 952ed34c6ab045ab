#include "picture/block_writer.h"

#include "platform/file_writes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr size_t kQueued = 2;
} // namespace

CBlockWriter::CBlockWriter(int fd, bool direct, size_t blockSize, Reader reader)
    : m_fd(fd), m_bDirect(direct),
      m_nBlock((blockSize + kDirectAlign - 1) / kDirectAlign * kDirectAlign),
      m_reader(std::move(reader)), m_thread([this] { Run(false); }) {
    if (m_reader)
        m_readerThread = std::thread([this] { Run(true); });
}

CBlockWriter::~CBlockWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_ready.notify_all();
    m_thread.join();
    if (m_readerThread.joinable())
        m_readerThread.join();
}

CBlockWriter::Block CBlockWriter::NewBlock(size_t capacity) const {
    // Direct writes need buffers on the alignment too.
    capacity = (capacity + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
    Block block;
    block.capacity = capacity;
    block.bytes = {static_cast<uint8_t*>(std::aligned_alloc(kDirectAlign, capacity)), std::free};
    if (!block.bytes)
        throw std::bad_alloc();
    return block;
}

uint8_t* CBlockWriter::Append(off_t at, size_t size, size_t padded) {
    const bool follows = m_filling.size != 0 && at == m_filling.at + off_t(m_filling.size);
    if (m_bDirect && m_filling.size != 0 && !follows) {
        // Direct runs cannot leave gaps; the owner writes such rows in place.
        std::lock_guard lock(m_mutex);
        if (m_nError == 0)
            m_nError = EINVAL;
        m_filling.size = 0;
    }
    if (m_filling.size != 0 && (!follows || m_filling.size + padded > m_filling.capacity))
        Submit();
    if (m_filling.size == 0) {
        m_filling.at = at;
        if (m_filling.capacity < padded + kDirectAlign)
            m_filling = NewBlock(std::max(m_nBlock, padded + kDirectAlign));
    } else if (m_filling.capacity < m_filling.size + padded) {
        // The carried bytes of a direct block and a row larger than a block.
        Block larger = NewBlock(m_filling.size + padded);
        std::memcpy(larger.bytes.get(), m_filling.bytes.get(), m_filling.size);
        larger.at = m_filling.at;
        larger.size = m_filling.size;
        m_filling = std::move(larger);
    }
    uint8_t* room = m_filling.bytes.get() + m_filling.size;
    std::fill(room + size, room + padded, uint8_t(0));
    m_filling.size += padded;
    return room;
}

bool CBlockWriter::Succeeded() {
    std::lock_guard lock(m_mutex);
    if (m_nError != 0)
        errno = m_nError;
    return m_nError == 0;
}

bool CBlockWriter::Finish() {
    if (m_bDirect && m_filling.size % kDirectAlign != 0) {
        const size_t padded = (m_filling.size + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
        std::fill(m_filling.bytes.get() + m_filling.size, m_filling.bytes.get() + padded,
                  uint8_t(0));
        m_filling.size = padded;
    }
    if (m_filling.size != 0)
        Submit();
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return m_queue.empty(); });
    }
    return Succeeded();
}

void CBlockWriter::Submit() {
    Block next;
    {
        std::unique_lock lock(m_mutex);
        if (!m_spare.empty()) {
            next = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    if (m_bDirect) {
        // The bytes past the last whole alignment start the next block.
        const size_t whole = m_filling.size / kDirectAlign * kDirectAlign;
        const size_t rest = m_filling.size - whole;
        if (next.capacity < m_nBlock + kDirectAlign)
            next = NewBlock(m_nBlock + kDirectAlign);
        std::memcpy(next.bytes.get(), m_filling.bytes.get() + whole, rest);
        next.at = m_filling.at + off_t(whole);
        next.size = rest;
        m_filling.size = whole;
    }
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_queue.size() < kQueued; });
    if (m_filling.size != 0)
        m_queue.push_back(std::move(m_filling));
    m_filling = std::move(next);
    if (!m_bDirect)
        m_filling.size = 0;
    m_ready.notify_all();
}

void CBlockWriter::Run(bool reading) {
    size_t& done = reading ? m_nRead : m_nWritten;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_ready.wait(lock, [&] { return m_bStop || done < m_queue.size(); });
        if (m_bStop)
            return;
        // Stays put while blocks are queued behind it; it leaves the queue
        // only once both threads are done with it.
        const Block& block = m_queue[done];
        const bool write = m_nError == 0;
        lock.unlock();
        int error = 0;
        if (reading)
            m_reader(block.bytes.get(), block.at, block.size);
        else if (write && !PwriteAll(m_fd, block.bytes.get(), block.size, block.at))
            error = errno;
        lock.lock();
        if (error != 0 && m_nError == 0)
            m_nError = error;
        ++done;
        Recycle();
    }
}

void CBlockWriter::Recycle() {
    while (!m_queue.empty() && m_nWritten > 0 && (!m_reader || m_nRead > 0)) {
        m_queue.front().size = 0;
        m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
        --m_nWritten;
        if (m_reader)
            --m_nRead;
        m_done.notify_all();
    }
}
