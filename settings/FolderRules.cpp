#include "settings/FolderRules.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "platform/Volumes.h"
#include "search/DriveList.h"
#include "settings/FolderPath.h"

namespace vask {

namespace {

// Where desktops and administrators mount removable volumes. A folder that would be made directly in one
// of them (or in a user's folder below /media/ or /run/media/) belongs to a volume that is not mounted.
bool IsMountBase(const std::string& folder) {
    if (folder == "/media/" || folder == "/mnt/" || folder == "/run/media/") return true;
    for (const std::string base : {"/media/", "/run/media/"}) {
        if (folder.size() > base.size() && folder.compare(0, base.size(), base) == 0 &&
            folder.find('/', base.size()) == folder.size() - 1) {
            return true;
        }
    }
    return false;
}

// The components of an absolute text, one final separator ignored; nothing when the text is relative or
// holds an empty, "." or ".." component.
std::optional<std::vector<std::string>> SplitAbsolute(const std::string& text) {
    const PathRules& rules = SystemPathRules();
    if (text.empty() || text[0] != rules.separator) return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start < text.size()) {
        std::size_t end = FindChar(rules.codePage, text, rules.separator, start);
        if (end == std::string::npos) end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& part : parts) {
        if (part.empty() || part == "." || part == "..") return std::nullopt;
    }
    return parts;
}

// What a walk to a folder found.
struct FolderProbe {
    bool usable = false;           // absolute, plain components, no link and no refused volume on the way
    bool complete = false;         // every component exists as a folder
    bool endsInNonFolder = false;  // the last component exists and is no folder
    std::string ancestor = "/";    // the longest existing folder on the way, ending in "/"
    std::uint64_t device = 0;      // its device
    std::vector<std::pair<std::string, std::uint64_t>> walked;  // every folder reached, with its device
};

bool IsRefusedType(DriveType type) {
    return !IsDriveTickable(type);
}

const MountedVolume* FindListed(const std::vector<MountedVolume>& volumes, const std::string& mountPoint) {
    for (const MountedVolume& volume : volumes) {
        if (volume.mountPoint == mountPoint) return &volume;
    }
    return nullptr;
}

FolderProbe Probe(FileSystem& fileSystem, const std::vector<MountedVolume>& volumes,
                  const std::string& text) {
    FolderProbe probe;
    const auto parts = SplitAbsolute(text);
    if (!parts) return probe;
    auto opened = fileSystem.OpenFolder("/");
    if (!opened) return probe;
    std::unique_ptr<Directory> folder = std::move(*opened);
    const auto self = folder->StatSelf();
    if (!self) return probe;
    probe.device = self->device;
    probe.walked.emplace_back("/", probe.device);
    probe.usable = true;

    std::string path = "/";
    for (std::size_t i = 0; i < parts->size(); ++i) {
        const std::string& name = (*parts)[i];
        const bool last = i + 1 == parts->size();
        const std::string next = path + name + "/";
        // A volume refused by its type refuses everything on it; its root is not touched.
        if (const MountedVolume* mounted = FindListed(volumes, next)) {
            const DriveType type = ClassifyVolume(*mounted);
            if (type == kDriveRemote || type == kDriveCdRom) {
                probe.usable = false;
                return probe;
            }
        }
        const auto status = folder->StatEntry(name);
        if (!status) {
            // A name too long for the file system can never be made; anything else (missing, out of sight)
            // ends the walk at the folder it is in.
            if (status.status().code() == ENAMETOOLONG) probe.usable = false;
            return probe;
        }
        if (status->kind == EntryKind::Symlink) {
            probe.usable = false;
            return probe;
        }
        if (status->kind != EntryKind::Directory) {
            probe.endsInNonFolder = last;
            return probe;
        }
        probe.walked.emplace_back(next, status->device);
        probe.ancestor = next;
        probe.device = status->device;
        path = next;
        if (last) break;
        auto sub = folder->OpenSubfolder(name);
        if (!sub) {
            // Seen but not enterable: the rest cannot be looked at.
            probe.walked.pop_back();
            return probe;
        }
        folder = std::move(*sub);
    }
    probe.complete = true;
    return probe;
}

// The listed volume that holds the probe's ancestor: the longest walked mount point with its device.
const MountedVolume* HoldingVolume(const std::vector<MountedVolume>& volumes, const FolderProbe& probe) {
    const MountedVolume* best = nullptr;
    for (const auto& [path, device] : probe.walked) {
        if (device != probe.device) continue;
        if (const MountedVolume* volume = FindListed(volumes, path)) {
            if (best == nullptr || volume->mountPoint.size() > best->mountPoint.size()) best = volume;
        }
    }
    return best;
}

bool Refuse(Prompter& prompter, FolderVerdict verdict) {
    if (verdict == FolderVerdict::Accepted) return false;
    prompter.Ask(Prompt{FolderVerdictMessage(verdict), "", PromptButtons::Ok, PromptIcon::Exclamation});
    return true;
}

}  // namespace

const char* FolderVerdictMessage(FolderVerdict verdict) {
    switch (verdict) {
        case FolderVerdict::NotAllowed:
            return kFolderNotAllowedMessage;
        case FolderVerdict::Missing:
            return kFolderMissingMessage;
        case FolderVerdict::NotAFolder:
            return kNotAFolderMessage;
        case FolderVerdict::Accepted:
            break;
    }
    return nullptr;
}

FolderRules::FolderRules(FileSystem& fileSystem, VolumeSource& volumes)
    : fileSystem_(fileSystem), volumes_(volumes) {}

FolderVerdict FolderRules::DisposalFolder(const std::string& text) {
    const std::vector<MountedVolume> volumes = volumes_.ListVolumes();
    const FolderProbe probe = Probe(fileSystem_, volumes, text);
    if (!probe.usable) return FolderVerdict::NotAllowed;
    const MountedVolume* volume = HoldingVolume(volumes, probe);
    if (volume == nullptr || IsRefusedType(ClassifyVolume(*volume))) return FolderVerdict::NotAllowed;
    if (!probe.complete && IsMountBase(probe.ancestor) && probe.ancestor != volume->mountPoint) {
        return FolderVerdict::NotAllowed;
    }
    return FolderVerdict::Accepted;
}

FolderVerdict FolderRules::ListFolder(const std::string& text) {
    if (text.empty()) return FolderVerdict::Accepted;
    const std::vector<MountedVolume> volumes = volumes_.ListVolumes();
    const FolderProbe probe = Probe(fileSystem_, volumes, text);
    if (!probe.usable) return FolderVerdict::NotAllowed;
    const MountedVolume* volume = HoldingVolume(volumes, probe);
    if (volume == nullptr || IsRefusedType(ClassifyVolume(*volume))) return FolderVerdict::NotAllowed;
    if (probe.complete) {
        return probe.ancestor == volume->mountPoint ? FolderVerdict::NotAllowed : FolderVerdict::Accepted;
    }
    return probe.endsInNonFolder ? FolderVerdict::NotAFolder : FolderVerdict::Missing;
}

bool CheckDisposalFolder(FolderRules& rules, Prompter& prompter, const std::string& text) {
    return Refuse(prompter, rules.DisposalFolder(text));
}

bool CheckListFolder(FolderRules& rules, Prompter& prompter, const std::string& text) {
    return Refuse(prompter, rules.ListFolder(text));
}

int FindDuplicateFolder(const std::array<std::string, kFolderListSize>& entries) {
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].empty()) continue;
        for (std::size_t m = k + 1; m < entries.size(); ++m) {
            if (!entries[m].empty() && PathEquals(entries[k], entries[m])) return static_cast<int>(m);
        }
    }
    return -1;
}

std::string GetBrowseStartFolder(const std::string& text) {
    const PathRules& rules = SystemPathRules();
    if (text.size() <= 1 || !EndsWithChar(rules.codePage, text, rules.separator)) return text;
    return text.substr(0, text.size() - 1);
}

}  // namespace vask
