// A longest common subsequence of lines: the files a run writes are a few
// hundred lines at most, so the quadratic table costs nothing worth a
// cleverer method.
#include "zarnctl_diff.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

constexpr std::size_t kContext = 3;

// The lines with their newlines; the last one may lack it.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

struct Edit {
  char mark;  // ' ', '-' or '+'
  std::string_view line;
};

std::vector<Edit> edits_between(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
  // common[i][j]: the longest common subsequence of a[i..] and b[j..].
  std::vector<std::vector<std::size_t>> common(a.size() + 1, std::vector<std::size_t>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::vector<Edit> edits;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      edits.push_back({' ', a[i++]});
      ++j;
    } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
      // Removals before additions, as diff shows a changed line.
      edits.push_back({'-', a[i++]});
    } else {
      edits.push_back({'+', b[j++]});
    }
  }
  return edits;
}

// "start,count" of one side of a hunk header; a count of one is left out,
// and an empty side names the line before it.
std::string range(std::size_t first, std::size_t count) {
  const std::size_t start = count == 0 ? first : first + 1;
  return count == 1 ? std::to_string(start) : std::to_string(start) + "," + std::to_string(count);
}

void append_line(std::string& out, char mark, std::string_view line) {
  out += mark;
  out += line;
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

void append_hunk(std::string& out, const std::vector<Edit>& edits, std::size_t begin, std::size_t end) {
  std::size_t old_first = 0, new_first = 0;
  for (std::size_t k = 0; k < begin; ++k) {
    if (edits[k].mark != '+') ++old_first;
    if (edits[k].mark != '-') ++new_first;
  }
  std::size_t old_count = 0, new_count = 0;
  for (std::size_t k = begin; k < end; ++k) {
    if (edits[k].mark != '+') ++old_count;
    if (edits[k].mark != '-') ++new_count;
  }
  out += "@@ -" + range(old_first, old_count) + " +" + range(new_first, new_count) + " @@\n";
  for (std::size_t k = begin; k < end; ++k) append_line(out, edits[k].mark, edits[k].line);
}

}  // namespace

std::string unified_diff(std::string_view before, std::string_view after, const std::string& from_label,
                         const std::string& to_label) {
  if (before == after) return "";
  const std::vector<Edit> edits = edits_between(lines_of(before), lines_of(after));
  std::string out = "--- " + from_label + "\n+++ " + to_label + "\n";
  std::size_t k = 0;
  while (k < edits.size()) {
    if (edits[k].mark == ' ') {
      ++k;
      continue;
    }
    // A hunk: the changes from here on with their context, joined while
    // the unchanged stretch between two changes is short enough to show.
    const std::size_t begin = k > kContext ? k - kContext : 0;
    std::size_t last_change = k;
    for (std::size_t next = k + 1; next < edits.size() && next <= last_change + 2 * kContext + 1; ++next) {
      if (edits[next].mark != ' ') last_change = next;
    }
    const std::size_t end = std::min(edits.size(), last_change + kContext + 1);
    append_hunk(out, edits, begin, end);
    k = end;
  }
  return out;
}
