// Names of a folder looked up without regard to case, answered from a listing kept per
// folder and shared by all threads. The system reports every entry created, removed or
// renamed in a watched folder, and each lookup applies those reports first; so a file
// added, removed or renamed is seen on the very next lookup, and a folder costs one stat
// instead of a full scan, however busy it is. Folders that cannot be watched (network
// file systems, where another machine's changes go unreported) are read on every lookup.
#pragma once

#include <string>

namespace tessaro::platform {

struct FolderLookup {
    bool listed = false;  // the folder could be read; otherwise nothing below is known
    bool exact = false;   // an entry has exactly this name
    std::string match;    // else the first entry (directory order) equal ignoring case; empty when none
};

// folder "" is the current directory.
FolderLookup LookUpInFolder(const std::string& folder, const std::string& name);

// Forgets every listing (tests; never needed for correctness).
void ClearFolderListings();

}  // namespace tessaro::platform
