// The reading rules of text files, written as plainly as possible, for the
// fuzz targets to compare the real reader with: a line is at most 255
// characters up to CR, LF or the end; the rest of the line is skipped up to
// and including its end (CR LF is one end), stopping before a Ctrl-Z; the
// file ends at its end or before a Ctrl-Z where a line would start.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> ReferenceLines(const std::string& d) {
  std::vector<std::string> lines;
  size_t p = 0;
  for (;;) {
    std::string line;
    while (p < d.size() && line.size() < 255 && d[p] != '\r' && d[p] != '\n') line += d[p++];
    while (p < d.size() && d[p] != '\r' && d[p] != '\n' && d[p] != 26) ++p;
    if (p < d.size() && d[p] != 26) {
      char c = d[p++];
      if (c == '\r' && p < d.size() && d[p] == '\n') ++p;
    }
    lines.push_back(line);
    if (p >= d.size() || d[p] == 26) break;
  }
  return lines;
}
