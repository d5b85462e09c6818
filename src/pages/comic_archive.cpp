#include "pages/comic_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "pages/page_sources.h"
#include "platform/files.h"
#include "platform/natural_order.h"

namespace pagelume::pages {

namespace {

constexpr std::size_t kComicInfoLimit = std::size_t{1} << 20;
constexpr std::size_t kBlock = 64 * 1024;

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

std::string archiveError(archive* a, const std::string& fallback) {
    const char* text = archive_error_string(a);
    return text && *text ? std::string(text) : fallback;
}

// Opens an archive for one pass; throws ENotPageSource when libarchive cannot.
ArchivePtr openArchive(const std::string& path) {
    // A pipe or a device would make libarchive wait or read without end.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw ENotPageSource(path + ": " + platform::errorText(errno));
    if (!S_ISREG(st.st_mode))
        throw ENotPageSource(path + ": not a regular file");
    ArchivePtr a(archive_read_new());
    if (!a)
        throw ENotPageSource(path + ": out of memory");
    archive_read_support_format_zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_filter_all(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), kBlock) != ARCHIVE_OK)
        throw ENotPageSource(path + ": " + archiveError(a.get(), "not a comic archive"));
    return a;
}

// The member's path as it may be shown, or empty when it is no page: "./"
// prefixes dropped; absolute names, "..", hidden parts and __MACOSX refused.
std::string usableMemberPath(const char* raw) {
    if (!raw || !*raw || raw[0] == '/')
        return {};
    std::string path(raw);
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part[0] == '.' || part == "__MACOSX")
            return {};  // "..", hidden files and folders, resource forks
        if (!out.empty())
            out += '/';
        out += part;
    }
    return out;
}

bool isRegularEntry(archive_entry* e) {
    return archive_entry_filetype(e) == AE_IFREG && !archive_entry_hardlink(e) &&
           !archive_entry_symlink(e);
}

// Reads up to max bytes of the current member; false with a reason on a
// damaged or encrypted member, or one larger than max.
bool readCurrent(archive* a, std::size_t max, std::string& bytes, std::string* error) {
    char buffer[kBlock];
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (error)
                *error = archiveError(a, "cannot be read");
            return false;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > max) {
            if (error)
                *error = "larger than " + std::to_string(max) + " bytes";
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

class TargetFile {
public:
    explicit TargetFile(const std::string& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ < 0)
            error_ = errno;
    }
    ~TargetFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (fd_ >= 0 && !kept_)
            ::unlink(path_.c_str());
    }
    int error() const { return error_; }
    bool write(const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : ENOSPC;
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool finish() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            error_ = errno;
            ::unlink(path_.c_str());
            return false;
        }
        kept_ = true;
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
    int error_ = 0;
    bool kept_ = false;
};

// Streams the current member into copy.target.
void unpackCurrent(archive* a, archive_entry* e, MemberCopy& copy) {
    if (archive_entry_size_is_set(e) &&
        static_cast<std::uint64_t>(archive_entry_size(e)) > kMemberLimit) {
        copy.reason = "unpacks to more than 1 GiB";
        return;
    }
    TargetFile target(copy.target);
    if (target.error()) {
        copy.writeFailed = true;
        copy.reason = platform::errorText(target.error());
        return;
    }
    std::uint64_t total = 0;
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int r = archive_read_data_block(a, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN) {
            copy.reason = archiveError(a, "cannot be read");
            return;
        }
        // Sparse members come with offsets; a page image never has holes.
        if (static_cast<std::uint64_t>(offset) != total) {
            copy.reason = "cannot be read";
            return;
        }
        total += size;
        if (total > kMemberLimit) {
            copy.reason = "unpacks to more than 1 GiB";
            return;
        }
        if (!target.write(block, size)) {
            copy.writeFailed = true;
            copy.reason = platform::errorText(target.error());
            return;
        }
    }
    if (!target.finish()) {
        copy.writeFailed = true;
        copy.reason = platform::errorText(target.error());
        return;
    }
    copy.done = true;
}

}  // namespace

ContentKind contentKindOf(const unsigned char* head, std::size_t size) {
    const auto starts = [&](std::initializer_list<unsigned char> magic) {
        return size >= magic.size() && std::equal(magic.begin(), magic.end(), head);
    };
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return ContentKind::Png;
    if (starts({0xFF, 0xD8, 0xFF}))
        return ContentKind::Jpeg;
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'}))
        return ContentKind::Gif;
    if (starts({'P', 'K', 3, 4}) || starts({'P', 'K', 5, 6}))
        return ContentKind::Zip;
    if (starts({'R', 'a', 'r', '!', 0x1A, 0x07}))
        return ContentKind::Rar;
    if (starts({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}))
        return ContentKind::SevenZip;
    if (size >= 262 && std::memcmp(head + 257, "ustar", 5) == 0)
        return ContentKind::Tar;
    return ContentKind::Unknown;
}

ContentKind fileContentKind(const std::string& path) {
    unsigned char head[262] = {};
    std::size_t got = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return ContentKind::Unknown;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (got < sizeof head) {
            const ssize_t n = ::read(fd, head + got, sizeof head - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return contentKindOf(head, got);
}

ArchiveListing listArchive(const std::string& path) {
    ArchivePtr a = openArchive(path);
    ArchiveListing listing;
    std::unordered_set<std::string> seen;
    archive_entry* e = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (!isRegularEntry(e))
            continue;
        const std::string name = usableMemberPath(archive_entry_pathname(e));
        if (name.empty())
            continue;
        if (name.find('/') == std::string::npos && platform::equalsNoCase(name, "ComicInfo.xml")) {
            std::string text;
            if (!listing.comicInfo && readCurrent(a.get(), kComicInfoLimit, text, nullptr))
                listing.comicInfo = std::move(text);
            continue;
        }
        if (!hasPageImageExtension(name) || !seen.insert(name).second)
            continue;
        // A member that cannot be read is still a page: the book says so.
        unsigned char head[16];
        const la_ssize_t n = archive_entry_is_encrypted(e) ? -1 : archive_read_data(a.get(), head, sizeof head);
        const ContentKind kind =
            n > 0 ? contentKindOf(head, static_cast<std::size_t>(n)) : ContentKind::Unknown;
        if (n > 0 && !isImageKind(kind))
            continue;
        listing.members.push_back(name);
        listing.kinds.push_back(kind);
    }
    if (r != ARCHIVE_EOF && listing.members.empty())
        throw ENotPageSource(path + ": " + archiveError(a.get(), "not a comic archive"));
    std::vector<std::size_t> order(listing.members.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return platform::naturalLess(listing.members[a], listing.members[b]);
    });
    ArchiveListing sorted;
    sorted.comicInfo = std::move(listing.comicInfo);
    for (std::size_t i : order) {
        sorted.members.push_back(std::move(listing.members[i]));
        sorted.kinds.push_back(listing.kinds[i]);
    }
    return sorted;
}

std::optional<std::string> readArchiveMember(const std::string& path, const std::string& member,
                                             std::size_t max, std::string* error) {
    try {
        ArchivePtr a = openArchive(path);
        archive_entry* e = nullptr;
        int r;
        while ((r = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
            if (!isRegularEntry(e) || usableMemberPath(archive_entry_pathname(e)) != member)
                continue;
            std::string bytes;
            if (!readCurrent(a.get(), max, bytes, error))
                return std::nullopt;
            return bytes;
        }
        if (error)
            *error = r == ARCHIVE_EOF ? "not found in the archive" : archiveError(a.get(), "cannot be read");
    } catch (const ENotPageSource& e) {
        if (error)
            *error = e.what();
    }
    return std::nullopt;
}

void extractMembers(const std::string& path, std::vector<MemberCopy>& wanted,
                    const std::function<void(const MemberCopy&)>& each) {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        index.emplace(wanted[i].member, i);
    std::string openError;
    ArchivePtr a;
    try {
        a = openArchive(path);
    } catch (const ENotPageSource& e) {
        openError = e.what();
    }
    std::vector<bool> reported(wanted.size());
    if (a) {
        archive_entry* e = nullptr;
        int r = ARCHIVE_OK;
        std::size_t left = wanted.size();
        while (left > 0 &&
               ((r = archive_read_next_header(a.get(), &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
            if (!isRegularEntry(e))
                continue;
            const auto it = index.find(usableMemberPath(archive_entry_pathname(e)));
            if (it == index.end() || reported[it->second])
                continue;  // not wanted, or a second member of the same name
            MemberCopy& copy = wanted[it->second];
            if (archive_entry_is_encrypted(e))
                copy.reason = "encrypted";
            else
                unpackCurrent(a.get(), e, copy);
            reported[it->second] = true;
            --left;
            each(copy);
        }
        if (left > 0)
            openError = r == ARCHIVE_EOF ? std::string("not found in the archive")
                                         : archiveError(a.get(), "cannot be read");
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (reported[i])
            continue;
        wanted[i].reason = openError;
        each(wanted[i]);
    }
}

}  // namespace pagelume::pages
