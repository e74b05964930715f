// The command-line parse: option names, pattern options, directory arguments, the error
// messages, and the number conversion the parse relies on.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "capture.h"
#include "cli/command_line.h"
#include "cli/options.h"
#include "program_state.h"
#include "scan/filter.h"
#include "sync/paths.h"

namespace {

class CommandLineTest : public ProgramStateTest {
 protected:
  // Parses the arguments, keeping them (the patterns point into them) and the error output.
  bool Parse(std::initializer_list<std::wstring> arguments) {
    args_ = std::make_unique<ArgumentVector>(arguments);
    CapturedConsole console;
    bool accepted = ParseCommandLine(args_->argc(), args_->argv());
    err_ = console.err();
    out_ = console.out();
    return accepted;
  }
  std::wstring Pattern(size_t i) const { return PatternList[i]; }

  std::unique_ptr<ArgumentVector> args_;
  std::string err_, out_;
};

std::string UnknownOption(const std::string& argument) {
  return Console("Error: unknown option: `" + argument + "'.\n");
}

TEST_F(CommandLineTest, OptionNamesRespectCase) {
  EXPECT_FALSE(Parse({L"-V"}));
  EXPECT_EQ(err_, UnknownOption("-V"));
  EXPECT_FALSE(Parse({L"--Virtual"}));
  EXPECT_EQ(err_, UnknownOption("--Virtual"));
  EXPECT_FALSE(Parse({L"-X=*.tmp"}));
  EXPECT_EQ(err_, UnknownOption("-X"));
  EXPECT_FALSE(Parse({L"--LOG-LIST=y"}));
  EXPECT_EQ(err_, UnknownOption("--LOG-LIST"));
  EXPECT_EQ(OptionTable[kLogList].Value, 0);
}

TEST_F(CommandLineTest, NamesAreComparedWhole) {
  // "lc" and "lcc" are two options.
  ASSERT_TRUE(Parse({L"-lc=n"}));
  EXPECT_EQ(OptionTable[kLogChanges].Value, 0);
  EXPECT_EQ(OptionTable[kLogCompareContents].Value, 1);
  ResetProgramState();
  ASSERT_TRUE(Parse({L"-lcc=n"}));
  EXPECT_EQ(OptionTable[kLogChanges].Value, 1);
  EXPECT_EQ(OptionTable[kLogCompareContents].Value, 0);
  ResetProgramState();
  // "time-shift" and "time-shift-fat" too.
  ASSERT_TRUE(Parse({L"--time-shift=n"}));
  EXPECT_EQ(OptionTable[kTimeShift].Value, 0);
  EXPECT_EQ(OptionTable[kTimeShiftFat].Value, 1);
  ASSERT_TRUE(Parse({L"--time-shift=60"}));
  EXPECT_EQ(OptionTable[kTimeShift].Value, 60);
  EXPECT_EQ(OptionTable[kTimeShiftFat].Value, 1);
  ASSERT_TRUE(Parse({L"--time-shift-fat=n"}));
  EXPECT_EQ(OptionTable[kTimeShift].Value, 60);
  EXPECT_EQ(OptionTable[kTimeShiftFat].Value, 0);
  ResetProgramState();
  // No abbreviation and no longer spelling.
  EXPECT_FALSE(Parse({L"--time"}));
  EXPECT_EQ(err_, UnknownOption("--time"));
  EXPECT_FALSE(Parse({L"--virtuals"}));
  EXPECT_EQ(err_, UnknownOption("--virtuals"));
  EXPECT_FALSE(Parse({L"-l"}));
  EXPECT_EQ(err_, UnknownOption("-l"));
  EXPECT_FALSE(Parse({L"-lccc=n"}));
  EXPECT_EQ(err_, UnknownOption("-lccc"));
  EXPECT_EQ(OptionTable[kLogCompareContents].Value, 1);
}

TEST_F(CommandLineTest, LongNameInShortFormAndShortNameInLongFormAreUnknown) {
  EXPECT_FALSE(Parse({L"-virtual"}));
  EXPECT_EQ(err_, UnknownOption("-virtual"));
  EXPECT_FALSE(Parse({L"--v"}));
  EXPECT_EQ(err_, UnknownOption("--v"));
  EXPECT_FALSE(Parse({L"--i=foo"}));
  EXPECT_EQ(err_, UnknownOption("--i"));
  EXPECT_FALSE(Parse({L"-include=foo"}));
  EXPECT_EQ(err_, UnknownOption("-include"));
  EXPECT_FALSE(Parse({L"--x"}));
  EXPECT_EQ(err_, UnknownOption("--x"));
  EXPECT_FALSE(Parse({L"-exclude=*"}));
  EXPECT_EQ(err_, UnknownOption("-exclude"));
  EXPECT_TRUE(PatternList.empty());
  EXPECT_EQ(OptionTable[kVirtual].Value, 0);
}

TEST_F(CommandLineTest, BareDashesAreUnknownAndEmptyArgumentsAreSkipped) {
  EXPECT_FALSE(Parse({L"-"}));
  EXPECT_EQ(err_, UnknownOption("-"));
  EXPECT_FALSE(Parse({L"--"}));
  EXPECT_EQ(err_, UnknownOption("--"));
  EXPECT_FALSE(Parse({L"--=y"}));
  EXPECT_EQ(err_, UnknownOption("--"));
  EXPECT_TRUE(Parse({L"", L"-v", L""}));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(OptionTable[kVirtual].Value, 1);
}

TEST_F(CommandLineTest, TheFirstErrorStopsTheParse) {
  EXPECT_FALSE(Parse({L"-nd", L"-V", L"-v", L"-W"}));
  EXPECT_EQ(err_, UnknownOption("-V"));
  EXPECT_EQ(out_, "");
  EXPECT_EQ(OptionTable[kNoDelete].Value, 1);
  EXPECT_EQ(OptionTable[kVirtual].Value, 0);
}

TEST_F(CommandLineTest, ErrorMessagesFollowLogOemAsItStandsThen) {
  EXPECT_FALSE(Parse({L"-lo=n", L"-Q"}));
  EXPECT_EQ(err_, Utf16(Console("Error: unknown option: `-Q'.\n")));
}

TEST_F(CommandLineTest, PatternOptionsAppendInOrder) {
  ASSERT_TRUE(Parse({L"-x=*.tmp", L"--exclude=*.bak", L"-x=a=b"}));
  EXPECT_FALSE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 3u);
  EXPECT_EQ(Pattern(0), L"*.tmp");
  EXPECT_EQ(Pattern(1), L"*.bak");
  EXPECT_EQ(Pattern(2), L"a=b");
  // The patterns are the argument texts themselves, behind the first "=".
  EXPECT_EQ(PatternList[0], args_->argv()[1] + 3);
  EXPECT_EQ((*args_)[3], L"-x");
  ResetProgramState();

  ASSERT_TRUE(Parse({L"--include=*.txt", L"-i=*.doc"}));
  EXPECT_TRUE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 2u);
  EXPECT_EQ(Pattern(0), L"*.txt");
  EXPECT_EQ(Pattern(1), L"*.doc");
}

TEST_F(CommandLineTest, PatternOptionWithoutValueSetsTheKindOnly) {
  ASSERT_TRUE(Parse({L"-x", L"-i=*.txt"}));
  EXPECT_TRUE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 1u);
  EXPECT_EQ(Pattern(0), L"*.txt");
  ResetProgramState();

  ASSERT_TRUE(Parse({L"-i", L"-x=*.tmp"}));
  EXPECT_FALSE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 1u);
  EXPECT_EQ(Pattern(0), L"*.tmp");
  ResetProgramState();

  ASSERT_TRUE(Parse({L"--include"}));
  EXPECT_TRUE(IncludeMode);
  EXPECT_TRUE(PatternList.empty());
  ResetProgramState();

  ASSERT_TRUE(Parse({L"--exclude"}));
  EXPECT_FALSE(IncludeMode);
  EXPECT_TRUE(PatternList.empty());
  ResetProgramState();

  // An empty value is a pattern of its own.
  ASSERT_TRUE(Parse({L"--exclude="}));
  EXPECT_FALSE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 1u);
  EXPECT_EQ(Pattern(0), L"");
  ResetProgramState();

  ASSERT_TRUE(Parse({L"-i="}));
  EXPECT_TRUE(IncludeMode);
  ASSERT_EQ(PatternList.size(), 1u);
  EXPECT_EQ(Pattern(0), L"");
}

TEST_F(CommandLineTest, PatternsOfBothKindsAreRefused) {
  EXPECT_FALSE(Parse({L"-i=*.txt", L"-x=*.tmp"}));
  EXPECT_EQ(err_,
            Console("Error: impossible to use both --exclude and --include options: `-x'.\n"));
  ASSERT_EQ(PatternList.size(), 1u);
  EXPECT_TRUE(IncludeMode);
  ResetProgramState();

  EXPECT_FALSE(Parse({L"--exclude=*.tmp", L"--include=*.txt"}));
  EXPECT_EQ(err_, Console("Error: impossible to use both --exclude and --include options: "
                          "`--include'.\n"));
  ResetProgramState();

  // Without a value the other kind still clashes with patterns already given.
  EXPECT_FALSE(Parse({L"-x=*.tmp", L"-i"}));
  EXPECT_EQ(err_,
            Console("Error: impossible to use both --exclude and --include options: `-i'.\n"));
  EXPECT_FALSE(IncludeMode);
  ResetProgramState();

  // The same kind again is no clash.
  EXPECT_TRUE(Parse({L"-x=*.tmp", L"-x", L"--exclude=*.o"}));
  EXPECT_EQ(PatternList.size(), 2u);
}

class DirectoryArgumentTest : public CommandLineTest {
 protected:
  TempDir first_, second_;
};

TEST_F(DirectoryArgumentTest, SourceThenDestinationCopiedAsGiven) {
  std::wstring source = WidePath(first_.path()), destination = WidePath(second_.path());
  ASSERT_TRUE(Parse({source, L"-v", destination}));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(std::wstring(SourcePath), source);
  EXPECT_EQ(std::wstring(DestinationPath), destination);
  ResetProgramState();
  // The same directory twice, and with a trailing separator, is accepted as given.
  std::wstring trailing = source + PATH_SEPARATOR_TEXT;
  ASSERT_TRUE(Parse({trailing, source}));
  EXPECT_EQ(std::wstring(SourcePath), trailing);
  EXPECT_EQ(std::wstring(DestinationPath), source);
}

TEST_F(DirectoryArgumentTest, AThirdDirectoryIsTooMany) {
  std::wstring source = WidePath(first_.path()), destination = WidePath(second_.path());
  EXPECT_FALSE(Parse({source, destination, L"no-such-directory"}));
  EXPECT_EQ(err_, Console("Error: too many directories specified: `no-such-directory'\n"));
  EXPECT_FALSE(Parse({source, destination, source}));
  EXPECT_EQ(err_, Console("Error: too many directories specified: `" + Narrow(source) + "'\n"));
}

TEST_F(DirectoryArgumentTest, MissingDirectoryIsInvalid) {
  EXPECT_FALSE(Parse({L"no-such-directory"}));
  EXPECT_EQ(err_, Console("Error: invalid source directory: `no-such-directory'\n"));
  EXPECT_EQ(SourcePath[0], 0);
  std::wstring source = WidePath(first_.path());
  WriteTextFile(second_.path() / "file", "x");
  std::wstring file = WidePath(second_.path() / "file");
  EXPECT_FALSE(Parse({source, file}));
  EXPECT_EQ(err_, Console("Error: invalid destination directory: `" + Narrow(file) + "'\n"));
  EXPECT_EQ(DestinationPath[0], 0);
}

TEST_F(DirectoryArgumentTest, LengthLimitIsOneBelowMaxPath) {
  // Longest accepted: MAX_PATH - 1 characters, naming an existing directory through "."
  // components, so the length test passes and the directory test decides.
  std::wstring base = WidePath(first_.path());
  std::wstring longest = base;
  while (longest.size() + 2 <= MAX_PATH - 1) longest += PATH_SEPARATOR_TEXT L".";
  if (longest.size() < MAX_PATH - 1)
    longest += PATH_SEPARATOR_TEXT;
  ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH - 1));
  ASSERT_TRUE(Parse({longest})) << err_;
  EXPECT_EQ(std::wstring(SourcePath), longest);
  ResetProgramState();

  std::wstring missing(MAX_PATH - 1, L'm');
  EXPECT_FALSE(Parse({missing}));
  EXPECT_EQ(err_, Console("Error: invalid source directory: `" + Narrow(missing) + "'\n"));

  std::wstring tooLong(MAX_PATH, L'm');
  EXPECT_FALSE(Parse({tooLong}));
  EXPECT_EQ(err_, Console("Error: source directory is too long: `" + Narrow(tooLong) + "'\n"));

  // One character more than the longest existing one is refused for its length alone.
  ASSERT_TRUE(Parse({base}));
  std::wstring tooLongExisting = longest + (longest.back() == L'.' ? PATH_SEPARATOR_TEXT : L".");
  ASSERT_EQ(tooLongExisting.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_FALSE(Parse({tooLongExisting}));
  EXPECT_EQ(err_, Console("Error: destination directory is too long: `" + Narrow(tooLongExisting) +
                          "'\n"));
  EXPECT_EQ(DestinationPath[0], 0);
}

TEST(HelpRequest, AnyLetterCaseWholeArgumentFromArgumentOneOn) {
  for (const wchar_t* spelling : {L"-?", L"-h", L"-H", L"--help", L"--HELP", L"--Help", L"/?"}) {
    ArgumentVector args({L"src", L"-V", spelling, L"x"});
    EXPECT_TRUE(HasHelpRequest(args.argc(), args.argv())) << Narrow(spelling);
  }
  for (const wchar_t* other : {L"-h=1", L"--help=y", L"-help", L"--h", L"/h", L"?", L"-hh"}) {
    ArgumentVector args({other});
    EXPECT_FALSE(HasHelpRequest(args.argc(), args.argv())) << Narrow(other);
  }
  // Argument 0, the program's own name, is never examined.
  wchar_t name[] = L"-h";
  wchar_t* argv[] = {name, nullptr};
  EXPECT_FALSE(HasHelpRequest(1, argv));
  EXPECT_FALSE(HasHelpRequest(0, argv));
}

// The decimal conversion of number option values.
bool WineSkipsWhiteSpaceAndPlusWrongly() {
  return RunningUnderWine() && (StrToIntW(L" 1") == 0 || StrToIntW(L"+1") == 0);
}

TEST(StrToIntW, ConvertsSignAndDigitsUpToTheFirstOtherCharacter) {
  EXPECT_EQ(StrToIntW(L"0"), 0);
  EXPECT_EQ(StrToIntW(L"42"), 42);
  EXPECT_EQ(StrToIntW(L"-42"), -42);
  EXPECT_EQ(StrToIntW(L"007"), 7);
  EXPECT_EQ(StrToIntW(L"12abc"), 12);
  EXPECT_EQ(StrToIntW(L"12 3"), 12);
  EXPECT_EQ(StrToIntW(L"-3.9"), -3);
  EXPECT_EQ(StrToIntW(L"3600s"), 3600);
  EXPECT_EQ(StrToIntW(L"2147483647"), INT_MAX);
  EXPECT_EQ(StrToIntW(L"-2147483648"), INT_MIN);
}

TEST(StrToIntW, NoDigitsGiveZero) {
  for (const wchar_t* text : {L"", L"abc", L"n", L"y", L"yes", L"-", L"+", L"--1", L"-+1", L"x1"}) {
    EXPECT_EQ(StrToIntW(text), 0) << Narrow(text);
  }
}

TEST(StrToIntW, SkipsLeadingWhiteSpaceAndTakesPlusSign) {
  if (WineSkipsWhiteSpaceAndPlusWrongly()) {
    GTEST_SKIP() << "Wine's StrToIntW gives 0 for \" 1\" and \"+1\"";
  }
  EXPECT_EQ(StrToIntW(L" 1"), 1);
  EXPECT_EQ(StrToIntW(L"+1"), 1);
  EXPECT_EQ(StrToIntW(L"  -25"), -25);
  EXPECT_EQ(StrToIntW(L"\t8"), 8);
  EXPECT_EQ(StrToIntW(L" +8x"), 8);
}

TEST(StrToIntW, SaturatesBeyondThirtyTwoBits) {
  if (kWindowsBuild)
    GTEST_SKIP() << "beyond 32 bits the result is the system's own";
  EXPECT_EQ(StrToIntW(L"2147483648"), INT_MAX);
  EXPECT_EQ(StrToIntW(L"99999999999999999999999"), INT_MAX);
  EXPECT_EQ(StrToIntW(L"-2147483649"), INT_MIN);
  EXPECT_EQ(StrToIntW(L"-99999999999999999999999"), INT_MIN);
  EXPECT_EQ(StrToIntW(L"4294967297"), INT_MAX);
}

}  // namespace
