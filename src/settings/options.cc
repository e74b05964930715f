#include "settings/options.h"

bool SourceOnFat = false;
bool DestinationOnFat = false;
int64_t TimeShiftTicks = 0;

namespace {
// One row per OptionRow, in its order: a row missing here fails the build.
const OptionEntry kDefaults[] = {
    {L"virtual", L"v", false, 0},
    {L"unset-archive", L"ua", false, 0},
    {L"no-recurse", L"nr", false, 0},
    {L"no-junctions", L"nj", false, 0},
    {L"no-delete", L"nd", false, 0},
    {L"max-delete", L"md", true, 0},
    {L"no-add", L"na", false, 0},
    {L"no-update", L"nu", false, 0},
    {L"no-meta", L"nm", false, 0},
    {L"compare-time", L"ct", false, 1},
    {L"compare-size", L"cs", false, 1},
    {L"compare-archive", L"ca", false, 0},
    {L"compare-contents", L"cc", false, 0},
    {L"time-compare-contents", L"tcc", false, 0},
    {L"time-shift-fat", L"fsf", false, 1},
    {L"time-precision", L"tp", true, 5},
    {L"time-shift", L"ts", true, 0},
    {L"time-meta", L"tm", false, 0},
    {L"log-header", L"lh", false, 1},
    {L"log-changes", L"lc", false, 1},
    {L"log-equal", L"le", false, 0},
    {L"log-ignored", L"li", false, 0},
    {L"log-compare-contents", L"lcc", false, 1},
    {L"log-time-diff", L"ltd", false, 0},
    {L"log-meta", L"lm", false, 1},
    {L"log-directories", L"ld", false, 0},
    {L"log-summary", L"ls", false, 0},
    {L"log-list", L"ll", false, 0},
    {L"log-oem", L"lo", false, 1},
    {L"progress", L"p", false, 0},
    {L"long-paths", L"lp", false, 0},
    {L"directory-times", L"dt", false, 0},
    {L"hard-links", L"hl", false, 0},
    {L"xattrs", L"xa", false, 0},
    {L"symlinks", L"sl", false, 0},
    {L"threads", L"j", true, 0},
};
}  // namespace

static_assert(sizeof kDefaults / sizeof kDefaults[0] == kOptionCount, "one row per option");

// Filled with the defaults before the program starts, as a new process has them.
OptionEntry OptionTable[kOptionCount];
namespace {
[[maybe_unused]] const bool kTableFilled = (RestoreDefaultOptions(), true);
}  // namespace

void RestoreDefaultOptions() {
  for (int row = 0; row < kOptionCount; row++) OptionTable[row] = kDefaults[row];
}
