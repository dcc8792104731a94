#include "disposal/RunJournal.h"

#include <charconv>
#include <cstdio>

namespace vask {
namespace {

constexpr std::string_view kMagic = "VASK-RUN";

std::uint64_t Fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Bytes that would split a field or a line, and "%" itself, are written as %XX.
void AppendField(std::string& line, std::string_view field) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (!line.empty()) line += '\t';
    for (unsigned char c : field) {
        if (c < 0x21 || c == 0x7F || c == '%') {
            line += '%';
            line += kHex[c >> 4];
            line += kHex[c & 15];
        } else {
            line += static_cast<char>(c);
        }
    }
}

template <class T>
void AppendNumber(std::string& line, T value) {
    AppendField(line, std::to_string(value));
}

std::string Seal(std::string line) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(line)));
    line += '\t';
    line += hash;
    line += '\n';
    return line;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> DecodeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const int high = HexDigit(field[i + 1]);
        const int low = HexDigit(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

template <class T>
bool ParseNumber(std::string_view text, T& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Splits a sealed line (without its LF) into decoded fields; nothing when the hash or an escape is wrong.
std::optional<std::vector<std::string>> OpenLine(std::string_view line) {
    const std::size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos || line.size() - lastTab - 1 != 16) return std::nullopt;
    const std::string_view body = line.substr(0, lastTab);
    std::uint64_t stored = 0;
    const std::string_view hashText = line.substr(lastTab + 1);
    const auto [end, error] = std::from_chars(hashText.data(), hashText.data() + 16, stored, 16);
    if (error != std::errc() || end != hashText.data() + 16 || stored != Fnv1a64(body)) return std::nullopt;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = body.find('\t', start);
        auto field = DecodeField(body.substr(start, tab == std::string_view::npos ? body.npos : tab - start));
        if (!field) return std::nullopt;
        fields.push_back(std::move(*field));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

constexpr std::string_view kKindNames[] = {"trash", "move", "archive", "deleted"};

bool ParseEntry(const std::vector<std::string>& f, RunJournalEntry& e) {
    if (f.size() != 14) return false;
    bool kindFound = false;
    for (std::size_t k = 0; k < std::size(kKindNames); ++k) {
        if (f[8] == kKindNames[k]) {
            e.kind = static_cast<JournalPlaceKind>(k);
            kindFound = true;
        }
    }
    e.originalPath = f[2];
    e.place = f[9];
    e.member = f[10];
    return kindFound && !e.originalPath.empty() && e.originalPath[0] == '/' && ParseNumber(f[1], e.seq) &&
           ParseNumber(f[3], e.device) && ParseNumber(f[4], e.inode) && ParseNumber(f[5], e.size) &&
           ParseNumber(f[6], e.mtimeNanoseconds) && ParseNumber(f[7], e.mode) &&
           ParseNumber(f[11], e.placedDevice) && ParseNumber(f[12], e.placedInode) && f[13].empty();
}

}  // namespace

std::string FormatJournalHeader(const RunJournalHeader& header) {
    std::string line;
    AppendField(line, kMagic);
    AppendNumber(line, kRunJournalVersion);
    AppendNumber(line, header.startSeconds);
    AppendNumber(line, header.method);
    AppendNumber(line, header.silent ? 1 : 0);
    return Seal(std::move(line));
}

std::string FormatJournalEntry(const RunJournalEntry& e) {
    std::string line;
    AppendField(line, "F");
    AppendNumber(line, e.seq);
    AppendField(line, e.originalPath);
    AppendNumber(line, e.device);
    AppendNumber(line, e.inode);
    AppendNumber(line, e.size);
    AppendNumber(line, e.mtimeNanoseconds);
    AppendNumber(line, e.mode);
    AppendField(line, kKindNames[static_cast<int>(e.kind)]);
    AppendField(line, e.place);
    AppendField(line, e.member);
    AppendNumber(line, e.placedDevice);
    AppendNumber(line, e.placedInode);
    // A spare empty field keeps room for a later addition that older readers will refuse cleanly.
    AppendField(line, "");
    return Seal(std::move(line));
}

std::string FormatJournalRestored(std::uint64_t seq) {
    std::string line;
    AppendField(line, "R");
    AppendNumber(line, seq);
    return Seal(std::move(line));
}

bool IsProvisionalArchiveEntry(const RunJournalEntry& entry) {
    const std::string_view name = kWorkingArchiveName;
    const std::string& place = entry.place;
    return entry.kind == JournalPlaceKind::Archive && place.size() > name.size() &&
           place.compare(place.size() - name.size(), name.size(), name) == 0 &&
           place[place.size() - name.size() - 1] == '/';
}

namespace {

// A provisional entry only stands in for the final one until the run has finished (see the header).
void DropSettledProvisionalEntries(RunJournal& journal) {
    std::set<std::string_view> laterPaths;
    std::vector<bool> drop(journal.entries.size(), false);
    for (std::size_t i = journal.entries.size(); i-- > 0;) {
        const RunJournalEntry& entry = journal.entries[i];
        if (IsProvisionalArchiveEntry(entry) &&
            (journal.restored.count(entry.seq) != 0 || laterPaths.count(entry.originalPath) != 0)) {
            drop[i] = true;
            journal.restored.erase(entry.seq);
        }
        laterPaths.insert(entry.originalPath);
    }
    std::vector<RunJournalEntry> kept;
    kept.reserve(journal.entries.size());
    for (std::size_t i = 0; i < journal.entries.size(); ++i)
        if (!drop[i]) kept.push_back(std::move(journal.entries[i]));
    journal.entries = std::move(kept);
}

}  // namespace

std::optional<RunJournal> ParseRunJournal(std::string_view text, std::string* error) {
    auto fail = [&](std::string why) -> std::optional<RunJournal> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    RunJournal journal;
    bool headerSeen = false;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        const std::size_t lf = text.find('\n', start);
        const bool complete = lf != std::string_view::npos;
        const std::string_view line = text.substr(start, complete ? lf - start : text.npos);
        start = complete ? lf + 1 : text.size();
        auto fields = OpenLine(line);
        if (!fields) {
            // A killed run may leave its last line cut short; nothing else may be damaged.
            if (!complete && headerSeen) {
                journal.truncated = true;
                break;
            }
            return fail("line " + std::to_string(lineNumber) + " is damaged");
        }
        // A last line whose hash holds but whose LF is missing is whole: only the LF was lost.
        if (!complete) journal.truncated = true;
        const std::vector<std::string>& f = *fields;
        if (!headerSeen) {
            int version = 0;
            if (f.size() != 5 || f[0] != kMagic || !ParseNumber(f[1], version))
                return fail("not a run journal");
            if (version != kRunJournalVersion) return fail("journal version " + f[1] + " is not known");
            int silent = 0;
            if (!ParseNumber(f[2], journal.header.startSeconds) ||
                !ParseNumber(f[3], journal.header.method) || journal.header.method < 0 ||
                journal.header.method > 3 || !ParseNumber(f[4], silent) || silent < 0 || silent > 1)
                return fail("the header is damaged");
            journal.header.silent = silent == 1;
            headerSeen = true;
            continue;
        }
        if (f[0] == "F") {
            RunJournalEntry entry;
            if (!ParseEntry(f, entry) || entry.seq != journal.entries.size())
                return fail("entry on line " + std::to_string(lineNumber) + " is damaged");
            journal.entries.push_back(std::move(entry));
            journal.nextSeq = journal.entries.size();
        } else if (f[0] == "R") {
            std::uint64_t seq = 0;
            if (f.size() != 2 || !ParseNumber(f[1], seq) || seq >= journal.entries.size())
                return fail("restore mark on line " + std::to_string(lineNumber) + " is damaged");
            journal.restored.insert(seq);
        } else {
            return fail("unknown line " + std::to_string(lineNumber));
        }
    }
    if (!headerSeen) return fail("empty journal");
    DropSettledProvisionalEntries(journal);
    return journal;
}

std::string RunJournalName(std::int64_t startSeconds, unsigned uniquifier) {
    char name[64];
    std::snprintf(name, sizeof name, "run-%020lld-%u.journal", static_cast<long long>(startSeconds),
                  uniquifier);
    return name;
}

bool IsRunJournalName(std::string_view name) {
    constexpr std::string_view kPrefix = "run-", kSuffix = ".journal";
    if (name.size() < kPrefix.size() + 20 + 2 + kSuffix.size()) return false;
    if (name.substr(0, kPrefix.size()) != kPrefix || name.substr(name.size() - kSuffix.size()) != kSuffix)
        return false;
    const std::string_view digits = name.substr(kPrefix.size(), 20);
    const std::string_view rest =
        name.substr(kPrefix.size() + 20, name.size() - kPrefix.size() - 20 - kSuffix.size());
    auto allDigits = [](std::string_view s) {
        if (s.empty()) return false;
        for (char c : s)
            if (c < '0' || c > '9') return false;
        return true;
    };
    return allDigits(digits) && rest.size() >= 2 && rest[0] == '-' && allDigits(rest.substr(1));
}

}  // namespace vask
