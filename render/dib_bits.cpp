#include "render/dib_bits.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

// A mapped file that another program cuts short makes every later read of
// its lost pages raise SIGBUS, which would end the program. Reads there are
// caught instead: the lost part of the mapping becomes zeros (black or the
// first colour of the table) and the drawing goes on.
struct GuardedRange {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
};

namespace {

constexpr size_t kGuarded = 64; // maps open at once; more go unguarded
GuardedRange g_guarded[kGuarded];
uintptr_t g_pageSize = 4096;
struct sigaction g_previousBusAction {};

// The handler reads the ranges while a map may be opened or closed.
static_assert(std::atomic<uintptr_t>::is_always_lock_free);

// Safe to run at any moment on Linux: it reads lock-free atomics and plain
// values set before it was installed, and calls only sigemptyset, sigaction
// and raise (async-signal-safe by POSIX) and mmap, which glibc makes a bare
// system call that takes no lock in this process. errno is kept for the
// code it interrupts.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    // A fault of this process's own reads has si_code > 0; one sent by
    // kill or raise (SI_USER, SI_TKILL, ...) has none and no address.
    const uintptr_t at = info->si_code > 0 ? uintptr_t(info->si_addr) : 0;
    for (GuardedRange& range : g_guarded) {
        const uintptr_t end = range.end.load();
        const uintptr_t begin = range.begin.load();
        if (begin == 0 || at < begin || at >= end)
            continue;
        const uintptr_t page = at / g_pageSize * g_pageSize;
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            errno = savedErrno;
            return; // the read is tried again, on zeros
        }
    }
    // Not one of ours: as it would have been without this handler.
    errno = savedErrno;
    if ((g_previousBusAction.sa_flags & SA_SIGINFO) && g_previousBusAction.sa_sigaction) {
        g_previousBusAction.sa_sigaction(signal, info, context);
    } else if (g_previousBusAction.sa_handler == SIG_IGN && info->si_code <= 0) {
        // Ignored when sent; a fault cannot be ignored and ends the program below.
    } else if (g_previousBusAction.sa_handler != SIG_DFL &&
               g_previousBusAction.sa_handler != SIG_IGN) {
        g_previousBusAction.sa_handler(signal);
    } else {
        // The default action ends the program once this handler returns
        // (the signal is blocked until then).
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGBUS, &fallback, nullptr);
        raise(SIGBUS);
        errno = savedErrno;
    }
}

void InstallBusErrorHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        g_pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousBusAction);
    });
}

GuardedRange* Guard(const void* mapping, size_t length) {
    InstallBusErrorHandler();
    for (GuardedRange& range : g_guarded) {
        uintptr_t free = 0;
        if (range.begin.compare_exchange_strong(free, uintptr_t(mapping))) {
            range.end.store(uintptr_t(mapping) + length);
            return &range;
        }
    }
    return nullptr;
}

void Unguard(GuardedRange* range) {
    if (!range)
        return;
    range->end.store(0);
    range->begin.store(0);
}

} // namespace

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
    m_pGuard = Guard(mapping, length);
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
    Unguard(m_pGuard);
    m_pGuard = nullptr;
    if (m_pMapping)
        munmap(m_pMapping, m_nMappingSize);
    m_pMapping = nullptr;
    m_nMappingSize = 0;
    m_pOwned.reset();
    m_pData = nullptr;
}
