#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

// Writes runs of bytes to a file on a thread of its own. Runs that follow
// each other in the file are gathered into blocks; at most three blocks wait
// or are being written, so the memory stays at a few blocks whatever the
// file's size, and their buffers are used again rather than faulted in anew.
//
// A direct writer's file is open with O_DIRECT: its blocks go from these
// buffers to the disk without a copy into the page cache. Writing a decoded
// scan of a gigabyte or more through the page cache costs a copy of every
// byte that competes with the decode for the two cores, and makes the kernel
// throttle the writer once its dirty pages pile up. Direct runs must follow
// each other from offset 0; each block is written up to its last whole
// kDirectAlign bytes and the rest moves on to the next block, and Finish
// pads the last one with zeros, so the file may end up to kDirectAlign - 1
// bytes longer than written: the owner cuts it to its size. The thread hands
// direct writes to the kernel and goes on while the disk works (up to two at
// a time), where the system allows; otherwise it writes each block itself.
//
// A reader, where given, sees every block on the same thread, in the order
// of the file, while the block is being written and before its buffer is
// used again: work on the bytes written (such as reduced copies of a
// picture) then costs the appending thread nothing and no copy.
class CBlockWriter {
public:
    static constexpr size_t kDirectAlign = 4096; // [byte]
    // Gets `size` bytes that go to the file offset `at`.
    using Reader = std::function<void(const uint8_t* bytes, off_t at, size_t size)>;

    CBlockWriter(int fd, bool direct, size_t blockSize, Reader reader = nullptr);
    ~CBlockWriter();
    CBlockWriter(const CBlockWriter&) = delete;
    CBlockWriter& operator=(const CBlockWriter&) = delete;

    // Room for `size` bytes at the file offset `at`, followed by zeros up to
    // `padded` bytes; the bytes are written once the block is full or at
    // Finish(), so they must be filled in before either.
    uint8_t* Append(off_t at, size_t size, size_t padded);
    // False, with errno set, once a write has failed.
    bool Succeeded();
    // Waits until everything appended is written. False, with errno set,
    // when a write failed.
    bool Finish();

private:
    struct Block {
        off_t at = 0;
        size_t size = 0;     // [byte] filled
        size_t capacity = 0; // [byte]
        std::unique_ptr<uint8_t, void (*)(void*)> bytes{nullptr, nullptr};
        bool written = false; // the thread's own, as is what follows
        bool read = false;
    };
    Block NewBlock(size_t capacity) const;
    void Submit();
    void Run();
    // Starts writing `block`, or writes it at once.
    void Write(Block& block);
    // Waits for one write handed to the kernel to end.
    void Reap();
    void Fail(int error);
    // Puts the written and read blocks at the queue's front back as spares.
    void Recycle();

    const int m_fd;
    const bool m_bDirect;
    const size_t m_nBlock;           // [byte]
    const Reader m_reader;           // the thread's only
    Block m_filling;                 // the appending side only
    std::mutex m_mutex;              // guards what follows
    std::condition_variable m_ready; // a block is queued, or the writer stops
    std::condition_variable m_done;  // a block is written
    std::deque<Block> m_queue;       // the front m_nStarted are being written or read
    size_t m_nStarted = 0;
    size_t m_nRead = 0; // blocks at the queue's front that the reader has seen
    std::vector<Block> m_spare;
    int m_nError = 0;
    bool m_bStop = false;
    // The kernel's writes in flight: the thread's only.
    unsigned long m_aio = 0; // the asynchronous I/O context; 0 without one
    int m_nInFlight = 0;
    std::thread m_thread; // last: starts once the rest is made
};
