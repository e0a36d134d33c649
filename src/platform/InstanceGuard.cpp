#include "platform/InstanceGuard.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace mivotra {
namespace {

QString RuntimeFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists()) return QString::fromLocal8Bit(runtime);
  return QDir::tempPath();
}

}  // namespace

InstanceGuard::InstanceGuard(const std::string& name) {
  const QString path = RuntimeFolder() + "/" + QString::fromStdString(name) + ".lock";
  m_path = path.toStdString();
  m_lock = std::make_unique<QLockFile>(path);
  // Held for the tool's whole life, so age never makes it stale; a lock whose
  // owner process is gone is still recognised by its process id.
  m_lock->setStaleLockTime(0);
  m_acquired = m_lock->tryLock(0);
  if (!m_acquired && m_lock->error() == QLockFile::LockFailedError) return;
  if (!m_acquired) {
    // The folder cannot hold a lock (read-only, missing): run without a guard
    // rather than refuse to start, as the tool did when its mutex failed.
    m_acquired = true;
    m_lock.reset();
  }
}

InstanceGuard::~InstanceGuard() {
  if (m_lock) m_lock->unlock();
}

}  // namespace mivotra
