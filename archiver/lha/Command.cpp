#include "archiver/lha/Command.h"

#include <cctype>

namespace vask::lha {

std::vector<Word> SplitWords(const std::string& line) {
    std::vector<Word> words;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        if (i >= line.size()) break;
        Word w;
        bool in_quotes = false;
        while (i < line.size() && (in_quotes || !blank(line[i]))) {
            if (line[i] == '"') {
                in_quotes = !in_quotes;
                w.quoted = true;
            } else {
                w.text += line[i];
            }
            ++i;
        }
        words.push_back(std::move(w));
    }
    return words;
}

namespace {

Status Usage(const std::string& why) {
    return Status::Error(EINVAL, "", "command (" + why + ")");
}

Status ApplySwitch(const std::string& text, Command& cmd) {
    for (size_t i = 1; i < text.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        switch (c) {
            case 'r':
                cmd.recurse = true;
                break;
            case 'x':
                cmd.full_paths = true;
                break;
            case 'a':
                cmd.attributes = true;
                break;
            case 'w':
                if (i + 1 < text.size() && text[i + 1] == '=') {
                    cmd.target_root = text.substr(i + 2);
                    if (cmd.target_root.empty()) return Usage("empty -w=");
                    return Status::Ok();
                }
                return Usage("-w needs =FOLDER");
            case 'm': {
                char d = i + 1 < text.size() ? text[i + 1] : 0;
                if (d == '0')
                    cmd.method = Method::kStored;
                else if (d == '5')
                    cmd.method = Method::kLh5;
                else if (d == '6')
                    cmd.method = Method::kLh6;
                else if (d == '7')
                    cmd.method = Method::kLh7;
                else
                    return Usage("-m needs 0, 5, 6 or 7");
                ++i;
                break;
            }
            default:
                return Usage(std::string("unknown switch -") + text[i]);
        }
    }
    return Status::Ok();
}

bool HasArchiveExtension(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".lzh" || ext == ".lha";
}

// The caller writes the archive path unquoted, so a folder name with a blank arrives as several words. When
// the first word is no archive name but a later unquoted word before any quoted one ends in .lzh/.lha, the
// words in between are joined with single blanks. Returns the index of the last word used.
size_t JoinUnquotedArchiveName(const std::vector<Word>& words, size_t first, std::string& archive) {
    if (HasArchiveExtension(words[first].text)) return first;
    for (size_t j = first + 1; j < words.size() && !words[j].quoted; ++j) {
        if (!HasArchiveExtension(words[j].text)) continue;
        std::string joined = words[first].text;
        for (size_t k = first + 1; k <= j; ++k)
            joined += " " + words[k].text;
        archive = joined;
        return j;
    }
    return first;
}

}  // namespace

Result<Command> ParseCommand(const std::string& line, FileIo& io) {
    size_t start = line.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && line[start] == '@') {
        std::string name = line.substr(start + 1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\r' || name.back() == '\n'))
            name.pop_back();
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        if (name.empty()) return Usage("empty list file name");
        auto text = io.ReadListFile(name);
        if (!text) return text.status();
        // The list file holds the command itself; a nested "@" is not followed.
        if (text->find_first_not_of(" \t\r\n") != std::string::npos &&
            (*text)[text->find_first_not_of(" \t\r\n")] == '@')
            return Usage("list file names another list file");
        return ParseCommand(*text, io);
    }

    std::vector<Word> words = SplitWords(line);
    if (words.empty()) return Usage("empty");
    Command cmd;
    const std::string& verb = words[0].text;
    if (verb.size() != 1 ||
        std::string("amltx").find(static_cast<char>(std::tolower(verb[0]))) == std::string::npos)
        return Usage("unknown command \"" + verb + "\"");
    cmd.verb = static_cast<char>(std::tolower(static_cast<unsigned char>(verb[0])));
    bool root_allowed = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const Word& w = words[i];
        if (!w.quoted && w.text.size() > 1 && w.text[0] == '-') {
            if (Status s = ApplySwitch(w.text, cmd); !s) return s;
            continue;
        }
        if (w.text.empty()) continue;
        if (cmd.archive.empty()) {
            cmd.archive = w.text;
            if (!w.quoted) i = JoinUnquotedArchiveName(words, i, cmd.archive);
            root_allowed = cmd.verb == 'x';
            continue;
        }
        if (root_allowed && w.text.back() == '/' && cmd.files.empty()) {
            cmd.target_root = w.text;
            root_allowed = false;
            continue;
        }
        root_allowed = false;
        cmd.files.push_back(w.text);
    }
    if (cmd.archive.empty()) return Usage("no archive name");
    return cmd;
}

}  // namespace vask::lha
