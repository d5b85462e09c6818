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
