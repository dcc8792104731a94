// The straightforward walk the folder walker must agree with: one folder at a time on one thread, every
// file-system call made on its own, recursion kept on an explicit stack. It applies the same rules (order,
// folders passed over, the test of each file, identities) and exists only so that tests and benchmarks can
// compare the fast walker's results with it, entry by entry.
#pragma once

#include <string>

#include "platform/FileSystem.h"
#include "search/FolderWalker.h"

namespace vask::testing {

// Appends to state.results what a search of root with state's patterns and age condition finds
// (allFilesEverywhere: the temporary folder's rule). No status line, no abort.
void ReferenceWalk(FileSystem& fileSystem, const WalkerSettings& settings, SearchState& state,
                   const std::string& root, bool allFilesEverywhere = false);

}  // namespace vask::testing
