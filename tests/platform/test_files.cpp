#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"
#include "support/tempdir.h"

namespace pagelume::platform {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(Files, ListingIsSortedWithoutRegardToCaseAndCarriesAttributes) {
    TempDir dir;
    for (const char* name : {"page10.html", "mimetype", "page2.html", "B.png", "a.png", ".hidden"})
        writeFile(dir / name, "x");
    std::filesystem::create_directory(dir / "META-INF");
    ::chmod((dir / "a.png").c_str(), 0444);

    std::vector<std::string> names;
    for (const auto& e : listDirectory(dir.path())) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.png", "B.png", "META-INF", "mimetype",
                                               "page10.html", "page2.html"}));

    EXPECT_EQ(fileAttributes(dir / "B.png"), faArchive);
    EXPECT_EQ(fileAttributes(dir / "a.png"), faArchive | faReadOnly);
    EXPECT_EQ(fileAttributes(dir / ".hidden"), faArchive | faHidden);
    EXPECT_EQ(fileAttributes(dir / "META-INF"), faDirectory);
    EXPECT_FALSE(fileAttributes(dir / "nothing").has_value());
}

TEST(Files, DosTimeStampsAndTheirLimits) {
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 23;
    t.tm_min = 14;
    t.tm_sec = 59;
    t.tm_isdst = -1;
    const uint32_t v = toDosDateTime(mktime(&t));
    EXPECT_EQ(v >> 16, ((2026u - 1980) << 9) | (12u << 5) | 7u);
    EXPECT_EQ(v & 0xFFFF, (23u << 11) | (14u << 5) | 29u);  // two-second steps
    t.tm_year = 1975 - 1900;
    EXPECT_EQ(toDosDateTime(mktime(&t)), 0xFFFFFFFFu);
}

TEST(Files, CopyNeverOverwritesAndLeavesNothingOnFailure) {
    TempDir dir;
    writeFile(dir / "src", "new");
    writeFile(dir / "dst", "old");
    EXPECT_FALSE(copyFileNoOverwrite(dir / "src", dir / "dst"));
    EXPECT_EQ(readFile(dir / "dst"), "old");
    EXPECT_TRUE(copyFileNoOverwrite(dir / "src", dir / "copy"));
    EXPECT_EQ(readFile(dir / "copy"), "new");
    EXPECT_FALSE(copyFileNoOverwrite(dir / "missing", dir / "x"));
    EXPECT_FALSE(pathExists(dir / "x"));
    EXPECT_FALSE(copyFileNoOverwrite(dir.path(), dir / "y"));  // a directory is not a file
    EXPECT_FALSE(pathExists(dir / "y"));
}

TEST(Files, CopyRefusesWhatIsNotARegularFileWithoutWaitingOnIt) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    std::string reason;
    // A FIFO nobody writes to: opening it for reading would wait for ever.
    EXPECT_FALSE(copyFileNoOverwrite(dir / "pipe", dir / "a", &reason));
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_FALSE(copyFileNoOverwrite("/dev/zero", dir / "b", &reason)) << "an endless device";
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_FALSE(copyFileNoOverwrite(dir.path(), dir / "c", &reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_FALSE(copyFileNoOverwrite(dir / "missing", dir / "d", &reason));
    EXPECT_EQ(reason, "No such file or directory");
    writeFile(dir / "e", "taken");
    writeFile(dir / "src", "new");
    EXPECT_FALSE(copyFileNoOverwrite(dir / "src", dir / "e", &reason));
    EXPECT_EQ(reason, "File exists");
    for (const char* name : {"a", "b", "c", "d"})
        EXPECT_FALSE(pathExists(dir / name)) << name;
}

TEST(Files, ListingsReportWhatTheyCannotRead) {
    TempDir dir;
    int error = -1;
    EXPECT_TRUE(listDirectory(dir / "missing", &error).empty());
    EXPECT_EQ(error, ENOENT);
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    std::filesystem::create_symlink(dir / "gone", dir / ".hidden-dangling");
    const auto items = listDirectory(dir.path(), &error);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, ".hidden-dangling");
    EXPECT_EQ(items[0].statError, ENOENT);
    EXPECT_EQ(items[0].attributes, faArchive | faSysFile | faHidden);
    EXPECT_EQ(items[1].statError, ENOENT);
}

TEST(Files, RemoveTreeRemovesEverythingAndFollowsNoLink) {
    TempDir dir;
    writeFile(dir / "tree/a/b/c.txt", "x");
    writeFile(dir / "keep.txt", "x");
    std::filesystem::create_symlink(dir / "keep.txt", dir / "tree/link");
    EXPECT_TRUE(removeTree(dir / "tree"));
    EXPECT_FALSE(pathExists(dir / "tree"));
    EXPECT_TRUE(fileExists(dir / "keep.txt"));  // links are removed, not followed
}

TEST(Files, PathParts) {
    EXPECT_EQ(fileNamePart("/a/b/c.png"), "c.png");
    EXPECT_EQ(fileNamePart("c.png"), "c.png");
    EXPECT_EQ(directoryPart("/a/b/c.png"), "/a/b/");
    EXPECT_EQ(directoryPart("c.png"), "");
    EXPECT_TRUE(equalsNoCase("OEBPS/Page1.HTML", "oebps/page1.html"));
    EXPECT_FALSE(equalsNoCase("\xC3\xA9", "\xC3\x89"));  // only ASCII folds
}

}  // namespace
}  // namespace pagelume::platform
