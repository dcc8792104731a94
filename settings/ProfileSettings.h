// The record of all option values, one field per stored value and named after it, and the fixed numbers
// and texts of the settings store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vask {

class Environment;

// Number of entries in each of the two folder lists (avoid folders, all-files-delete folders).
inline constexpr std::size_t kFolderListSize = 8;
// Most pattern-history entries kept in the profile.
inline constexpr int HistoryLimit = 10;
// A drive line ends in its identity: volume serial and drive type, 8 lower-case hex digits each.
inline constexpr std::size_t DriveSignatureLength = 16;
// The version text written with the dialog state (string resource 102).
inline constexpr const char* kVersionText = "2.61";
// Stored version texts that compare below this (byte-wise) mean no interactive search or delete has been
// saved yet, so an unattended run is refused.
inline constexpr const char* kUnattendedMinimumVersion = "2.00";
// strVersion when nothing has been stored yet.
inline constexpr const char* kNoVersionText = "0.00";

// DisposalMethod values of nTrush.
enum DisposalMethod : std::int32_t {
    kDisposeToTrash = 0,
    kDisposeMoveToFolder = 1,
    kDisposeDelete = 2,
    kDisposeLzhArchive = 3,
};

// Option values exactly as stored: integers (on/off values included) are kept as read, never limited or
// normalised on load, so an out-of-range value reaches the code that uses it. The defaults below are the
// ones that need no system knowledge; DefaultProfileSettings adds the derived folders.
struct ProfileSettings {
    std::int32_t nTrush = kDisposeToTrash;
    std::string strFolderEdit;                                    // folder of method 1
    std::string strUnlhaEdit;                                     // folder of method 3
    std::array<std::string, kFolderListSize> strOutFolderEdit{};  // "strOutFolderEdit%d": avoid folders
    std::array<std::string, kFolderListSize> strAllFolderEdit{};  // "strAllFolderEdit%d": all-files folders
    std::int32_t bFixed = 1;                                      // drive list shows hard disks only
    std::int32_t bLog = 1;                                        // a delete command writes the deletion log
    std::int32_t bLogUpdate = 0;       // the log is overwritten instead of appended to
    std::int32_t bToolTip = 1;         // tooltips are shown
    std::int32_t bReadOnlyFolder = 0;  // read-only folders are searched too
    std::int32_t bRecent = 0;          // the recent-documents folder is searched
    std::int32_t bTemp = 0;            // the temporary folder is searched
    std::int32_t bWave = 0;            // a sound is played when a delete command ends
    std::string strWaveEdit;           // that sound file

    bool operator==(const ProfileSettings&) const = default;
};

// The settings of a first start: the record's defaults plus the backup and LZH folders under the user's
// home and the system folder as avoid folder 1, computed now from the environment.
ProfileSettings DefaultProfileSettings(Environment& environment);

// "strOutFolderEdit3" style value names of the two folder lists. Precondition: index < kFolderListSize.
std::string OutFolderValueName(std::size_t index);
std::string AllFolderValueName(std::size_t index);

}  // namespace vask
