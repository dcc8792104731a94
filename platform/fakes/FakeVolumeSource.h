// A scripted volume source for tests: the volumes it lists, what each one reads as, and a log of the reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Volumes.h"

namespace vask {

class FakeVolumeSource : public VolumeSource {
  public:
    struct Volume {
        MountedVolume mounted;
        // nullopt: that read fails, as on a volume without medium or gone since the listing.
        std::optional<std::string> label = std::string();
        std::optional<std::uint32_t> serial = 0;
        std::optional<std::uint64_t> capacity = 0;
    };

    // Listed exactly in this order: the fake neither sorts nor filters.
    std::vector<Volume> volumes;
    // Every read since construction, as "label /mnt/x/", "serial /mnt/x/" or "capacity /mnt/x/".
    std::vector<std::string> reads;

    // Adds a readable volume and returns it for further scripting.
    Volume& Add(const std::string& mountPoint, const std::string& fileSystemType, const std::string& label,
                std::uint32_t serial, std::uint64_t capacity, bool removableDisk = false);
    // Adds a volume whose label, serial and capacity cannot be read.
    Volume& AddUnreadable(const std::string& mountPoint, const std::string& fileSystemType);

    std::vector<MountedVolume> ListVolumes() override;
    // A volume not (or no longer) in the list cannot be read.
    std::optional<std::string> VolumeLabel(const MountedVolume& volume) override;
    std::optional<std::uint32_t> VolumeSerial(const MountedVolume& volume) override;
    std::optional<std::uint64_t> VolumeCapacity(const MountedVolume& volume) override;

  private:
    const Volume* Find(const MountedVolume& volume) const;
};

}  // namespace vask
