// A file that is whole or absent: the content goes to a temporary file beside
// the target, every write is checked, and only a file synced to the disk is
// renamed over the target. A file never committed leaves nothing behind.
#pragma once

#include <QIODevice>
#include <QString>
#include <memory>

class QTemporaryFile;

namespace yukt::records {

class WholeFile : public QIODevice {
  public:
    explicit WholeFile(const QString& path);
    ~WholeFile() override;  // discards the content unless committed

    // Creates the temporary file in the target's folder; false with
    // "Не удалось записать PATH: reason" in `error`.
    bool Begin(QString* error);
    // Flushes and syncs the content and closes it, still under its
    // temporary name; false when any write failed.
    bool Finish(QString* error);
    // Renames the finished content to `path` (in the same folder as the
    // target, or the target itself when empty).
    bool CommitAs(const QString& path, QString* error);
    bool Commit(QString* error) { return Finish(error) && CommitAs(QString(), error); }

    const QString& Path() const { return m_path; }
    // Before Finish: the file stays readable by its owner alone (a secret).
    void SetOwnerOnly() { m_ownerOnly = true; }
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

  private:
    bool Fail(const QString& path, const QString& reason, QString* error);

    QString m_path;
    std::unique_ptr<QTemporaryFile> m_temp;
    QString m_writeFailure;  // the first write that failed
    bool m_finished = false;
    bool m_ownerOnly = false;
};

// "Не удалось записать PATH: reason", the one form of every file error.
QString WriteFailure(const QString& path, const QString& reason);

}  // namespace yukt::records
