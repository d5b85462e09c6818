#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "book_tools.h"
#include "epub/conversion_run.h"
#include "fake_book.h"
#include "support/tempdir.h"

namespace pagelume::epub {

struct Page {
    std::string name;  // its extension decides the format
    uint32_t colour;
    int width = 60, height = 90;
};

// Fixed-layout books made from solid pages, read back by epubcheck and mupdf.
class FixedLayoutBooks : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have("convert"))
            GTEST_SKIP() << "ImageMagick is not installed";
        test::installContainerFiles(dir / "epubfiles");
    }

    // Each page in a folder of its own, so that names may repeat.
    std::string build(const std::vector<Page>& pages, const std::optional<Page>& cover,
                      bool rightToLeft, const std::string& title,
                      const std::function<void(test::FakeBook&)>& adjust = {}) {
        test::FakeBook book;
        const auto add = [&](const Page& p) {
            const std::string folder = dir / ("in/" + std::to_string(++folders_));
            std::filesystem::create_directories(folder);
            const std::string path = folder + "/" + p.name;
            std::filesystem::copy_file(image(p), path);
            return path;
        };
        for (const Page& p : pages)
            book.pages.push_back(add(p));
        if (cover)
            book.cover = add(*cover);
        book.bookKind = BookKind::FixedLayout;
        book.rtl = rightToLeft;
        book.titleText = title;
        book.save = dir / "out";
        if (adjust)
            adjust(book);
        test::FakeHost host;
        ConversionRun r(book, host, dir / "epubfiles");
        EXPECT_EQ(r.run(), RunResult::Built);
        for (const auto& m : host.messages)
            if (m.caption != "Congratulation")
                ADD_FAILURE() << m.text;
        return r.outputPath();
    }

    // A solid image in the page's format, made once for each look.
    std::string image(const Page& p) {
        const std::string format = std::filesystem::path(p.name).extension().string().substr(1);
        char name[64];
        std::snprintf(name, sizeof name, "%06X-%dx%d.%s", p.colour, p.width, p.height,
                      format.c_str());
        const std::string path = dir / ("made/" + std::string(name));
        if (!std::filesystem::exists(path)) {
            std::filesystem::create_directories(dir / "made");
            const std::string command = "convert -size " + std::to_string(p.width) + "x" +
                                        std::to_string(p.height) + " 'xc:#" +
                                        std::string(name, 6) + "' '" + format + ":" + path + "'";
            EXPECT_EQ(run(command).first, 0) << command;
        }
        return path;
    }

    static void expectClean(const std::string& book) {
        const EpubcheckReport report = epubcheck(book);
        if (!report.ran)
            GTEST_SKIP() << "epubcheck is not installed";
        EXPECT_NE(report.text.find("Validating using EPUB version 3"), std::string::npos)
            << report.text;
        EXPECT_NE(report.text.find("No errors or warnings detected."), std::string::npos)
            << report.text;
    }

    test::TempDir dir;
    int folders_ = 0;
};

}  // namespace pagelume::epub
