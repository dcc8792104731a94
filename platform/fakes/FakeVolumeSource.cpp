#include "platform/fakes/FakeVolumeSource.h"

namespace vask {

FakeVolumeSource::Volume& FakeVolumeSource::Add(const std::string& mountPoint,
                                                const std::string& fileSystemType, const std::string& label,
                                                std::uint32_t serial, std::uint64_t capacity,
                                                bool removableDisk) {
    Volume volume;
    volume.mounted.mountPoint = mountPoint;
    volume.mounted.fileSystemType = fileSystemType;
    volume.mounted.source = "/dev/fake" + std::to_string(volumes.size());
    volume.mounted.removableDisk = removableDisk;
    volume.label = label;
    volume.serial = serial;
    volume.capacity = capacity;
    volumes.push_back(volume);
    return volumes.back();
}

FakeVolumeSource::Volume& FakeVolumeSource::AddUnreadable(const std::string& mountPoint,
                                                          const std::string& fileSystemType) {
    Volume& volume = Add(mountPoint, fileSystemType, "", 0, 0);
    volume.label.reset();
    volume.serial.reset();
    volume.capacity.reset();
    return volume;
}

std::vector<MountedVolume> FakeVolumeSource::ListVolumes() {
    std::vector<MountedVolume> listed;
    for (const Volume& volume : volumes)
        listed.push_back(volume.mounted);
    return listed;
}

const FakeVolumeSource::Volume* FakeVolumeSource::Find(const MountedVolume& volume) const {
    for (const Volume& candidate : volumes) {
        if (candidate.mounted.mountPoint == volume.mountPoint) return &candidate;
    }
    return nullptr;
}

std::optional<std::string> FakeVolumeSource::VolumeLabel(const MountedVolume& volume) {
    reads.push_back("label " + volume.mountPoint);
    const Volume* found = Find(volume);
    return found ? found->label : std::nullopt;
}

std::optional<std::uint32_t> FakeVolumeSource::VolumeSerial(const MountedVolume& volume) {
    reads.push_back("serial " + volume.mountPoint);
    const Volume* found = Find(volume);
    return found ? found->serial : std::nullopt;
}

std::optional<std::uint64_t> FakeVolumeSource::VolumeCapacity(const MountedVolume& volume) {
    reads.push_back("capacity " + volume.mountPoint);
    const Volume* found = Find(volume);
    return found ? found->capacity : std::nullopt;
}

}  // namespace vask
