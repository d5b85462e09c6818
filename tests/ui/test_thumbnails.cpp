#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <condition_variable>
#include <mutex>

#include "image/png_writer.h"
#include "image/pngimage.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"
#include "ui/qt_app.h"
#include "ui/thumbnail_cache.h"
#include "ui/thumbnailer.h"

namespace pagelume::ui {
namespace {

using test::TempDir;

std::map<std::string, std::string> textsOf(const std::string& file) {
    image::TPNGObject png;
    png.LoadFromFile(file);
    std::map<std::string, std::string> out;
    for (const auto& c : png.Chunks())
        if (const auto* t = dynamic_cast<const image::TChunktEXt*>(c.get()))
            out[t->Keyword] = t->Text;
    return out;
}

void setMTime(const std::string& path, time_t when) {
    utimbuf times{when, when};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

class ThumbnailCacheTest : public test::WithQtApp, public ::testing::Test {
protected:
    ThumbnailCacheTest() : cache(QString::fromStdString(cacheDir / "thumbnails/large")) {
        test::writeFile(pages / "scan one.png",
                        test::makePng(600, 300, [](int x, int) { return x < 300 ? 0xFFFF0000 : 0xFF0000FF; }));
        setMTime(pages / "scan one.png", 1700000000);
    }
    std::string cacheFileOf(const std::string& path) const {
        return cache.fileFor(ThumbnailCache::uriOf(QString::fromStdString(path))).toStdString();
    }

    TempDir pages, cacheDir;
    ThumbnailCache cache;
};

TEST_F(ThumbnailCacheTest, NamesFollowTheSharedStandard) {
    // The standard's own example.
    EXPECT_EQ(QFileInfo(cache.fileFor("file:///home/jens/photos/me.png")).fileName(),
              "c6ee772d9e49320e97ec29a7eb5b1697.png");
    EXPECT_EQ(ThumbnailCache::uriOf("/tmp/a b/\u00e9t\u00e9.png"),
              "file:///tmp/a%20b/%C3%A9t%C3%A9.png");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cacheDir.path()));
    EXPECT_EQ(ThumbnailCache::defaultDir().toStdString(), cacheDir / "thumbnails/large");
    qputenv("XDG_CACHE_HOME", "relative/is/ignored");
    EXPECT_EQ(ThumbnailCache::defaultDir(), QDir::homePath() + "/.cache/thumbnails/large");
    qunsetenv("XDG_CACHE_HOME");
}

TEST_F(ThumbnailCacheTest, MadeOnceKeyedByUriAndTimeReusedAndReplacedWhenStale) {
    const pages::Page page{pages / "scan one.png", {}};
    EXPECT_FALSE(cache.find(page)) << "nothing cached yet";
    const auto make = thumbnailMaker(&cache, 100);
    const std::atomic<bool> go{false};
    const auto made = make(page, go);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->size(), QSize(100, 50)) << "fitted inside the box, proportions kept";

    const std::string file = cacheFileOf(page.file);
    auto texts = textsOf(file);
    EXPECT_EQ(texts["Thumb::URI"], ThumbnailCache::uriOf(QString::fromStdString(page.file)).toStdString());
    EXPECT_EQ(texts["Thumb::MTime"], "1700000000");
    struct stat st{};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "thumbnails are private";
    const auto found = cache.find(page);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->width(), 256);
    EXPECT_EQ(found->height(), 128);

    // One that another program made is used as it is.
    image::DrawSurface green(64, 32, 0xFF00FF00u);
    test::writeFile(file, image::encodePng(green, false,
                                           {{"Thumb::URI", texts["Thumb::URI"]},
                                            {"Thumb::MTime", "1700000000"}}));
    const auto theirs = make(page, go);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(theirs->size(), QSize(64, 32));
    EXPECT_EQ(theirs->pixel(10, 10), 0xFF00FF00u);

    // The file changed: the old picture no longer counts and is replaced.
    setMTime(page.file, 1700000100);
    EXPECT_FALSE(cache.find(page));
    const auto again = make(page, go);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->pixel(10, 10), 0xFFFF0000u);
    EXPECT_EQ(textsOf(file)["Thumb::MTime"], "1700000100");

    // Another file's picture under this name does not count either.
    test::writeFile(file, image::encodePng(green, false,
                                           {{"Thumb::URI", "file:///elsewhere.png"},
                                            {"Thumb::MTime", "1700000100"}}));
    EXPECT_FALSE(cache.find(page));
}

TEST_F(ThumbnailCacheTest, DamagedFilesAreIgnoredAndArchiveMembersStayInMemory) {
    const pages::Page page{pages / "scan one.png", {}};
    const std::string file = cacheFileOf(page.file);
    for (const std::string& junk :
         {std::string("not a png at all"), std::string("\x89PNG\r\n\x1A\n", 8),
          image::encodePng(image::DrawSurface(8, 8), false).substr(0, 40),
          std::string(5 << 20, 'x')}) {
        test::writeFile(file, junk);
        EXPECT_FALSE(cache.find(page));
    }
    const std::atomic<bool> go{false};
    ASSERT_TRUE(thumbnailMaker(&cache, 100)(page, go));
    EXPECT_TRUE(cache.find(page)) << "the damaged file was replaced";

    const pages::Page member{pages / "book.cbz", "p1.png"};
    EXPECT_FALSE(cache.store(member, image::DrawSurface(4, 4)));
    EXPECT_FALSE(cache.find(member));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(cacheFileOf(member.file))));
}

// A maker that holds the first page it is given until released, and notes
// what it made and whether it was told to stop.
struct HeldMaker {
    std::mutex m;
    std::condition_variable cv;
    bool started = false, released = false;
    std::vector<std::string> made;
    bool sawCancel = false;

    Thumbnailer::Maker maker() {
        return [this](const pages::Page& page, const std::atomic<bool>& cancelled) -> std::optional<QImage> {
            std::unique_lock lock(m);
            if (!started) {
                started = true;
                cv.notify_all();
                cv.wait(lock, [&] { return released; });
                sawCancel = cancelled;
            }
            made.push_back(page.file);
            if (cancelled)
                return std::nullopt;
            QImage img(4, 4, QImage::Format_RGB32);
            img.fill(Qt::red);
            return img;
        };
    }
};

std::vector<pages::Page> named(std::initializer_list<const char*> names) {
    std::vector<pages::Page> out;
    for (const char* n : names)
        out.push_back({n, {}});
    return out;
}

TEST(Thumbnailer, PagesThatScrollAwayAreDroppedOrStopped) {
    HeldMaker held;
    std::vector<std::string> ready;
    {
        Thumbnailer t(held.maker(), 1);
        t.OnReady = [&](const pages::Page& p) { ready.push_back(p.file); };
        t.want(named({"A", "B", "C", "D"}), 1);
        {
            std::unique_lock lock(held.m);
            held.cv.wait(lock, [&] { return held.started; });
        }
        // A is being made; the view now shows only D.
        t.want(named({"D"}), 1);
        {
            std::lock_guard lock(held.m);
            held.released = true;
        }
        held.cv.notify_all();
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.pending() == 0 && !ready.empty(); }, 5000));
        QTest::qWait(20);
        EXPECT_TRUE(held.sawCancel) << "the page that scrolled away was told to stop";
        EXPECT_EQ(held.made, (std::vector<std::string>{"A", "D"})) << "B and C never started";
        EXPECT_EQ(ready, (std::vector<std::string>{"D"}));
        EXPECT_EQ(t.cancelledCount(), 1);
        EXPECT_TRUE(t.find({"D", {}}));
        EXPECT_FALSE(t.find({"A", {}}));

        // Wanted again later, A is made then; made pages are not made twice.
        t.want(named({"A", "D"}), 2);
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.find({"A", {}}) != nullptr; }, 5000));
        EXPECT_EQ(held.made, (std::vector<std::string>{"A", "D", "A"}));
    }
}

}  // namespace
}  // namespace pagelume::ui
