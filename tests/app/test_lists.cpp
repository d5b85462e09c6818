#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "app/Unit1.h"
#include "app/cli.h"
#include "app/startup.h"
#include "fake_desktop.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"
#include "ui/pagelist.h"

namespace pagelume::app {
namespace {

using test::FakeDesktop;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A book's bytes with the entries' time stamps (when the staged files were
// written) set to zero: everything else must come out the same.
std::string withoutTimes(std::string zip) {
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(zip.at(at)) |
                                        static_cast<unsigned char>(zip.at(at + 1)) << 8);
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (zip.size() < 22)
        return zip;
    const std::size_t end = zip.size() - 22;  // no archive comment
    std::size_t at = u32(end + 16);
    for (std::size_t n = u16(end + 10); n > 0; --n) {
        std::memset(zip.data() + at + 12, 0, 4);
        std::memset(zip.data() + u32(at + 42) + 10, 0, 4);
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return zip;
}

class ListTest : public ::testing::Test {
protected:
    ListTest() { test::installContainerFiles(dir / "epubfiles"); }
    std::unique_ptr<TForm1> makeForm() {
        auto f = std::make_unique<TForm1>(dir.path(), desktop);
        f->show();
        return f;
    }
    int cli(std::vector<std::string> args) {
        std::istringstream in;
        std::ostringstream out;
        err.str("");
        return runCommandLine(args, dir / "epubfiles", in, out, err, false);
    }
    TempDir dir;
    FakeDesktop desktop;
    std::ostringstream err;
};

TEST_F(ListTest, ASavedListMakesTheSameBookInTheWindowAndOnTheCommandLineWhereverItMoves) {
    const std::string png = test::makePng(30, 40, [](int x, int y) { return 0xFF000000u | x << 8 | y; });
    writeFile(dir / "in/a.png", png);
    writeFile(dir / "in/sub/b.png", png + "b");
    writeFile(dir / "zip/m1.png", png + "m");
    ASSERT_EQ(std::system(("cd '" + dir / "zip" + "' && zip -q ../in/c.cbz m1.png").c_str()), 0);
    auto f = makeForm();
    f->addPages(0, {dir / "in/a.png", dir / "in/c.cbz", dir / "in/sub/b.png"}, false);
    ASSERT_EQ(f->pageCount(), 3);
    pages::Page marked = f->page(1);
    marked.chapter = "Second";
    f->ListView1->pageModel().removePage(1);
    f->ListView1->pageModel().insertPages(1, {marked});
    f->Edit1->setText("T");
    f->Edit2->setText("Ann");
    f->LabeledEdit4->setText(QString::fromStdString(dir / "in/out"));
    f->ComboBoxKind->setCurrentIndex(1);  // strict: an archive page's kind reaches the book
    f->setBookDetails({"ja", "Dawn", "2", "A test."});
    f->PNGButton4Click();
    const std::string book = readFile(dir / "in/out/T.epub");
    ASSERT_EQ(book.substr(0, 2), "PK");
    std::filesystem::rename(dir / "in/out/T.epub", dir / "first.epub");
    EXPECT_FALSE(f->listUnsaved()) << "the book was made of exactly this list";

    desktop.listToSave = QString::fromStdString(dir / "in/book.pagelume");
    f->SaveList1Click();
    desktop.listToOpen = desktop.listToSave;
    auto g = makeForm();
    g->OpenList1Click();
    EXPECT_TRUE(g->savedList().sameAs(f->savedList()));
    auto h = makeForm();
    addStartPages(*h, {dir / "in/book.pagelume"});  // pagelume --gui LIST
    EXPECT_TRUE(h->savedList().sameAs(f->savedList()));
    g->PNGButton4Click();
    EXPECT_EQ(withoutTimes(readFile(dir / "in/out/T.epub")), withoutTimes(book));

    // The folder moves with its list; the book comes out in its new place.
    std::filesystem::rename(dir / "in", dir / "moved");
    ASSERT_EQ(cli({"--yes", dir / "moved/book.pagelume"}), 0) << err.str();
    EXPECT_EQ(withoutTimes(readFile(dir / "moved/out/T.epub")), withoutTimes(book));

    // Options on the command line win over the list's.
    ASSERT_EQ(cli({"--title", "Other", "--output", dir / "elsewhere", dir / "moved/book.pagelume"}), 0)
        << err.str();
    EXPECT_TRUE(std::filesystem::exists(dir / "elsewhere/Other.epub"));
    EXPECT_EQ(cli({dir / "moved/book.pagelume", dir / "moved/a.png"}), 2);
    writeFile(dir / "bad.pagelume", "pagelume list 1\npage\ta.png\\q\n");
    EXPECT_EQ(cli({dir / "bad.pagelume"}), 1);
    EXPECT_EQ(err.str(), "pagelume: " + (dir / "bad.pagelume") + ", line 2: a backslash that starts "
                         "no known escape (\\\\, \\t, \\n, \\r, \\xHH)\n");
}

TEST_F(ListTest, OpeningADamagedListChangesNothing) {
    auto f = makeForm();
    f->addPages(0, {dir / "a.png", dir / "b.png"}, false);
    f->Edit1->setText("Mine");
    writeFile(dir / "l.pagelume",
              "pagelume list 1\ntitle\tTheirs\npage\tx.png\npage\ty.png\nlanguage\tnot a tag\n");
    desktop.listToOpen = QString::fromStdString(dir / "l.pagelume");
    f->OpenList1->trigger();
    ASSERT_EQ(desktop.errors.size(), 1u);
    EXPECT_EQ(desktop.errors[0].text.toStdString(),
              dir / "l.pagelume" + ", line 5: not a language tag (such as ja or fr-CA)");
    EXPECT_EQ(f->Edit1->text(), "Mine");
    ASSERT_EQ(f->pageCount(), 2);
    EXPECT_EQ(f->page(0).file, dir / "a.png");
    EXPECT_EQ(f->page(1).file, dir / "b.png");
}

TEST_F(ListTest, ClosingAsksToSaveAnUnsavedListOfMoreThanOnePage) {
    const std::string list = dir / "l.pagelume";
    desktop.listToSave = QString::fromStdString(list);
    auto twoPages = [&] {
        auto f = makeForm();
        f->addPages(0, {dir / "a.png", dir / "b.png"}, false);
        return f;
    };
    auto f = twoPages();
    desktop.saveAnswer = SaveAnswer::Cancel;
    EXPECT_FALSE(f->close());
    EXPECT_TRUE(f->isVisible());
    desktop.saveAnswer = SaveAnswer::Discard;
    EXPECT_TRUE(f->close());
    EXPECT_FALSE(std::filesystem::exists(list));
    EXPECT_EQ(desktop.saveQuestions.size(), 2u);

    f = twoPages();
    desktop.saveAnswer = SaveAnswer::Save;
    EXPECT_TRUE(f->close());
    EXPECT_EQ(epub::readSavedList(list).pages.size(), 2u) << "saved, then closed";

    // Saved or opened, and unchanged since: nothing to ask.
    desktop.saveQuestions.clear();
    f = makeForm();
    f->openList(list);
    EXPECT_TRUE(f->close());
    f = twoPages();
    f->saveList(list);
    f->Edit1->setText("changed");
    desktop.saveAnswer = SaveAnswer::Cancel;
    EXPECT_FALSE(f->close());
    EXPECT_EQ(desktop.saveQuestions.size(), 1u);
    f->Edit1->setText("");
    EXPECT_TRUE(f->close()) << "as it was saved";

    f = makeForm();
    f->addPages(0, {dir / "a.png"}, false);
    EXPECT_TRUE(f->close()) << "one page is quickly added again";
    EXPECT_EQ(desktop.saveQuestions.size(), 1u);
}

}  // namespace
}  // namespace pagelume::app
