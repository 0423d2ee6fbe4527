// The playlist on the window (`List1`): a list view over the entries' own
// strings. A list of items would make an object, a private part and a list
// of values for each of tens of thousands of entries (about 190 bytes each);
// here an entry costs its slot in the model's list, the string being shared
// with the player's own list.
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
    void setEntries(const QStringList& entries);
    void addEntries(const QStringList& entries);
    void removeEntry(int row);
    // -1: none.
    int currentRow() const;
    void setCurrentRow(int row);

  private:
    class Model : public QAbstractListModel {
      public:
        int rowCount(const QModelIndex& parent = {}) const override;
        QVariant data(const QModelIndex& index, int role) const override;
        void Set(const QStringList& list);
        void Append(const QStringList& list);
        void Remove(int row);

        QStringList entries;
    };

    Model model_;
};

}  // namespace chromola
