#include "zip/dir_search.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/exception.h"
#include "zip/wildcard.h"

namespace pagelume::zip {

TDirSearch::TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse,
                       std::uint32_t exclusionMask)
    : mask_(fileMask), recurse_(recurse), exclusion_(exclusionMask) {
    std::string dir = startDir;
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    push(dir);
}

bool TDirSearch::push(const std::string& dir) {
    // A folder that cannot be read would leave its files out of the archive
    // without a word: the walk fails instead.
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        throw EInOutError(dir + ": " + platform::errorText(errno));
    // A link back to a directory already open on the way down would make the
    // walk endless; it is passed over.
    for (const auto& level : stack_) {
        if (level.device == st.st_dev && level.inode == st.st_ino)
            return false;
    }
    TSearchData level;
    level.dir = dir;
    level.device = st.st_dev;
    level.inode = st.st_ino;
    int error = 0;
    std::vector<platform::DirEntry> items = platform::listDirectory(dir, &error);
    if (error)
        throw EInOutError(dir + ": " + platform::errorText(error));
    for (auto& item : items) {
        // Hidden by its name: passed over without being looked at.
        if (item.attributes & exclusion_ & platform::faHidden)
            continue;
        if (item.statError)
            throw EInOutError(dir + item.name + ": " + platform::errorText(item.statError));
        if ((item.attributes & exclusion_) == 0)
            level.items.push_back(std::move(item));
    }
    stack_.push_back(std::move(level));
    return true;
}

std::string TDirSearch::next() {
    while (!stack_.empty()) {
        TSearchData& level = stack_.back();
        if (level.index >= level.items.size()) {
            stack_.pop_back();
            continue;
        }
        const platform::DirEntry& item = level.items[level.index++];
        if (item.isDirectory) {
            if (!recurse_)
                continue;
            std::string sub = level.dir + item.name + '/';
            if (push(sub))  // invalidates level
                return sub;
            continue;
        }
        // A name without an extension is also tested as "name.", so that a
        // mask like "*." picks out exactly those.
        const bool noExtension = item.name.find('.') == std::string::npos;
        if (matchesMask(item.name, mask_) || (noExtension && matchesMask(item.name + '.', mask_)))
            return level.dir + item.name;
    }
    return std::string();
}

}  // namespace pagelume::zip
