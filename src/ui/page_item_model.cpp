#include "ui/page_item_model.h"

#include <QFile>
#include <algorithm>

namespace pagelume::ui {

int PageItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : pages_.size();
}

int PageItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QString PageItemModel::shownName(const pages::Page& page) {
    return QFile::decodeName(QByteArray::fromStdString(page.displayName()));
}

QVariant PageItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= pages_.size() || role != Qt::DisplayRole)
        return {};
    if (index.column() == 0)
        return QString::number(index.row() + 1);
    if (index.column() == 2)
        return QString::fromUtf8(pages_.at(index.row()).chapter);
    return shownName(pages_.at(index.row()));
}

QVariant PageItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0   ? QStringLiteral("Page")
           : section == 1 ? QStringLiteral("Path")
                          : QStringLiteral("Chapter");
}

Qt::ItemFlags PageItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

void PageItemModel::insertPages(int position, std::vector<pages::Page> pages) {
    if (pages.empty())
        return;
    position = std::clamp(position, 0, pages_.size());
    beginInsertRows({}, position, position + static_cast<int>(pages.size()) - 1);
    pages_.insert(position, std::move(pages));
    endInsertRows();
    // The numbers below the new rows changed.
    emit dataChanged(index(position, 0), index(pages_.size() - 1, 0));
}

void PageItemModel::removePage(int row) {
    if (row < 0 || row >= pages_.size())
        return;
    beginRemoveRows({}, row, row);
    pages_.remove(row);
    endRemoveRows();
    // The numbers below changed, and the next row may have taken the mark.
    if (row < pages_.size())
        emit dataChanged(index(row, 0), index(pages_.size() - 1, 2));
}

void PageItemModel::setChapter(int row, const std::string& title) {
    if (row < 0 || row >= pages_.size())
        return;
    pages_.setChapter(row, title);
    emit dataChanged(index(row, 0), index(row, 2));
}

void PageItemModel::clearPages() {
    beginResetModel();
    pages_.clear();
    endResetModel();
}

void PageItemModel::movePage(int from, int to) {
    if (from < 0 || from >= pages_.size() || to < 0 || to >= pages_.size() || from == to)
        return;
    // Qt counts the destination before the move: below the row, one further.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    pages_.move(from, to);
    endMoveRows();
    emit dataChanged(index(std::min(from, to), 0), index(std::max(from, to), 0));
}

void PageItemModel::reorderPages(const std::vector<int>& order) {
    if (static_cast<int>(order.size()) != pages_.size())
        return;
    emit layoutAboutToBeChanged();
    std::vector<int> newRow(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        newRow[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    if (!pages_.reorder(order)) {
        emit layoutChanged();
        return;
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after.push_back(index(newRow[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

}  // namespace pagelume::ui
