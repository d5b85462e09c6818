#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace pagelume::zip {

// One open directory level of a walk: its sorted listing and the position in it.
struct TSearchData {
    std::string dir;  // with a trailing '/'
    std::vector<platform::DirEntry> items;
    std::size_t index = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

// Walks a directory tree depth first, parent before children, in the order
// of the sorted listings. Items having any attribute of the exclusion mask
// (hidden and system ones, with the writer's defaults) are never seen, nor is
// anything below them. A folder that cannot be listed, or an entry that cannot
// be examined (a dangling link, one that vanished), throws EInOutError
// ("<path>: <reason>"), unless its name already hides it.
class TDirSearch {
public:
    TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse,
               std::uint32_t exclusionMask);

    // The next path: a directory as its path with a trailing '/' (before its
    // contents), a file that matches the mask as its full path; empty when
    // the walk is over.
    std::string next();

private:
    bool push(const std::string& dir);

    std::string mask_;
    bool recurse_;
    std::uint32_t exclusion_;
    std::vector<TSearchData> stack_;
};

}  // namespace pagelume::zip
