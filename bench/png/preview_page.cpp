// preview_page FILE: the window's page preview of one file (140 x 168), for
// measuring its time and peak memory: prints "<width>x<height> <seconds>".
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "image/page_preview.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview_page FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto start = std::chrono::steady_clock::now();
    const auto pane = pagelume::image::previewPage(bytes, 140, 168, 0xFFFFFFFFu);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%dx%d %.3f\n", pane.width(), pane.height(), took.count());
    return 0;
}
