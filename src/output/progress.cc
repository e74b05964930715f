#include "output/progress.h"

#include <vector>

#include "output/console.h"
#include "settings/options.h"

namespace {

bool enabled = false;           // the option is set and the standard error is a terminal
bool outputOnTerminal = false;  // the standard output is a terminal too: the same screen
int64_t startTime = 0, lastTime = 0;
const int64_t kSecond = 1000000000;
int lineColumns = 0;  // columns of the line on the screen; 0 when none is

// Columns a character takes on a terminal: two in the wide East Asian and emoji ranges (a UTF-16
// surrogate pair counts one for each half).
int CharColumns(wchar_t c) {
  unsigned long u = static_cast<unsigned long>(c);
  bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
              (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
              (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
              (u >= 0xFFE0 && u <= 0xFFE6) || u >= 0x1F300;
  return wide ? 2 : 1;
}

int TextColumns(const std::wstring& text) {
  int columns = 0;
  for (wchar_t c : text) columns += CharColumns(c);
  return columns;
}

// A size in bytes, or with one decimal (cut, not rounded) in the largest binary unit that keeps
// it at 1 or more.
std::wstring Amount(uint64_t bytes) {
  if (bytes < 1024)
    return std::to_wstring(bytes) + L" B";
  static const wchar_t* const kUnits[] = {L"KiB", L"MiB", L"GiB", L"TiB", L"PiB", L"EiB"};
  int unit = 0;
  uint64_t scale = 1024;
  for (; unit < 5 && bytes / scale >= 1024; unit++) scale *= 1024;
  return std::to_wstring(bytes / scale) + L"." + std::to_wstring(bytes % scale * 10 / scale) +
         L" " + kUnits[unit];
}

// The characters of a name one by one, a surrogate pair as one, control characters as "?" (a
// line feed in a name must not break the line).
std::vector<std::wstring> Characters(const wchar_t* text) {
  std::vector<std::wstring> characters;
  for (; *text != 0; text++) {
    std::wstring c(1, (*text < 0x20 || *text == 0x7F) ? L'?' : *text);
    if (*text >= 0xD800 && *text <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF)
      c += *++text;
    characters.push_back(c);
  }
  return characters;
}

// The whole text when it fits the columns, else its start and end with "..." between.
std::wstring ShortenInMiddle(const wchar_t* text, int columns) {
  std::vector<std::wstring> characters = Characters(text);
  std::wstring whole;
  for (const std::wstring& c : characters) whole += c;
  if (TextColumns(whole) <= columns)
    return whole;
  // Characters from each end while they fit their half, columns counted as they are taken.
  int headColumns = (columns - 3) / 2, tailColumns = columns - 3 - headColumns;
  std::wstring head;
  for (size_t i = 0; i < characters.size(); i++) {
    headColumns -= TextColumns(characters[i]);
    if (headColumns < 0)
      break;
    head += characters[i];
  }
  size_t tailStart = characters.size();
  for (; tailStart > 0; tailStart--) {
    tailColumns -= TextColumns(characters[tailStart - 1]);
    if (tailColumns < 0)
      break;
  }
  head += L"...";
  for (size_t i = tailStart; i < characters.size(); i++) head += characters[i];
  return head;
}

// Writes the text as it is (no line ends added), in the console code page, never counted as a
// report.
void WriteToTerminal(const std::wstring& text) {
  std::string bytes = ToConsoleCodePage(text.data(), text.size());
  WriteConsoleBytes(ErrorStream, bytes.data(), bytes.size());
}

}  // namespace

void StartProgress() {
  enabled = OptionSet(kProgress) && IsTerminal(kErrorStream);
  outputOnTerminal = enabled && IsTerminal(kOutputStream);
  startTime = SteadyNanoseconds();
  lastTime = startTime - kSecond;  // the first line as soon as the walk begins
}

bool ProgressDue() {
  return enabled && SteadyNanoseconds() - lastTime >= kSecond / 10;
}

std::wstring FormatProgressLine(const ProgressCounts& counts, double seconds,
                                const wchar_t* directory, int columns) {
  uint64_t rate =
      seconds > 0 ? static_cast<uint64_t>(static_cast<double>(counts.BytesCopied) / seconds) : 0;
  std::wstring line = std::to_wstring(counts.SourceEntries) + L"/" +
                      std::to_wstring(counts.DestinationEntries) + L" entries  +" +
                      std::to_wstring(counts.Added) + L" ~" + std::to_wstring(counts.Updated) +
                      L" -" + std::to_wstring(counts.Deleted) + L"  " + Amount(counts.BytesCopied) +
                      L"  " + Amount(rate) + L"/s  ";
  // One column stays free: a line as wide as the terminal would wrap on some of them.
  int room = columns - 1 - TextColumns(line);
  if (room >= 8)
    return line + ShortenInMiddle(directory, room);
  // Too narrow for the directory: the counts alone, cut to fit.
  size_t fit = columns > 1 ? static_cast<size_t>(columns - 1) : 0;
  return fit < line.size() ? line.substr(0, fit) : line;
}

void WriteProgressLine(const ProgressCounts& counts, const wchar_t* directory) {
  lastTime = SteadyNanoseconds();
  int columns = TerminalColumns(kErrorStream);
  std::wstring line =
      FormatProgressLine(counts, static_cast<double>(lastTime - startTime) / kSecond, directory,
                         columns != 0 ? columns : 80);
  int lineWidth = TextColumns(line);
  // Over the previous line: what is left of it beyond the new one is overwritten with blanks.
  std::wstring text = L"\r" + line;
  if (lineWidth < lineColumns)
    text.append(static_cast<size_t>(lineColumns - lineWidth), L' ');
  WriteToTerminal(text);
  lineColumns = lineWidth;
}

void ClearProgressLine(ConsoleStream stream) {
  if (lineColumns == 0 || (stream == kOutputStream && !outputOnTerminal))
    return;
  WriteToTerminal(L"\r" + std::wstring(static_cast<size_t>(lineColumns), L' ') + L"\r");
  lineColumns = 0;
}
