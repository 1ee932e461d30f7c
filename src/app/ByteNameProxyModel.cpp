#include "app/ByteNameProxyModel.h"

#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QFile>
#include <QFileSystemModel>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace app {

// Where a reading thread hands its result: to the model while it lives. The
// thread may outlive it on a disk that does not answer.
struct ByteNameProxyModel::Inbox {
    std::mutex mutex;
    ByteNameProxyModel *model = nullptr;
};

ByteNameProxyModel::ByteNameProxyModel(QObject *parent)
    : QIdentityProxyModel(parent), inbox_(std::make_shared<Inbox>())
{
    inbox_->model = this;
}

ByteNameProxyModel::~ByteNameProxyModel()
{
    const std::lock_guard lock(inbox_->mutex);
    inbox_->model = nullptr;
}

void ByteNameProxyModel::setSourceModel(QAbstractItemModel *source)
{
    QIdentityProxyModel::setSourceModel(source);
    model_ = qobject_cast<QFileSystemModel *>(source);
    if (model_ == nullptr)
        return;
    // These run after the base class's handlers for the same signals, so a
    // reset is already announced when the rows go with it.
    common::GuardedConnect(model_, &QFileSystemModel::rootPathChanged, this, &ByteNameProxyModel::EnterFolder);
    // Read again whenever the model has read the folder again (it watches it).
    common::GuardedConnect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString &folder) {
        if (folder == model_->rootPath())
            ReadFolder(folder);
    });
    // Changed name filters or hidden files take effect by a new layout.
    common::GuardedConnect(model_, &QAbstractItemModel::layoutChanged, this, &ByteNameProxyModel::Refilter);
    common::GuardedConnect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        rows_.clear();
        files_ = {};
    });
    common::GuardedConnect(model_, &QAbstractItemModel::modelReset, this,
                           [this] { EnterFolder(model_->rootPath()); });
    EnterFolder(model_->rootPath());
}

void ByteNameProxyModel::EnterFolder(const QString &folder)
{
    Show({});
    files_ = {};
    folder_ = model_->index(folder);
    ReadFolder(folder);
}

void ByteNameProxyModel::ReadFolder(const QString &folder)
{
    const unsigned long reading = ++reading_;
    if (folder.isEmpty())
        return;
    std::thread([inbox = inbox_, reading, bytes = QFile::encodeName(folder)] {
        auto found = std::make_shared<ByteNamedFiles>();
        std::exception_ptr failure;
        try {
            *found = ByteNamedFiles::Scan(bytes);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(inbox->mutex);
        if (ByteNameProxyModel *model = inbox->model) {
            // Not delivered, and so closed, when the model goes first.
            QMetaObject::invokeMethod(
                model,
                [model, reading, found, failure] {
                    common::RunGuarded([&] {
                        if (failure)
                            std::rethrow_exception(failure);
                        model->Take(reading, std::move(*found));
                    });
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

void ByteNameProxyModel::Take(unsigned long reading, ByteNamedFiles found)
{
    // A folder left since is no longer shown.
    if (reading != reading_)
        return;
    // The rows shown point into the files read before until replaced.
    const ByteNamedFiles before = std::exchange(files_, std::move(found));
    Refilter();
}

void ByteNameProxyModel::Refilter()
{
    std::vector<Row> rows;
    if (model_->filter() & QDir::Files) {
        for (const ByteNamedFile *file : files_.Matching(model_->nameFilters(), model_->filter() & QDir::Hidden)) {
            // Looked up anew each time: the model drops its entry for the
            // stand-in, which no name filter lets through, when the filters change.
            QPersistentModelIndex source(model_->index(file->handle));
            if (source.isValid())
                rows.push_back({file, std::move(source)});
        }
    }
    Show(std::move(rows));
}

void ByteNameProxyModel::Show(std::vector<Row> rows)
{
    // Files read again as they were keep their rows, and a selection of one.
    const auto sameFiles = [&] {
        return std::equal(rows.begin(), rows.end(), rows_.begin(), rows_.end(), [](const Row &a, const Row &b) {
            return a.file->name == b.file->name && a.file->shown == b.file->shown;
        });
    };
    if (sameFiles()) {
        rows_ = std::move(rows);
        return;
    }
    const QModelIndex folder = QIdentityProxyModel::mapFromSource(folder_);
    const int first = FolderRows();
    if (!rows_.empty()) {
        beginRemoveRows(folder, first, first + static_cast<int>(rows_.size()) - 1);
        rows_.clear();
        endRemoveRows();
    }
    if (!rows.empty() && folder_.isValid()) {
        beginInsertRows(folder, first, first + static_cast<int>(rows.size()) - 1);
        rows_ = std::move(rows);
        endInsertRows();
    }
}

bool ByteNameProxyModel::IsFolder(const QModelIndex &proxyParent) const
{
    return folder_.isValid() && proxyParent.isValid() && !IsAdded(proxyParent)
           && folder_ == QIdentityProxyModel::mapToSource(proxyParent);
}

int ByteNameProxyModel::FolderRows() const { return folder_.isValid() ? model_->rowCount(folder_) : 0; }

const ByteNameProxyModel::Row *ByteNameProxyModel::RowOf(const QModelIndex &index) const
{
    const int row = index.row() - FolderRows();
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)] : nullptr;
}

QModelIndex ByteNameProxyModel::index(int row, int column, const QModelIndex &parent) const
{
    if (IsFolder(parent) && row >= FolderRows()) {
        if (row - FolderRows() >= static_cast<int>(rows_.size()) || column < 0 || column >= columnCount(parent))
            return {};
        return createIndex(row, column, &rows_);
    }
    return QIdentityProxyModel::index(row, column, parent);
}

QModelIndex ByteNameProxyModel::parent(const QModelIndex &child) const
{
    if (IsAdded(child))
        return QIdentityProxyModel::mapFromSource(folder_);
    return QIdentityProxyModel::parent(child);
}

QModelIndex ByteNameProxyModel::sibling(int row, int column, const QModelIndex &index) const
{
    if (IsAdded(index))
        return this->index(row, column, parent(index));
    return QIdentityProxyModel::sibling(row, column, index);
}

int ByteNameProxyModel::rowCount(const QModelIndex &parent) const
{
    if (IsAdded(parent))
        return 0;
    const int rows = QIdentityProxyModel::rowCount(parent);
    return IsFolder(parent) ? rows + static_cast<int>(rows_.size()) : rows;
}

QModelIndex ByteNameProxyModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!IsAdded(proxyIndex))
        return QIdentityProxyModel::mapToSource(proxyIndex);
    const Row *row = RowOf(proxyIndex);
    if (row == nullptr)
        return {};
    return row->source.sibling(row->source.row(), proxyIndex.column());
}

QModelIndex ByteNameProxyModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    // The model's entry for a stand-in is the row added for it.
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (sourceIndex.isValid() && rows_[i].source.internalPointer() == sourceIndex.internalPointer())
            return createIndex(FolderRows() + static_cast<int>(i), sourceIndex.column(), &rows_);
    }
    return QIdentityProxyModel::mapFromSource(sourceIndex);
}

QVariant ByteNameProxyModel::data(const QModelIndex &index, int role) const
{
    const Row *row = IsAdded(index) ? RowOf(index) : nullptr;
    if (row != nullptr && index.column() == 0) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
        case QFileSystemModel::FileNameRole:
            return row->file->shown;
        case QFileSystemModel::FilePathRole:
            return row->file->handle;
        default:
            break;
        }
    }
    return QIdentityProxyModel::data(index, role);
}

Qt::ItemFlags ByteNameProxyModel::flags(const QModelIndex &index) const
{
    // Not renamed or dragged: either would act on the stand-in.
    if (IsAdded(index))
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return QIdentityProxyModel::flags(index);
}

} // namespace app
