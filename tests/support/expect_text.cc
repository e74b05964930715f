#include <algorithm>

#include "tandrel_test.h"

const char kSeparator[] = PATH_SEPARATOR_ASCII;

std::string Console(const std::string& text) {
  std::string expanded;
  for (char c : text) expanded += kConsoleCrlf && c == '\n' ? "\r\n" : std::string(1, c);
  return expanded;
}

std::string LogLine(const std::string& label, const std::string& text) {
  return Console(label + std::string(label.size() < 12 ? 12 - label.size() : 0, ' ') + text + "\n");
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
    size_t space = row.rfind(' ');  // npos + 1 is 0: a row without a label is all path
    std::string path = Under(root, row.substr(space + 1));
    text += space == std::string::npos ? Console(path + "\n") : LogLine(row.substr(0, space), path);
  }
  return text;
}

std::vector<std::string> Lines(const std::string& text, bool sorted) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end) {
    end = std::min(text.find('\n', start), text.size() - 1) + 1;
    lines.push_back(text.substr(start, end - start));
  }
  if (sorted)
    std::sort(lines.begin(), lines.end());
  return lines;
}

void ExpectReports(const RunResult& r, const std::vector<std::string>& messages,
                   const std::string& nativeText, const std::string& root) {
  EXPECT_EQ(r.exitCode, messages.empty() ? 0 : 1);
  std::vector<std::string> lines = Lines(r.err);
  ASSERT_EQ(lines.size(), messages.size()) << r.err;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string message = messages[i];
    const size_t path = message.rfind(' ') + 1;
    if (!root.empty())
      message = message.substr(0, path) + Under(root, message.substr(path));
    if (kWindowsBuild)  // any system text
      EXPECT_TRUE(lines[i].starts_with(message + ": ") && lines[i].size() > message.size() + 3)
          << "no report with a system text of " + message + " in:\n" + r.err;
    else
      EXPECT_EQ(lines[i], message + ": " + nativeText);
  }
}
