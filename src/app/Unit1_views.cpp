// The window's second view of the pages (thumbnails), the large preview and
// the frame that lets the window grow: the parts of TForm1 that came with them.
#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include "app/Unit1.h"
#include "app/large_preview.h"
#include "app/window_frame.h"
#include "ui/thumbnail_cache.h"
#include "ui/thumbnail_view.h"
#include "ui/thumbnailer.h"

namespace pagelume::app {

void TForm1::createViews() {
    Frame1 = new WindowFrame(this, *this);
    Thumbnailer1 = new ui::Thumbnailer(
        std::make_unique<ui::ThumbnailCache>(ui::ThumbnailCache::defaultDir()),
        ui::TThumbnailView::kPictureBox, 0, this);
    ThumbView1 = new ui::TThumbnailView(&ListView1->pageModel(), ListView1->selectionModel(),
                                        Thumbnailer1, PanelClient);
    ThumbView1->setGeometry(ListView1->geometry());
    ThumbView1->setAccessibleName("Page thumbnails");
    ThumbView1->hide();
    PanelClient->SetAlign(ThumbView1, ui::TAlign::alClient);
    QWidget::setTabOrder(ListView1, ThumbView1);
    QWidget::setTabOrder(PNGButton5->FocusProxy(), Frame1->maximizeButton()->FocusProxy());
    QWidget::setTabOrder(Frame1->maximizeButton()->FocusProxy(), ImgBtnMin->FocusProxy());
    LargePreview1 = new TLargePreview(&ListView1->pageModel(), this);
    bindViews();
}

void TForm1::bindViews() {
    auto guardedCall = [this](void (TForm1::*handler)()) {
        return [this, handler] { guarded([&] { (this->*handler)(); }); };
    };
    Thumbnails1 = new QAction("Thumbnails", this);
    Thumbnails1->setCheckable(true);
    Thumbnails1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    addAction(Thumbnails1);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Thumbnails1);
    connect(Thumbnails1, &QAction::triggered, this, guardedCall(&TForm1::Thumbnails1Click));

    Preview1 = new QAction("Show Large", this);
    Preview1->setShortcut(QKeySequence(Qt::Key_Space));
    Preview1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    PopupMenu1->insertAction(Thumbnails1, Preview1);
    connect(Preview1, &QAction::triggered, this, guardedCall(&TForm1::Preview1Click));
    ListView1->addAction(Preview1);

    // In the thumbnails Ctrl+Left and Ctrl+Right move a page too.
    MoveUp1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Up), QKeySequence(Qt::CTRL | Qt::Key_Left)});
    MoveDown1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Down), QKeySequence(Qt::CTRL | Qt::Key_Right)});
    for (QAction* a : {RemoveSelected1, MoveUp1, MoveDown1, Preview1})
        ThumbView1->addAction(a);
    ThumbView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ThumbView1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(ThumbView1->viewport()->mapToGlobal(pos)); });
    ThumbView1->OnDragOver = [this](QObject* s, QPoint p) { guarded([&] { ListView1DragOver(s, p); }); };
    ThumbView1->OnDragDrop = [this](QObject* s, QPoint p) { guarded([&] { ListView1DragDrop(s, p); }); };
    ThumbView1->OnDropFiles = [this](const QStringList& paths, QPoint p) {
        guarded([&] { ThumbView1DropFiles(paths, p); });
    };
    ThumbView1->OnClick = guardedCall(&TForm1::ListView1Click);
    ThumbView1->OnDoubleClick = [this](int row) { LargePreview1->showPage(row); };
    connect(ListView1, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { LargePreview1->showPage(i.row()); });
    LargePreview1->OnPageChanged = [this](int row) {
        ListView1->clearSelection();
        ListView1->setRowSelected(row, true);
        showRowInViews(row);
    };
}

void TForm1::Thumbnails1Click() {
    setThumbnailView(!thumbnailView());
}

bool TForm1::thumbnailView() const {
    return !ThumbView1->isHidden();
}

void TForm1::setThumbnailView(bool on) {
    const bool hadFocus = ListView1->hasFocus() || ThumbView1->hasFocus();
    ListView1->setVisible(!on);
    ThumbView1->setVisible(on);
    Thumbnails1->setChecked(on);
    PanelClient->AlignControls();
    QAbstractItemView* shown = on ? static_cast<QAbstractItemView*>(ThumbView1)
                                  : static_cast<QAbstractItemView*>(ListView1);
    if (hadFocus)
        shown->setFocus();
    const QModelIndex current = ListView1->selectionModel()->currentIndex();
    if (current.isValid())
        shown->scrollTo(current);
    if (on)
        ThumbView1->requestPictures();
}

void TForm1::showRowInViews(int row) {
    const QModelIndex index = ListView1->pageModel().index(row, 0);
    ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    ListView1->scrollTo(index);
    ThumbView1->scrollTo(index);
}

void TForm1::Preview1Click() {
    int row = ListView1->selectionModel()->currentIndex().row();
    if (row < 0 || !ListView1->isRowSelected(row))
        row = ListView1->firstSelectedRow();
    if (row < 0)
        return;
    LargePreview1->showPage(row);
}

void TForm1::ThumbView1DropFiles(const QStringList& paths, QPoint pos) {
    std::vector<std::string> files;
    for (const QString& p : paths)
        files.push_back(QFile::encodeName(p).toStdString());
    addPages(ThumbView1->fileDropRow(pos), files, true);
}

void TForm1::restoreViews() {
    setThumbnailView(loadThumbnailView(paths_.configFile));
    const auto placement = loadWindowPlacement(paths_.configFile);
    if (!placement)
        return;
    QRect r(placement->left, placement->top, std::max(placement->width, minimumWidth()),
            std::max(placement->height, minimumHeight()));
    // A place on a screen that is gone keeps the size, on the main screen.
    bool onScreen = false;
    for (QScreen* s : QGuiApplication::screens())
        onScreen = onScreen || s->availableGeometry().intersects(r.adjusted(0, 0, 0, -r.height() + 40));
    if (!onScreen)
        r.moveTo(pos());
    setGeometry(r);
    Frame1->setNormalGeometry(r);
    if (placement->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::storeViews() {
    // Nothing is written while everything is as a first start has it.
    const bool thumbs = thumbnailView();
    if (thumbs || loadThumbnailView(paths_.configFile))
        storeThumbnailView(paths_.configFile, thumbs);
    const QRect normal = isMaximized() ? Frame1->normalGeometry() : geometry();
    const WindowPlacement now{normal.x(), normal.y(), normal.width(), normal.height(), isMaximized()};
    const bool usual = now.left == 301 && now.top == 146 && now.width == ui::kFormWidth &&
                       now.height == ui::kFormHeight && !now.maximized;
    if (!usual || loadWindowPlacement(paths_.configFile))
        storeWindowPlacement(paths_.configFile, now);
}

}  // namespace pagelume::app
