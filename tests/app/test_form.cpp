#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "app/Unit1.h"
#include "fake_desktop.h"
#include "platform/files.h"
#include "support/tempdir.h"
#include "ui/pagelist.h"

namespace pagelume::app {
namespace {

using test::FakeDesktop;
using test::readFile;
using test::TempDir;
using test::writeFile;

class FormTest : public ::testing::Test {
protected:
    FormTest() { test::installContainerFiles(exe / "epubfiles"); }
    std::unique_ptr<TForm1> makeForm() { return std::make_unique<TForm1>(exe.path(), desktop); }

    // Rows as "number:path" for compact comparisons.
    static std::vector<std::string> rows(const TForm1& f) {
        std::vector<std::string> out;
        for (int p = 0; p < f.ListView1->rowCount(); ++p)
            out.push_back(
                (f.ListView1->rowCaption(p) + ":" + f.ListView1->rowPath(p)).toStdString());
        return out;
    }
    static void addRows(TForm1& f, FakeDesktop& d, QStringList paths) {
        d.images = paths;
        f.PNGButton2Click();
    }
    static QPoint centreOf(TForm1& f, int row) {
        return f.ListView1->rowRect(row).center();
    }
    // Drags the first selected row onto the given row, as the list reports it.
    static void dragOnto(TForm1& f, int targetRow) {
        f.ListView1DragOver(f.ListView1, centreOf(f, targetRow));
        f.ListView1DragDrop(f.ListView1, centreOf(f, targetRow));
    }

    // A shown window with one page and every field set, whose book exists.
    std::unique_ptr<TForm1> formReadyToReplaceABook(const std::string& page) {
        writeFile(exe / "in/a.png", page);
        writeFile(exe / "out/T.epub", "old");
        auto f = makeForm();
        f->show();
        addRows(*f, desktop, {QString::fromStdString(exe / "in/a.png")});
        f->Edit1->setText("T");
        f->Edit2->setText("A");
        f->LabeledEdit4->setText(QString::fromStdString(exe / "out"));
        return f;
    }

    TempDir exe;
    FakeDesktop desktop;
};

TEST_F(FormTest, DroppingARowPutsItBeforeTheTargetAndRenumbers) {
    auto f = makeForm();
    f->resize(719, 512);
    f->show();
    addRows(*f, desktop, {"A", "B", "C", "D", "E"});

    f->ListView1->setRowSelected(0, true);
    dragOnto(*f, 3);
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:B", "2:C", "3:A", "4:D", "5:E"}));
    EXPECT_FALSE(f->ListView1->isRowSelected(2)) << "the moved row is not selected";

    f->ListView1->clearSelection();
    f->ListView1->setRowSelected(4, true);
    dragOnto(*f, 1);
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:B", "2:E", "3:C", "4:A", "5:D"}));

    f->ListView1->clearSelection();
    f->ListView1->setRowSelected(2, true);
    dragOnto(*f, 2);  // onto itself
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:B", "2:E", "3:C", "4:A", "5:D"}));
}

TEST_F(FormTest, DropsThatChangeNothing) {
    auto f = makeForm();
    f->show();
    addRows(*f, desktop, {"A", "B", "C"});
    const auto before = rows(*f);

    f->ListView1->setRowSelected(0, true);
    const QPoint below(20, f->ListView1->viewport()->height() - 2);
    f->ListView1DragOver(f->ListView1, below);
    f->ListView1DragDrop(f->ListView1, below);  // empty area below the last row
    EXPECT_EQ(rows(*f), before);

    f->ListView1DragOver(f->ListView1, centreOf(*f, 2));
    f->ListView1DragDrop(f->Edit1, centreOf(*f, 2));  // not from a list
    EXPECT_EQ(rows(*f), before);

    f->ListView1->clearSelection();
    f->ListView1DragOver(f->ListView1, centreOf(*f, 2));
    f->ListView1DragDrop(f->ListView1, centreOf(*f, 2));  // nothing was selected
    EXPECT_EQ(rows(*f), before);
}

TEST_F(FormTest, OnlyTheFirstSelectedRowMovesAndTheOthersStaySelected) {
    auto f = makeForm();
    f->show();
    addRows(*f, desktop, {"A", "B", "C", "D", "E"});
    f->ListView1->setRowSelected(1, true);
    f->ListView1->setRowSelected(2, true);
    dragOnto(*f, 4);
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:A", "2:C", "3:D", "4:B", "5:E"}));
    EXPECT_TRUE(f->ListView1->isRowSelected(1));  // C, still selected
}

TEST_F(FormTest, AddingRemovingAndNumbering) {
    auto f = makeForm();
    addRows(*f, desktop, {"A", "B", "C"});
    addRows(*f, desktop, {"D", "D"});  // the same file twice gives two rows
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:A", "2:B", "3:C", "4:D", "5:D"}));

    f->ListView1->setRowSelected(1, true);
    f->ListView1->setRowSelected(3, true);
    f->RemoveSelected1Click();
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:A", "2:C", "3:D"}));

    desktop.images.clear();  // a cancelled dialog adds nothing
    f->Add1Click();
    EXPECT_EQ(f->ListView1->rowCount(), 3);

    f->RemoveAll1Click();
    addRows(*f, desktop, {"X"});
    EXPECT_EQ(rows(*f), (std::vector<std::string>{"1:X"}));
}

TEST_F(FormTest, BrowseButtonsFillTheirFieldsUnlessCancelled) {
    auto f = makeForm();
    f->LabeledEdit3->setText("/old/cover.png");
    f->LabeledEdit4->setText("/old/out");
    f->PNGButton8Click();
    f->PNGButton9Click();
    EXPECT_EQ(f->LabeledEdit3->text(), "/old/cover.png");
    EXPECT_EQ(f->LabeledEdit4->text(), "/old/out");
    desktop.image = "/new/cover.png";
    desktop.folder = "/new/out";
    f->PNGButton8Click();
    f->PNGButton9Click();
    EXPECT_EQ(f->LabeledEdit3->text(), "/new/cover.png");
    EXPECT_EQ(f->LabeledEdit4->text(), "/new/out");
}

TEST_F(FormTest, TheSavePathSurvivesARestartAndOtherLinesStay) {
    {
        auto f = makeForm();
        EXPECT_EQ(f->LabeledEdit4->text(), "") << "first start without config.ini";
        f->LabeledEdit4->setText("/books/out");
        f->FormDestroy();
    }
    EXPECT_EQ(readFile(exe / "config.ini"),
              "[Options]\nSavePath=/books/out\nStrictEpub=0\nBookKind=default\nRightToLeft=0\n");
    writeFile(exe / "config.ini",
              "# mine\r\n[Options]\r\nSavePath=/books/out\r\nZoom=2\r\nStrictEpub=0\r\n"
              "BookKind=default\r\nRightToLeft=0\r\n");
    {
        auto f = makeForm();
        EXPECT_EQ(f->LabeledEdit4->text(), "/books/out");
        f->LabeledEdit4->clear();
        f->FormDestroy();
    }
    EXPECT_EQ(readFile(exe / "config.ini"),
              "# mine\r\n[Options]\r\nSavePath=\r\nZoom=2\r\nStrictEpub=0\r\n"
              "BookKind=default\r\nRightToLeft=0\r\n");
    auto f = makeForm();
    EXPECT_EQ(f->LabeledEdit4->text(), "");
}

TEST_F(FormTest, TheStrictChoiceIsRememberedAndMakesAStrictBook) {
    // What earlier versions wrote still reads as strict.
    writeFile(exe / "config.ini", "[Options]\r\nStrictEpub=1\r\nSavePath=/x\r\n");
    {
        auto f = makeForm();
        EXPECT_EQ(f->ComboBoxKind->currentText(), "Strict EPUB");
        EXPECT_EQ(f->kind(), epub::BookKind::Strict) << "the book asks the combo box";
        EXPECT_FALSE(f->ComboBoxKind->toolTip().isEmpty());
        EXPECT_EQ(f->ComboBoxKind->accessibleName(), "Kind of book");
        EXPECT_FALSE(f->CheckBoxRtl->isEnabled()) << "right to left is a fixed layout's";
        // By keyboard: the combo box is in the tab chain, the arrows choose.
        f->ComboBoxKind->setFocus();
        QTest::keyClick(f->ComboBoxKind, Qt::Key_Down);
        EXPECT_EQ(f->kind(), epub::BookKind::FixedLayout);
        EXPECT_TRUE(f->CheckBoxRtl->isEnabled());
        EXPECT_EQ(f->ComboBoxKind->nextInFocusChain(), f->CheckBoxRtl);
        f->CheckBoxRtl->click();
        EXPECT_TRUE(f->rightToLeft());
        f->FormDestroy();
    }
    EXPECT_EQ(readFile(exe / "config.ini"),
              "[Options]\r\nStrictEpub=0\r\nSavePath=/x\r\nBookKind=fixed-layout\r\n"
              "RightToLeft=1\r\n");
    {
        auto f = makeForm();
        EXPECT_EQ(f->kind(), epub::BookKind::FixedLayout);
        EXPECT_TRUE(f->rightToLeft());
        f->ComboBoxKind->setCurrentIndex(0);
        EXPECT_FALSE(f->rightToLeft()) << "only a fixed layout reads right to left";
    }
    writeFile(exe / "config.ini", "[Options]\nStrictEpub=yes\n");
    EXPECT_EQ(makeForm()->kind(), epub::BookKind::Default) << "only 1 means on";
    writeFile(exe / "config.ini", "[Options]\nStrictEpub=1\nBookKind=sideways\n");
    EXPECT_EQ(makeForm()->kind(), epub::BookKind::Strict) << "an unknown kind falls back";

    // Strict, a book with a page that is no image stops after the checks.
    auto f = formReadyToReplaceABook("not an image");
    f->ComboBoxKind->setCurrentIndex(1);
    desktop.answer = true;
    f->PNGButton4Click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text.toStdString(),
              "Page 1 is not a PNG, JPEG or GIF image: " + (exe / "in/a.png"));
    EXPECT_EQ(readFile(exe / "out/T.epub"), "old");
}

TEST_F(FormTest, ShutdownRemovesTheContentDirectoryOnly) {
    writeFile(exe / "epubfiles/OEBPS/page1.html", "left from an earlier run");
    writeFile(exe / "out/Book.epub", "a finished book");
    auto f = makeForm();
    f->FormDestroy();
    EXPECT_FALSE(platform::pathExists(exe / "epubfiles/OEBPS"));
    EXPECT_TRUE(platform::fileExists(exe / "epubfiles/mimetype"));
    EXPECT_TRUE(platform::fileExists(exe / "out/Book.epub"));
}

TEST_F(FormTest, AnUnwritableConfigRaisesItsMessage) {
    std::filesystem::create_directory(exe / "config.ini");
    auto f = makeForm();
    try {
        f->FormDestroy();
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + (exe / "config.ini"));
        f->showDefaultError(e);
    }
    ASSERT_EQ(desktop.errors.size(), 1u);
    EXPECT_EQ(desktop.errors[0].text.toStdString(),
              "Unable to write to " + (exe / "config.ini") + ".");
    EXPECT_EQ(desktop.errors[0].caption, "Pagelume");
}

TEST_F(FormTest, DuringAConversionCommandsAreOffAndClosingWaits) {
    auto f = formReadyToReplaceABook("a");
    bool convertEnabled = true, listEnabled = true, closed = true, strictEnabled = true;
    desktop.duringQuestion = [&] {
        strictEnabled = f->ComboBoxKind->isEnabled() || f->CheckBoxRtl->isEnabled();
        convertEnabled = f->PNGButton4->Enabled();
        listEnabled = f->ListView1->isEnabled();
        closed = f->close();
    };
    desktop.answer = false;
    f->PNGButton4Click();
    EXPECT_FALSE(convertEnabled);
    EXPECT_FALSE(listEnabled);
    EXPECT_FALSE(strictEnabled);
    EXPECT_FALSE(closed) << "the window does not close under a running conversion";
    EXPECT_FALSE(f->isVisible()) << "it closes once the conversion has ended";
    EXPECT_FALSE(f->conversionRunning());
    EXPECT_TRUE(f->PNGButton4->Enabled());
    EXPECT_EQ(readFile(exe / "out/T.epub"), "old");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FormTest, WhenTheSessionEndsARunStopsCleansUpAndTheWindowCloses) {
    auto f = formReadyToReplaceABook(std::string(1 << 20, 'a'));
    desktop.answer = true;  // the question was already answered when the signal came
    desktop.duringQuestion = [&] { f->sessionEnding(); };
    f->PNGButton4Click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(f->conversionRunning());
    EXPECT_TRUE(desktop.messages.empty()) << "neither built nor failed";
    EXPECT_TRUE(desktop.errors.empty());
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(exe / "out"))
        out.push_back(e.path().filename());
    EXPECT_EQ(out, std::vector<std::string>{"T.epub"});
    EXPECT_EQ(readFile(exe / "out/T.epub"), "old");
    f->FormDestroy();
    EXPECT_FALSE(platform::pathExists(exe / "epubfiles/OEBPS"));
}

TEST_F(FormTest, HomeOpensTheReadmeBesideTheProgram) {
    auto f = makeForm();
    f->PNGButton5Click();
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0], QUrl::fromLocalFile(QString::fromStdString(exe / "README.md")));
}

}  // namespace
}  // namespace pagelume::app
