#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUrl>

#include "app/errortext.h"
#include "epub/conversion_run.h"
#include "epub/texts.h"
#include "platform/exception.h"
#include "ui/pagelist.h"

namespace pagelume::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TForm1::TForm1(const std::string& exeDir, Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), exeDir_(exeDir), paths_(exeDir) {
    buildControls();
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

void TForm1::buildControls() {
    setWindowTitle(texts::kProgramTitle);
    setFixedSize(719, 512);
    move(301, 146);

    auto* panelTop = new QFrame(this);
    panelTop->setGeometry(0, 0, 719, 135);
    auto button = [&](QWidget* parent, const char* caption, QRect r) {
        auto* b = new QPushButton(caption, parent);
        b->setGeometry(r);
        b->setCursor(Qt::PointingHandCursor);
        return b;
    };
    PNGButton2 = button(panelTop, "Add", {0, 40, 58, 58});
    PNGButton1 = button(panelTop, "Remove", {56, 40, 58, 58});
    PNGButton3 = button(panelTop, "Remove All", {112, 40, 73, 58});
    PNGButton4 = button(panelTop, "Convert", {184, 40, 58, 58});
    PNGButton5 = button(panelTop, "Home", {256, 40, 58, 58});

    auto* panelLeftBtm = new QFrame(this);
    panelLeftBtm->setGeometry(8, 135, 142, 332);
    panelLeftBtm->setFrameShape(QFrame::Panel);
    panelLeftBtm->setFrameShadow(QFrame::Raised);
    auto* titleLabel = new QLabel("Title", panelLeftBtm);
    titleLabel->setGeometry(8, 190, 121, 20);
    Edit1 = new QLineEdit(panelLeftBtm);
    Edit1->setGeometry(8, 216, 121, 21);
    auto* authorLabel = new QLabel("Author", panelLeftBtm);
    authorLabel->setGeometry(8, 262, 121, 20);
    Edit2 = new QLineEdit(panelLeftBtm);
    Edit2->setGeometry(8, 288, 121, 21);

    auto* panelClient = new QFrame(this);
    panelClient->setGeometry(171, 135, 533, 332);
    ListView1 = new ui::TPageList(panelClient);
    ListView1->setGeometry(0, 0, 533, 184);

    auto* paneClientBtm = new QFrame(panelClient);
    paneClientBtm->setGeometry(0, 184, 533, 148);
    Label2 = new QLabel("Drag items to  adjust the order of png list.", paneClientBtm);
    Label2->setGeometry(169, 0, 198, 14);
    auto labeled = [&](const char* label, QRect r, int labelWidth) {
        auto* edit = new QLineEdit(paneClientBtm);
        edit->setGeometry(r);
        auto* l = new QLabel(label, paneClientBtm);
        l->setGeometry(r.left() - labelWidth - 3, r.top() + 4, labelWidth, 13);
        l->setBuddy(edit);
        return edit;
    };
    LabeledEdit3 = labeled("Cover Image:  ", {109, 36, 340, 21}, 69);
    LabeledEdit4 = labeled("Save  Epub  To:  ", {112, 100, 337, 21}, 84);
    LabeledEdit4->setText("D:\\Output");
    PNGButton8 = button(paneClientBtm, "...", {469, 16, 57, 57});
    PNGButton9 = button(paneClientBtm, "...", {469, 80, 57, 57});
    PNGButton8->setToolTip("Choose the cover image");
    PNGButton9->setToolTip("Choose the folder the book is saved to");

    setTabOrder(Edit1, Edit2);
    setTabOrder(LabeledEdit3, LabeledEdit4);

    PopupMenu1 = new QMenu(this);
    Add1 = PopupMenu1->addAction("Add");
    RemoveSelected1 = PopupMenu1->addAction("Remove Selected");
    RemoveAll1 = PopupMenu1->addAction("Remove All");
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos)); });

    auto bind = [this](QPushButton* b, void (TForm1::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    bind(PNGButton1, &TForm1::PNGButton1Click);
    bind(PNGButton2, &TForm1::PNGButton2Click);
    bind(PNGButton3, &TForm1::PNGButton3Click);
    bind(PNGButton4, &TForm1::PNGButton4Click);
    bind(PNGButton5, &TForm1::PNGButton5Click);
    bind(PNGButton8, &TForm1::PNGButton8Click);
    bind(PNGButton9, &TForm1::PNGButton9Click);
    connect(Add1, &QAction::triggered, this, [this] { guarded([&] { Add1Click(); }); });
    connect(RemoveSelected1, &QAction::triggered, this,
            [this] { guarded([&] { RemoveSelected1Click(); }); });
    connect(RemoveAll1, &QAction::triggered, this, [this] { guarded([&] { RemoveAll1Click(); }); });
    ListView1->OnDragOver = [this](QObject* s, QPoint p) {
        guarded([&] { ListView1DragOver(s, p); });
    };
    ListView1->OnDragDrop = [this](QObject* s, QPoint p) {
        guarded([&] { ListView1DragDrop(s, p); });
    };
}

void TForm1::FormCreate() {
    contentDir_ = paths_.contentDir;
    LabeledEdit4->setText(qs(loadSavePath(paths_.configFile)));
}

void TForm1::FormDestroy() {
    std::string reason;
    if (!epub::removeContentDirectory(paths_.stagingDir, &reason))
        showError(texts::kCannotRemove + contentDir_ + ": " + reason);
    storeSavePath(paths_.configFile, savePath());
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
            form->running_ = false;
            form->setCommandsEnabled(true);
        }
    } done{this};
    epub::ConversionRun run(*this, *this, paths_.stagingDir);
    run.run();
    contentDir_ = run.contentDir();
}

void TForm1::PNGButton5Click() {
    desktop_.openUrl(QUrl::fromLocalFile(qs(exeDir_ + "/README.md")));
}

void TForm1::setCommandsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             PNGButton1, PNGButton2, PNGButton3, PNGButton4, PNGButton8, PNGButton9, ListView1})
        w->setEnabled(enabled);
    for (QLineEdit* e : {Edit1, Edit2, LabeledEdit3, LabeledEdit4})
        e->setReadOnly(!enabled);
    for (QAction* a : {Add1, RemoveSelected1, RemoveAll1})
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
}

void TForm1::archiveProgress(std::uint64_t, std::uint64_t) {}

void TForm1::openFolder(const std::string& path) {
    desktop_.openUrl(QUrl::fromLocalFile(qs(path)));
}

}  // namespace pagelume::app
