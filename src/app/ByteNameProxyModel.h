#pragma once
// The file dialog's model with the files Qt's own listing leaves out: those
// whose names are not valid UTF-8 (see ByteNamedFiles). They follow the
// folder's own entries, shown by a readable name and standing for their
// "/proc/self/fd/N" path, so the dialog selects, checks and returns them as
// it does any file. The folder is read on a thread of its own, as Qt reads
// it, so a slow disk never holds up the dialog.

#include "app/ByteNamedFiles.h"

#include <QIdentityProxyModel>
#include <QPersistentModelIndex>

#include <memory>
#include <vector>

class QFileSystemModel;

namespace app {

class ByteNameProxyModel : public QIdentityProxyModel {
public:
    explicit ByteNameProxyModel(QObject *parent = nullptr);
    ~ByteNameProxyModel() override;

    // A QFileSystemModel: the files of its root folder are completed.
    void setSourceModel(QAbstractItemModel *source) override;

    // The root folder's files the dialog could not list, as last read.
    const ByteNamedFiles &Files() const { return files_; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Inbox;
    // A file in the list, with the model's entry for its stand-in path,
    // which the dialog asks whether it is a folder and what it holds.
    struct Row {
        const ByteNamedFile *file;
        QPersistentModelIndex source;
    };

    void EnterFolder(const QString &folder);
    void ReadFolder(const QString &folder);
    void Take(unsigned long reading, ByteNamedFiles found);
    void Refilter();
    void Show(std::vector<Row> rows);
    bool IsAdded(const QModelIndex &index) const { return index.internalPointer() == &rows_; }
    bool IsFolder(const QModelIndex &proxyParent) const;
    int FolderRows() const;
    const Row *RowOf(const QModelIndex &index) const;

    QFileSystemModel *model_ = nullptr;
    std::shared_ptr<Inbox> inbox_;
    unsigned long reading_ = 0;
    ByteNamedFiles files_;
    QPersistentModelIndex folder_;
    std::vector<Row> rows_;
};

} // namespace app
