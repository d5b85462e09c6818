// Lists the pages of one comic archive, as Add and a command-line PAGE do,
// and prints "<pages> <seconds>".
#include <chrono>
#include <cstdio>

#include "pages/page_sources.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: archive_list_bench ARCHIVE\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto source = pagelume::pages::pagesFrom(argv[1]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%zu %.3f\n", source.pages.size(), took.count());
    return 0;
}
