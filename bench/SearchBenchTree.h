// The tree the search benchmarks walk: 200,000 files in 11,020 folders, a fifth of them *.bak or *.TMP,
// generated once under a base folder and reused while its ".complete" marker is there. Also the core search
// on it, timed, as the reference the other search benchmarks compare against.
#pragma once

#include <cstddef>
#include <string>

namespace vask::bench {

// The tree's root ("<base>/vask-bench-tree/"), generated first when missing or incomplete. base defaults to
// $TMPDIR or /tmp.
std::string PrepareSearchTree(const std::string& base);

// Seconds the core search for "*.bak;*.tmp" with its writability tests takes on root; found gets the count.
// readAhead false: the walker reads its folders on the calling thread.
double TimeCoreSearch(const std::string& root, std::size_t& found, bool readAhead = true);

}  // namespace vask::bench
