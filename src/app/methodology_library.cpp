#include "app/methodology_library.h"

#include <QDir>

namespace yukt {

namespace {
// Long enough for an editor's save (write, rename) to be over.
constexpr int kSettleMs = 200;
}  // namespace

TMethodologyLibrary::TMethodologyLibrary(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &TMethodologyLibrary::Read);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
}

void TMethodologyLibrary::Load(const QString& dir) {
    if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
    m_dir = dir;
    if (QDir(dir).exists()) m_watcher.addPath(dir);
    Read();
}

void TMethodologyLibrary::Read() {
    m_all.clear();
    m_mistakes.clear();
    const QDir dir(m_dir);
    if (!dir.exists()) {
        m_mistakes << m_dir + QStringLiteral(": папка не найдена");
        emit reloaded();
        return;
    }
    const QStringList files = dir.entryList({QStringLiteral("*.toml")}, QDir::Files, QDir::Name);
    if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
    for (const QString& name : files) {
        const QString path = dir.filePath(name);
        m_watcher.addPath(path);
        verify::ProcedureError e;
        std::optional<verify::Methodology> m = verify::LoadMethodology(path.toStdString(), e);
        if (m)
            m_all.push_back(std::move(*m));
        else
            m_mistakes << QString::fromStdString(e.Text());
    }
    emit reloaded();
}

const verify::Methodology* TMethodologyLibrary::For(const std::string& model) const {
    const verify::Methodology* best = nullptr;
    for (const verify::Methodology& m : m_all)
        if (std::find(m.models.begin(), m.models.end(), model) != m.models.end() &&
            (best == nullptr || m.revision > best->revision))
            best = &m;
    return best;
}

}  // namespace yukt
