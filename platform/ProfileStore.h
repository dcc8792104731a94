// The settings port: one section of named integer and text values for this user. On Linux the adapter is
// QSettings in IniFormat ($XDG_CONFIG_HOME/Velumark/Vask.conf, group Profile); on Windows the same QSettings
// would be the registry key.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace vask {

class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // The stored 32-bit signed integer, or defaultValue when the value is missing or is not a number.
    virtual std::int32_t ReadInt(const std::string& name, std::int32_t defaultValue) = 0;
    // The stored text (bytes), or defaultValue when the value is missing.
    virtual std::string ReadString(const std::string& name, const std::string& defaultValue) = 0;
    // Writes report their failure; the user is not told (settings are best effort), but a save that failed
    // does not reload the profile over what the dialog shows.
    virtual Status WriteInt(const std::string& name, std::int32_t value) = 0;
    virtual Status WriteString(const std::string& name, const std::string& value) = 0;

    // A series of reads and writes that may reach the file together. Between BeginBatch and CommitBatch the
    // store may hold written values back (reads of the same store see them) and write them all in one go in
    // CommitBatch, which returns only when they are stored and reports a failure of the series (the writes
    // inside then report only what is known before the file is written). Batches may nest: the outermost
    // CommitBatch writes. The default stores every value when it is written, so both calls do nothing.
    virtual void BeginBatch() {}
    virtual Status CommitBatch() { return Status::Ok(); }
};

}  // namespace vask
