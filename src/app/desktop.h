#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "epub/book.h"

class QWidget;

namespace pagelume::app {

// What the open dialogs offer, the first filter chosen at the start.
inline const QString kPagesFilter = QStringLiteral(
    "Page images (*.png *.jpg *.jpeg *.gif *.cbz *.zip *.cbr *.rar *.cb7 *.7z *.cbt *.tar);;"
    "PNG Files (*.png);;All files (*)");
inline const QString kCoverFilter =
    QStringLiteral("Page images (*.png *.jpg *.jpeg *.gif);;PNG Files (*.png);;All files (*)");
inline const QString kListFilter = QStringLiteral("Page lists (*.pagelume)");

// The answer to "save the list before it goes?".
enum class SaveAnswer { Save, Discard, Cancel };

// The dialogs and shell services the window uses. The real one shows Qt
// dialogs and hands addresses to the desktop; tests put a scripted one in
// its place, so they never block on a dialog or launch a program.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Pages: several page images or comic archives at once. Empty when cancelled.
    virtual QStringList chooseImages(QWidget* parent) = 0;
    // Cover: one image file. Empty when cancelled.
    virtual QString chooseImage(QWidget* parent) = 0;
    // The folder picker; empty when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& initial) = 0;
    // A saved page list to open, or the file to save one to (offered: the
    // suggested name). Empty when cancelled.
    virtual QString chooseListToOpen(QWidget* parent) = 0;
    virtual QString chooseListToSave(QWidget* parent, const QString& suggested) = 0;
    // Yes (save), No (discard) or Cancel, Yes the default and Escape meaning Cancel.
    virtual SaveAnswer askToSave(QWidget* parent, const QString& text, const QString& caption) = 0;
    virtual void message(QWidget* parent, const QString& text, const QString& caption) = 0;
    // Information-type question, Yes the default and Escape meaning No.
    virtual bool question(QWidget* parent, const QString& text, const QString& caption) = 0;
    virtual void error(QWidget* parent, const QString& text, const QString& caption) = 0;
    // One line of text, offered as initial; nothing when cancelled.
    virtual std::optional<QString> askText(QWidget* parent, const QString& caption,
                                           const QString& label, const QString& initial) = 0;
    // The book's details dialog; false when cancelled (details unchanged).
    virtual bool editDetails(QWidget* parent, epub::BookDetails& details) = 0;
    virtual void openUrl(const QUrl& url) = 0;
    // Has the system move the window with the pointer while the left button
    // is held; false when it will not (then the window moves itself).
    virtual bool startWindowMove(QWidget* window) = 0;
};

class QtDesktop : public Desktop {
public:
    QStringList chooseImages(QWidget* parent) override;
    QString chooseImage(QWidget* parent) override;
    QString chooseFolder(QWidget* parent, const QString& initial) override;
    QString chooseListToOpen(QWidget* parent) override;
    QString chooseListToSave(QWidget* parent, const QString& suggested) override;
    SaveAnswer askToSave(QWidget* parent, const QString& text, const QString& caption) override;
    void message(QWidget* parent, const QString& text, const QString& caption) override;
    bool question(QWidget* parent, const QString& text, const QString& caption) override;
    void error(QWidget* parent, const QString& text, const QString& caption) override;
    std::optional<QString> askText(QWidget* parent, const QString& caption, const QString& label,
                                   const QString& initial) override;
    bool editDetails(QWidget* parent, epub::BookDetails& details) override;
    void openUrl(const QUrl& url) override;
    bool startWindowMove(QWidget* window) override;
};

}  // namespace pagelume::app
