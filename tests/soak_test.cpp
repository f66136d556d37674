// A soak of complete healthy wizard runs in-process: every run must reach
// "**** COMPLETE ****", and the resident memory after the last run must stay
// within a small bound of what it was after the first hundred.
//
// ZUL_SOAK_RUNS=<n> sets the number of runs (default 1000, at least 200).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mock/WizardRun.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZUL_SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZUL_SOAK_UNDER_ASAN 1
#endif
#endif

namespace zul {
namespace {

// Resident set size of this process in bytes, from /proc/self/statm.
uint64_t ResidentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long size = 0, resident = 0;
    const int n = std::fscanf(f, "%lu %lu", &size, &resident);
    std::fclose(f);
    if (n != 2) return 0;
    return uint64_t{resident} * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

constexpr uint64_t kAllowedGrowth = 1024 * 1024;  // 1 MiB

TEST(Soak, HealthyRunsKeepMemoryFlat) {
    uint32_t runs = 1000;
    if (const char* env = std::getenv("ZUL_SOAK_RUNS"); env != nullptr && *env != '\0') {
        runs = static_cast<uint32_t>(std::strtoul(env, nullptr, 0));
    }
    if (runs < 200) runs = 200;

    // The operator's mag clicks: a few polls and one Clear.
    const std::vector<test::MagAction> actions = {test::MagAction::Tick, test::MagAction::Tick,
                                                  test::MagAction::Clear, test::MagAction::Tick};
    uint64_t at100 = 0;
    uint64_t commands = 0;
    uint32_t complete = 0;
    for (uint32_t i = 1; i <= runs; ++i) {
        test::WizardRunBench bench{sim::Profile{}};
        const test::WizardRunResult r = bench.Walk(actions);
        complete += r.complete ? 1 : 0;
        commands += bench.unit.Received().size();
        ASSERT_TRUE(r.complete) << "run " << i;
        if (i == 100) at100 = ResidentBytes();
    }
    const uint64_t atEnd = ResidentBytes();
    const long long growth = static_cast<long long>(atEnd) - static_cast<long long>(at100);
    std::printf(
        "soak: runs=%u complete=%u commands=%llu rss@100=%llu KiB rss@%u=%llu KiB "
        "growth=%lld KiB lost=%u\n",
        runs, complete, static_cast<unsigned long long>(commands),
        static_cast<unsigned long long>(at100 / 1024), runs,
        static_cast<unsigned long long>(atEnd / 1024), growth / 1024, runs - complete);
    ASSERT_GT(at100, 0u) << "/proc/self/statm unreadable";
#ifdef ZUL_SOAK_UNDER_ASAN
    // The sanitizer keeps freed memory in quarantine, so resident memory
    // grows by design; the leak checker at exit covers this build.
    std::printf("soak: memory bound not checked under the address sanitizer\n");
#else
    EXPECT_LT(growth, static_cast<long long>(kAllowedGrowth));
#endif
}

}  // namespace
}  // namespace zul
