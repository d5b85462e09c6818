#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/profile.h"
#include "support/tempdir.h"

namespace pagelume::platform {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(Profile, MissingFileGivesDefaultAndIsCreatedOnWrite) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", ""), "");
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", "/home/me/Books"));
    EXPECT_EQ(readFile(ini), "[Options]\nSavePath=/home/me/Books\n");
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", ""), "/home/me/Books");
}

TEST(Profile, WritingOneKeyKeepsEveryOtherByte) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    const std::string before =
        "; written by hand\r\n[Window]\r\nLeft=10\r\n\r\n[options]\r\n  savepath = C:\\old \r\n"
        "Other=x\r\n[Last]\r\nKey=\xC3\xA9\r\n";
    writeFile(ini, before);
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", "d"), "C:\\old");
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", "/new"));
    std::string expected = before;
    expected.replace(expected.find("  savepath = C:\\old "), 20, "SavePath=/new");
    EXPECT_EQ(readFile(ini), expected);
}

TEST(Profile, KeyIsAddedAtTheEndOfItsSectionOrWithANewSection) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    writeFile(ini, "[Options]\nA=1\n\n[Other]\nB=2");
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", ""));
    EXPECT_EQ(readFile(ini), "[Options]\nA=1\nSavePath=\n\n[Other]\nB=2");

    writeFile(ini, "[Other]\nB=2");  // no line break at the end
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", "x"));
    EXPECT_EQ(readFile(ini), "[Other]\nB=2\n[Options]\nSavePath=x\n");
}

TEST(Profile, ValuesAreCutAndCleaned) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    writeFile(ini, "[Options]\nSavePath=\"/quoted path\"\n");
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", ""), "/quoted path");

    writeFile(ini, "[Options]\nSavePath=" + std::string(5000, 'a') + "\n");
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", "").size(), kProfileValueMax);

    // A line break in a value must not become a line of the file.
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", "/a\n[Evil]\nX=1"));
    EXPECT_EQ(readFile(ini), "[Options]\nSavePath=/a\n");
}

TEST(Profile, GarbageAndUnwritableFilesDoNotCrashOrLoseData) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
    writeFile(ini, garbage);
    (void)readProfileString(ini, "Options", "SavePath", "");
    ASSERT_TRUE(writeProfileString(ini, "Options", "SavePath", "/x"));
    EXPECT_EQ(readProfileString(ini, "Options", "SavePath", ""), "/x");

    // A directory where the file should be: reading gives the default,
    // writing fails and leaves it alone.
    const std::string asDir = dir / "dir.ini";
    std::filesystem::create_directory(asDir);
    EXPECT_EQ(readProfileString(asDir, "Options", "SavePath", "dflt"), "dflt");
    EXPECT_FALSE(writeProfileString(asDir, "Options", "SavePath", "/x"));
    EXPECT_TRUE(std::filesystem::is_directory(asDir));
    EXPECT_FALSE(writeProfileString(dir / "missing/config.ini", "Options", "SavePath", "/x"));
}

TEST(Profile, AFifoIsNeverWaitedOnAndALinkStaysALink) {
    TempDir dir;
    const std::string fifo = dir / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(60);  // a read that waits for a writer ends the test instead of hanging it
    EXPECT_EQ(readProfileString(fifo, "Options", "SavePath", "dflt"), "dflt");
    EXPECT_FALSE(writeProfileString(fifo, "Options", "SavePath", "/x"));
    ::alarm(0);

    // A dotfiles set-up: the settings file is a link into another folder.
    const std::string real = dir / "dotfiles/pagelume.ini";
    writeFile(real, "; mine\n[Options]\nSavePath=/old\n");
    const std::string link = dir / "config/config.ini";
    std::filesystem::create_directories(dir / "config");
    std::filesystem::create_symlink("../dotfiles/pagelume.ini", link);
    ASSERT_TRUE(writeProfileString(link, "Options", "SavePath", "/new"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), "; mine\n[Options]\nSavePath=/new\n");
    EXPECT_EQ(readProfileString(link, "Options", "SavePath", ""), "/new");
    EXPECT_EQ(listDirectory(dir / "dotfiles").size(), 1u) << "no temporary file is left";
}

}  // namespace
}  // namespace pagelume::platform
