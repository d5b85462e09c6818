#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "pages/page_model.h"

namespace pagelume::ui {

// The book's pages as Qt's views see them: column 0 the page's number,
// column 1 where it comes from, column 2 the chapter it starts. Every change to the pages goes through here,
// so that every view of them (and its selection) follows.
class PageItemModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    const pages::PageModel& pages() const { return pages_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void insertPages(int position, std::vector<pages::Page> pages);
    // A chapter mark goes to the next page, unless that one starts its own.
    void removePage(int row);
    void setChapter(int row, const std::string& title);
    void clearPages();
    void movePage(int from, int to);
    // order[i] is the old row of the page that goes to row i; selections move
    // with their pages.
    void reorderPages(const std::vector<int>& order);

    // How a path's bytes are shown: as the system's file names decode, a byte
    // that is not UTF-8 as the replacement character.
    static QString shownName(const pages::Page& page);

private:
    pages::PageModel pages_;
};

}  // namespace pagelume::ui
