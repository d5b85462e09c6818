#include "shortdate.h"

#include <QDate>
#include <QLocale>

namespace pagelume::platform {

namespace {

const QLocale& dateLocale() {
    static const QLocale locale = [] {
        QLocale system = QLocale::system();
        if (system.language() == QLocale::C)
            return QLocale(QLocale::English, QLocale::UnitedStates);
        return system;
    }();
    return locale;
}

}  // namespace

std::string shortDateString() {
    static const QString format = dateLocale().dateFormat(QLocale::ShortFormat);
    return dateLocale().toString(QDate::currentDate(), format).toStdString();
}

std::string isoDateString() {
    return QDate::currentDate().toString(Qt::ISODate).toStdString();
}

}  // namespace pagelume::platform
