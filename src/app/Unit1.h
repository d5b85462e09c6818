#pragma once

#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "app/desktop.h"
#include "app/settings.h"
#include "app/window_move.h"
#include "epub/book.h"
#include "epub/saved_list.h"
#include "ui/mainwindow.h"

class QMenu;
class QAction;

namespace pagelume::ui {
class ThumbnailCache;
class Thumbnailer;
class TThumbnailView;
}  // namespace pagelume::ui

namespace pagelume::app {

class TLargePreview;
class WindowFrame;

// The custom screen size below the cover cannot be read; the message says why.
PAGELUME_DEFINE_EXCEPTION(EFitChoice, Exception);

// The main window. Its controls are the book: the page list and the four
// fields are read whenever the conversion needs them. The handlers carry
// the names of the events they answer and stay thin.
class TForm1 : public ui::TWinControl,
               public ui::TMainControls,
               public epub::BookSource,
               public epub::RunHost {
public:
    // paths says where config.ini, epubfiles and the README are; desktop
    // answers dialogs. With exeDir, they are all beside the program there.
    TForm1(const ProgramPaths& paths, Desktop& desktop, QWidget* parent = nullptr);
    TForm1(const std::string& exeDir, Desktop& desktop, QWidget* parent = nullptr)
        : TForm1(ProgramPaths(exeDir), desktop, parent) {}
    ~TForm1() override;

    // Start-up and shutdown of the program's state.
    void FormCreate();
    void FormDestroy();

    // Page list commands, the book fields' browse buttons, Convert, Home.
    void PNGButton1Click();  // remove selected
    void PNGButton2Click();  // add
    void PNGButton3Click();  // remove all
    void PNGButton4Click();  // convert
    void PNGButton5Click();  // home
    void PNGButton8Click();  // choose the cover
    void PNGButton9Click();  // choose the output folder
    void Add1Click() { PNGButton2Click(); }
    void RemoveSelected1Click() { PNGButton1Click(); }
    void RemoveAll1Click() { PNGButton3Click(); }
    void AddFolder1Click();   // the PNG files of a folder, in natural order
    void SortByName1Click();  // all rows in natural order of their paths
    void MoveUp1Click() { moveFirstSelectedRow(-1); }
    void MoveDown1Click() { moveFirstSelectedRow(1); }
    void ListView1DragOver(QObject* source, QPoint pos);
    void ListView1DragDrop(QObject* source, QPoint pos);
    // Files and folders dropped from a file manager.
    void ListView1DropFiles(const QStringList& paths, QPoint pos);
    void ListView1Click();  // preview
    // The pages as thumbnails or as rows (Ctrl+T), and a page at the size of
    // the screen (double click, Space); see Unit1_views.cpp.
    void Thumbnails1Click();
    void setThumbnailView(bool on);
    bool thumbnailView() const;
    void Preview1Click();
    void ThumbView1DropFiles(const QStringList& paths, QPoint pos);
    // Chapter marks on the selected page and the book's details; see
    // Unit1_book.cpp.
    void StartChapter1Click();   // asks the title, the page's folder offered
    void RenameChapter1Click();
    void RemoveChapter1Click();  // every selected page's mark
    void Details1Click();
    void setBookDetails(const epub::BookDetails& details) { details_ = details; }
    // Title bar and header.
    void ImgBtnMinClick();
    void ImgBtnCloseClick();
    void HeaderMouseDown(Qt::MouseButton button);

    // The pages the paths stand for (folders and archives opened), before
    // row position; imagesOnly leaves out plain files that are no page image.
    // Throws, adding nothing, when a folder or an archive holds no page.
    void addPages(int position, const std::vector<std::string>& paths, bool imagesOnly);

    // Page lists (Unit1_lists.cpp). Save List asks for a file and writes the
    // book to it (Ctrl+S); Open List replaces the book with a saved one
    // (Ctrl+Shift+O), after asking to save an unsaved list.
    void SaveList1Click();
    void OpenList1Click();
    // Replaces the book with the list in the file, or, when the file cannot be
    // read whole, throws and changes nothing.
    void openList(const std::string& path);
    // Writes the book to a list file. Throws when it cannot.
    void saveList(const std::string& path);
    // The book as a list file holds it.
    epub::SavedList savedList() const;
    // A list of more than one page that was neither saved, opened nor made
    // into a book as it is now.
    bool listUnsaved() const;

    // Shows an exception that reached the event loop, as the default handler does.
    void showDefaultError(const std::exception& e);
    // The session ends (SIGTERM, SIGHUP, SIGINT): a run in progress stops at its
    // next block and cleans up, open dialogs close, then the window closes.
    void sessionEnding();

    // BookSource
    int pageCount() const override;
    std::string pagePath(int index) const override;
    pages::Page page(int index) const override;
    std::string title() const override;
    std::string author() const override;
    std::string coverPath() const override;
    std::string savePath() const override;
    epub::BookKind kind() const override;
    bool rightToLeft() const override;
    std::optional<fit::FitOptions> fitting() const override;
    epub::BookDetails details() const override { return details_; }

    // RunHost
    void showMessage(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text) override;
    void setBusy(bool busy) override;
    void processEvents() override;
    void progress(epub::RunStage stage, std::uint64_t done, std::uint64_t total) override;
    void openFolder(const std::string& path) override;

    bool conversionRunning() const { return running_; }
    const std::string& contentDir() const { return contentDir_; }

    QMenu* PopupMenu1 = nullptr;
    QAction* Add1 = nullptr;
    QAction* RemoveSelected1 = nullptr;
    QAction* RemoveAll1 = nullptr;
    QAction* AddFolder1 = nullptr;
    QAction* SortByName1 = nullptr;
    // Keyboard only: Ctrl+Up, Ctrl+Down on the list, Ctrl+Return anywhere.
    QAction* MoveUp1 = nullptr;
    QAction* MoveDown1 = nullptr;
    QAction* Convert1 = nullptr;
    QAction* Thumbnails1 = nullptr;
    QAction* Preview1 = nullptr;
    QAction* OpenList1 = nullptr;
    QAction* SaveList1 = nullptr;
    QAction* StartChapter1 = nullptr;
    QAction* RenameChapter1 = nullptr;
    QAction* RemoveChapter1 = nullptr;
    QAction* Details1 = nullptr;

    ui::TThumbnailView* ThumbView1 = nullptr;
    ui::Thumbnailer* Thumbnailer1 = nullptr;
    TLargePreview* LargePreview1 = nullptr;
    WindowFrame* Frame1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void bindHandlers();
    void setCommandsEnabled(bool enabled);
    void updateKindControls();
    void moveFirstSelectedRow(int by);
    // The thumbnail view, the large preview and the growing frame.
    void createViews();
    void bindViews();
    void restoreViews();
    void storeViews();
    void showRowInViews(int row);
    void bindLists();
    void applyList(const epub::SavedList& list);
    // Before the list goes: asks to save it when it is unsaved. False when
    // the user cancels, or saving failed.
    bool listMayGo();
    bool saveListAs();
    void bindBookCommands();
    void askChapterTitle(int row, const QString& caption, const QString& offered);

    // Runs a handler; an exception that leaves it gets the default error box.
    template <typename F>
    void guarded(F&& handler) {
        try {
            handler();
        } catch (const std::exception& e) {
            showDefaultError(e);
        }
    }

    Desktop& desktop_;
    ProgramPaths paths_;
    std::string contentDir_;
    int draggedRow_ = -1;
    QPoint headerPress_;  // where the header was last pressed, on the screen
    PointerWindowMove pointerMove_{this};
    bool running_ = false;
    bool commandsEnabled_ = true;
    bool closePending_ = false;
    bool interruptRequested_ = false;
    int busyDepth_ = 0;
    std::optional<uint32_t> previewBackground_;  // the empty pane's colour
    epub::BookDetails details_;  // as the Details dialog left them
    // The list as it was last saved, opened or made into a book, and its file.
    std::optional<epub::SavedList> settledList_;
    std::string listPath_;
};

}  // namespace pagelume::app
