#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QUrl>
#include <algorithm>
#include <numeric>

#include "app/errortext.h"
#include "epub/conversion_run.h"
#include "epub/texts.h"
#include "image/pngimage.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/natural_order.h"
#include "platform/page_files.h"
#include "ui/pagelist.h"

namespace pagelume::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr int kCopyShare = 100;  // of the progress bar's 1000

}  // namespace

TForm1::TForm1(const ProgramPaths& paths, Desktop& desktop, QWidget* parent)
    : ui::TWinControl(parent), desktop_(desktop), paths_(paths) {
    setWindowTitle(texts::kProgramTitle);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    ui::CreateMainControls(this, *this);
    setFixedSize(ui::kFormWidth, ui::kFormHeight);
    move(301, 146);
    bindHandlers();
    ui::SetUpChrome(this, *this);
    FormCreate();
}

TForm1::~TForm1() = default;

template <typename F>
void TForm1::guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showDefaultError(e);
    }
}

void TForm1::bindHandlers() {
    PopupMenu1 = new QMenu(this);
    Add1 = PopupMenu1->addAction("Add");
    RemoveSelected1 = PopupMenu1->addAction("Remove Selected");
    RemoveAll1 = PopupMenu1->addAction("Remove All");
    PopupMenu1->addSeparator();
    AddFolder1 = PopupMenu1->addAction("Add Folder...");
    SortByName1 = PopupMenu1->addAction("Sort by Name");
    MoveUp1 = new QAction("Move Up", this);
    MoveDown1 = new QAction("Move Down", this);
    Convert1 = new QAction("Convert", this);

    // Shortcuts: adding and converting from anywhere in the window; removing
    // and moving rows only while the list has the focus, so that Delete still
    // edits text in the fields.
    Add1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Convert1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    addActions({Add1, Convert1});
    RemoveSelected1->setShortcut(QKeySequence::Delete);
    MoveUp1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    MoveDown1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    for (QAction* a : {RemoveSelected1, MoveUp1, MoveDown1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        ListView1->addAction(a);
    }
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos)); });

    auto bind = [this](ui::TGraphicControl* c, void (TForm1::*handler)()) {
        c->OnClick = [this, handler] { guarded([&] { (this->*handler)(); }); };
    };
    bind(PNGButton1, &TForm1::PNGButton1Click);
    bind(PNGButton2, &TForm1::PNGButton2Click);
    bind(PNGButton3, &TForm1::PNGButton3Click);
    bind(PNGButton4, &TForm1::PNGButton4Click);
    bind(PNGButton5, &TForm1::PNGButton5Click);
    bind(PNGButton8, &TForm1::PNGButton8Click);
    bind(PNGButton9, &TForm1::PNGButton9Click);
    // Minimising and closing never show an error.
    ImgBtnMin->OnClick = [this] {
        try {
            ImgBtnMinClick();
        } catch (...) {
        }
    };
    ImgBtnClose->OnClick = [this] {
        try {
            ImgBtnCloseClick();
        } catch (...) {
        }
    };
    for (ui::TImage* header : {Image2, Image4, Image6})
        header->OnMouseDown = [this, header](Qt::MouseButton b, QPoint p) {
            headerPress_ = header->Parent()->mapToGlobal(header->BoundsRect().topLeft() + p);
            guarded([&] { HeaderMouseDown(b); });
        };

    connect(Add1, &QAction::triggered, this, [this] { guarded([&] { Add1Click(); }); });
    connect(RemoveSelected1, &QAction::triggered, this,
            [this] { guarded([&] { RemoveSelected1Click(); }); });
    connect(RemoveAll1, &QAction::triggered, this, [this] { guarded([&] { RemoveAll1Click(); }); });
    connect(AddFolder1, &QAction::triggered, this, [this] { guarded([&] { AddFolder1Click(); }); });
    connect(SortByName1, &QAction::triggered, this,
            [this] { guarded([&] { SortByName1Click(); }); });
    connect(MoveUp1, &QAction::triggered, this, [this] { guarded([&] { MoveUp1Click(); }); });
    connect(MoveDown1, &QAction::triggered, this, [this] { guarded([&] { MoveDown1Click(); }); });
    connect(Convert1, &QAction::triggered, this, [this] { guarded([&] { PNGButton4Click(); }); });
    ListView1->OnDragOver = [this](QObject* s, QPoint p) {
        guarded([&] { ListView1DragOver(s, p); });
    };
    ListView1->OnDragDrop = [this](QObject* s, QPoint p) {
        guarded([&] { ListView1DragDrop(s, p); });
    };
    ListView1->OnDropFiles = [this](const QStringList& paths, QPoint p) {
        guarded([&] { ListView1DropFiles(paths, p); });
    };
    ListView1->OnClick = [this] { guarded([&] { ListView1Click(); }); };
}

void TForm1::FormCreate() {
    contentDir_ = paths_.contentDir;
    LabeledEdit4->setText(qs(loadSavePath(paths_.configFile)));
    CheckBoxStrict->setChecked(loadStrictEpub(paths_.configFile));
}

void TForm1::FormDestroy() {
    std::string reason;
    if (!epub::removeContentDirectory(paths_.stagingDir, &reason))
        showError(texts::kCannotRemove + contentDir_ + ": " + reason);
    storeSavePath(paths_.configFile, savePath());
    storeStrictEpub(paths_.configFile, strict());
}

// ---- page list ------------------------------------------------------------

void TForm1::PNGButton2Click() {
    const QStringList files = desktop_.chooseImages(this);
    for (const QString& f : files)
        ListView1->appendRow(f);
}

void TForm1::PNGButton1Click() {
    for (int p = ListView1->rowCount() - 1; p >= 0; --p)
        if (ListView1->isRowSelected(p))
            ListView1->deleteRow(p);
    ListView1->renumber();
}

void TForm1::PNGButton3Click() {
    ListView1->clear();
}

void TForm1::ListView1DragOver(QObject*, QPoint) {
    draggedRow_ = ListView1->firstSelectedRow();
}

void TForm1::ListView1DragDrop(QObject* source, QPoint pos) {
    if (!dynamic_cast<QAbstractItemView*>(source))
        return;  // drags from elsewhere change nothing
    const int target = ListView1->rowAt(pos);
    if (target < 0 || draggedRow_ < 0 || draggedRow_ >= ListView1->rowCount())
        return;
    const QString caption = ListView1->rowCaption(draggedRow_);
    const QString path = ListView1->rowPath(draggedRow_);
    ListView1->insertRow(target, caption, path);
    // The copy went in before the target, so a row from below moved down one.
    ListView1->deleteRow(draggedRow_ >= target ? draggedRow_ + 1 : draggedRow_);
    ListView1->renumber();
    draggedRow_ = -1;
}

void TForm1::AddFolder1Click() {
    const QString folder = desktop_.chooseFolder(this, QString());
    if (folder.isEmpty())
        return;
    for (const std::string& f : platform::pngFilesIn(folder.toStdString()))
        ListView1->appendRow(qs(f));
}

void TForm1::SortByName1Click() {
    std::vector<std::string> paths;
    for (int p = 0; p < ListView1->rowCount(); ++p)
        paths.push_back(ListView1->rowPath(p).toStdString());
    std::vector<int> order(paths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return platform::naturalLess(paths[static_cast<std::size_t>(a)],
                                     paths[static_cast<std::size_t>(b)]);
    });
    ListView1->reorderRows(order);
    ListView1->renumber();
}

void TForm1::moveFirstSelectedRow(int by) {
    const int row = ListView1->firstSelectedRow();
    if (row < 0 || row + by < 0 || row + by >= ListView1->rowCount())
        return;
    ListView1->moveRow(row, row + by);
    ListView1->renumber();
}

void TForm1::ListView1DropFiles(const QStringList& paths, QPoint pos) {
    // Everything is read before anything is inserted: a folder that cannot
    // be read leaves the list as it was.
    std::vector<std::string> files;
    for (const QString& p : paths) {
        const std::string path = p.toStdString();
        if (platform::directoryExists(path)) {
            for (std::string& f : platform::pngFilesIn(path))
                files.push_back(std::move(f));
        } else if (platform::hasPngExtension(platform::fileNamePart(path))) {
            files.push_back(path);
        }
    }
    int at = ListView1->fileDropRow(pos);
    for (const std::string& f : files)
        ListView1->insertRow(at++, QString(), qs(f));
    ListView1->renumber();
}

void TForm1::PNGButton8Click() {
    const QString file = desktop_.chooseImage(this);
    if (!file.isEmpty())
        LabeledEdit3->setText(file);
}

void TForm1::PNGButton9Click() {
    const QString folder = desktop_.chooseFolder(this, QString());
    if (!folder.isEmpty())
        LabeledEdit4->setText(folder);
}

// ---- conversion -------------------------------------------------------------

void TForm1::PNGButton4Click() {
    if (running_)
        return;
    running_ = true;
    setCommandsEnabled(false);
    struct Done {
        TForm1* form;
        ~Done() {
            form->ProgressBar1->hide();
            form->running_ = false;
            form->setCommandsEnabled(true);
        }
    } done{this};
    epub::ConversionRun run(*this, *this, paths_.stagingDir);
    try {
        run.run();
    } catch (const epub::ERunInterrupted&) {
        // The session is ending: the window closes once the run is undone.
    }
    contentDir_ = run.contentDir();
}

void TForm1::sessionEnding() {
    interruptRequested_ = true;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isModal() && w->isVisible())
            w->close();  // a question closed unanswered means No
    }
    if (running_)
        closePending_ = true;
    else
        close();
}

// ---- preview ----------------------------------------------------------------

void TForm1::ListView1Click() {
    const int pw = Image1->Width(), ph = Image1->Height();
    const int row = ListView1->firstSelectedRow();
    if (row < 0)
        return;
    const std::string path = ListView1->rowPath(row).toStdString();
    if (path.empty() || !platform::fileExists(path))
        return;
    image::TPNGObject png;
    png.LoadFromFile(path);
    const int w = png.Width(), h = png.Height();
    if (w <= pw && h <= ph) {
        Image1->SetPicture(ui::TPicture::fromPNG(png));
        return;
    }
    const int factor = w >= h ? w / pw : h / ph;
    if (factor == 0)
        return;
    image::DrawSurface bitmap(w / factor, h / factor, 0xFFFFFFFFu);
    png.Draw(bitmap, image::Rect{0, 0, bitmap.width(), bitmap.height()});
    Image1->SetPicture(ui::TPicture::fromBitmap(std::move(bitmap)));
}

// ---- title bar ----------------------------------------------------------------

void TForm1::ImgBtnMinClick() {
    showMinimized();
}

void TForm1::ImgBtnCloseClick() {
    close();
}

void TForm1::HeaderMouseDown(Qt::MouseButton button) {
    if (isMaximized() || button != Qt::LeftButton)
        return;
    // A press that waited in the queue (the window was busy) may come long
    // after the button was let go: the window must not stick to the pointer.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    if (!desktop_.startWindowMove(this))
        pointerMove_.start(headerPress_);
}

void TForm1::PNGButton5Click() {
    desktop_.openUrl(QUrl::fromLocalFile(qs(paths_.readme)));
}

void TForm1::setCommandsEnabled(bool enabled) {
    for (ui::TPNGButton* b :
         {PNGButton1, PNGButton2, PNGButton3, PNGButton4, PNGButton8, PNGButton9})
        b->SetEnabled(enabled);
    ListView1->setEnabled(enabled);
    CheckBoxStrict->setEnabled(enabled);
    for (QLineEdit* e : {Edit1, Edit2, LabeledEdit3, LabeledEdit4})
        e->setReadOnly(!enabled);
    for (QAction* a :
         {Add1, RemoveSelected1, RemoveAll1, AddFolder1, SortByName1, MoveUp1, MoveDown1, Convert1})
        a->setEnabled(enabled);
    if (enabled && closePending_) {
        closePending_ = false;
        close();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A conversion in progress finishes first; the window closes after it.
    if (running_) {
        closePending_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

void TForm1::showDefaultError(const std::exception& e) {
    desktop_.error(this, qs(defaultErrorText(e.what())), texts::kAppTitle);
}

// ---- BookSource -------------------------------------------------------------

int TForm1::pageCount() const {
    return ListView1->rowCount();
}
std::string TForm1::pagePath(int index) const {
    return ListView1->rowPath(index).toStdString();
}
std::string TForm1::title() const {
    return Edit1->text().toStdString();
}
std::string TForm1::author() const {
    return Edit2->text().toStdString();
}
std::string TForm1::coverPath() const {
    return LabeledEdit3->text().toStdString();
}
std::string TForm1::savePath() const {
    return LabeledEdit4->text().toStdString();
}
bool TForm1::strict() const {
    return CheckBoxStrict->isChecked();
}

// ---- RunHost ----------------------------------------------------------------

void TForm1::showMessage(const std::string& text, const std::string& caption) {
    desktop_.message(this, qs(text), qs(caption));
}

bool TForm1::askYesNo(const std::string& text, const std::string& caption) {
    return desktop_.question(this, qs(text), qs(caption));
}

void TForm1::showError(const std::string& text) {
    desktop_.error(this, qs(text), texts::kAppTitle);
}

void TForm1::setBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void TForm1::processEvents() {
    QCoreApplication::processEvents();
    if (interruptRequested_)
        throw epub::ERunInterrupted("interrupted");
}

// One bar for the whole run: copying the pages fills the first tenth (it is
// quick next to packing), packing the rest.
void TForm1::progress(epub::RunStage stage, std::uint64_t done, std::uint64_t total) {
    ProgressBar1->show();
    if (total == 0)
        return;  // still finding the files
    const std::uint64_t part = std::min<std::uint64_t>(done, total);
    // Removing an earlier book's files fills the bar once on its own.
    const int value = stage == epub::RunStage::Copying ? static_cast<int>(part * kCopyShare / total)
                      : stage == epub::RunStage::Packing
                          ? kCopyShare + static_cast<int>(part * (1000 - kCopyShare) / total)
                          : static_cast<int>(part * 1000 / total);
    ProgressBar1->setValue(value);
}

void TForm1::openFolder(const std::string& path) {
    desktop_.openUrl(QUrl::fromLocalFile(qs(path)));
}

}  // namespace pagelume::app
