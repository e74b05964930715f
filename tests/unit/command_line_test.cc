// The command-line parse: option names, pattern options, directory arguments, the error
// messages, and the number conversion the parse relies on.
#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "cli/options.h"
#include "program_state.h"
#include "scan/filter.h"
#include "sync/paths.h"

namespace {

using CommandLineTest = ProgramStateTest;

std::string Error(const std::string& text) {
  return Console("Error: " + text + "\n");
}

TEST_F(CommandLineTest, UnknownOptionsAreQuotedUpToTheirValueAndStopTheParse) {
  // Names respect case, are compared whole, and each form takes its own names only.
  for (const std::wstring argument :
       {L"-V", L"--Virtual", L"--LOG-LIST=y", L"-X=*.tmp", L"--time", L"--virtuals", L"-l",
        L"-lccc=n", L"-virtual", L"--v", L"--i=foo", L"-include=foo", L"--x", L"-exclude=*", L"-",
        L"--", L"--=y"}) {
    EXPECT_FALSE(Parse({argument}));
    EXPECT_EQ(err_,
              Error("unknown option: `" + Narrow(argument.substr(0, argument.find('='))) + "'."));
    EXPECT_TRUE(PatternList.empty());
  }
  // Empty arguments are skipped; the first error ends the parse.
  EXPECT_FALSE(Parse({L"", L"-nd", L"-V", L"-v", L"-W"}));
  EXPECT_EQ(err_, Error("unknown option: `-V'."));
  EXPECT_EQ(OptionTable[kNoDelete].Value, 1);
  EXPECT_EQ(OptionTable[kVirtual].Value, 0);
  // The message follows log-oem as the arguments before it left it.
  EXPECT_FALSE(Parse({L"-lo=n", L"-Q"}));
  EXPECT_EQ(err_, Utf16(Error("unknown option: `-Q'.")));
}

TEST_F(CommandLineTest, PatternOptions) {
  // Arguments; include mode; the patterns; the option quoted by the refusal, if any.
  // clang-format off
  const std::tuple<Strings, bool, Strings, std::string> cases[] = {
      {{L"-x=*.tmp", L"--exclude=*.bak", L"-x=a=b"}, false, {L"*.tmp", L"*.bak", L"a=b"}, ""},
      {{L"-x", L"-i=*.txt"}, true, {L"*.txt"}, ""},  // without a value: the kind only
      {{L"-i", L"-x=*.tmp"}, false, {L"*.tmp"}, ""},
      {{L"--exclude="}, false, {L""}, ""},  // an empty value is a pattern of its own
      {{L"--exclude"}, false, {}, ""}, {{L"--include"}, true, {}, ""},
      {{L"-x=*.tmp", L"-x", L"--exclude=*.o"}, false, {L"*.tmp", L"*.o"}, ""},
      {{L"-i=*.txt", L"-x=*.tmp"}, true, {L"*.txt"}, "-x"},
      {{L"--exclude=*.tmp", L"--include=*.txt"}, false, {L"*.tmp"}, "--include"},
      {{L"-x=*.tmp", L"-i"}, false, {L"*.tmp"}, "-i"}};  // the other kind clashes without value
  // clang-format on
  for (const auto& [arguments, include, patterns, clash] : cases) {
    SCOPED_TRACE(Narrow(arguments.back()));
    EXPECT_EQ(Parse(arguments), clash.empty());
    std::string refusal = "impossible to use both --exclude and --include options: `" + clash;
    EXPECT_EQ(err_, clash.empty() ? "" : Error(refusal + "'."));
    EXPECT_EQ(IncludeMode, include);
    EXPECT_EQ(Strings(PatternList.begin(), PatternList.end()), patterns);
  }
  // A pattern is the argument text itself behind its first "=", which became its end.
  ASSERT_TRUE(Parse({L"-v", L"-x=a=b"}));
  EXPECT_EQ(PatternList[0], args_->argv()[2] + 3);
  EXPECT_EQ(std::wstring(args_->argv()[2]), L"-x");
}

TEST_F(CommandLineTest, DirectoryArguments) {
  TempDir first, second;
  std::wstring source = WidePath(first.path()), destination = WidePath(second.path());
  ASSERT_TRUE(Parse({source, L"-v", destination}));
  EXPECT_EQ(std::wstring(SourcePath), source);
  EXPECT_EQ(std::wstring(DestinationPath), destination);
  // A third directory is refused before it is looked at.
  EXPECT_FALSE(Parse({source, destination, L"no-such-directory"}));
  EXPECT_EQ(err_, Error("too many directories specified: `no-such-directory'"));
  EXPECT_FALSE(Parse({L"no-such-directory"}));
  EXPECT_EQ(err_, Error("invalid source directory: `no-such-directory'"));
  WriteTextFile(second.path() / "file", "x");
  std::wstring file = WidePath(second.path() / "file");
  EXPECT_FALSE(Parse({source, file}));
  EXPECT_EQ(err_, Error("invalid destination directory: `" + Narrow(file) + "'"));
  // The longest accepted, MAX_PATH - 1 characters, names an existing directory through "."
  // components, so that the directory test decides it; one more is too long.
  std::wstring longest = source;
  while (longest.size() + 2 <= MAX_PATH - 1) longest += PATH_SEPARATOR_TEXT L".";
  longest.resize(MAX_PATH - 1, PATH_SEPARATOR_TEXT[0]);
  ASSERT_TRUE(Parse({longest})) << err_;
  EXPECT_EQ(std::wstring(SourcePath), longest);
  std::wstring tooLong = longest + L".";
  EXPECT_FALSE(Parse({longest, tooLong}));
  EXPECT_EQ(err_, Error("destination directory is too long: `" + Narrow(tooLong) + "'"));
  EXPECT_EQ(DestinationPath[0], 0);
  EXPECT_FALSE(Parse({std::wstring(MAX_PATH, L'm')}));
  EXPECT_EQ(err_, Error("source directory is too long: `" + std::string(MAX_PATH, 'm') + "'"));
}

// The decimal conversion of number option values.
TEST(StrToIntW, SignAndDigitsUpToTheFirstOtherCharacterNoDigitsZero) {
  // clang-format off
  const std::pair<const wchar_t*, int> cases[] = {
      {L"0", 0}, {L"42", 42}, {L"-42", -42}, {L"007", 7}, {L"12abc", 12}, {L"-3.9", -3}, {L"", 0},
      {L"abc", 0}, {L"-", 0}, {L"+", 0}, {L"--1", 0}, {L"-+1", 0}, {L"x1", 0},
      {L"2147483647", INT_MAX}, {L"-2147483648", INT_MIN}};
  // clang-format on
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToIntW(text), value) << Narrow(text);
  if (!kWindowsBuild) {  // native saturation; beyond 32 bits Windows gives the system's own
    EXPECT_EQ(StrToIntW(L"4294967297"), INT_MAX);
    EXPECT_EQ(StrToIntW(L"-99999999999999999999999"), INT_MIN);
  }
}

TEST(StrToIntW, SkipsLeadingWhiteSpaceAndTakesPlusSign) {
  if (RunningUnderWine() && (StrToIntW(L" 1") == 0 || StrToIntW(L"+1") == 0)) {
    GTEST_SKIP() << "Wine's StrToIntW gives 0 for \" 1\" and \"+1\"";
  }
  EXPECT_EQ(StrToIntW(L"+1"), 1);
  EXPECT_EQ(StrToIntW(L" \t-25"), -25);
  EXPECT_EQ(StrToIntW(L" +8x"), 8);
}

}  // namespace
