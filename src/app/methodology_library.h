#pragma once
// The methodologies of the laboratory's folder, read once and read again
// when a file in the folder is added, changed or removed; the workstation
// never reads them per click. Files with mistakes are left out and named.

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <vector>

#include "verify/methodology.h"

namespace yukt {

class TMethodologyLibrary : public QObject {
    Q_OBJECT
  public:
    explicit TMethodologyLibrary(QObject* parent = nullptr);

    // Reads the folder and watches it from now on.
    void Load(const QString& dir);
    const QString& Dir() const { return m_dir; }
    const std::vector<verify::Methodology>& All() const { return m_all; }
    // "file:line: key: message" of every file left out, or why the folder
    // could not be read.
    const QStringList& Mistakes() const { return m_mistakes; }
    // The methodology of a model ("748t", "745t+748x"): of several, the
    // latest revision. Null when none applies.
    const verify::Methodology* For(const std::string& model) const;

  signals:
    void reloaded();

  private:
    void Read();

    QString m_dir;
    std::vector<verify::Methodology> m_all;
    QStringList m_mistakes;
    QFileSystemWatcher m_watcher;
    // An editor saves in several steps; one reading after the last of them.
    QTimer m_settle;
};

}  // namespace yukt
