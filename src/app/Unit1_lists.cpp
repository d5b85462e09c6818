// Saving the book as a page list and opening one again: the parts of TForm1
// that came with list files.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>

#include "app/Unit1.h"
#include "epub/texts.h"
#include "fit/devices.h"
#include "platform/files.h"
#include "ui/pagelist.h"

namespace pagelume::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr const char* kUnsavedQuestion =
    "The page list is not saved. Save it first?";

}  // namespace

void TForm1::bindLists() {
    PopupMenu1->addSeparator();
    OpenList1 = PopupMenu1->addAction("Open List...");
    SaveList1 = PopupMenu1->addAction("Save List...");
    OpenList1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    SaveList1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addActions({OpenList1, SaveList1});
    connect(OpenList1, &QAction::triggered, this, [this] { guarded([&] { OpenList1Click(); }); });
    connect(SaveList1, &QAction::triggered, this, [this] { guarded([&] { SaveList1Click(); }); });
}

epub::SavedList TForm1::savedList() const {
    epub::SavedList list;
    list.pages = ListView1->pages().pages();
    list.title = title();
    list.author = author();
    list.cover = coverPath();
    list.saveFolder = savePath();
    list.kind = kind();
    // The box keeps its state while another kind is chosen; so does the list.
    list.rightToLeft = CheckBoxRtl->isChecked();
    const std::string device = ComboBoxFit->currentData().toString().toStdString();
    list.fit = device == "custom" ? EditFitSize->text().toStdString() : device;
    list.grey = CheckBoxGrey->isChecked();
    list.details = details_;
    return list;
}

bool TForm1::listUnsaved() const {
    return pageCount() > 1 && !(settledList_ && settledList_->sameAs(savedList()));
}

void TForm1::saveList(const std::string& path) {
    const epub::SavedList list = savedList();
    // A custom screen that cannot be read would make a list that cannot be opened.
    if (std::string problem; !list.fit.empty() && !fit::parseFitBox(list.fit, &problem))
        throw EFitChoice(problem);
    epub::writeSavedList(path, list);
    settledList_ = list;
    listPath_ = path;
}

void TForm1::SaveList1Click() {
    saveListAs();
}

bool TForm1::saveListAs() {
    QString suggested = QFile::decodeName(listPath_.c_str());
    if (suggested.isEmpty()) {
        const QString name = Edit1->text().trimmed();
        suggested = (name.isEmpty() ? QStringLiteral("pages") : name) + QStringLiteral(".pagelume");
        if (!LabeledEdit4->text().isEmpty())
            suggested = LabeledEdit4->text() + "/" + suggested;
    }
    const QString file = desktop_.chooseListToSave(this, suggested);
    if (file.isEmpty())
        return false;
    saveList(QFile::encodeName(file).toStdString());
    return true;
}

void TForm1::OpenList1Click() {
    if (!listMayGo())
        return;
    const QString file = desktop_.chooseListToOpen(this);
    if (!file.isEmpty())
        openList(QFile::encodeName(file).toStdString());
}

void TForm1::openList(const std::string& path) {
    // Read whole first: a file refused anywhere changes nothing in the window.
    const epub::SavedList list = epub::readSavedList(path);
    applyList(list);
    settledList_ = savedList();
    listPath_ = path;
}

void TForm1::applyList(const epub::SavedList& list) {
    ListView1->clearRows();
    ListView1->insertPages(0, list.pages);
    Edit1->setText(qs(list.title));
    Edit2->setText(qs(list.author));
    LabeledEdit3->setText(qs(list.cover));
    LabeledEdit4->setText(qs(list.saveFolder));
    ComboBoxKind->setCurrentIndex(static_cast<int>(list.kind));
    CheckBoxRtl->setChecked(list.rightToLeft);
    // A device the list names, or its size as a custom screen.
    int fitIndex = 0;
    if (!list.fit.empty()) {
        fitIndex = ComboBoxFit->findData(qs(list.fit));
        if (fitIndex < 0) {
            fitIndex = ComboBoxFit->findData(QStringLiteral("custom"));
            EditFitSize->setText(qs(list.fit));
        }
    }
    ComboBoxFit->setCurrentIndex(fitIndex);
    CheckBoxGrey->setChecked(list.grey);
    setBookDetails(list.details);
    updateKindControls();
}

bool TForm1::listMayGo() {
    if (!listUnsaved())
        return true;
    switch (desktop_.askToSave(this, kUnsavedQuestion, texts::kAppTitle)) {
        case SaveAnswer::Discard:
            return true;
        case SaveAnswer::Cancel:
            return false;
        case SaveAnswer::Save:
            break;
    }
    try {
        return saveListAs();
    } catch (const std::exception& e) {
        showDefaultError(e);  // the window stays, with its list
        return false;
    }
}

}  // namespace pagelume::app
