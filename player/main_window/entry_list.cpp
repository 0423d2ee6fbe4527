#include "main_window/entry_list.h"

namespace chromola {

int EntryList::Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
}

QVariant EntryList::Model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= entries.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return entries.at(index.row());
}

EntryList::EntryList(QWidget* parent) : QListView(parent) {
    setModel(&model_);
}

int EntryList::count() const {
    return model_.rowCount();
}

QString EntryList::text(int row) const {
    return model_.entries.value(row);
}

int EntryList::rowAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    return index.isValid() ? index.row() : -1;
}

void EntryList::Model::Set(const QStringList& list) {
    beginResetModel();
    entries = list;
    endResetModel();
}

void EntryList::Model::Append(const QStringList& list) {
    if (list.isEmpty()) {
        return;
    }
    const int first = static_cast<int>(entries.size());
    beginInsertRows({}, first, first + static_cast<int>(list.size()) - 1);
    entries.append(list);
    endInsertRows();
}

void EntryList::Model::Remove(int row) {
    if (row < 0 || row >= entries.size()) {
        return;
    }
    beginRemoveRows({}, row, row);
    entries.removeAt(row);
    endRemoveRows();
}

void EntryList::setEntries(const QStringList& entries) {
    model_.Set(entries);
}

void EntryList::addEntries(const QStringList& entries) {
    model_.Append(entries);
}

void EntryList::removeEntry(int row) {
    model_.Remove(row);
}

int EntryList::currentRow() const {
    return currentIndex().row();
}

void EntryList::setCurrentRow(int row) {
    selectionModel()->setCurrentIndex(model_.index(row), QItemSelectionModel::ClearAndSelect);
}

}  // namespace chromola
