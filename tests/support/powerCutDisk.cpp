#include "support/powerCutDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace {

const qsizetype BLOCK = 4096;

QString absolute(const QString& path) {
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString absoluteDirectoryOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

bool readWhole(const QString& path, QByteArray* bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

QByteArray readWhole(const QString& path) {
    QByteArray bytes;
    readWhole(path, &bytes);
    return bytes;
}

} // namespace

powerCutDisk::powerCutDisk(unsigned seed, renameSupport rename, double syncFailureOdds)
    : m_random(seed), m_rename(rename), m_syncFailureOdds(syncFailureOdds) {
    setFileFaultHook([this](fileOp op, const QString& path) { return fault(op, path); });
    setFileEventHook([this](fileOp op, const QString& path, const QString& target, bool done) {
        event(op, absolute(path), absolute(target), done);
    });
}

powerCutDisk::~powerCutDisk() {
    setFileFaultHook(nullptr);
    setFileEventHook(nullptr);
}

bool powerCutDisk::fault(fileOp op, const QString& path) {
    (void)path;
    if (!m_stationRunning || op == fileOp::LIST)
        return false;
    if (m_cut)
        return true;
    // Parts of a rename, not operations of their own.
    if (op == fileOp::RENAME_FLAG)
        return m_rename != renameSupport::noReplaceFlag;
    if (op == fileOp::LINK)
        return m_rename == renameSupport::plainRenameOnly;
    ++m_operations;
    if (m_untilCut > 0 && --m_untilCut == 0) {
        m_cut = true;
        return true;
    }
    if ((op == fileOp::SYNC || op == fileOp::SYNC_DIRECTORY) && m_syncFailureOdds > 0 &&
        std::uniform_real_distribution<double>(0, 1)(m_random) < m_syncFailureOdds) {
        ++m_syncFailures;
        return true;
    }
    return false;
}

void powerCutDisk::track(const QString& path) {
    if (m_name.count(path))
        return;
    QByteArray bytes;
    int id = 0;
    if (QFileInfo(path).isFile() && readWhole(path, &bytes)) {
        id = m_nextId++;
        m_durableData[id] = bytes;
    }
    m_name[path] = id;
    m_durableName[path] = id;
}

void powerCutDisk::makeDurable(const QString& path) {
    m_durableName[path] = m_name[path];
    auto partner = m_renamedWith.find(path);
    if (partner == m_renamedWith.end())
        return;
    const QString other = partner->second;
    m_durableName[other] = m_name[other];
    m_renamedWith.erase(other);
    m_renamedWith.erase(path);
}

void powerCutDisk::forget(const QString& path) {
    if (!m_name.count(path))
        return;
    // What another computer saw of a rename has happened for good.
    makeDurable(path);
    m_name.erase(path);
    m_durableName.erase(path);
}

void powerCutDisk::event(fileOp op, const QString& path, const QString& target, bool done) {
    if (!m_stationRunning) {
        if (done) {
            forget(path);
            forget(target);
        }
        return;
    }
    if (!done) {
        track(path);
        if (!target.isEmpty())
            track(target);
        return;
    }
    switch (op) {
    case fileOp::OPEN:
        // A new file is an empty inode until its data is synced.
        if (m_name[path] == 0) {
            m_name[path] = m_nextId++;
            m_durableData[m_name[path]] = QByteArray();
        }
        break;
    case fileOp::SYNC:
        if (m_name[path] != 0)
            m_durableData[m_name[path]] = readWhole(path);
        break;
    case fileOp::SYNC_DIRECTORY: {
        std::vector<QString> entries;
        for (const auto& entry : m_name)
            if (absoluteDirectoryOf(entry.first) == path)
                entries.push_back(entry.first);
        for (const QString& entry : entries)
            makeDurable(entry);
        break;
    }
    case fileOp::RENAME:
        m_name[target] = m_name[path];
        m_name[path] = 0;
        m_renamedWith[path] = target;
        m_renamedWith[target] = path;
        m_delivered[target].insert(readWhole(target));
        break;
    case fileOp::REMOVE:
        m_name[path] = 0;
        break;
    case fileOp::COPY: // synced by the copy itself
        m_name[target] = m_nextId++;
        m_durableData[m_name[target]] = readWhole(target);
        break;
    default:
        break;
    }
}

QByteArray powerCutDisk::survivingData(int id, cutLoss loss) {
    const QByteArray& durable = m_durableData[id];
    if (loss == cutLoss::unsynced)
        return durable;
    QByteArray current;
    for (const auto& entry : m_name)
        if (entry.second == id && readWhole(entry.first, &current))
            break;
    // Only appended data is partly kept; a file written anew keeps its synced bytes.
    if (current.size() <= durable.size() || !current.startsWith(durable))
        return durable;
    qsizetype kept =
        std::uniform_int_distribution<qsizetype>(durable.size(), current.size())(m_random);
    if (loss == cutLoss::partlyKept)
        return current.left(kept);
    qsizetype lastBlock = std::max(durable.size(), (current.size() - 1) / BLOCK * BLOCK);
    qsizetype zeroFrom = std::max(lastBlock, kept);
    current.replace(zeroFrom, current.size() - zeroFrom, QByteArray(current.size() - zeroFrom, 0));
    return current;
}

void powerCutDisk::restore(cutLoss loss) {
    if (loss != cutLoss::unsynced) {
        std::vector<QString> pending;
        for (const auto& entry : m_name)
            if (m_durableName[entry.first] != entry.second)
                pending.push_back(entry.first);
        for (const QString& path : pending)
            if (m_durableName[path] != m_name[path] && (m_random() & 1))
                makeDurable(path);
    }
    // Everything is worked out from the files as the cut left them before any is put back.
    std::map<int, QByteArray> surviving;
    for (const auto& entry : m_durableName)
        if (entry.second != 0 && !surviving.count(entry.second))
            surviving[entry.second] = survivingData(entry.second, loss);
    for (const auto& entry : m_durableName) {
        QFile file(entry.first);
        if (entry.second == 0) {
            if (QFileInfo(entry.first).isFile())
                file.remove();
            continue;
        }
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(surviving[entry.second]);
    }
    m_durableData.clear();
    m_durableName.clear();
    m_name.clear();
    m_renamedWith.clear();
    m_cut = false;
    m_untilCut = 0;
}
