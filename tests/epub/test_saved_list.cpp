#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "epub/saved_list.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::TempDir;

TEST(SavedLists, TheFileIsReadableTextAndEveryByteOfANameComesBack) {
    SavedList list;
    list.title = "Tome 1\t\\ 漫画";
    list.author = "Ann\nBee";
    list.cover = "/books/x/cover.png";
    list.saveFolder = "/books/x";
    list.kind = BookKind::FixedLayout;
    list.rightToLeft = true;
    list.fit = "1072x1448";
    list.grey = true;
    list.details = {"ja", "Dawn", "2.5", "Two lines,\r\nhere."};
    list.pages = {
        {"/books/x/p/1.png", "", pages::ContentKind::Unknown, "Début"},
        {"/books/x/bad\xFF\x01.png", ""},
        {"/elsewhere/x.png", ""},
        {"/books/x/b.cbz", "a/b\tc.jpg", pages::ContentKind::Jpeg, "Two"},
        {"/books/x/b.cbz", "d.png", pages::ContentKind::Unknown},
    };
    const std::string text = savedListText(list, "/books/x");
    EXPECT_EQ(text,
              "pagelume list 1\n"
              "title\tTome 1\\t\\\\ 漫画\n"
              "author\tAnn\\nBee\n"
              "cover\tcover.png\n"
              "save-folder\t.\n"
              "kind\tfixed-layout\n"
              "right-to-left\tyes\n"
              "fit\t1072x1448\n"
              "grey\tyes\n"
              "language\tja\n"
              "series\tDawn\n"
              "series-index\t2.5\n"
              "description\tTwo lines,\\r\\nhere.\n"
              "chapter\tDébut\n"
              "page\tp/1.png\n"
              "page\tbad\\xFF\\x01.png\n"
              "page\t/elsewhere/x.png\n"
              "chapter\tTwo\n"
              "page\tb.cbz\ta/b\\tc.jpg\tjpeg\n"
              "page\tb.cbz\td.png\n");

    // Read from another folder: the relative paths follow the list there.
    const SavedList back = parseSavedList(text, "/moved", "L");
    SavedList moved = list;
    for (auto* path : {&moved.cover, &moved.saveFolder, &moved.pages[0].file, &moved.pages[1].file,
                       &moved.pages[3].file, &moved.pages[4].file})
        path->replace(0, 8, "/moved");
    EXPECT_TRUE(back.sameAs(moved)) << savedListText(back, "/");
    EXPECT_EQ(back.pages[3].kind, pages::ContentKind::Jpeg);
    EXPECT_EQ(back.pages[4].kind, pages::ContentKind::Unknown);

    // What an editor may do to it: a byte order mark, CR LF, comments, blank lines.
    const SavedList edited = parseSavedList(
        "\xEF\xBB\xBFpagelume list 1\r\n# mine\r\n\r\ntitle\tT\r\npage\ta.png\r\n", "/d", "L");
    EXPECT_EQ(edited.title, "T");
    ASSERT_EQ(edited.pages.size(), 1u);
    EXPECT_EQ(edited.pages[0].file, "/d/a.png");

    // The README's example is a list this program reads.
    const std::string readme = test::readFile(PAGELUME_SOURCE_DIR "/README.md");
    const std::size_t from = readme.find("\npagelume list 1\n");
    ASSERT_NE(from, std::string::npos);
    const SavedList example =
        parseSavedList(readme.substr(from + 1, readme.find("```", from) - from - 1), "/d", "README");
    ASSERT_EQ(example.pages.size(), 3u);
    EXPECT_EQ(example.pages[2].chapter, "Arrival");
    EXPECT_EQ(example.details.description, "The second volume.\nWith a map.");
}

TEST(SavedLists, DamagedOrHostileListsAreRefusedNamingTheLine) {
    const std::string head = "pagelume list 1\n";
    const struct {
        std::string text;
        int line;
        const char* what;
    } cases[] = {
        {"", 1, "not a Pagelume page list"},
        {"pagelume list 2\npage\ta.png\n", 1, "version"},
        {head + "title\tA\ntitle\tB\n", 3, "title given twice"},
        {head + "crop\t10\n", 2, "unknown entry \"crop\""},
        {head + "page\ta.png\npage\tb\xFF.png\n", 3, "not UTF-8"},
        {head + "page\ta.png\xC0\xAF\n", 2, "not UTF-8"},
        {head + "\npage\ta" + std::string(1, '\0') + ".png\n", 3, "NUL"},
        {head + "page\ta\x1B.png\n", 2, "control character"},
        {head + "page\ta\\q.png\n", 2, "escape"},
        {head + "page\ta.png\\x4\n", 2, "escape"},
        {head + "kind\tcomic\n", 2, "unknown kind of book"},
        {head + "language\tenglish!\n", 2, "language tag"},
        {head + "series-index\tthird\n", 2, "number in the series"},
        {head + "fit\thuge\n", 2, "fit"},
        {head + "page\t\tm.png\n", 2, "member without its archive"},
        {head + "page\tb.cbz\t\n", 2, "without its member"},
        {head + "page\tb.cbz\tm.png\tbmp\n", 2, "unknown kind of page"},
        {head + "title\n", 2, "no value"},
        {head + "chapter\tA\nchapter\tB\npage\ta.png\n", 3, "second chapter mark"},
        {head + "chapter\t\npage\ta.png\n", 2, "without a title"},
        {head + "page\ta.png\nchapter\tEnd\n\n", 3, "no page after it"},
        {head + "page\t" + std::string(kMaxSavedListLine, 'a') + "\n", 2, "longer than"},
    };
    for (const auto& c : cases) {
        try {
            parseSavedList(c.text, "/d", "L.pagelume");
            ADD_FAILURE() << "accepted: " << c.text.substr(0, 80);
        } catch (const ESavedList& e) {
            const std::string message = e.what();
            const std::string where = "L.pagelume, line " + std::to_string(c.line) + ": ";
            EXPECT_EQ(message.substr(0, where.size()), where) << message;
            EXPECT_NE(message.find(c.what), std::string::npos) << message;
        }
    }
}

TEST(SavedLists, AHugeFileOrAPipeIsRefusedWithoutBeingRead) {
    TempDir dir;
    // Sparse: reading it whole would take 64 GiB of memory.
    const std::string huge = dir / "huge.pagelume";
    test::writeFile(huge, "pagelume list 1\n");
    std::filesystem::resize_file(huge, std::uint64_t{64} << 30);
    try {
        readSavedList(huge);
        ADD_FAILURE() << "read";
    } catch (const ESavedList& e) {
        EXPECT_EQ(std::string(e.what()), huge + ": larger than 64 MiB, too large for a page list");
    }
    std::filesystem::resize_file(huge, kMaxSavedListBytes + 1);
    EXPECT_THROW(readSavedList(huge), ESavedList);

    // No writer on the other end: a reader that waited would hang here.
    const std::string pipe = dir / "pipe.pagelume";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(readSavedList(pipe), ESavedList);
    EXPECT_THROW(readSavedList(dir / "missing.pagelume"), EInOutError);
}

}  // namespace
}  // namespace pagelume::epub
