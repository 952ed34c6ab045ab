#include "picture/block_writer.h"

#include "platform/file_writes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <linux/aio_abi.h>
#include <new>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr size_t kQueued = 3;                 // blocks waiting or being written
constexpr int kInFlight = 2;                  // direct writes the kernel carries out at a time
constexpr size_t kHugePage = size_t(2) << 20; // [byte]

} // namespace

CBlockWriter::CBlockWriter(int fd, bool direct, size_t blockSize, Reader reader)
    : m_fd(fd), m_bDirect(direct),
      m_nBlock((blockSize + kDirectAlign - 1) / kDirectAlign * kDirectAlign),
      m_reader(std::move(reader)) {
    // Without a context (none left, or no such call here) each block is
    // written by the thread itself.
    aio_context_t context = 0;
    if (m_bDirect && syscall(SYS_io_setup, kInFlight, &context) == 0)
        m_aio = context;
    m_thread = std::thread([this] { Run(); });
}

CBlockWriter::~CBlockWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_ready.notify_all();
    m_thread.join();
    if (m_aio != 0)
        syscall(SYS_io_destroy, aio_context_t(m_aio));
}

CBlockWriter::Block CBlockWriter::NewBlock(size_t capacity) const {
    // Direct writes need buffers on the alignment too. Blocks of whole huge
    // pages cost the kernel a fraction to pin for each write, and the
    // decoder filling them a fraction of the address lookups.
    const size_t align = capacity >= kHugePage ? kHugePage : kDirectAlign;
    capacity = (capacity + align - 1) / align * align;
    Block block;
    block.capacity = capacity;
    block.bytes = {static_cast<uint8_t*>(std::aligned_alloc(align, capacity)), std::free};
    if (!block.bytes)
        throw std::bad_alloc();
    if (align == kHugePage)
        madvise(block.bytes.get(), capacity, MADV_HUGEPAGE); // a hint: no harm if refused
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
        if (m_filling.capacity < padded + kDirectAlign)
            m_filling = NewBlock(std::max(m_nBlock, padded + kDirectAlign));
        m_filling.at = at;
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
    m_ready.notify_one();
}

void CBlockWriter::Fail(int error) {
    std::lock_guard lock(m_mutex);
    if (m_nError == 0)
        m_nError = error;
}

void CBlockWriter::Write(Block& block) {
    if (m_aio != 0) {
        iocb request{};
        request.aio_data = reinterpret_cast<uintptr_t>(&block);
        request.aio_lio_opcode = IOCB_CMD_PWRITE;
        request.aio_fildes = uint32_t(m_fd);
        request.aio_buf = reinterpret_cast<uintptr_t>(block.bytes.get());
        request.aio_nbytes = block.size;
        request.aio_offset = block.at;
        iocb* requests[] = {&request};
        if (syscall(SYS_io_submit, aio_context_t(m_aio), 1, requests) == 1) {
            ++m_nInFlight;
            return;
        }
    }
    if (!PwriteAll(m_fd, block.bytes.get(), block.size, block.at))
        Fail(errno);
    block.written = true;
}

void CBlockWriter::Reap() {
    io_event event{};
    long got = 0;
    do
        got = syscall(SYS_io_getevents, aio_context_t(m_aio), 1, 1, &event, nullptr);
    while (got < 0 && errno == EINTR);
    if (got != 1) {
        // Nothing more can be learnt of the writes in flight: the context
        // goes, which waits for them, and so do they, as failed.
        Fail(got < 0 ? errno : EIO);
        syscall(SYS_io_destroy, aio_context_t(m_aio));
        m_aio = 0;
        m_nInFlight = 0;
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_nStarted; ++i)
            m_queue[i].written = true;
        return;
    }
    --m_nInFlight;
    Block& block = *reinterpret_cast<Block*>(uintptr_t(event.data));
    const int64_t result = event.res;
    if (result < 0)
        Fail(int(-result));
    else if (size_t(result) < block.size &&
             !PwriteAll(m_fd, block.bytes.get() + result, block.size - size_t(result),
                        block.at + off_t(result)))
        Fail(errno); // a short write: the rest, or why it cannot go
    block.written = true;
}

void CBlockWriter::Recycle() {
    while (!m_queue.empty() && m_queue.front().written && m_queue.front().read) {
        Block& block = m_queue.front();
        block.size = 0;
        block.written = block.read = false;
        m_spare.push_back(std::move(block));
        m_queue.pop_front();
        --m_nStarted;
        --m_nRead;
        m_done.notify_all();
    }
}

void CBlockWriter::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_bStop) {
        m_ready.wait(lock, [&] {
            return m_bStop || m_nStarted < m_queue.size() || m_nRead < m_nStarted ||
                   m_nInFlight > 0;
        });
        if (m_bStop)
            break;
        // The writes of the blocks queued are started first, so that the disk
        // has work while the reader reads.
        while (m_nStarted < m_queue.size() && m_nInFlight < kInFlight) {
            // Stays put while blocks are queued behind it, until it is both
            // written and read.
            Block& block = m_queue[m_nStarted++];
            const bool write = m_nError == 0;
            lock.unlock();
            if (write)
                Write(block);
            else
                block.written = true;
            lock.lock();
        }
        if (m_nRead < m_nStarted) {
            Block& block = m_queue[m_nRead++];
            lock.unlock();
            if (m_reader)
                m_reader(block.bytes.get(), block.at, block.size);
            block.read = true;
        } else if (m_nInFlight > 0) {
            // Nothing to read: a write ends.
            lock.unlock();
            Reap();
        }
        lock.lock();
        Recycle();
    }
    // Stopped: the kernel may still be writing from the buffers.
    lock.unlock();
    while (m_nInFlight > 0)
        Reap();
}
