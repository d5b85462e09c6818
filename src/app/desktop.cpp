#include "app/desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>

#include "app/details_dialog.h"

namespace pagelume::app {

QStringList QtDesktop::chooseImages(QWidget* parent) {
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), kPagesFilter, nullptr,
                                         QFileDialog::ReadOnly);
}

QString QtDesktop::chooseImage(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), kCoverFilter, nullptr,
                                        QFileDialog::ReadOnly);
}

QString QtDesktop::chooseFolder(QWidget* parent, const QString& initial) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Please Choose a Folder"),
                                             initial, QFileDialog::ShowDirsOnly);
}

QString QtDesktop::chooseListToOpen(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open List"), QString(), kListFilter,
                                        nullptr, QFileDialog::ReadOnly);
}

QString QtDesktop::chooseListToSave(QWidget* parent, const QString& suggested) {
    QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("Save List"), suggested,
                                                kListFilter);
    // The dialog adds no extension of its own everywhere; the list is known by it.
    if (!file.isEmpty() && !file.endsWith(QStringLiteral(".pagelume"), Qt::CaseInsensitive))
        file += QStringLiteral(".pagelume");
    return file;
}

SaveAnswer QtDesktop::askToSave(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    return answer == QMessageBox::Yes  ? SaveAnswer::Save
           : answer == QMessageBox::No ? SaveAnswer::Discard
                                       : SaveAnswer::Cancel;
}

void QtDesktop::message(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDesktop::question(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDesktop::error(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> QtDesktop::askText(QWidget* parent, const QString& caption,
                                          const QString& label, const QString& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

bool QtDesktop::editDetails(QWidget* parent, epub::BookDetails& details) {
    DetailsDialog dialog(details, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    details = dialog.details();
    return true;
}

void QtDesktop::openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

bool QtDesktop::startWindowMove(QWidget* window) {
    QWindow* handle = window->windowHandle();
    return handle && handle->startSystemMove();
}

}  // namespace pagelume::app
