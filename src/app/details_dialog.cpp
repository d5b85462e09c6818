#include "app/details_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "epub/book_details.h"
#include "platform/locale.h"

namespace pagelume::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

std::string text(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

DetailsDialog::DetailsDialog(const epub::BookDetails& details, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Book Details"));
    auto* form = new QFormLayout;
    language = new QLineEdit(qs(epub::bookLanguage(details)));
    language->setToolTip(QStringLiteral("A language tag such as en, ja or fr-CA"));
    series = new QLineEdit(qs(details.series));
    seriesIndex = new QLineEdit(qs(details.seriesIndex));
    seriesIndex->setToolTip(QStringLiteral("The book's number in the series, such as 3 or 2.5"));
    description = new QPlainTextEdit(qs(details.description));
    description->setTabChangesFocus(true);
    form->addRow(QStringLiteral("&Language:"), language);
    form->addRow(QStringLiteral("&Series:"), series);
    form->addRow(QStringLiteral("&Number in series:"), seriesIndex);
    form->addRow(QStringLiteral("&Description:"), description);
    problem_ = new QLabel;
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &DetailsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DetailsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

epub::BookDetails DetailsDialog::details() const {
    epub::BookDetails d;
    d.language = text(language);
    if (d.language == platform::languageTag())
        d.language.clear();
    d.series = text(series);
    d.seriesIndex = text(seriesIndex);
    d.description = description->toPlainText().trimmed().toStdString();
    return d;
}

QString DetailsDialog::problem() const {
    const epub::BookDetails d = details();
    if (!d.language.empty() && !epub::isLanguageTag(d.language))
        return QStringLiteral("The language is not a language tag (such as en, ja or fr-CA).");
    if (!d.seriesIndex.empty() && !epub::isSeriesIndex(d.seriesIndex))
        return QStringLiteral("The number in the series is not a number (such as 3 or 2.5).");
    if (!d.seriesIndex.empty() && d.series.empty())
        return QStringLiteral("A number in the series needs the series' name.");
    return {};
}

void DetailsDialog::accept() {
    const QString why = problem();
    if (why.isEmpty()) {
        QDialog::accept();
        return;
    }
    problem_->setText(why);
    problem_->show();
}

}  // namespace pagelume::app
