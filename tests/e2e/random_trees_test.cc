// Random pairs of trees: one run (-lh=n, default options) makes the destination hold the source's
// names, contents, times and stored attribute bits; a second run writes nothing. Each case comes
// from a 64-bit seed, printed on failure; TANDREL_RANDOM_SEED=<seed> reruns that case alone.
#include <cstdlib>

#include "random_trees.h"

TEST(RandomTrees, OneRunMakesTheDestinationEqualAndTheNextHasNothingToDo) {
  TempDir scratch;
  const char* chosen = std::getenv("TANDREL_RANDOM_SEED");
  const bool one = chosen != nullptr && chosen[0] != 0, wine = RunningUnderWine();
  for (uint64_t i = 0; i < (one ? 1 : wine ? 20 : 300) && !testing::Test::HasFailure(); i++) {
    uint64_t seed = one ? std::strtoull(chosen, nullptr, 0) : 0x7A4D2E1B00000000ULL + i;
    const std::string seedText = std::to_string(seed);
    SCOPED_TRACE("seed " + seedText + ", rerun with TANDREL_RANDOM_SEED=" + seedText);
    Generator trees{std::mt19937_64(seed), kWindowsBuild ? 22 : 30};
    trees.Fill("", "", 0);
    const fs::path s = scratch.path() / seedText / "s", d = scratch.path() / seedText / "d";
    Materialize(s, trees.source);
    Materialize(d, trees.destination);
    const Tree settled = Settled(trees.source, trees.destination);
    const std::vector<std::string> arguments = {PathText(s), PathText(d), "-lh=n"};
    RunResult first = RunTandrel(arguments);
    EXPECT_EQ(std::to_string(first.exitCode) + first.err, "0");
    // On Windows a copy over a file keeps its name (under Wine its attributes too) and Wine gives
    // new directories no attributes: run 2 may write "meta" lines, and nothing else; what it
    // leaves is what run 1 left. Wine never changes a name's case.
    RunResult second = RunTandrel(arguments);
    std::string unexpected = std::to_string(second.exitCode) + second.err;
    for (const auto& line : SortedLines(second.out))
      unexpected +=
          kWindowsBuild && line.rfind(LogLine("meta", "").substr(0, 12), 0) == 0 ? "" : line;
    EXPECT_EQ(unexpected, "0") << "run 2 wrote:\n" << second.out;
    EXPECT_EQ(Text(ReadBack(d), wine), Text(settled, wine)) << "destination at last";
    EXPECT_EQ(Text(ReadBack(s)), Text(trees.source)) << "the source is only read";
  }
}
