// The pool: page order, the same bytes on any number of threads, failures
// in their place, stopping.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "fit/fit_pool.h"
#include "fit/pictures.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

using namespace pagelume::fit;
using pagelume::test::TempDir;
namespace t = pagelume::test;

namespace {

// Pages of every kind: large and small, JPEG, PNG, GIF, one damaged.
std::vector<std::string> makePages(const TempDir& dir, int count) {
    std::vector<std::string> pages;
    const uint32_t pal[4] = {0x102030, 0xF0E0D0, 0x808000, 0x0000FF};
    for (int i = 0; i < count; ++i) {
        std::string path = dir / ("page" + std::to_string(i));
        auto pixel = [i](int x, int y) -> uint32_t {
            return 0xFF000000u | ((x * (i + 3)) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 |
                   ((x ^ y) & 0xFF);
        };
        switch (i % 5) {
            case 0:
                t::writeFile(path += ".jpg", t::makeJpeg(320 + i, 240, pixel));
                break;
            case 1:
                t::writeFile(path += ".png", t::makePng(300, 410 + i, pixel));
                break;
            case 2: {
                std::vector<uint8_t> idx(260 * 200);
                for (size_t k = 0; k < idx.size(); ++k)
                    idx[k] = static_cast<uint8_t>((k / 7 + i) % 4);
                t::writeFile(path += ".gif", t::makeGif(260, 200, idx, pal, 1));
                break;
            }
            case 3:
                t::writeFile(path += ".jpg", t::makeJpeg(60, 80, pixel));
                break;  // small
            default:
                t::writeFile(path += ".png", "\x89PNG\r\n\x1a\n broken");
                break;
        }
        pages.push_back(path);
    }
    return pages;
}

std::vector<FitJob> jobsFor(const std::vector<std::string>& pages, const std::string& out) {
    std::vector<FitJob> jobs;
    for (size_t i = 0; i < pages.size(); ++i)
        jobs.push_back({pages[i], out + "/" + std::to_string(i) + ".jpg"});
    return jobs;
}

}  // namespace

TEST(FitThreads, SettingOrCores) {
    EXPECT_EQ(fitThreads("3", 8), 3);
    EXPECT_EQ(fitThreads("1", 8), 1);
    EXPECT_EQ(fitThreads(nullptr, 8), 8);
    for (const char* bad : {"", "0", "abc", "2x", "-2", " 2"})
        EXPECT_EQ(fitThreads(bad, 6), 6) << bad;
    EXPECT_EQ(fitThreads("99999999999999999999", 2), kMaxFitThreads);
    EXPECT_EQ(fitThreads(nullptr, 0), 1);
}

TEST(FitPool, SameBytesOnOneAndFourThreadsInPageOrder) {
    TempDir dir;
    const auto pages = makePages(dir, 15);
    std::vector<std::vector<FitResult>> results;
    for (int threads : {1, 4}) {
        const std::string out = dir / ("out" + std::to_string(threads));
        std::filesystem::create_directory(out);
        FitPool pool(jobsFor(pages, out), FitOptions{160, 160, false, 80}, threads);
        EXPECT_EQ(pool.started(), threads == 1 ? 0 : 4);
        results.emplace_back();
        while (auto r = pool.next())
            results.back().push_back(*r);
        EXPECT_FALSE(pool.next().has_value());
    }
    ASSERT_EQ(results[0].size(), pages.size());
    ASSERT_EQ(results[1].size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        const FitStatus want = i % 5 == 3   ? FitStatus::Unchanged
                               : i % 5 == 4 ? FitStatus::Failed
                                            : FitStatus::Written;
        EXPECT_EQ(results[0][i].status, want) << i << ": " << results[0][i].reason;
        EXPECT_EQ(results[1][i].status, want) << i;
        EXPECT_EQ(results[0][i].width, results[1][i].width) << i;
        EXPECT_EQ(results[0][i].height, results[1][i].height) << i;
        const std::string name = "/" + std::to_string(i) + ".jpg";
        ASSERT_EQ(std::filesystem::exists(dir / ("out1" + name)), want == FitStatus::Written) << i;
        if (want == FitStatus::Written) {
            EXPECT_EQ(t::readFile(dir / ("out1" + name)), t::readFile(dir / ("out4" + name))) << i;
        }
    }
}

TEST(FitPool, StopEndsTheWorkAndLeavesNoHalfPages) {
    TempDir dir;
    std::vector<std::string> pages;
    for (int i = 0; i < 24; ++i) {
        pages.push_back(dir / ("p" + std::to_string(i) + ".png"));
        t::writeFile(pages.back(), t::makePng(
                                       900, 1200,
                                       [i](int x, int y) {
                                           return 0xFF000000u | ((x + i) & 0xFF) << 8 | (y & 0xFF);
                                       },
                                       false));
    }
    for (int threads : {1, 2}) {
        const std::string out = dir / ("out" + std::to_string(threads));
        std::filesystem::create_directory(out);
        FitPool pool(jobsFor(pages, out), FitOptions{300, 300}, threads);
        ASSERT_TRUE(pool.next().has_value());
        std::thread stopper([&] { pool.stop(); });
        stopper.join();
        int written = 1, stopped = 0;
        size_t i = 1;
        while (auto r = pool.next()) {
            const std::string file = out + "/" + std::to_string(i++) + ".jpg";
            if (r->status == FitStatus::Written) {
                ++written;
                EXPECT_TRUE(std::filesystem::exists(file));
            } else {
                EXPECT_EQ(r->status, FitStatus::Stopped) << r->reason;
                EXPECT_FALSE(std::filesystem::exists(file));
                ++stopped;
            }
        }
        EXPECT_EQ(written + stopped, 24);
        // On the caller's thread nothing runs between results; workers may
        // finish the pages they hold while the stop comes.
        if (threads == 1)
            EXPECT_EQ(stopped, 23);
        else
            EXPECT_GE(stopped, 12);
    }
}

TEST(FitPool, DestroyedWhileFittingWaitsForItsWorkers) {
    TempDir dir;
    std::vector<std::string> pages;
    for (int i = 0; i < 8; ++i) {
        pages.push_back(dir / ("p" + std::to_string(i) + ".jpg"));
        t::writeFile(pages.back(),
                     t::makeJpeg(800, 800, [i](int x, int y) { return (x * i) ^ y; }));
    }
    { FitPool pool(jobsFor(pages, dir.path()), FitOptions{100, 100}, 3); }
    SUCCEED();  // no worker outlived the pool (the sanitizers would see it)
}
