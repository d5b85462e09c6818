#include "pages/page_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "pages/comic_archive.h"
#include "platform/files.h"

namespace pagelume::pages {

namespace {

std::optional<std::string> readFile(const std::string& path, std::size_t max, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = platform::errorText(errno);
        return std::nullopt;
    }
    std::optional<std::string> bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error)
            *error = "not a regular file";
    } else if (static_cast<std::uint64_t>(st.st_size) > max) {
        if (error)
            *error = "larger than " + std::to_string(max) + " bytes";
    } else {
        std::string data(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t got = 0;
        int failure = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failure = errno;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);  // a file that shrank meanwhile is read as it now is
        if (failure && error)
            *error = platform::errorText(failure);
        if (!failure)
            bytes = std::move(data);
    }
    ::close(fd);
    return bytes;
}

}  // namespace

std::optional<std::string> readPageBytes(const Page& page, std::size_t max, std::string* error) {
    if (page.inArchive())
        return readArchiveMember(page.file, page.member, max, error);
    return readFile(page.file, max, error);
}

}  // namespace pagelume::pages
