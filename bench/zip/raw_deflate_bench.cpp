// Raw deflate at level 6 of every file below a directory: the floor for the
// archive step, which also checksums, writes headers and syncs. With OUTPUT
// the deflated streams are written there one after the other and synced, as
// an archive would be; without it they are discarded.
//   raw_deflate_bench DIR [OUTPUT]
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s DIR [OUTPUT]\n", argv[0]);
        return 2;
    }
    const int outFd = argc == 3 ? ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    if (argc == 3 && outFd < 0)
        return 1;
    std::vector<unsigned char> in(0xFFFF), out(0xFFFF);
    unsigned long long packed = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[1])) {
        if (!e.is_regular_file())
            continue;
        const int fd = ::open(e.path().c_str(), O_RDONLY);
        if (fd < 0)
            return 1;
        z_stream z{};
        if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return 1;
        int flush = Z_NO_FLUSH;
        while (flush != Z_FINISH) {
            const ssize_t n = ::read(fd, in.data(), in.size());
            if (n < 0)
                return 1;
            flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
            do {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                if (deflate(&z, flush) < 0)
                    return 1;
                const std::size_t filled = out.size() - z.avail_out;
                if (outFd >= 0 &&
                    ::write(outFd, out.data(), filled) != static_cast<ssize_t>(filled))
                    return 1;
                packed += filled;
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
        ::close(fd);
    }
    if (outFd >= 0 && (::fsync(outFd) != 0 || ::close(outFd) != 0))
        return 1;
    std::fprintf(stderr, "%llu bytes deflated\n", packed);
    return 0;
}
