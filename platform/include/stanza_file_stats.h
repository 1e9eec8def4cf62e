// How often this run has read and parsed each stanza file.  A file is
// parsed once however often it is opened, and again only when its contents
// changed on disk; tests and benchmarks check that here.
#pragma once

#include <string>

struct StanzaFileStats {
  unsigned reads = 0;   // whole reads of the file, to parse it or to compare it with what was parsed
  unsigned parses = 0;  // reads whose bytes had to be parsed
};

// Counted per path as given to stzFileOpen, from the start of the process.
StanzaFileStats stzFileStats(const std::string& path);
