// Packs a staging directory the way a conversion does, and nothing else.
//   zip_bench STAGING_DIR OUTPUT.epub
#include <cstdio>

#include "epub/archive_request.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s STAGING_DIR OUTPUT.epub\n", argv[0]);
        return 2;
    }
    unsigned long calls = 0;
    std::string error;
    // The window's callback does a little work per call; count them at least.
    const bool ok = pagelume::epub::archiveRequest(
        argv[1], argv[2], [&](std::uint64_t, std::uint64_t) { ++calls; }, &error);
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%lu progress calls\n", calls);
    return 0;
}
