#pragma once
// The INI store's file: read with a parsed copy kept per path, and replaced atomically.
#include "db/inidocument.h"
#include "db/inistore.h"

#include <QString>
#include <memory>

namespace db {

// Missing: nothing at the path; reads give their defaults and a write creates the file.
// Unusable: something is there that cannot be read as a file; reads give their defaults
// and writes fail, so that it is never replaced.
enum class IniFileState { Missing, Present, Unusable };

struct LoadedIniFile {
    std::shared_ptr<const IniDocument> doc;
    IniFileState state;
};

// The document as the file holds it now.
LoadedIniFile LoadIniFile(const QString& path);
// Replaces the file (or the file a link names) by bytes, whose parsed form is kept when
// given. False, with the file left as it was, when it may not be replaced or a step fails.
bool ReplaceIniFile(const QString& path, const QByteArray& bytes,
                    std::shared_ptr<const IniDocument> parsed);
// The test hook's answer for a stage; true without a hook.
bool WriteStageAllowed(inistore_testing::WriteStage stage);

} // namespace db
