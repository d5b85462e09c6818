#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QUrl>
#include <algorithm>
#include <numeric>

#include "app/errortext.h"
#include "app/large_preview.h"
#include "epub/conversion_run.h"
#include "fit/devices.h"
#include "epub/texts.h"
#include "image/page_preview.h"
#include "pages/page_reader.h"
#include "pages/page_sources.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "ui/pagelist.h"
#include "ui/thumbnail_view.h"

namespace pagelume::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A path as the system spells it, from what a dialog or a drop handed over.
std::string systemPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::vector<std::string> systemPaths(const QStringList& paths) {
    std::vector<std::string> out;
    for (const QString& p : paths)
        out.push_back(systemPath(p));
    return out;
}

// A page picture never needs more of a file than this.
constexpr std::size_t kPreviewReadLimit = std::size_t{256} << 20;

constexpr int kCopyShare = 100;  // of the progress bar's 1000

}  // namespace

TForm1::TForm1(const ProgramPaths& paths, Desktop& desktop, QWidget* parent)
    : ui::TWinControl(parent), desktop_(desktop), paths_(paths) {
    setWindowTitle(texts::kProgramTitle);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    ui::CreateMainControls(this, *this);
    // The window grows from its designed size, never below it.
    setMinimumSize(ui::kFormWidth, ui::kFormHeight);
    resize(ui::kFormWidth, ui::kFormHeight);
    move(301, 146);
    bindHandlers();
    bindLists();
    ui::SetUpChrome(this, *this);
    createViews();
    bindBookCommands();
    FormCreate();
}

TForm1::~TForm1() = default;

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
    connect(ComboBoxKind, &QComboBox::currentIndexChanged, this, [this] { updateKindControls(); });
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
    ComboBoxKind->setCurrentIndex(static_cast<int>(loadBookKind(paths_.configFile)));
    CheckBoxRtl->setChecked(loadRightToLeft(paths_.configFile));
    updateKindControls();
    ComboBoxFit->addItem(QStringLiteral("Original pages"));
    for (const fit::DeviceProfile& d : fit::deviceProfiles())
        ComboBoxFit->addItem(QStringLiteral("%1 (%2 x %3)").arg(d.name).arg(d.width).arg(d.height),
                             QString::fromLatin1(d.id));
    ComboBoxFit->addItem(QStringLiteral("Custom"), QStringLiteral("custom"));
    const FitChoice fit = loadFitChoice(paths_.configFile);
    const int index = fit.device.empty() ? 0 : ComboBoxFit->findData(qs(fit.device));
    ComboBoxFit->setCurrentIndex(std::max(index, 0));
    EditFitSize->setText(qs(fit.size));
    CheckBoxGrey->setChecked(fit.grey);
    connect(ComboBoxFit, &QComboBox::currentIndexChanged, this, [this] { updateKindControls(); });
    updateKindControls();
    restoreViews();
}

void TForm1::FormDestroy() {
    std::string reason;
    if (!epub::removeContentDirectory(paths_.stagingDir, &reason))
        showError(texts::kCannotRemove + contentDir_ + ": " + reason);
    storeSavePath(paths_.configFile, savePath());
    storeBookKind(paths_.configFile, kind());
    storeRightToLeft(paths_.configFile, CheckBoxRtl->isChecked());
    storeFitChoice(paths_.configFile, {ComboBoxFit->currentData().toString().toStdString(),
                                       EditFitSize->text().toStdString(), CheckBoxGrey->isChecked()});
    storeViews();
}

// ---- page list ------------------------------------------------------------

void TForm1::PNGButton2Click() {
    addPages(ListView1->rowCount(), systemPaths(desktop_.chooseImages(this)), false);
}

// Everything is read before anything is inserted: a folder or an archive
// that holds no page leaves the list as it was.
void TForm1::addPages(int position, const std::vector<std::string>& paths, bool imagesOnly) {
    pages::ComicInfo info;
    std::vector<pages::Page> found = pages::pagesFrom(paths, imagesOnly, &info);
    ListView1->insertPages(position, std::move(found));
    // An archive's own title and writer, where the user has typed none.
    if (Edit1->text().isEmpty() && !info.title.empty())
        Edit1->setText(qs(info.title));
    if (Edit2->text().isEmpty() && !info.writer.empty())
        Edit2->setText(qs(info.writer));
}

void TForm1::PNGButton1Click() {
    for (int p = ListView1->rowCount() - 1; p >= 0; --p)
        if (ListView1->isRowSelected(p))
            ListView1->deleteRow(p);
}

void TForm1::PNGButton3Click() {
    ListView1->clearRows();
}

void TForm1::ListView1DragOver(QObject*, QPoint) {
    draggedRow_ = ListView1->firstSelectedRow();
}

void TForm1::ListView1DragDrop(QObject* source, QPoint pos) {
    if (!dynamic_cast<QAbstractItemView*>(source))
        return;  // drags from elsewhere change nothing
    const int target = source == ThumbView1 ? ThumbView1->rowAt(pos) : ListView1->rowAt(pos);
    if (target < 0 || draggedRow_ < 0 || draggedRow_ >= ListView1->rowCount())
        return;
    // The row lands just before the target: a row from above ends one higher.
    // It arrives as a new row would, not selected.
    const int to = draggedRow_ < target ? target - 1 : target;
    ListView1->pageModel().movePage(draggedRow_, to);
    ListView1->setRowSelected(to, false);
    draggedRow_ = -1;
}

void TForm1::AddFolder1Click() {
    const QString folder = desktop_.chooseFolder(this, QString());
    if (folder.isEmpty())
        return;
    ListView1->insertPages(ListView1->rowCount(), pages::pagesFromFolder(systemPath(folder)));
}

void TForm1::SortByName1Click() {
    ListView1->reorderRows(ListView1->pages().naturalOrder());
}

void TForm1::moveFirstSelectedRow(int by) {
    const int row = ListView1->firstSelectedRow();
    if (row < 0 || row + by < 0 || row + by >= ListView1->rowCount())
        return;
    ListView1->moveRow(row, row + by);
    showRowInViews(row + by);
}

void TForm1::ListView1DropFiles(const QStringList& paths, QPoint pos) {
    addPages(ListView1->fileDropRow(pos), systemPaths(paths), true);
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
        // A book made of exactly this list keeps it: closing asks nothing.
        if (run.run() == epub::RunResult::Built)
            settledList_ = savedList();
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
    const int row = ListView1->firstSelectedRow();
    if (row < 0)
        return;
    const pages::Page page = ListView1->pages().at(row);
    if (page.file.empty() || !platform::fileExists(page.file))
        return;
    const auto bytes = pages::readPageBytes(page, kPreviewReadLimit, nullptr);
    if (!bytes)
        return;
    if (!previewBackground_)
        previewBackground_ = Image1->Picture().empty() ? 0xFFFFFFFFu : Image1->Picture().toImage().pixel(0, 0);
    try {
        Image1->SetPicture(ui::TPicture::fromBitmap(
            image::previewPage(*bytes, Image1->Width(), Image1->Height(), *previewBackground_)));
    } catch (const image::ENotAPageImage&) {
        showMessage(page.displayName() + " is not a PNG, JPEG or GIF image.", texts::kNoteCaption);
    }
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
    ThumbView1->setEnabled(enabled);
    ComboBoxKind->setEnabled(enabled);
    commandsEnabled_ = enabled;
    updateKindControls();
    for (QLineEdit* e : {Edit1, Edit2, LabeledEdit3, LabeledEdit4})
        e->setReadOnly(!enabled);
    for (QAction* a :
         {Add1, RemoveSelected1, RemoveAll1, AddFolder1, SortByName1, MoveUp1, MoveDown1, Convert1,
          Thumbnails1, Preview1, OpenList1, SaveList1, StartChapter1, RenameChapter1,
          RemoveChapter1, Details1})
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
    // A session that is ending cannot wait for an answer.
    if (!interruptRequested_ && !listMayGo()) {
        event->ignore();
        return;
    }
    LargePreview1->close();  // it goes with the window
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
    return ListView1->pages().at(index).file;
}
pages::Page TForm1::page(int index) const {
    return ListView1->pages().at(index);
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
// The combo box lists the kinds in the order of the enumeration.
epub::BookKind TForm1::kind() const {
    return static_cast<epub::BookKind>(std::clamp(ComboBoxKind->currentIndex(), 0, 2));
}
bool TForm1::rightToLeft() const {
    return kind() == epub::BookKind::FixedLayout && CheckBoxRtl->isChecked();
}

// The reading direction is a fixed layout's: the box is off for the others,
// and keeps its state for when a fixed layout is chosen again.
void TForm1::updateKindControls() {
    CheckBoxRtl->setEnabled(commandsEnabled_ && kind() == epub::BookKind::FixedLayout);
    if (ComboBoxFit) {
        ComboBoxFit->setEnabled(commandsEnabled_);
        CheckBoxGrey->setEnabled(commandsEnabled_);
        EditFitSize->setEnabled(commandsEnabled_ && ComboBoxFit->currentData().toString() == "custom");
    }
}

// The screen chosen below the cover: none for the original pages (unless
// greyscale asks for grey pages at their own size). A custom size that
// cannot be read stops the conversion with its reason.
std::optional<fit::FitOptions> TForm1::fitting() const {
    const std::string device = ComboBoxFit->currentData().toString().toStdString();
    if (device.empty() && !CheckBoxGrey->isChecked())
        return std::nullopt;
    fit::FitOptions options;
    options.grey = CheckBoxGrey->isChecked();
    options.boxWidth = options.boxHeight = 16384;  // grey alone: every page at its own size
    if (!device.empty()) {
        std::string problem;
        const auto box = fit::parseFitBox(device == "custom" ? EditFitSize->text().toStdString() : device,
                                          &problem);
        if (!box)
            throw EFitChoice(problem);
        options.boxWidth = box->width;
        options.boxHeight = box->height;
    }
    return options;
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
