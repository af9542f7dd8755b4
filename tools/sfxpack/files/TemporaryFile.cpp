#include "tools/sfxpack/files/TemporaryFile.h"

#include "base/Path.h"
#include "file/RemoveQuietly.h"
#include "package/FileFailure.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/files/RandomName.h"
#include "tools/sfxpack/files/SignalCleanup.h"

bool TemporaryFile::Create(FileFailure* failure) {
    CFileException error;
    Discard();
    const WideString folder = FolderOf(m_finalPath);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const WideString name = RandomName(u".sfxpack-", u".tmp");
        if (name.IsEmpty()) break;
        const WideString path = folder + name;
        // The path is kept before the file exists, so an interrupt at any moment
        // finds it; kept with the signals blocked, so it is never someone else's file.
        SignalCleanup::Block block;
        const int slot = SignalCleanup::Keep(path, SignalCleanup::kFile);
        if (m_file.Open(path.c_str(),
                        CFile::createNew | CFile::accessWrite | CFile::shareAllowRead | CFile::noInherit,
                        &error)) {
            m_file.SetFileName(m_finalPath.c_str());
            m_path = path;
            m_slot = slot;
            return true;
        }
        SignalCleanup::Forget(slot);
        // Only a name already taken is worth another try.
        if (!PathExistsNoFollow(path)) break;
    }
    if (error.m_cause == CFileException::none) error.m_cause = CFileException::genericException;
    *failure = FileFailure(FileFailure::kWrite, m_finalPath, error);
    return false;
}

bool TemporaryFile::Close(FileFailure* failure) {
    return failure->Catch(FileFailure::kWrite, m_finalPath, [&] { m_file.Close(); });
}

bool TemporaryFile::Publish() {
    if (m_path.IsEmpty() || m_file.IsOpen()) return false;
    SignalCleanup::Block block;
    if (!MoveIntoPlace(m_path, m_finalPath)) return false;
    SignalCleanup::Forget(m_slot);
    m_slot = -1;
    m_path.Empty();
    return true;
}

void TemporaryFile::Discard() {
    m_file.Abort();
    if (m_path.IsEmpty()) return;
    SignalCleanup::Block block;
    RemoveQuietly(m_path);
    SignalCleanup::Forget(m_slot);
    m_slot = -1;
    m_path.Empty();
}
