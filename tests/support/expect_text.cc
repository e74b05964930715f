#include <algorithm>

#include "tandrel_test.h"

const char kSeparator[] = PATH_SEPARATOR_ASCII;

std::string Console(const std::string& text) {
  std::string expanded;
  for (char c : text) expanded += CONSOLE_CRLF && c == '\n' ? "\r\n" : std::string(1, c);
  return expanded;
}

// Decoded here rather than by the program's own conversion, so that a fault there shows.
std::string Utf16(const std::string& utf8Text) {
  std::string bytes;
  auto unit = [&](uint32_t u) {
    bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  };
  for (size_t i = 0; i < utf8Text.size();) {
    unsigned char c = static_cast<unsigned char>(utf8Text[i++]);
    int more = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t code = c & (0x7F >> more);
    for (; more > 0; more--) code = (code << 6) | (utf8Text[i++] & 0x3F);
    if (code > 0xFFFF) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  return bytes;
}

std::string LogLine(const std::string& label, const std::string& text) {
  std::string padded = label;
  padded.resize(std::max<size_t>(12, label.size()), ' ');
  return Console(padded + text + "\n");
}

std::string Header(const std::string& source, const std::string& destination) {
  return Console("\nTandreling directory: " + source + "\nto directory: " + destination + "\n");
}

std::string Under(const std::string& root, std::string relative) {
  std::replace(relative.begin(), relative.end(), '/', kSeparator[0]);
  return relative == "." ? root : root + kSeparator + relative;
}

std::string LogLines(const std::string& root, const std::vector<std::string>& rows) {
  std::string text;
  for (const auto& row : rows) {
    size_t space = row.rfind(' ');
    if (space == std::string::npos)
      text += Console(Under(root, row) + "\n");
    else
      text += LogLine(row.substr(0, space), Under(root, row.substr(space + 1)));
  }
  return text;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end) {
    end = std::min(text.find('\n', start), text.size() - 1) + 1;
    lines.push_back(text.substr(start, end - start));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

void ExpectReports(const std::string& err, const std::vector<std::string>& messages,
                   const std::string& nativeText) {
  size_t start = 0;
  for (const auto& message : messages) {
    size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
    std::string line = err.substr(start, end - start);
    start = end;
    EXPECT_EQ(line.rfind(message + ": ", 0), 0u) << "no report of " << message << " in:\n" << err;
    EXPECT_GT(line.size(), message.size() + 3) << "no system text: " << err;
    if (!kWindowsBuild) {
      EXPECT_EQ(line, message + ": " + nativeText);
    }
  }
  EXPECT_EQ(start, err.size()) << err;
}
