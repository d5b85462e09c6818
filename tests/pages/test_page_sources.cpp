#include <gtest/gtest.h>

#include <filesystem>

#include "pages/comic_archive.h"
#include "pages/comic_info.h"
#include "pages/page_model.h"
#include "pages/page_sources.h"
#include "platform/exception.h"
#include "support/tempdir.h"

namespace pagelume::pages {
namespace {

using test::TempDir;
using test::writeFile;

std::vector<std::string> shown(const std::vector<Page>& pages) {
    std::vector<std::string> out;
    for (const Page& p : pages)
        out.push_back(p.displayName());
    return out;
}

TEST(PageSources, AFolderGivesItsPageImagesInNaturalOrder) {
    TempDir dir;
    for (const char* name : {"p10.png", "p2.PNG", "p1.jpeg", "p3.GIF", "notes.txt", "p3.png.bak",
                             ".p0.png", "sub/p4.png", "cover.Jpg"})
        writeFile(dir / name, "x");
    std::filesystem::create_directory(dir / "folder.png");
    const std::string d = dir.path();
    EXPECT_EQ(imageFilesIn(d), (std::vector<std::string>{d + "/cover.Jpg", d + "/p1.jpeg",
                                                         d + "/p2.PNG", d + "/p3.GIF",
                                                         d + "/p10.png"}));
    EXPECT_EQ(imageFilesIn(d + "/").front(), d + "/cover.Jpg") << "no doubled slash";
    EXPECT_THROW(imageFilesIn(d + "/notes.txt"), EInOutError);
    EXPECT_THROW(imageFilesIn(d + "/missing"), EInOutError);
}

TEST(PageSources, SourcesExpandAtTheirPlaceAndOneWithoutPagesAddsNothing) {
    TempDir dir;
    writeFile(dir / "ch2/b10.png", "x");
    writeFile(dir / "ch2/b9.jpg", "x");
    writeFile(dir / "empty/notes.txt", "x");
    const std::string d = dir.path();
    EXPECT_EQ(shown(pagesFrom({"first.png", d + "/ch2", "last.txt", "missing.png"})),
              (std::vector<std::string>{"first.png", d + "/ch2/b9.jpg", d + "/ch2/b10.png",
                                        "last.txt", "missing.png"}));
    // Drops leave out what is no page image; a folder is still a folder.
    EXPECT_EQ(shown(pagesFrom({"last.txt", d + "/ch2"}, true)).size(), 2u);
    try {
        pagesFrom({d + "/ch2", d + "/empty"});
        FAIL() << "a folder without pages is an error";
    } catch (const ENotPageSource& e) {
        EXPECT_EQ(std::string(e.what()), d + "/empty: not a comic archive or folder of page images");
    }
    // A text file named like an archive is named in the error too.
    writeFile(dir / "fake.cbz", "not an archive at all");
    EXPECT_THROW(pagesFrom({d + "/fake.cbz"}), ENotPageSource);
}

// Folders of folders: pages in natural order of their whole paths, each
// folder's first page a chapter named after it; hidden folders and a link
// back up the tree are not entered; pages from one folder alone get no mark.
TEST(PageSources, SubfoldersGiveTheirPagesAndStartChapters) {
    TempDir dir;
    for (const char* name : {"vol/Ch 10/p1.png", "vol/Ch 2/p10.png", "vol/Ch 2/p2.png",
                             "vol/Ch 2/.hidden/x.png", "vol/.git/a.png", "vol/cover.png",
                             "vol/notes.txt", "flat/b.png", "flat/a.png", "deep/only/p1.png"})
        writeFile(dir / name, "x");
    std::filesystem::create_directory_symlink("..", dir / "vol/Ch 2/up");
    const std::string v = dir / "vol";
    const auto chapters = [](const std::vector<Page>& pages) {
        std::vector<std::string> out;
        for (const Page& p : pages)
            out.push_back(p.chapter);
        return out;
    };
    const std::vector<Page> pages = pagesFromFolder(v + "/.");
    EXPECT_EQ(shown(pages), (std::vector<std::string>{v + "/./Ch 2/p2.png", v + "/./Ch 2/p10.png",
                                                      v + "/./Ch 10/p1.png", v + "/./cover.png"}));
    EXPECT_EQ(chapters(pages), (std::vector<std::string>{"Ch 2", "", "Ch 10", "vol"}));
    EXPECT_EQ(chapters(pagesFrom(dir / "flat").pages), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(chapters(pagesFrom(dir / "deep").pages), (std::vector<std::string>{""}));
}

TEST(PageModel, MovesFollowTheListsRules) {
    PageModel m;
    m.append({{"a", {}}, {"b", {}}, {"c", {}}, {"d", {}}});
    m.move(0, 2);
    EXPECT_EQ(shown(m.pages()), (std::vector<std::string>{"b", "c", "a", "d"}));
    m.move(3, 0);
    EXPECT_EQ(shown(m.pages()), (std::vector<std::string>{"d", "b", "c", "a"}));
    m.move(0, 9);  // out of range: nothing
    m.insert(1, {{"x.cbz", "p10.jpg"}, {"x.cbz", "p9.jpg"}});
    m.remove(0);
    EXPECT_EQ(shown(m.pages()),
              (std::vector<std::string>{"x.cbz \u203A p10.jpg", "x.cbz \u203A p9.jpg", "b", "c", "a"}));
    EXPECT_FALSE(m.reorder({0, 0, 1, 2, 3})) << "not a permutation";
    ASSERT_TRUE(m.reorder(m.naturalOrder()));
    EXPECT_EQ(shown(m.pages()),
              (std::vector<std::string>{"a", "b", "c", "x.cbz \u203A p9.jpg", "x.cbz \u203A p10.jpg"}));
}

TEST(ComicInfoText, TitleWriterSeriesAndHostileText) {
    EXPECT_EQ(parseComicInfo("<ComicInfo><Title> Dawn &amp; Dusk </Title><Writer>A &#x42;</Writer>"
                             "</ComicInfo>")
                  .title,
              "Dawn & Dusk");
    const ComicInfo series =
        parseComicInfo("<ComicInfo><Series>Moon</Series><Number>12</Number><Writer>A &#66;"
                       "</Writer></ComicInfo>");
    EXPECT_EQ(series.title, "Moon 12");
    EXPECT_EQ(series.writer, "A B");
    // Unknown entities, nested markup, a NUL reference: no value rather than a wrong one.
    EXPECT_EQ(parseComicInfo("<Title>&xxe;</Title>").title, "");
    EXPECT_EQ(parseComicInfo("<Title>a<b>c</b></Title>").title, "");
    EXPECT_EQ(parseComicInfo("<Title>&#0;</Title><Writer>&#99999999999;</Writer>").writer, "");
    EXPECT_EQ(parseComicInfo("<Title>two\nlines</Title>").title, "two lines");
    EXPECT_EQ(parseComicInfo("<Title>unclosed").title, "");
}

}  // namespace
}  // namespace pagelume::pages
