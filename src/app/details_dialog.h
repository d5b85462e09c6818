#pragma once

#include <QDialog>

#include "epub/book.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace pagelume::app {

// The book's language, series, number in the series and description. The
// language starts as the machine's; left so, the book says what it always did.
class DetailsDialog : public QDialog {
public:
    explicit DetailsDialog(const epub::BookDetails& details, QWidget* parent = nullptr);

    // What the fields say; the language empty when it is the machine's.
    epub::BookDetails details() const;
    // Accepts only fields a book can carry; otherwise says why and stays open.
    void accept() override;
    QString problem() const;

    QLineEdit* language = nullptr;
    QLineEdit* series = nullptr;
    QLineEdit* seriesIndex = nullptr;
    QPlainTextEdit* description = nullptr;

private:
    QLabel* problem_ = nullptr;
};

}  // namespace pagelume::app
