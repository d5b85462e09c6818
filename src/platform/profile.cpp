#include "profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "files.h"

namespace pagelume::platform {

namespace {

// Settings files are small; a larger one is not ours to parse or rewrite.
constexpr std::size_t kMaxProfileBytes = 4u << 20;

// Read without blocking and only from a regular file: a FIFO or a device
// put where the settings file belongs must not hold the program up.
bool readWholeFile(const std::string& path, std::string& out, bool& missing) {
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::uintmax_t>(st.st_size) <= kMaxProfileBytes;
    std::string data;
    char buf[8192];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        data.append(buf, static_cast<std::size_t>(n));
        ok = data.size() <= kMaxProfileBytes;  // it grew while being read
    }
    ::close(fd);
    if (ok)
        out.swap(data);
    return ok;
}

// The file a write replaces: the settings file itself, or, when it is a
// link (a shared set of dotfiles), the file the link points to, so the link
// stays.
std::string writeTarget(const std::string& file) {
    std::filesystem::path target = file;
    for (int hops = 0; hops < 40; ++hops) {  // as many as the system follows
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

struct Line {
    std::size_t begin;  // offset of the first byte
    std::size_t end;    // offset just past the content (before CR/LF)
    std::size_t next;   // offset of the following line
};

std::vector<Line> splitLines(const std::string& data) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::size_t next = nl == std::string::npos ? data.size() : nl + 1;
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        if (end > pos && data[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

// "[name]" with optional blanks around; returns the name or nothing.
bool sectionName(const std::string& line, std::string& name) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    auto close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

bool keyOf(const std::string& line, std::string& key, std::string& value) {
    auto eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return true;
}

std::string newlineOf(const std::string& data) {
    auto nl = data.find('\n');
    if (nl == std::string::npos)
        return "\n";
    return nl > 0 && data[nl - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace

std::string readProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
    std::string data;
    bool missing = false;
    if (!readWholeFile(file, data, missing))
        return defaultValue.substr(0, kProfileValueMax);
    bool inSection = false;
    for (const Line& l : splitLines(data)) {
        std::string text = data.substr(l.begin, l.end - l.begin);
        std::string name;
        if (sectionName(text, name)) {
            inSection = equalsNoCase(name, section);
            continue;
        }
        std::string k, v;
        if (inSection && keyOf(text, k, v) && equalsNoCase(k, key)) {
            // A value wrapped in matching quotes loses them, as the classic call does.
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            return v.substr(0, kProfileValueMax);
        }
    }
    return defaultValue.substr(0, kProfileValueMax);
}

bool writeProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& rawValue) {
    // A line break in the value would forge further lines of the file.
    std::string value = rawValue.substr(0, rawValue.find_first_of("\r\n"));

    std::string data;
    bool missing = false;
    if (!readWholeFile(file, data, missing) && !missing)
        return false;

    const std::string nl = newlineOf(data);
    const std::string keyLine = key + "=" + value;
    std::string result;

    bool inSection = false, sectionFound = false, done = false;
    std::size_t insertAt = std::string::npos;  // after the section's last non-blank line
    for (const Line& l : splitLines(data)) {
        std::string text = data.substr(l.begin, l.end - l.begin);
        std::string name, k, v;
        if (sectionName(text, name)) {
            inSection = equalsNoCase(name, section);
            if (inSection && !sectionFound) {
                sectionFound = true;
                insertAt = l.next;
            }
            continue;
        }
        if (!inSection || done)
            continue;
        if (keyOf(text, k, v) && equalsNoCase(k, key)) {
            result = data.substr(0, l.begin) + keyLine + data.substr(l.end);
            done = true;
        } else if (!trim(text).empty()) {
            insertAt = l.next;
        }
    }
    if (!done) {
        if (sectionFound) {
            std::string before = data.substr(0, insertAt);
            if (!before.empty() && before.back() != '\n')
                before += nl;
            result = before + keyLine + nl + data.substr(insertAt);
        } else {
            result = data;
            if (!result.empty() && result.back() != '\n')
                result += nl;
            result += "[" + section + "]" + nl + keyLine + nl;
        }
    }

    // Write beside the file and rename over it, so a failure never leaves a
    // half-written settings file.
    const std::string target = writeTarget(file);
    std::string tmp = target + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(result.data(), static_cast<std::streamsize>(result.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace pagelume::platform
