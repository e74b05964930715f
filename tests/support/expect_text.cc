#include <gtest/gtest.h>

#include <algorithm>

#include "tandrel_test.h"

const char kSeparator[] = PATH_SEPARATOR_ASCII;

std::string Console(const std::string& text) {
  if (!CONSOLE_CRLF)
    return text;
  std::string expanded;
  for (char c : text) {
    if (c == '\n')
      expanded += '\r';
    expanded += c;
  }
  return expanded;
}

std::string Utf16(const std::string& utf8Text) {
  std::string bytes;
  for (size_t i = 0; i < utf8Text.size();) {
    unsigned char c = static_cast<unsigned char>(utf8Text[i]);
    uint32_t code;
    int length;
    if (c < 0x80)
      code = c, length = 1;
    else if (c < 0xE0)
      code = c & 0x1F, length = 2;
    else if (c < 0xF0)
      code = c & 0x0F, length = 3;
    else
      code = c & 0x07, length = 4;
    for (int k = 1; k < length; k++) code = (code << 6) | (utf8Text[i + k] & 0x3F);
    i += length;
    auto unit = [&](uint32_t u) {
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    };
    if (code > 0xFFFF) {
      code -= 0x10000;
      unit(0xD800 + (code >> 10));
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

std::string Under(const std::string& root, const std::string& relative) {
  if (relative == ".")
    return root;
  std::string text = root + kSeparator;
  for (char c : relative) text += c == '/' ? kSeparator[0] : c;
  return text;
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
    end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

void ExpectReports(const std::string& err, const std::vector<std::string>& messages,
                   const std::string& nativeText) {
  size_t start = 0;
  for (const auto& message : messages) {
    size_t end = err.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "no report of " << message << " in " << err;
    std::string line = err.substr(start, end + 1 - start);
    ASSERT_EQ(line.rfind(message + ": ", 0), 0u) << err;
    EXPECT_GT(line.size(), message.size() + 3) << "no system text: " << err;
    if (!kWindowsBuild) {
      EXPECT_EQ(line, message + ": " + nativeText);
    }
    start = end + 1;
  }
  EXPECT_EQ(start, err.size()) << err;
}
