#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace pagelume::platform {

namespace fs = std::filesystem;

namespace {

uint32_t attributesFromStat(const struct stat& st, const std::string& name) {
    uint32_t attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr = faDirectory;
    } else if (S_ISREG(st.st_mode)) {
        attr = faArchive;
    } else {
        attr = faArchive | faSysFile;  // devices, pipes, sockets: never packed
    }
    if (!(st.st_mode & S_IWUSR))
        attr |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    return attr;
}

}  // namespace

std::string fileNamePart(const std::string& path) {
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string directoryPart(const std::string& path) {
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string asciiUpper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && asciiUpper(a) == asciiUpper(b);
}

bool nameLessNoCase(const std::string& a, const std::string& b) {
    std::string ua = asciiUpper(a), ub = asciiUpper(b);
    if (ua != ub)
        return ua < ub;
    return a < b;  // names differing only in case still get a fixed order
}

std::optional<uint32_t> fileAttributes(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return attributesFromStat(st, fileNamePart(name));
}

std::vector<DirEntry> listDirectory(const std::string& dir, int* error) {
    std::vector<DirEntry> out;
    if (error)
        *error = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        if (error)
            *error = errno;
        return out;
    }
    std::string base = dir;
    if (base.empty() || base.back() != '/')
        base += '/';
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::stat((base + name).c_str(), &st) != 0) {
            uint32_t attr = faSysFile | faArchive;
            if (name[0] == '.')
                attr |= faHidden;
            out.push_back({name, false, attr, errno});
            continue;
        }
        out.push_back({name, S_ISDIR(st.st_mode), attributesFromStat(st, name), 0});
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return nameLessNoCase(a.name, b.name); });
    return out;
}

uint32_t toDosDateTime(std::time_t t) {
    struct tm lt {};
    if (!::localtime_r(&t, &lt))
        return 0xFFFFFFFFu;
    int year = lt.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0xFFFFFFFFu;
    uint32_t date =
        static_cast<uint32_t>(((year - 1980) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
    uint32_t time = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
    return (date << 16) | time;
}

std::optional<std::time_t> lastWriteTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st.st_mtime;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool createDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code ec;
    fs::create_directories(fs::path(path), ec);
    return directoryExists(path);
}

bool copyFileNoOverwrite(const std::string& source, const std::string& target, std::string* error,
                         CopyFault* fault) {
    CopyFault side = CopyFault::Reading;
    if (fault)
        *fault = CopyFault::None;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        if (fault)
            *fault = side;
        return false;
    };
    // Non-blocking: opening a FIFO for reading would otherwise wait for a
    // writer that may never come.
    int in = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0)
        return fail(errorText(errno));
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(in);
        return fail(S_ISDIR(st.st_mode) ? errorText(EISDIR)
                    : st.st_mode != 0   ? std::string("not a regular file")
                                        : errorText(err));
    }
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        side = CopyFault::Writing;
        return fail(errorText(err));
    }
    int err = 0;
    // The kernel copies within its cache, without a round trip through this
    // process; where it cannot (another file system, an old kernel) or fails,
    // plain reads and writes go on from where it stopped and tell which side
    // failed.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n <= 0)
            break;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0)
            break;
        ssize_t off = 0;
        while (off < n) {
            ssize_t w = ::write(out, buf + off, static_cast<size_t>(n - off));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                err = w < 0 ? errno : ENOSPC;
                side = CopyFault::Writing;
                break;
            }
            off += w;
        }
        if (err)
            break;
    }
    ::close(in);
    if (::close(out) != 0 && !err) {
        err = errno;
        side = CopyFault::Writing;
    }
    if (err) {
        ::unlink(target.c_str());
        return fail(errorText(err));
    }
    return true;
}

namespace {

// Writes all of bytes at fd's position; 0, or the errno that stopped it (a
// write that takes nothing counts as a full disk).
int writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& bytes, std::string* error) {
    const auto fail = [&](int err) {
        if (error)
            *error = errorText(err);
        return false;
    };
    std::string temp = directoryPart(path) + "." + fileNamePart(path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    const mode_t mode = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 07777
                                                                              : 0644;
    int err = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (!err)
        err = writeAll(fd, bytes);
    // On disk before it takes the old file's place, so a crash leaves one or the other.
    if (!err && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.c_str());
        return fail(err);
    }
    return true;
}

bool writeWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = errorText(errno);
        return false;
    }
    int err = writeAll(fd, bytes);
    if (::close(fd) != 0 && !err)
        err = errno;
    if (err) {
        ::unlink(path.c_str());
        if (error)
            *error = errorText(err);
        return false;
    }
    return true;
}

bool removeTree(const std::string& path, std::string* error) {
    std::error_code ec;
    fs::remove_all(fs::path(path), ec);
    if (ec) {
        if (error)
            *error = ec.message();
        return false;
    }
    if (pathExists(path)) {
        if (error)
            *error = "the folder is still there";
        return false;
    }
    return true;
}

namespace {

// Closes a directory stream on every way out, also when progress throws.
struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

}  // namespace

bool removeTree(const std::string& path, std::string* error, const TreeProgress& progress) {
    if (!progress)
        return removeTree(path, error);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return removeTree(path, error);
    std::uint64_t total = 0, done = 0;
    if (DirHandle d{::opendir(path.c_str())}) {
        while (const dirent* e = ::readdir(d.get()))
            total += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
    }
    progress(0, total);
    if (DirHandle d{::opendir(path.c_str())}) {
        while (const dirent* e = ::readdir(d.get())) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            const std::string entry = path + "/" + e->d_name;
            struct stat est {};
            std::error_code ec;
            if (::lstat(entry.c_str(), &est) == 0 && S_ISDIR(est.st_mode))
                fs::remove_all(fs::path(entry), ec);
            else
                ::unlink(entry.c_str());
            // A few thousand entries between reports: cheap, and still often.
            if (++done % 1024 == 0)
                progress(std::min(done, total), total);
        }
    }
    const bool removed = removeTree(path, error);  // what is left, and the folder itself
    progress(total, total);
    return removed;
}

std::string errorText(int err) {
    // The GNU strerror_r, since the archive writer's worker threads report
    // errors too; strerror may share one buffer between threads.
    char buffer[256];
    return ::strerror_r(err, buffer, sizeof buffer);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string exeDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".";
    std::string dir = exe.parent_path().string();
    return dir.empty() ? std::string("/") : dir;
}

}  // namespace pagelume::platform
