// A folder whose disk is full: a tmpfs filled to the last byte when mounting
// is allowed (root), else an ordinary folder and a file-size limit of zero
// (SIGXFSZ ignored) for this process or a child while the test writes.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace yukt::records::test {

class FullDisk {
  public:
    FullDisk();
    ~FullDisk();
    QString Dir() const { return m_dir.path(); }
    QStringList Entries() const;  // what is left in the folder but the filler

    // Held while this process writes: the limit when there is no tmpfs.
    class Hold {
      public:
        explicit Hold(bool limit);
        ~Hold();

      private:
        bool m_limit;
        unsigned long m_saved[2] = {0, 0};
    };
    Hold Full() const { return Hold(!m_mounted); }
    void FullForChild(QProcess& process) const;

  private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

}  // namespace yukt::records::test
