#include "app/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"

#ifndef PAGELUME_DATADIR_FROM_BINDIR
#define PAGELUME_DATADIR_FROM_BINDIR "../share/pagelume"
#endif
#ifndef PAGELUME_DOCDIR_FROM_BINDIR
#define PAGELUME_DOCDIR_FROM_BINDIR "../share/doc/pagelume"
#endif

namespace fs = std::filesystem;

namespace pagelume::app {

namespace {

std::string absoluteOrEmpty(const char* value) {
    if (!value || value[0] != '/')
        return {};
    return value;
}

std::string homeFolder(const Environment& env) {
    if (std::string home = absoluteOrEmpty(env("HOME")); !home.empty())
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()))
        return absoluteOrEmpty(pw->pw_dir);
    return {};
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string besideBinDir(const std::string& exeDir, const char* relative) {
    return fs::path(exeDir + "/" + relative).lexically_normal().string();
}

// Container files are a few bytes; anything much larger is not one of ours.
constexpr std::uintmax_t kContainerFileMax = 1 << 20;

bool readSmallFile(const std::string& path, std::string& bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kContainerFileMax)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool sameContent(const std::string& path, const std::string& expected) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) != expected.size() || ec)
        return false;
    std::string bytes;
    return readSmallFile(path, bytes) && bytes == expected;
}

// Writes bytes to a hidden file beside target and renames it over target.
bool replaceFile(const std::string& target, const std::string& bytes, std::string& reason) {
    std::string tmp =
        platform::directoryPart(target) + "." + platform::fileNamePart(target) + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const int writeErrno = errno;
    const bool written = done == bytes.size() && ::fchmod(fd, 0644) == 0;
    if (::close(fd) != 0 || !written) {
        reason = std::strerror(written ? errno : writeErrno);
        ::unlink(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        reason = std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

UserDirs userDirsFrom(const Environment& env) {
    UserDirs dirs;
    std::string home = withoutTrailingSlashes(homeFolder(env));
    const bool knownHome = !home.empty();
    if (home == "/")
        home.clear();  // no "//.config"
    dirs.configHome = absoluteOrEmpty(env("XDG_CONFIG_HOME"));
    if (dirs.configHome.empty() && knownHome)
        dirs.configHome = home + "/.config";
    dirs.cacheHome = absoluteOrEmpty(env("XDG_CACHE_HOME"));
    if (dirs.cacheHome.empty() && knownHome)
        dirs.cacheHome = home + "/.cache";
    dirs.configHome = withoutTrailingSlashes(dirs.configHome);
    dirs.cacheHome = withoutTrailingSlashes(dirs.cacheHome);
    return dirs;
}

UserDirs currentUserDirs() {
    return userDirsFrom([](const char* name) { return std::getenv(name); });
}

std::string installedDataDir(const std::string& exeDir) {
    return besideBinDir(exeDir, PAGELUME_DATADIR_FROM_BINDIR);
}

std::string installedDocDir(const std::string& exeDir) {
    return besideBinDir(exeDir, PAGELUME_DOCDIR_FROM_BINDIR);
}

bool directoryWritable(const std::string& dir) {
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool createPrivateDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::string prefix;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        const std::size_t next = path.find('/', pos + 1);
        prefix = path.substr(0, next);
        pos = next;
        if (prefix.empty() || prefix == "/")
            continue;
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return platform::directoryExists(path);
}

bool folderIsPrivate(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool syncContainerFiles(const std::string& sourceDir, const std::string& stagingDir,
                        std::string* error) {
    for (const char* name : kContainerFiles) {
        const std::string source = sourceDir + "/" + name;
        const std::string target = stagingDir + "/" + name;
        std::string bytes, reason;
        if (!readSmallFile(source, bytes)) {
            if (error)
                *error = "Cannot read " + source;
            return false;
        }
        if (sameContent(target, bytes))
            continue;
        const std::string folder = withoutTrailingSlashes(platform::directoryPart(target));
        if (!createPrivateDirectories(folder)) {
            if (error)
                *error = "Cannot create " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (!replaceFile(target, bytes, reason)) {
            if (error)
                *error = "Cannot write " + target + ": " + reason;
            return false;
        }
    }
    return true;
}

}  // namespace pagelume::app
