#include "fuzz/fuzz_entries.h"

#include <cstdio>
#include <cstdlib>

// One libFuzzer target; OSTREL_FUZZ_ENTRY names the entry point it drives.
// A broken rule is a crash, so that libFuzzer keeps the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = OSTREL_FUZZ_ENTRY(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
