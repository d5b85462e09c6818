// The book's structure in the window: chapter marks on the page list and the
// book's details, the parts of TForm1 that came with them.
#include <QAction>
#include <QFile>
#include <QMenu>

#include "app/Unit1.h"
#include "pages/page_sources.h"
#include "ui/pagelist.h"

namespace pagelume::app {

namespace {

// The name of the folder a page comes from: what a chapter starting there is
// most likely called.
QString folderName(const pages::Page& page) {
    const std::string& path = page.inArchive() ? page.member : page.file;
    std::string folder =
        path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
    if (folder.empty() && page.inArchive())
        folder = page.file;  // the archive's top level
    const auto slash = folder.find_last_of('/');
    return QFile::decodeName(
        QByteArray::fromStdString(slash == std::string::npos ? folder : folder.substr(slash + 1)));
}

}  // namespace

void TForm1::bindBookCommands() {
    PopupMenu1->addSeparator();
    StartChapter1 = PopupMenu1->addAction("Start Chapter Here...");
    RenameChapter1 = PopupMenu1->addAction("Rename Chapter...");
    RemoveChapter1 = PopupMenu1->addAction("Remove Chapter Mark");
    Details1 = PopupMenu1->addAction("Details...");
    Details1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    addAction(Details1);
    // What can be done with the marks depends on the page under the menu.
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        const int row = commandsEnabled_ ? ListView1->firstSelectedRow() : -1;
        const bool marked = row >= 0 && ListView1->pages().at(row).startsChapter();
        StartChapter1->setEnabled(row >= 0 && !marked);
        RenameChapter1->setEnabled(marked);
        RemoveChapter1->setEnabled(marked);
    });
    connect(StartChapter1, &QAction::triggered, this,
            [this] { guarded([&] { StartChapter1Click(); }); });
    connect(RenameChapter1, &QAction::triggered, this,
            [this] { guarded([&] { RenameChapter1Click(); }); });
    connect(RemoveChapter1, &QAction::triggered, this,
            [this] { guarded([&] { RemoveChapter1Click(); }); });
    connect(Details1, &QAction::triggered, this, [this] { guarded([&] { Details1Click(); }); });
}

void TForm1::askChapterTitle(int row, const QString& caption, const QString& offered) {
    const std::optional<QString> title =
        desktop_.askText(this, caption, QStringLiteral("Title of the chapter:"), offered);
    // A blank title would be no mark at all; it leaves the page as it was.
    if (!title || title->trimmed().isEmpty())
        return;
    ListView1->pageModel().setChapter(row, title->trimmed().toStdString());
}

void TForm1::StartChapter1Click() {
    const int row = ListView1->firstSelectedRow();
    if (row < 0)
        return;
    askChapterTitle(row, QStringLiteral("Start Chapter Here"),
                    folderName(ListView1->pages().at(row)));
}

void TForm1::RenameChapter1Click() {
    const int row = ListView1->firstSelectedRow();
    if (row < 0 || !ListView1->pages().at(row).startsChapter())
        return;
    askChapterTitle(row, QStringLiteral("Rename Chapter"),
                    QString::fromStdString(ListView1->pages().at(row).chapter));
}

void TForm1::RemoveChapter1Click() {
    for (int row = 0; row < ListView1->rowCount(); ++row)
        if (ListView1->isRowSelected(row))
            ListView1->pageModel().setChapter(row, {});
}

void TForm1::Details1Click() {
    epub::BookDetails details = details_;
    if (desktop_.editDetails(this, details))
        details_ = std::move(details);
}

}  // namespace pagelume::app
