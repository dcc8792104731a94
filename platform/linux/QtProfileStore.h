// The profile store on Linux: QSettings in IniFormat, group "Profile", at
// $XDG_CONFIG_HOME/Velumark/Vask.conf (else ~/.config/Velumark/Vask.conf).
//
// Integers are 32-bit signed; a stored value that is not a decimal integer or lies outside that range reads
// as the default. Texts are byte strings: one that is valid UTF-8 is stored as plain text so the file stays
// readable and hand-editable; any other byte string (a Linux path may be one) is stored as
// @ByteArray(...) and comes back byte for byte. Both forms are accepted when reading. A damaged or
// hand-edited file never fails a read: a value that cannot be understood reads as the default.
#pragma once

#include <memory>
#include <string>

class QSettings;

#include "platform/ProfileStore.h"

namespace vask {

class Environment;

class QtProfileStore : public ProfileStore {
  public:
    // Uses the file at filePath (created with its folders on the first write). Nothing is read until a
    // value is asked for.
    explicit QtProfileStore(std::string filePath);

    // The standard file: $XDG_CONFIG_HOME/Velumark/Vask.conf when XDG_CONFIG_HOME is an absolute path,
    // else $HOME/.config/Velumark/Vask.conf (the user's home from the system when HOME is unset or not
    // absolute).
    static std::string StandardFilePath(Environment& environment);
    static std::unique_ptr<QtProfileStore> OpenStandard(Environment& environment);

    const std::string& FilePath() const { return filePath_; }

    std::int32_t ReadInt(const std::string& name, std::int32_t defaultValue) override;
    std::string ReadString(const std::string& name, const std::string& defaultValue) override;
    // Each write is flushed to the file at once (written whole to a temporary file and renamed into
    // place). Failure: EACCES when the file or its folder cannot be written, with the file path.
    Status WriteInt(const std::string& name, std::int32_t value) override;
    Status WriteString(const std::string& name, const std::string& value) override;
    // Inside a batch the values are written to the file by CommitBatch alone: once, whole, to a temporary
    // file renamed into place, however many values changed. CommitBatch fails with EACCES and the file path
    // when that write failed.
    void BeginBatch() override;
    Status CommitBatch() override;

    ~QtProfileStore() override;

  private:
    std::string filePath_;
    int batchDepth_ = 0;
    std::unique_ptr<QSettings> batch_;  // the open settings of the outermost batch
};

}  // namespace vask
