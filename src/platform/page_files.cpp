#include "platform/page_files.h"

#include <filesystem>

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/natural_order.h"

namespace pagelume::platform {

namespace fs = std::filesystem;

bool hasPngExtension(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 'n' &&
           (ext[3] | 0x20) == 'g';
}

std::vector<std::string> pngFilesIn(const std::string& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name[0] == '.' || !hasPngExtension(name) ||
            !it->is_regular_file(typeError))
            continue;
        names.push_back(std::move(name));
    }
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    sortNaturally(names);
    const std::string prefix = !dir.empty() && dir.back() == '/' ? dir : dir + "/";
    for (std::string& n : names)
        n.insert(0, prefix);
    return names;
}

std::vector<std::string> expandFolders(const std::vector<std::string>& pages) {
    std::vector<std::string> out;
    for (const std::string& p : pages) {
        if (!directoryExists(p)) {
            out.push_back(p);
            continue;
        }
        for (std::string& f : pngFilesIn(p))
            out.push_back(std::move(f));
    }
    return out;
}

}  // namespace pagelume::platform
