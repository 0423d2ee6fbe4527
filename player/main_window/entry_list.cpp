#include "main_window/entry_list.h"

namespace chromola {

int EntryList::Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows;
}

QString EntryList::Model::text(int row) const {
    return entries != nullptr && row >= 0 && row < rows ? entries->value(row) : QString();
}

QVariant EntryList::Model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return text(index.row());
}

void EntryList::Model::Set(const QStringList& list) {
    beginResetModel();
    entries = &list;
    rows = static_cast<int>(list.size());
    endResetModel();
}

void EntryList::Model::Added(int count) {
    if (count <= 0) {
        return;
    }
    beginInsertRows({}, rows, rows + count - 1);
    rows += count;
    endInsertRows();
}

void EntryList::Model::Removed(int row) {
    if (row < 0 || row >= rows) {
        return;
    }
    beginRemoveRows({}, row, row);
    --rows;
    endRemoveRows();
}

EntryList::EntryList(QWidget* parent) : QListView(parent) {
    setModel(&model_);
}

int EntryList::count() const {
    return model_.rows;
}

QString EntryList::text(int row) const {
    return model_.text(row);
}

int EntryList::rowAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    return index.isValid() ? index.row() : -1;
}

void EntryList::setEntries(const QStringList& entries) {
    model_.Set(entries);
}

void EntryList::addedEntries(int count) {
    model_.Added(count);
}

void EntryList::removedEntry(int row) {
    model_.Removed(row);
}

int EntryList::currentRow() const {
    return currentIndex().row();
}

void EntryList::setCurrentRow(int row) {
    selectionModel()->setCurrentIndex(model_.index(row), QItemSelectionModel::ClearAndSelect);
}

}  // namespace chromola
