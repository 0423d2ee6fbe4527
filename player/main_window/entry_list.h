// The playlist on the window (`List1`): a list view over the player's own
// list of entries. A list of items would make an object, a private part and
// a list of values for each of tens of thousands of entries (about 190
// bytes each), and a copy of the list its slots (24 bytes each, up to twice
// that as it grows); here an entry costs nothing beyond the player's list.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

namespace chromola {

class EntryList : public QListView {
  public:
    explicit EntryList(QWidget* parent = nullptr);

    int count() const;
    QString text(int row) const;
    // The row under a point of the viewport, -1 for none.
    int rowAt(const QPoint& point) const;
    // Shows `entries`, which the caller keeps: each change to it is followed
    // by addedEntries (`count` appended), removedEntry, or setEntries again.
    void setEntries(const QStringList& entries);
    void addedEntries(int count);
    void removedEntry(int row);
    // -1: none.
    int currentRow() const;
    void setCurrentRow(int row);

  private:
    class Model : public QAbstractListModel {
      public:
        int rowCount(const QModelIndex& parent = {}) const override;
        QVariant data(const QModelIndex& index, int role) const override;
        void Set(const QStringList& list);
        void Added(int count);
        void Removed(int row);
        QString text(int row) const;

        const QStringList* entries = nullptr;
        // The rows the view has been told of.
        int rows = 0;
    };

    Model model_;
};

}  // namespace chromola
