#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "pages/comic_archive.h"
#include "pages/page_reader.h"
#include "pages/page_sources.h"
#include "support/tempdir.h"

namespace pagelume::pages {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg bytes";
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + "png bytes";

void run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Writes members (name -> bytes) into a zip with Python's zipfile, which
// takes any name, "../" and absolute ones included.
void makeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& members,
             const std::string& dir) {
    std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n";
    int k = 0;
    for (const auto& [name, bytes] : members) {
        const std::string file = dir + "/m" + std::to_string(k++);
        writeFile(file, bytes);
        script += "z.writestr(zipfile.ZipInfo(" + std::string("'") + name + "'),open('" + file +
                  "','rb').read(),zipfile.ZIP_DEFLATED)\n";
    }
    script += "z.close()\n";
    writeFile(dir + "/make.py", script);
    run("python3 " + dir + "/make.py '" + path + "'");
}

class ArchiveTest : public ::testing::Test {
protected:
    // One comic's members, with everything a real archive carries besides pages.
    const std::vector<std::pair<std::string, std::string>> members = {
        {"vol/p10.jpg", kJpeg},
        {"vol/p9.png", kPng},
        {"vol/extra/p1.jpg", kJpeg},
        {"cover.JPEG", kJpeg},
        {"ComicInfo.xml", "<ComicInfo><Title>Night</Title><Writer>Ann</Writer></ComicInfo>"},
        {"Thumbs.db", "x"},
        {"__MACOSX/vol/._p10.jpg", kJpeg},
        {"vol/.hidden.jpg", kJpeg},
        {"nested.cbz", "PK\x03\x04"},
        {"text.jpg", "a text file in disguise"},
    };
    const std::vector<std::string> expected = {"cover.JPEG", "vol/extra/p1.jpg", "vol/p9.png",
                                               "vol/p10.jpg"};
    TempDir dir;
};

TEST_F(ArchiveTest, EveryKindListsItsPagesInNaturalOrderOfPaths) {
    makeZip(dir / "book.cbz", members, dir / "zipsrc");
    // The same members as files, for 7z and tar.
    for (const auto& [name, bytes] : members)
        writeFile(dir / "tree/" + name, bytes);
    run("cd '" + dir / "tree" + "' && 7z a -bd -bso0 ../book.cb7 . >/dev/null && tar cf ../book.cbt .");
    std::filesystem::copy_file(dir / "book.cbz", dir / "renamed.dat");
    for (const char* name : {"book.cbz", "book.cb7", "book.cbt", "renamed.dat"}) {
        SCOPED_TRACE(name);
        const SourcePages source = pagesFrom(dir / name);
        std::vector<std::string> found;
        for (const Page& p : source.pages) {
            EXPECT_EQ(p.file, dir / name);
            found.push_back(p.member);
        }
        EXPECT_EQ(found, expected);
        // Each folder's first page starts a chapter; the top level is the archive's.
        const std::string top = std::string(name).substr(0, std::string(name).find('.'));
        EXPECT_EQ(source.pages[0].chapter, top);
        EXPECT_EQ(source.pages[1].chapter, "extra");
        EXPECT_EQ(source.pages[2].chapter, "vol");
        EXPECT_EQ(source.pages[3].chapter, "");
        EXPECT_EQ(source.info.title, "Night");
        EXPECT_EQ(source.info.writer, "Ann");
        std::string error;
        EXPECT_EQ(readPageBytes(source.pages[2], 1 << 20, &error), kPng) << error;
    }
}

TEST_F(ArchiveTest, OneMemberOnePassAndEveryFailureNamed) {
    makeZip(dir / "book.cbz", members, dir / "zipsrc");
    std::filesystem::create_directory(dir / "out");
    std::vector<MemberCopy> wanted(3);
    wanted[0].member = "vol/p9.png";
    wanted[0].target = dir / "out/a.png";
    wanted[1].member = "vol/p10.jpg";
    wanted[1].target = dir / "out/b.jpg";
    wanted[2].member = "gone.jpg";
    wanted[2].target = dir / "out/c.jpg";
    std::vector<std::string> order;
    extractMembers(dir / "book.cbz", wanted, [&](const MemberCopy& c) { order.push_back(c.member); });
    EXPECT_EQ(order, (std::vector<std::string>{"vol/p10.jpg", "vol/p9.png", "gone.jpg"}))
        << "the archive's own order, the missing one last";
    EXPECT_EQ(readFile(dir / "out/a.png"), kPng);
    EXPECT_EQ(readFile(dir / "out/b.jpg"), kJpeg);
    EXPECT_FALSE(wanted[2].done);
    EXPECT_EQ(wanted[2].reason, "not found in the archive");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/c.jpg"));

    // A target that exists is never overwritten: the disk's failure, not the archive's.
    wanted[0].done = false;
    extractMembers(dir / "book.cbz", wanted, [](const MemberCopy&) {});
    EXPECT_TRUE(wanted[0].writeFailed);
    EXPECT_EQ(readFile(dir / "out/a.png"), kPng);
}

TEST_F(ArchiveTest, HostileArchivesGiveNoPathAndNoHang) {
    makeZip(dir / "evil.cbz",
            {{"../escape.jpg", kJpeg}, {"/abs.jpg", kJpeg}, {"a/../../up.jpg", kJpeg},
             {"./ok.jpg", kJpeg}},
            dir / "zipsrc");
    const SourcePages evil = pagesFrom(dir / "evil.cbz");
    ASSERT_EQ(evil.pages.size(), 1u);
    EXPECT_EQ(evil.pages[0].member, "ok.jpg");

    // A link and a member whose header claims 2 GiB, in a tar made by hand.
    writeFile(dir / "t/p1.jpg", kJpeg);
    writeFile(dir / "t/p2.jpg", kJpeg);
    std::filesystem::create_symlink("/etc/passwd", dir / "t/link.jpg");
    run("cd '" + dir / "t" + "' && tar cf ../odd.cbt p1.jpg link.jpg p2.jpg");
    std::string tar = readFile(dir / "odd.cbt");
    // p2.jpg's header is the fourth block of 512 (p1 header, p1 data, link header).
    ASSERT_EQ(tar.substr(3 * 512, 6), "p2.jpg");
    std::string header = tar.substr(3 * 512, 512);
    header.replace(124, 12, std::string("20000000000") + '\0');
    header.replace(148, 8, "        ");
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    header.replace(148, 7, std::string(field, 6) + '\0');
    tar.replace(3 * 512, 512, header);
    writeFile(dir / "odd.cbt", tar);
    const SourcePages odd = pagesFrom(dir / "odd.cbt");
    std::vector<std::string> names;
    for (const Page& p : odd.pages)
        names.push_back(p.member);
    EXPECT_EQ(names, (std::vector<std::string>{"p1.jpg", "p2.jpg"})) << "the link is no page";
    std::vector<MemberCopy> wanted(1);
    wanted[0].member = "p2.jpg";
    wanted[0].target = dir / "big.jpg";
    extractMembers(dir / "odd.cbt", wanted, [](const MemberCopy&) {});
    EXPECT_FALSE(wanted[0].done);
    EXPECT_EQ(wanted[0].reason, "unpacks to more than 1 GiB");
    EXPECT_FALSE(std::filesystem::exists(dir / "big.jpg"));

    // An encrypted member is a page that cannot be copied.
    writeFile(dir / "enc/p1.jpg", kJpeg);
    run("cd '" + dir / "enc" + "' && zip -q -P secret ../enc.cbz p1.jpg");
    const SourcePages enc = pagesFrom(dir / "enc.cbz");
    ASSERT_EQ(enc.pages.size(), 1u);
    wanted[0] = MemberCopy{};
    wanted[0].member = "p1.jpg";
    wanted[0].target = dir / "enc.jpg";
    extractMembers(dir / "enc.cbz", wanted, [](const MemberCopy&) {});
    EXPECT_FALSE(wanted[0].done);
    EXPECT_FALSE(wanted[0].reason.empty());

    // Truncated halfway: what can be listed is listed, the rest fails by name.
    makeZip(dir / "whole.cbz", members, dir / "zipsrc2");
    std::string whole = readFile(dir / "whole.cbz");
    writeFile(dir / "cut.cbz", whole.substr(0, whole.size() / 2));
    try {
        const SourcePages cut = pagesFrom(dir / "cut.cbz");
        std::vector<MemberCopy> all;
        for (const Page& p : cut.pages) {
            MemberCopy c;
            c.member = p.member;
            c.target = dir / ("cut-" + std::to_string(all.size()));
            all.push_back(c);
        }
        extractMembers(dir / "cut.cbz", all, [](const MemberCopy&) {});
    } catch (const ENotPageSource& e) {
        EXPECT_NE(std::string(e.what()).find("cut.cbz"), std::string::npos);
    }
}

TEST_F(ArchiveTest, TwentyThousandMembersListInOrder) {
    std::string script =
        "import zipfile,sys,random\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
        "n=list(range(20000))\nrandom.Random(4).shuffle(n)\n"
        "for i in n: z.writestr('p%d.jpg' % i, b'\\xff\\xd8\\xff')\nz.close()\n";
    writeFile(dir / "make.py", script);
    run("python3 '" + dir / "make.py" + "' '" + dir / "many.cbz" + "'");
    const SourcePages many = pagesFrom(dir / "many.cbz");
    ASSERT_EQ(many.pages.size(), 20000u);
    EXPECT_EQ(many.pages[9].member, "p9.jpg");
    EXPECT_EQ(many.pages[10].member, "p10.jpg");
    EXPECT_EQ(many.pages.back().member, "p19999.jpg");
}

}  // namespace
}  // namespace pagelume::pages
