#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "app/Unit1.h"
#include "app/details_dialog.h"
#include "app/startup.h"
#include "fake_desktop.h"
#include "platform/locale.h"
#include "support/tempdir.h"
#include "ui/qt_app.h"

namespace pagelume::app {
namespace {

using test::FakeDesktop;
using test::TempDir;
using test::writeFile;
using Rows = std::vector<std::string>;

class PagesTest : public test::WithQtApp, public ::testing::Test {
protected:
    PagesTest() : form(exe.path(), desktop) {
        test::installContainerFiles(exe / "epubfiles");
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // Rows as "number:path".
    Rows rows() const {
        Rows out;
        for (int p = 0; p < list()->rowCount(); ++p)
            out.push_back((list()->rowCaption(p) + ":" + list()->rowPath(p)).toStdString());
        return out;
    }
    ui::TPageList* list() const { return form.ListView1; }
    void add(QStringList paths) {
        desktop.images = paths;
        form.PNGButton2Click();
    }
    QPoint rowCentre(int row) const {
        return list()->rowRect(row).center();
    }
    QPoint belowLastRow() const { return {20, list()->viewport()->height() - 2}; }
    std::string file(const std::string& name) {
        writeFile(exe / name, "x");
        return exe / name;
    }
    QString qfile(const std::string& name) { return QString::fromStdString(file(name)); }

    // A drag from a file manager: enter, move to pos, then drop there unless
    // told not to. Returns whether the list accepted the drag, and the action.
    struct Drop {
        bool accepted = false;
        Qt::DropAction action = Qt::IgnoreAction;
        int lineWhileOver = -2;
    };
    Drop dropUrls(const QList<QUrl>& urls, QPoint pos, bool release = true) {
        QMimeData mime;
        mime.setUrls(urls);
        QWidget* vp = list()->viewport();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(pos, actions, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &enter);
        Drop d;
        d.accepted = enter.isAccepted();
        if (!d.accepted)
            return d;
        QDragMoveEvent move(pos, actions, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &move);
        d.lineWhileOver = list()->insertionRow();
        if (!release)
            return d;
        QDropEvent drop(pos, actions, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &drop);
        d.action = drop.dropAction();
        return d;
    }
    void activate() {
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    TempDir exe;
    FakeDesktop desktop;
    TForm1 form;
};

TEST_F(PagesTest, SortByNameOrdersNaturallyAndRenumbers) {
    QStringList texts;
    for (QAction* a : form.PopupMenu1->actions())
        texts.push_back(a->text());
    EXPECT_EQ(texts, (QStringList{"Add", "Remove Selected", "Remove All", "", "Add Folder...",
                                  "Sort by Name", "", "Open List...", "Save List...", "",
                                  "Show Large", "Thumbnails", "", "Start Chapter Here...",
                                  "Rename Chapter...", "Remove Chapter Mark", "Details..."}));

    add({"/b/p10.png", "/b/Page 9.png", "/b/p2.png", "/a/z.png", "/b/page 10.png", "/b/P1.png",
         "/b/p01.png"});
    list()->setRowSelected(2, true);  // p2
    form.SortByName1->trigger();
    // p01 and P1 are equal but for case and zeros: the plain bytes decide.
    EXPECT_EQ(rows(), (Rows{"1:/a/z.png", "2:/b/P1.png", "3:/b/p01.png", "4:/b/p2.png",
                            "5:/b/p10.png", "6:/b/Page 9.png", "7:/b/page 10.png"}));
    EXPECT_TRUE(list()->isRowSelected(3)) << "the selection moves with its row";
    EXPECT_FALSE(list()->isRowSelected(2));

    add({"/a/a.png"});  // adding keeps its order: at the end, not sorted in
    EXPECT_EQ(rows().back(), "8:/a/a.png");
}

TEST_F(PagesTest, AddFolderAppendsItsPngFilesInNaturalOrder) {
    add({"/first.png"});
    for (const char* name :
         {"book/p10.png", "book/p2.png", "book/p1.PNG", "book/notes.txt", "book/sub/p3.png"})
        file(name);
    desktop.folder = QString::fromStdString(exe / "book");
    form.AddFolder1->trigger();
    const std::string d = exe / "book/";
    EXPECT_EQ(rows(), (Rows{"1:/first.png", "2:" + d + "p1.PNG", "3:" + d + "p2.png",
                            "4:" + d + "p10.png", "5:" + d + "sub/p3.png"}));

    desktop.folder.clear();  // cancelled
    form.AddFolder1->trigger();
    EXPECT_EQ(list()->rowCount(), 5);

    desktop.folder = QString::fromStdString(exe / "book/notes.txt");  // not a folder
    form.AddFolder1->trigger();
    EXPECT_EQ(list()->rowCount(), 5);
    ASSERT_EQ(desktop.errors.size(), 1u);
    EXPECT_TRUE(desktop.errors[0].text.startsWith("Unable to read the folder "));
}

// A folder of folders marks each folder's first page; the list shows the
// title on its row; a mark moves with its row and a removed row hands it on
// unless the next row has its own; the commands offer, trim and rename.
TEST_F(PagesTest, ChapterMarksComeFromFoldersAndTravelWithTheirRows) {
    for (const char* name : {"vol/Ch 1/a.png", "vol/Ch 1/b.png", "vol/Ch 2/c.png"})
        file(name);
    desktop.folder = QString::fromStdString(exe / "vol");
    form.AddFolder1->trigger();
    const auto marks = [&] {
        Rows out;
        for (int r = 0; r < list()->rowCount(); ++r)
            out.push_back(list()->pages().at(r).chapter);
        return out;
    };
    const auto select = [&](std::initializer_list<int> rows) {
        list()->clearSelection();
        for (int r : rows)
            list()->setRowSelected(r, true);
    };
    EXPECT_EQ(marks(), (Rows{"Ch 1", "", "Ch 2"}));
    EXPECT_FALSE(list()->header()->isSectionHidden(2));
    EXPECT_EQ(list()->model()->index(2, 2).data().toString(), "Ch 2");

    select({2});
    form.MoveUp1->trigger();  // a, c, b
    EXPECT_EQ(marks(), (Rows{"Ch 1", "Ch 2", ""}));
    select({1});
    form.RemoveSelected1->trigger();  // b takes c's mark
    EXPECT_EQ(marks(), (Rows{"Ch 1", "Ch 2"}));
    select({0});
    form.RemoveSelected1->trigger();  // b has its own: a's goes
    EXPECT_EQ(marks(), (Rows{"Ch 2"}));
    EXPECT_EQ(form.page(0).chapter, "Ch 2") << "the book reads the marks";

    add({qfile("x.png")});
    select({1});
    desktop.text = "  Finale  ";
    form.StartChapter1->trigger();
    ASSERT_EQ(desktop.asked.size(), 1u);
    EXPECT_EQ(desktop.asked[0].text.toStdString(), std::filesystem::path(exe.path()).filename().string())
        << "the page's folder is offered";
    desktop.text = "Coda";
    form.RenameChapter1->trigger();
    desktop.text = "   ";  // a blank title changes nothing
    form.RenameChapter1->trigger();
    EXPECT_EQ(marks(), (Rows{"Ch 2", "Coda"}));
    select({0, 1});
    form.RemoveChapter1->trigger();
    EXPECT_EQ(marks(), (Rows{"", ""}));
    EXPECT_TRUE(list()->header()->isSectionHidden(2)) << "no chapters, no column";

    desktop.details = epub::BookDetails{"ja", "Saga", "2", "About"};
    form.Details1->trigger();
    EXPECT_EQ(form.details(), *desktop.details);
}

// The details dialog starts from the machine's language, takes only what a
// book can carry, and a language left as it started changes nothing.
TEST_F(PagesTest, TheDetailsDialogRefusesWhatABookCannotCarry) {
    DetailsDialog dialog({}, &form);
    dialog.show();
    EXPECT_EQ(dialog.language->text().toStdString(), platform::languageTag());
    EXPECT_EQ(dialog.details(), epub::BookDetails{});
    const auto tryAccept = [&](const char* language, const char* series, const char* index) {
        dialog.language->setText(language);
        dialog.series->setText(series);
        dialog.seriesIndex->setText(index);
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    EXPECT_FALSE(tryAccept("en_US", "", ""));
    EXPECT_FALSE(tryAccept("fr-CA", "S", "2,5"));
    EXPECT_FALSE(tryAccept("fr-CA", "", "2.5"));
    EXPECT_FALSE(dialog.problem().isEmpty());
    EXPECT_TRUE(tryAccept(" fr-CA ", " S ", "2.5"));
    EXPECT_EQ(dialog.details(), (epub::BookDetails{"fr-CA", "S", "2.5", ""}));
}

TEST_F(PagesTest, ImagesAndComicArchivesBecomePagesAndComicInfoFillsOnlyEmptyFields) {
    writeFile(exe / "c/pages/p10.jpg", "\xFF\xD8\xFF jpeg");
    writeFile(exe / "c/pages/p9.gif", "GIF89a gif");
    writeFile(exe / "c/ComicInfo.xml", "<ComicInfo><Title>Dusk</Title><Writer>Ann</Writer></ComicInfo>");
    ASSERT_EQ(std::system(("cd '" + exe / "c" + "' && zip -q -r ../book.cbz pages ComicInfo.xml").c_str()), 0);
    form.Edit2->setText("Typed");
    add({qfile("scan.JPG"), QString::fromStdString(exe / "book.cbz")});
    const std::string cbz = exe / "book.cbz \u203A pages/";
    EXPECT_EQ(rows(), (Rows{"1:" + exe / "scan.JPG", "2:" + cbz + "p9.gif", "3:" + cbz + "p10.jpg"}));
    EXPECT_EQ(form.Edit1->text(), "Dusk");
    EXPECT_EQ(form.Edit2->text(), "Typed") << "never over what the user typed";
    EXPECT_EQ(form.page(2), (pages::Page{exe / "book.cbz", "pages/p10.jpg"}));

    // Dropped: the archive opens where it lands; a folder without pages adds
    // nothing at all and says why.
    std::filesystem::create_directory(exe / "empty");
    dropUrls({QUrl::fromLocalFile(QString::fromStdString(exe / "book.cbz"))}, rowCentre(0));
    EXPECT_EQ(rows()[1], "2:" + cbz + "p10.jpg");
    EXPECT_EQ(list()->rowCount(), 5);
    dropUrls({QUrl::fromLocalFile(qfile("new.png")),
              QUrl::fromLocalFile(QString::fromStdString(exe / "empty"))},
             rowCentre(0));
    EXPECT_EQ(list()->rowCount(), 5);
    ASSERT_EQ(desktop.errors.size(), 1u);
    EXPECT_EQ(desktop.errors[0].text.toStdString(),
              exe / "empty" + ": not a comic archive or folder of page images.");
}

TEST_F(PagesTest, StartPagesOpenFoldersAndKeepTheBytesOfTheirNames) {
    const std::string latin1 = exe / "in/caf\xE9.png";  // not UTF-8
    writeFile(latin1, "x");
    file("in/p2.png");
    addStartPages(form, {exe / "in"});
    ASSERT_EQ(form.pageCount(), 2);
    EXPECT_EQ(form.page(0).file, latin1) << "read from its real bytes";
    EXPECT_TRUE(list()->rowPath(0).endsWith(QStringLiteral("caf\uFFFD.png"))) << "shown as it can be";

    form.Edit1->setText("T");
    form.Edit2->setText("A");
    form.LabeledEdit4->setText(QString::fromStdString(exe / "out"));
    form.PNGButton4Click();
    EXPECT_TRUE(desktop.errors.empty());
    const std::string listing = exe / "listing.txt";
    std::system(("unzip -l '" + exe / "out/T.epub" + "' > '" + listing + "'").c_str());
    EXPECT_NE(test::readFile(listing).find("OEBPS/caf_.png"), std::string::npos)
        << test::readFile(listing);
}

TEST_F(PagesTest, FilesFromAFileManagerGoBeforeTheRowOrAtTheEnd) {
    add({"A", "B", "C"});
    const QUrl one = QUrl::fromLocalFile(qfile("one.png"));
    file("ch/p10.png");
    file("ch/p9.png");
    const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(exe / "ch"));
    const QUrl text = QUrl::fromLocalFile(qfile("readme.txt"));

    Drop d = dropUrls({one, text, folder, QUrl("https://example.org/x.png")}, rowCentre(1));
    EXPECT_TRUE(d.accepted);
    EXPECT_EQ(d.action, Qt::CopyAction) << "the file manager must not move the files away";
    EXPECT_EQ(d.lineWhileOver, 1);
    EXPECT_EQ(list()->insertionRow(), -1) << "the line goes with the drop";
    EXPECT_EQ(rows(), (Rows{"1:A", "2:" + exe / "one.png", "3:" + exe / "ch/p9.png",
                            "4:" + exe / "ch/p10.png", "5:B", "6:C"}));

    d = dropUrls({one}, belowLastRow());
    EXPECT_EQ(d.lineWhileOver, 6) << "below the last row: at the end";
    EXPECT_EQ(rows().back(), "7:" + exe / "one.png");

    // Right of the columns still counts as the row at that height.
    d = dropUrls({one}, QPoint(list()->viewport()->width() - 3, rowCentre(0).y()));
    EXPECT_EQ(rows().front(), "1:" + exe / "one.png");

    d = dropUrls({QUrl("https://example.org/x.png")}, rowCentre(0));
    EXPECT_FALSE(d.accepted) << "nothing that could become a page";
    EXPECT_EQ(list()->rowCount(), 8);

    // Leaving without a drop takes the line away.
    d = dropUrls({one}, rowCentre(2), false);
    EXPECT_EQ(d.lineWhileOver, 2);
    QDragLeaveEvent leave;
    QApplication::sendEvent(list()->viewport(), &leave);
    EXPECT_EQ(list()->insertionRow(), -1);
    EXPECT_EQ(list()->rowCount(), 8);
}

TEST_F(PagesTest, DraggedRowsKeepTheirRulesAndTheLineShowsWhereTheyLand) {
    add({"A", "B", "C", "D", "E"});
    QMimeData rowDrag;
    rowDrag.setData("application/x-pagelume-page-row", QByteArray());
    EXPECT_EQ(list()->insertionRowFor(list(), &rowDrag, rowCentre(3)), -1) << "nothing selected";
    list()->setRowSelected(0, true);
    EXPECT_EQ(list()->insertionRowFor(list(), &rowDrag, rowCentre(3)), 3);
    EXPECT_EQ(list()->insertionRowFor(list(), &rowDrag, belowLastRow()), -1)
        << "no move behind the last row, so no line there";
    EXPECT_EQ(list()->insertionRowFor(&form, &rowDrag, rowCentre(3)), -1) << "another source";

    // The drop lands where the line was: before row 3.
    form.ListView1DragOver(list(), rowCentre(3));
    form.ListView1DragDrop(list(), rowCentre(3));
    EXPECT_EQ(rows(), (Rows{"1:B", "2:C", "3:A", "4:D", "5:E"}));
    form.ListView1DragOver(list(), belowLastRow());
    form.ListView1DragDrop(list(), belowLastRow());
    EXPECT_EQ(rows(), (Rows{"1:B", "2:C", "3:A", "4:D", "5:E"}));
}

TEST_F(PagesTest, TheListScrollsWhileADragRestsNearItsEdge) {
    QStringList many;
    for (int i = 1; i <= 60; ++i)
        many.push_back(QString("p%1.png").arg(i));
    add(many);
    QCoreApplication::processEvents();  // lets the list lay out its rows
    QScrollBar* bar = list()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    const QPoint nearBottom(20, list()->viewport()->height() - 4);
    const QUrl one = QUrl::fromLocalFile(qfile("one.png"));
    const Drop d = dropUrls({one}, nearBottom, false);
    const int firstLine = d.lineWhileOver;
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() >= 3; }, 3000));
    const int scrolled = bar->value();
    EXPECT_GT(list()->insertionRow(), firstLine) << "the line follows the rows under the pointer";
    EXPECT_EQ(list()->insertionRow(), list()->fileDropRow(nearBottom));

    // Away from the edge the list stands still.
    const Drop still = dropUrls({one}, QPoint(20, list()->viewport()->height() / 2), false);
    QTest::qWait(200);
    EXPECT_EQ(bar->value(), scrolled);

    // The drop lands where the line shows.
    const int line = still.lineWhileOver;
    const std::string before = list()->rowPath(line).toStdString();
    dropUrls({one}, QPoint(20, list()->viewport()->height() / 2));
    EXPECT_EQ(list()->rowPath(line).toStdString(), exe / "one.png");
    EXPECT_EQ(list()->rowPath(line + 1).toStdString(), before);

    dropUrls({one}, QPoint(20, 3), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() < scrolled; }, 3000)) << "and up";
    QDragLeaveEvent leave;
    QApplication::sendEvent(list()->viewport(), &leave);
}

TEST_F(PagesTest, KeyboardCommands) {
    activate();
    add({"A", "B", "C", "D"});
    list()->setFocus();
    list()->setRowSelected(1, true);
    QTest::keyClick(list(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(rows(), (Rows{"1:A", "2:C", "3:B", "4:D"}));
    EXPECT_TRUE(list()->isRowSelected(2)) << "the moved row stays selected";
    QTest::keyClick(list(), Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(list(), Qt::Key_Down, Qt::ControlModifier);  // already last
    EXPECT_EQ(rows(), (Rows{"1:A", "2:C", "3:D", "4:B"}));
    QTest::keyClick(list(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(rows(), (Rows{"1:A", "2:C", "3:B", "4:D"}));

    list()->setRowSelected(0, true);
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(rows(), (Rows{"1:C", "2:D"}));

    // In a field, Delete edits the text and leaves the rows alone.
    form.Edit1->setFocus();
    form.Edit1->setText("Title");
    form.Edit1->setCursorPosition(0);
    list()->setRowSelected(0, true);
    QTest::keyClick(form.Edit1, Qt::Key_Delete);
    EXPECT_EQ(form.Edit1->text(), "itle");
    EXPECT_EQ(list()->rowCount(), 2);

    desktop.images = {"E"};
    QTest::keyClick(form.Edit1, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(rows().back(), "3:E");

    // Ctrl+Return converts: here it stops at the first check.
    form.LabeledEdit4->clear();
    QTest::keyClick(form.Edit2, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Please set the saving path!");
}

// The accessible names of the focus chain, from the focus widget on.
QStringList focusNames(int steps) {
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QWidget* w = QApplication::focusWidget();
        names.push_back(w ? w->accessibleName() : "(none)");
        QTest::keyClick(w, Qt::Key_Tab);
    }
    return names;
}

TEST_F(PagesTest, TabReachesEveryControlAndPaintedButtonsActOnSpaceAndReturn) {
    activate();
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1) << "the title has the focus first";
    // Right to left is off (and skipped) but for a fixed layout.
    // The custom screen size too, but for the custom screen.
    EXPECT_EQ(focusNames(19),
              (QStringList{"Title", "Author", "Pages", "Cover Image", "Choose the cover image",
                           "Fit pages to", "Greyscale", "Save Epub To", "Choose the output folder",
                           "Kind of book", "Add", "Remove", "Remove All", "Convert", "Home",
                           "Maximize", "Minimize", "Close", "Title"}));

    // A focused painted button shows a frame; nothing else changes.
    const image::DrawSurface plain = form.PanelTop->RenderBackBuffer();
    form.PNGButton2->FocusProxy()->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(form.PNGButton2->Focused());
    const image::DrawSurface framed = form.PanelTop->RenderBackBuffer();
    const QRect button = form.PNGButton2->BoundsRect();
    int changed = 0, outside = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != framed.pixel(x, y))
                ++(button.contains(x, y) ? changed : outside);
    EXPECT_GT(changed, 100);
    EXPECT_EQ(outside, 0);

    desktop.images = {"A"};
    QTest::keyClick(form.PNGButton2->FocusProxy(), Qt::Key_Space);
    EXPECT_EQ(rows(), (Rows{"1:A"}));
    desktop.folder = "/books";
    QTest::keyClick(form.PNGButton9->FocusProxy(), Qt::Key_Return);
    EXPECT_EQ(form.LabeledEdit4->text(), "/books");
    QTest::keyClick(form.PNGButton5->FocusProxy(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(desktop.urls.size(), 1u) << "Home";

    // During a conversion the buttons are off, and so are their stand-ins.
    form.PNGButton4->SetEnabled(false);
    EXPECT_FALSE(form.PNGButton4->FocusProxy()->isEnabled());
    form.PNGButton4->SetEnabled(true);
}

TEST_F(PagesTest, ScreenReadersAndTooltipsSeeNamedControls) {
    std::vector<std::pair<QAccessible::Role, QString>> seen;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* a) {
        if (!a)
            return;
        if (a->role() == QAccessible::Button || a->role() == QAccessible::EditableText)
            seen.emplace_back(a->role(), a->text(QAccessible::Name));
        for (int i = 0; i < a->childCount(); ++i)
            walk(a->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(&form));
    auto has = [&](QAccessible::Role role, const QString& name) {
        return std::find(seen.begin(), seen.end(), std::make_pair(role, name)) != seen.end();
    };
    for (const char* name : {"Add", "Remove", "Remove All", "Convert", "Home", "Minimize", "Close",
                             "Choose the cover image", "Choose the output folder"})
        EXPECT_TRUE(has(QAccessible::Button, name)) << name;
    for (const char* name : {"Title", "Author", "Cover Image", "Save Epub To"})
        EXPECT_TRUE(has(QAccessible::EditableText, name)) << name;
    for (const auto& [role, name] : seen)
        EXPECT_FALSE(name.isEmpty()) << "an unnamed control of role " << role;

    QAccessibleInterface* convert =
        QAccessible::queryAccessibleInterface(form.PNGButton4->FocusProxy());
    ASSERT_NE(convert->actionInterface(), nullptr);
    EXPECT_TRUE(convert->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));

    // Tooltips come from the painted controls under the pointer.
    const QPoint over = form.PNGButton8->BoundsRect().center();
    QHelpEvent help(QEvent::ToolTip, over, form.PaneClientBtm->mapToGlobal(over));
    QApplication::sendEvent(form.PaneClientBtm, &help);
    EXPECT_EQ(QToolTip::text(), "Choose the cover image");
    QToolTip::hideText();

    // A click on a field's label puts the focus into the field.
    activate();
    QTest::mouseClick(form.PaneClientBtm, Qt::LeftButton, {},
                      form.LabeledEdit4Label->BoundsRect().center());
    EXPECT_EQ(QApplication::focusWidget(), form.LabeledEdit4);
}

TEST_F(PagesTest, HoverFollowsThePointerAfterADialog) {
    ui::TWinControl* top = form.PanelTop;
    const QPoint add = form.PNGButton2->BoundsRect().center();
    const QPoint convert = form.PNGButton4->BoundsRect().center();
    QTest::mouseMove(top, add + QPoint(1, 1));
    QTest::mouseMove(top, add);
    ASSERT_TRUE(form.PNGButton2->MouseOver());

    // While the dialog is open the user moves the pointer onto Convert.
    desktop.duringDialog = [&] {
        QDialog dialog(&form);
        dialog.setModal(true);
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseMove(top, convert);
            dialog.accept();
        });
        dialog.exec();
    };
    QTest::mousePress(top, Qt::LeftButton, {}, add);
    QTest::mouseRelease(top, Qt::LeftButton, {}, add);
    EXPECT_FALSE(form.PNGButton2->MouseOver()) << "no frame left behind on Add";
    EXPECT_TRUE(form.PNGButton4->MouseOver()) << "the frame is where the pointer is";
}

TEST_F(PagesTest, WhileAButtonIsHeldNoOtherOneLightsUp) {
    ui::TWinControl* top = form.PanelTop;
    const QPoint add = form.PNGButton2->BoundsRect().center();
    const QPoint remove = form.PNGButton1->BoundsRect().center();
    QTest::mouseMove(top, add + QPoint(1, 1));
    QTest::mouseMove(top, add);
    QTest::mousePress(top, Qt::LeftButton, {}, add);
    QTest::mouseMove(top, remove);  // held: the move goes to Add alone
    EXPECT_FALSE(form.PNGButton1->MouseOver());
    EXPECT_FALSE(form.PNGButton2->MouseOver()) << "Add looks left";
    QTest::mouseMove(top, add);
    EXPECT_TRUE(form.PNGButton2->MouseOver());
    QTest::mouseMove(top, remove);
    desktop.images = {"A"};
    QTest::mouseRelease(top, Qt::LeftButton, {}, remove);
    EXPECT_EQ(list()->rowCount(), 0) << "released elsewhere: no click";
    EXPECT_TRUE(form.PNGButton1->MouseOver()) << "after the release the pointer counts again";
}

TEST_F(PagesTest, WithoutASystemMoveTheWindowFollowsThePointer) {
    ui::TWinControl* top = form.PanelTop;
    const QPoint start = form.pos();
    QTest::mousePress(top, Qt::LeftButton, {}, {400, 20});
    EXPECT_EQ(desktop.moves, 1);
    QTest::mouseMove(top, {450, 60});
    EXPECT_EQ(form.pos(), start) << "the system moves it: the window leaves it alone";
    QTest::mouseRelease(top, Qt::LeftButton, {}, {450, 60});

    desktop.systemMoves = false;
    QTest::mousePress(top, Qt::LeftButton, {}, {400, 20});
    QTest::mouseMove(top, {450, 60});
    EXPECT_EQ(form.pos(), start + QPoint(50, 40));
    QTest::mouseMove(top, {430 - 50, 10 - 40});  // the same screen point moves on
    EXPECT_EQ(form.pos(), start + QPoint(30, -10));
    QTest::mouseRelease(top, Qt::LeftButton, {}, {380, -30});
    const QPoint done = form.pos();
    QTest::mouseMove(top, {200, 20});
    EXPECT_EQ(form.pos(), done) << "released: the window stays";

    QTest::mousePress(top, Qt::RightButton, {}, {400, 20});
    QTest::mouseRelease(top, Qt::RightButton, {}, {400, 20});
    EXPECT_EQ(desktop.moves, 2) << "the right button moves nothing";
}

}  // namespace
}  // namespace pagelume::app
